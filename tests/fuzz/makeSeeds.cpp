// Writes small, valid MD2, TGA, PCX, PAK and ZIP files with the test builders, and small PNG, JPEG and BMP pictures
// with stb_image_write, as seeds for the fuzzers: small inputs keep every execution cheap, and a valid start lets
// mutations reach past the header checks.
#include <cstdio>
#include <string>
#include <vector>

#include "stb_image_write.h"
#include "support/archiveBuilder.h"
#include "support/md2Builder.h"
#include "support/pcxBuilder.h"
#include "support/testFiles.h"
#include "support/tgaBuilder.h"

namespace {

Md2Description tetrahedron(int frames, bool texCoords)
{
    Md2Description model;
    model.skins = {"skin.pcx"};
    if (texCoords) {
        model.texCoords = {{0, 0}, {63, 0}, {0, 63}, {63, 63}};
    }
    model.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{0, 3, 1}, {0, 3, 1}}, {{1, 3, 2}, {1, 3, 2}}, {{2, 3, 0}, {2, 3, 0}}};
    for (int f = 0; f < frames; ++f) {
        Md2BuildFrame frame;
        frame.name = "stand0" + std::to_string(f + 1);
        frame.scale[2] = 1.0f + 0.1f * static_cast<float>(f);
        frame.vertices = {{0, 0, 0, 5}, {200, 0, 0, 60}, {0, 200, 0, 161}, {0, 0, 200, 161}};
        model.frames.push_back(frame);
    }
    model.glCommands = {3, 0, 0, 0, 0, 0, 1, 0, 0, 2, 0};
    return model;
}

void appendWritten(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// Seeds for the PCX decoder: runs across line ends, padded lines, a run of 63.
bool savePcxSeeds(const std::string& folder)
{
    PcxDescription small;
    small.indices = {1, 2, 3, 200};
    bool ok = writeBytesToFile(folder + "/small.pcx", buildPcx(small));
    PcxDescription padded;
    padded.xMax = 6;
    padded.yMax = 3;
    padded.bytesPerLine = 9;
    for (int i = 0; i < 9 * 4; ++i) {
        padded.indices.push_back(static_cast<uint8_t>(i < 20 ? 0xc4 : i));
    }
    ok = writeBytesToFile(folder + "/padded.pcx", buildPcx(padded)) && ok;
    PcxDescription wide;
    wide.xMax = 69;
    wide.yMax = 1;
    wide.indices.assign(140, 9);
    return writeBytesToFile(folder + "/runs.pcx", buildPcx(wide)) && ok;
}

// Seeds for the skin decoder: one small picture per format and layout stb_image is asked to read.
bool saveImageSeeds(const std::string& folder)
{
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 8 * 4 * 4; ++i) {
        rgba.push_back(static_cast<uint8_t>(i * 29));
    }
    struct Written {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    Written files[] = {{"rgba.png", {}}, {"grey.png", {}}, {"rgb.bmp", {}}, {"rgba.tga", {}}, {"rgb.jpg", {}}};
    stbi_write_png_to_func(appendWritten, &files[0].bytes, 8, 4, 4, rgba.data(), 8 * 4);
    stbi_write_png_to_func(appendWritten, &files[1].bytes, 8, 4, 1, rgba.data(), 8);
    stbi_write_bmp_to_func(appendWritten, &files[2].bytes, 8, 4, 3, rgba.data());
    stbi_write_tga_to_func(appendWritten, &files[3].bytes, 8, 4, 4, rgba.data());
    stbi_write_jpg_to_func(appendWritten, &files[4].bytes, 8, 4, 3, rgba.data(), 90);
    bool ok = true;
    for (const Written& file : files) {
        ok = !file.bytes.empty() && writeBytesToFile(folder + "/" + file.name, file.bytes) && ok;
    }
    PcxDescription pcx;
    pcx.indices = {1, 2, 3, 200};
    ok = writeBytesToFile(folder + "/small.pcx", buildPcx(pcx)) && ok;
    TgaDescription tga;
    tga.imageId = "0123456789";  // starts with 10, as a PCX does
    return writeBytesToFile(folder + "/id_ten.tga", buildTga(tga)) && ok;
}

// Seeds for the archive readers: a few entries with folders, one empty; ZIPs stored, deflated and mixed, one
// with a comment and one with a local extra field.
bool saveArchiveSeeds(const std::string& pakFolder, const std::string& zipFolder)
{
    std::vector<uint8_t> model;
    for (int i = 0; i < 300; ++i) {
        model.push_back(static_cast<uint8_t>(i % 17 * (i % 5)));
    }
    const std::vector<ArchiveBuildEntry> entries = {{"models/a/tris.md2", model, false, ""},
                                                    {"models/a/skin.pcx", textBytes("skin skin skin skin"), true, ""},
                                                    {"README", {}, false, ""}};
    bool ok = writeBytesToFile(pakFolder + "/three.pak", buildPak(entries));
    ok = writeBytesToFile(pakFolder + "/one.pak", buildPak({{"a.md2", {1, 2, 3}, false, ""}})) && ok;
    ok = writeBytesToFile(pakFolder + "/empty.pak", buildPak({})) && ok;
    ok = writeBytesToFile(zipFolder + "/mixed.zip", buildZip(entries)) && ok;
    std::vector<ArchiveBuildEntry> deflated = entries;
    for (ArchiveBuildEntry& entry : deflated) {
        entry.deflate = true;
    }
    ok = writeBytesToFile(zipFolder + "/deflated.zip", buildZip(deflated, "a comment")) && ok;
    ok = writeBytesToFile(zipFolder + "/extra.zip", buildZip({{"x/y.md2", model, true, "ab\x02\x00zz"}})) && ok;
    return writeBytesToFile(zipFolder + "/empty.zip", buildZip({})) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5 && argc != 7) {
        std::fprintf(stderr,
                     "usage: makeSeeds MD2_FOLDER TGA_FOLDER [PCX_FOLDER IMAGE_FOLDER [PAK_FOLDER ZIP_FOLDER]]\n");
        return 2;
    }
    const std::string md2 = argv[1];
    const std::string tga = argv[2];
    bool ok = writeBytesToFile(md2 + "/tetrahedron.md2", buildMd2(tetrahedron(3, true)));
    ok = writeBytesToFile(md2 + "/no_texcoords.md2", buildMd2(tetrahedron(2, false))) && ok;
    Md2Description padded = tetrahedron(2, true);
    padded.framePadding = 12;
    ok = writeBytesToFile(md2 + "/padded_frames.md2", buildMd2(padded)) && ok;
    Md2Description empty = tetrahedron(1, false);
    empty.triangles.clear();
    ok = writeBytesToFile(md2 + "/no_triangles.md2", buildMd2(empty)) && ok;
    // Counts below zero leave their section out: seeds that start the fuzzer on that path.
    std::vector<uint8_t> negativeSkins = buildMd2(tetrahedron(2, true));
    putS32le(negativeSkins, md2Field::numSkins, -1);
    ok = writeBytesToFile(md2 + "/negative_skins.md2", negativeSkins) && ok;
    std::vector<uint8_t> negativeFrames = buildMd2(tetrahedron(1, true));
    putS32le(negativeFrames, md2Field::numFrames, -2);
    ok = writeBytesToFile(md2 + "/negative_frames.md2", negativeFrames) && ok;

    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{4, 2}, std::pair{8, 8}}) {
        TgaDescription image;
        image.width = static_cast<uint16_t>(width);
        image.height = static_cast<uint16_t>(height);
        for (int i = 0; i < width * height * 4; ++i) {
            image.pixels.push_back(static_cast<uint8_t>(i * 37));
        }
        ok = writeBytesToFile(tga + "/image_" + std::to_string(width) + "x" + std::to_string(height) + ".tga",
                              buildTga(image)) &&
             ok;
    }
    TgaDescription withId;
    withId.imageId = "id";
    ok = writeBytesToFile(tga + "/image_id.tga", buildTga(withId)) && ok;
    if (argc == 7) {
        ok = saveArchiveSeeds(argv[5], argv[6]) && ok;
    }
    if (argc >= 5) {
        ok = savePcxSeeds(argv[3]) && ok;
        ok = saveImageSeeds(argv[4]) && ok;
    }
    return ok ? 0 : 1;
}
