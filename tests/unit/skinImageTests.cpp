// Skin pictures from bytes: PCX picked by content, every common PNG, JPEG, TGA and BMP variant through stb_image
// (written by ImageMagick at test time), the size limit judged from the header, and the reasons given on faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/pcx.h"
#include "model/skinImage.h"
#include "support/pcxBuilder.h"
#include "support/tempFolder.h"
#include "support/testFiles.h"
#include "support/tgaBuilder.h"

namespace {

struct Decoded {
    SkinFault fault = SkinFault::none;
    SkinImage image;
    std::string reason;
};

Decoded decodeBytes(const std::vector<uint8_t>& bytes)
{
    Decoded decoded;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);
    if (!bytes.empty()) {
        std::memcpy(exact.get(), bytes.data(), bytes.size());
    }
    decoded.fault = decodeSkinImage(exact.get(), bytes.size(), decoded.image, &decoded.reason);
    return decoded;
}

bool haveConvert()
{
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

// A 4 x 2 picture, RGBA, top row first: opaque colours, colours with alpha, or greys.
enum class Source { colour, alpha, grey };

std::vector<uint8_t> sourcePixels(Source source)
{
    const uint8_t colours[8][4] = {{250, 10, 10, 255},  {10, 240, 20, 255},  {20, 30, 230, 255}, {240, 240, 30, 255},
                                   {128, 64, 200, 255}, {30, 200, 200, 255}, {90, 90, 90, 255},  {255, 255, 255, 255}};
    const uint8_t alphas[8] = {255, 0, 128, 64, 200, 17, 255, 1};
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 8; ++i) {
        for (int c = 0; c < 3; ++c) {
            pixels.push_back(source == Source::grey ? static_cast<uint8_t>(i * 33 + 5) : colours[i][c]);
        }
        pixels.push_back(source == Source::alpha ? alphas[i] : 255);
    }
    return pixels;
}

// The picture as a PAM file, which ImageMagick reads with or without alpha.
std::vector<uint8_t> pamFile(Source source)
{
    const std::string header =
        std::string("P7\nWIDTH 4\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\n") + "ENDHDR\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    const std::vector<uint8_t> pixels = sourcePixels(source);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

// Largest difference between two RGBA buffers of the same size.
int largestDifference(const uint8_t* a, const std::vector<uint8_t>& b)
{
    int largest = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    }
    return largest;
}

// A PNG signature and IHDR chunk claiming the given size; stb reads no further to learn it.
std::vector<uint8_t> pngHeader(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});  // 8-bit RGBA, then a CRC nobody checks
    bytes.insert(bytes.end(), 64, uint8_t{0});
    return bytes;
}

// A 24-bit BMP header (BITMAPINFOHEADER) claiming the given size, followed by a few bytes of pixels.
std::vector<uint8_t> bmpHeader(int32_t width, int32_t height)
{
    std::vector<uint8_t> bytes = {'B', 'M'};
    auto put32 = [&](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    };
    put32(54 + 64);  // file size
    put32(0);
    put32(54);  // pixel data offset
    put32(40);  // info header size
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    bytes.insert(bytes.end(), {1, 0, 24, 0});  // one plane, 24 bits
    for (int i = 0; i < 6; ++i) {
        put32(0);  // no compression, sizes, resolutions, colours
    }
    bytes.insert(bytes.end(), 64, uint8_t{0x55});
    return bytes;
}

const std::string tgaFixtures = std::string(BREVANT_FIXTURES) + "/fixtures/tga/";

}  // namespace

TEST(SkinImage, EachCommonVariantWrittenByImageMagickDecodesToItsPixels)
{
    if (!haveConvert()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    struct Case {
        const char* what;
        Source source;
        const char* options;  // convert options, then the output's prefix and extension
        const char* output;
        int tolerance;
    };
    const Case cases[] = {
        {"PNG, 8-bit RGBA", Source::alpha, "", "PNG32:out.png", 0},
        {"PNG, 16-bit RGBA", Source::alpha, "-depth 16", "PNG64:out.png", 0},
        {"PNG, paletted", Source::colour, "", "PNG8:out.png", 0},
        {"PNG, grey", Source::grey, "-type Grayscale", "PNG:out.png", 0},
        {"JPEG, baseline", Source::colour, "-quality 100 -sampling-factor 1x1", "out.jpg", 12},
        {"JPEG, progressive", Source::colour, "-quality 100 -sampling-factor 1x1 -interlace Plane", "out.jpg", 12},
        {"JPEG, grey", Source::grey, "-quality 100 -type Grayscale", "out.jpg", 6},
        // ImageMagick writes TGA rows in the order it holds them and marks them bottom-up unless told the
        // picture's orientation; the files from other programs below cover the bottom-up layout.
        {"TGA, 32-bit", Source::alpha, "-orient TopLeft", "out.tga", 0},
        {"TGA, 24-bit run-length", Source::colour, "-orient TopLeft -type TrueColor -compress RLE", "out.tga", 0},
        {"TGA, colour-mapped", Source::colour, "-orient TopLeft -type Palette", "out.tga", 0},
        {"TGA, grey", Source::grey, "-orient TopLeft -type Grayscale", "out.tga", 0},
        {"BMP, 24-bit", Source::colour, "-type TrueColor", "BMP3:out.bmp", 0},
        {"BMP, 8-bit paletted", Source::colour, "-type Palette", "BMP3:out.bmp", 0},
        {"BMP, 32-bit with alpha", Source::alpha, "", "BMP:out.bmp", 0},
    };
    TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string input = folder.at("in.pam");
        const std::string output = folder.at(std::string(c.output).substr(std::string(c.output).find(':') + 1));
        ASSERT_TRUE(folder.write("in.pam", pamFile(c.source)));
        const std::string prefix = std::string(c.output).find(':') == std::string::npos
                                       ? ""
                                       : std::string(c.output).substr(0, std::string(c.output).find(':') + 1);
        const std::string command =
            "convert '" + input + "' " + c.options + " '" + prefix + output + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        const Decoded decoded = decodeBytes(readWholeFile(output));
        ASSERT_EQ(decoded.fault, SkinFault::none) << decoded.reason;
        ASSERT_EQ(decoded.image.width, 4);
        ASSERT_EQ(decoded.image.height, 2);
        EXPECT_LE(largestDifference(decoded.image.pixels.get(), sourcePixels(c.source)), c.tolerance);
        std::remove(output.c_str());
    }
}

TEST(SkinImage, TgaFilesFromOtherProgramsDecodeTheSameWhateverTheirLayout)
{
    SKIP_WITHOUT_FIXTURES();
    // One picture stored bottom-up, top-down and run-length encoded: the pixels must agree, top row first.
    const Decoded bottomUp = decodeBytes(readWholeFile(tgaFixtures + "200x32_rgba_bl_raw.tga"));
    ASSERT_EQ(bottomUp.fault, SkinFault::none) << bottomUp.reason;
    ASSERT_EQ(bottomUp.image.width, 200);
    ASSERT_EQ(bottomUp.image.height, 32);
    const std::vector<uint8_t> expected(bottomUp.image.pixels.get(), bottomUp.image.pixels.get() + 200 * 32 * 4);
    for (const char* name : {"200x32_rgba_tl_raw.tga", "200x32_rgba_bl_rle.tga"}) {
        SCOPED_TRACE(name);
        const Decoded other = decodeBytes(readWholeFile(tgaFixtures + name));
        ASSERT_EQ(other.fault, SkinFault::none) << other.reason;
        ASSERT_EQ(other.image.width * other.image.height, 200 * 32);
        EXPECT_EQ(largestDifference(other.image.pixels.get(), expected), 0);
    }

    // The bottom-up file's first stored row is the picture's bottom row.
    const std::vector<uint8_t> file = readWholeFile(tgaFixtures + "200x32_rgba_bl_raw.tga");
    ASSERT_GE(file.size(), 18u + 4u);
    const uint8_t* firstStored = file.data() + 18 + file[0];
    const uint8_t* bottomRow = bottomUp.image.pixels.get() + 31 * 200 * 4;
    EXPECT_EQ(bottomRow[0], firstStored[2]);  // stored blue, green, red, alpha
    EXPECT_EQ(bottomRow[2], firstStored[0]);
    EXPECT_EQ(bottomRow[3], firstStored[3]);
}

TEST(SkinImage, PcxIsRecognisedByContentAndAnImageIdOfTenIsStillTga)
{
    PcxDescription pcx;
    pcx.indices = {1, 2, 3, 4};
    const Decoded fromPcx = decodeBytes(buildPcx(pcx));
    ASSERT_EQ(fromPcx.fault, SkinFault::none) << fromPcx.reason;
    ASSERT_EQ(fromPcx.image.width, 2);
    EXPECT_EQ(fromPcx.image.pixels[12], 4);
    EXPECT_EQ(fromPcx.image.pixels[13], pcxTestColour(4).g);

    pcx.version = 3;
    const Decoded oldPcx = decodeBytes(buildPcx(pcx));
    EXPECT_EQ(oldPcx.fault, SkinFault::badPcx);
    EXPECT_EQ(oldPcx.reason, pcxFaultText(PcxFault::notVersion5));

    // A TGA whose image ID is ten bytes long starts with 10, as a PCX does.
    TgaDescription tga;
    tga.imageId = "0123456789";
    tga.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};  // 2 x 2, bottom row first
    const Decoded fromTga = decodeBytes(buildTga(tga));
    ASSERT_EQ(fromTga.fault, SkinFault::none) << fromTga.reason;
    const uint8_t expected[] = {11, 10, 9, 12, 15, 14, 13, 16, 3, 2, 1, 4, 7, 6, 5, 8};
    EXPECT_EQ(std::memcmp(fromTga.image.pixels.get(), expected, sizeof expected), 0);
}

TEST(SkinImage, SidesOver4096AreRefusedFromTheHeaderAlone)
{
    // 16000 x 16000 would be 1 GB of pixels and 60000 x 60000 over 14 GB: refused as too large, so stb never
    // got to allocate them. (stb's own PNG reader stops at 2^30 bytes, so a PNG claims the smaller size.)
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* size;
    };
    const Case cases[] = {
        {"PNG 16000 x 16000", pngHeader(16000, 16000), "16000 x 16000"},
        {"PNG 4097 x 1", pngHeader(4097, 1), "4097 x 1"},
        {"BMP 60000 x 60000", bmpHeader(60000, 60000), "60000 x 60000"},
        {"BMP 1 x 4097", bmpHeader(1, 4097), "1 x 4097"},
        {"BMP 1 x -60000 (top row first)", bmpHeader(1, -60000), "1 x 60000"},
        {"BMP 1 x -2^31", bmpHeader(1, INT32_MIN), "1 x 2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded decoded = decodeBytes(c.bytes);
        EXPECT_EQ(decoded.fault, SkinFault::tooLarge);
        EXPECT_NE(decoded.reason.find(c.size), std::string::npos) << decoded.reason;
        EXPECT_EQ(decoded.image.pixels, nullptr);
    }

    // A top-down BMP's negative height is its size, not a fault.
    std::vector<uint8_t> topDown = bmpHeader(2, -2);
    topDown.resize(54 + 16);
    topDown[54] = 7;  // blue of the first stored pixel, the top left one
    const Decoded small = decodeBytes(topDown);
    ASSERT_EQ(small.fault, SkinFault::none) << small.reason;
    EXPECT_EQ(small.image.height, 2);
    EXPECT_EQ(small.image.pixels[2], 7);

    // The largest accepted side, in a real file.
    if (!haveConvert()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    TempFolder folder;
    const std::string path = folder.at("wide.png");
    ASSERT_EQ(std::system(("convert -size 4096x1 xc:red 'PNG32:" + path + "' >/dev/null 2>&1").c_str()), 0);
    const Decoded wide = decodeBytes(readWholeFile(path));
    ASSERT_EQ(wide.fault, SkinFault::none) << wide.reason;
    EXPECT_EQ(wide.image.width, 4096);
    EXPECT_EQ(wide.image.pixels[4095 * 4], 255);
}

TEST(SkinImage, DamagedFilesAreRefusedWithStbsReason)
{
    const std::string garbageText = "this is not a picture at all";
    // A JPEG header whose Huffman table claims 255 + 45 codes: stb_image would write past its tables.
    // A JPEG whose Huffman table claims 255 + 45 codes, once after the frame header (read when decoding) and once
    // before it (read already when stb looks for the size): stb_image would write past its tables.
    std::vector<uint8_t> lateHuffman = {0xff, 0xd8, 0xff, 0xc0, 0,    11,   8,    0,    2,    0,   2,
                                        1,    1,    0x11, 0,    0xff, 0xc4, 0x01, 0x3f, 0x00, 255, 45};
    lateHuffman.resize(lateHuffman.size() + 14 + 300, 0);
    std::vector<uint8_t> earlyHuffman = {0xff, 0xd8, 0xff, 0xc4, 0x01, 0x3f, 0x00, 255, 45};
    earlyHuffman.resize(earlyHuffman.size() + 14 + 300, 0);
    std::vector<uint8_t> cutPng = pngHeader(4, 4);
    cutPng.resize(33);  // the header whole, no image data chunk
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        SkinFault fault;
    };
    const Case cases[] = {
        {"empty", {}, SkinFault::notAnImage},
        {"text", std::vector<uint8_t>(garbageText.begin(), garbageText.end()), SkinFault::notAnImage},
        {"PNG with no image data", cutPng, SkinFault::undecodable},
        {"JPEG with a Huffman table of over 256 codes after the frame header", lateHuffman, SkinFault::undecodable},
        {"JPEG with a Huffman table of over 256 codes before the frame header", earlyHuffman, SkinFault::undecodable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded decoded = decodeBytes(c.bytes);
        EXPECT_EQ(decoded.fault, c.fault);
        EXPECT_EQ(decoded.reason.rfind(skinFaultText(c.fault), 0), 0u) << decoded.reason;
        EXPECT_GT(decoded.reason.size(), std::string(skinFaultText(c.fault)).size() + 2) << decoded.reason;
        EXPECT_EQ(decoded.image.pixels, nullptr);
    }
    EXPECT_EQ(skinFaultText(SkinFault::none), nullptr);
}

// stb_image zero-fills an uncompressed BMP or TGA that ends early; each is refused one byte short of its pixels
// (rows padded to 4 bytes in a BMP) and decoded when whole.
TEST(SkinImage, ABmpOrTgaThatEndsBeforeItsPixelsIsRefused)
{
    auto bmp = [](int32_t width, int32_t height, size_t pixelBytes) {
        std::vector<uint8_t> bytes = bmpHeader(width, height);
        bytes.resize(54 + pixelBytes, 0x55);
        return bytes;
    };
    TgaDescription paletted;
    paletted.imageType = 1;
    paletted.colourMapType = 1;
    paletted.colourMapLength = 4;
    paletted.bitsPerPixel = 8;
    paletted.descriptor = 0;
    paletted.imageId = "id";
    TgaDescription cutPaletted = paletted;
    cutPaletted.pixelBytesKept = 3;
    TgaDescription trueColour;
    trueColour.width = 3;
    TgaDescription cutTrueColour = trueColour;
    cutTrueColour.pixelBytesKept = 3 * 2 * 4 - 1;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* format;  // nullptr: whole, decodes
    };
    const Case cases[] = {
        {"BMP 3 x 2, rows of 9 bytes padded to 12, whole", bmp(3, 2, 24), nullptr},
        {"BMP 3 x 2, its last row's padding missing", bmp(3, 2, 23), "BMP"},
        {"BMP 3 x 2, only the first row", bmp(3, 2, 12), "BMP"},
        {"BMP top-down 2 x -2, one byte short", bmp(2, -2, 15), "BMP"},
        {"BMP with no pixels at all", bmp(1, 1, 0), "BMP"},
        {"TGA true colour 3 x 2, whole", buildTga(trueColour), nullptr},
        {"TGA true colour 3 x 2, one byte short", buildTga(cutTrueColour), "TGA"},
        {"TGA colour-mapped with an id, whole", buildTga(paletted), nullptr},
        {"TGA colour-mapped with an id, one byte short", buildTga(cutPaletted), "TGA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded decoded = decodeBytes(c.bytes);
        if (c.format == nullptr) {
            EXPECT_EQ(decoded.fault, SkinFault::none) << decoded.reason;
            continue;
        }
        EXPECT_EQ(decoded.fault, SkinFault::cutShort);
        EXPECT_EQ(decoded.reason, std::string(c.format) + ": the file ends before the image does");
        EXPECT_EQ(decoded.image.pixels, nullptr);
    }
}
