// Runs arbitrary bytes through a file loader the way the viewer would, touching everything drawing would touch.
// A stray read here is what AddressSanitizer and the fuzzers are looking for.
#include "support/loaderExercise.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/archive.h"
#include "model/md2.h"
#include "model/md2Prepare.h"
#include "model/pcx.h"
#include "model/skinImage.h"
#include "text/tga.h"

namespace {

// Consumes a value so the optimiser cannot drop the reads that produce it.
volatile float sink = 0.0f;

// Follows the frame exactly as drawModelFrame does, through the same corner walk.
void walkFrame(const Md2Model& loaded, int32_t frameIndex)
{
    float sum = 0.0f;
    forEachFrameCorner(loaded, frameIndex, [&sum](const ModelVertex& vertex, const Md2TexCoord* coord) {
        sum += vertex.position.x + vertex.normal.y;
        if (coord != nullptr) {
            sum += static_cast<float>(coord->s + coord->t);
        }
    });
    // Every name the loader hands out is terminated inside its 16 bytes.
    bool terminated = false;
    for (char c : loaded.frames[frameIndex].name) {
        terminated = terminated || c == '\0';
    }
    if (!terminated) {
        std::abort();
    }
    sink = sink + sum;
}

// Reads every pixel the upload would read, so a buffer shorter than its size shows.
void walkSkin(const SkinImage& image)
{
    if (image.width < 1 || image.height < 1 || image.width > maxSkinSide || image.height > maxSkinSide) {
        std::abort();
    }
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
    unsigned sum = 0;
    for (size_t i = 0; i < count; i += 61) {
        sum += image.pixels[i];
    }
    sum += image.pixels[count - 1];
    sink = sink + static_cast<float>(sum);
}

}  // namespace

bool exerciseMd2Bytes(const uint8_t* bytes, size_t size)
{
    Md2Model* loaded = parseMd2Model(bytes, size);
    if (loaded == nullptr) {
        return false;
    }
    flipWinding(loaded);
    computeVertexNormals(loaded);
    for (int32_t f = 0; f < loaded->numFrames; ++f) {
        walkFrame(*loaded, f);
    }
    freeMd2Model(loaded);
    return true;
}

bool exerciseTgaBytes(const uint8_t* bytes, size_t size)
{
    TgaImage image;
    const TgaFault fault = decodeTgaImage(bytes, size, image);

    // The font loader reads from a file instead; both must come to the same verdict on the same bytes.
    // fmemopen refuses a zero-length buffer; an empty file is a real case, so use an empty temporary file.
    FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(bytes), size, "rb") : std::tmpfile();
    if (file == nullptr) {
        std::abort();
    }
    TgaImage fromFile;
    const TgaFault fileFault = readTgaImage(file, fromFile);
    std::fclose(file);
    if (fileFault != fault) {
        std::abort();
    }
    if (fault != TgaFault::none) {
        return false;
    }
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
    if (fromFile.width != image.width || fromFile.height != image.height ||
        std::memcmp(fromFile.pixels.get(), image.pixels.get(), count) != 0) {
        std::abort();
    }
    unsigned sum = 0;
    for (size_t i = 0; i < count; i += 61) {
        sum += image.pixels[i];
    }
    sum += image.pixels[count - 1];
    sink = sink + static_cast<float>(sum);
    return true;
}

bool exercisePcxBytes(const uint8_t* bytes, size_t size)
{
    SkinImage image;
    if (decodePcxImage(bytes, size, image) != PcxFault::none) {
        if (image.pixels) {
            std::abort();  // a refused file leaves no pixels behind
        }
        return false;
    }
    walkSkin(image);
    return true;
}

bool exerciseSkinImageBytes(const uint8_t* bytes, size_t size)
{
    SkinImage image;
    std::string reason;
    if (decodeSkinImage(bytes, size, image, &reason) != SkinFault::none) {
        if (image.pixels || reason.empty()) {
            std::abort();  // every refusal says why
        }
        return false;
    }
    walkSkin(image);
    return true;
}

namespace {

// Small enough that a fuzzed entry claiming more is refused, large enough for the builders' entries to inflate.
constexpr uint64_t exerciseEntryCap = 1u << 16;

bool exerciseArchive(const uint8_t* bytes, size_t size,
                     bool (*readDirectory)(const ArchiveReader&, ArchiveDirectory&, ArchiveFault&))
{
    const ArchiveBytes memory = {bytes, size};
    const ArchiveReader reader = archiveReaderOverBytes(memory);
    ArchiveDirectory directory;
    ArchiveFault fault;
    if (!readDirectory(reader, directory, fault)) {
        if (fault.kind == ArchiveFaultKind::none || fault.text[0] == '\0' || !directory.entries.empty()) {
            std::abort();
        }
        return false;
    }
    unsigned sum = 0;
    for (size_t i = 0; i < directory.entries.size(); ++i) {
        const ArchiveEntry& entry = directory.entries[i];
        FileBytes data;
        if (readArchiveEntry(reader, directory, i, exerciseEntryCap, data, fault)) {
            if (data.size != entry.size) {
                std::abort();
            }
            for (size_t k = 0; k < data.size; k += 97) {
                sum += data.bytes[k];
            }
        } else if (fault.kind == ArchiveFaultKind::none || data.size != 0) {
            std::abort();
        }
        const long found = findArchiveEntry(directory, entry.name);
        if (found < 0 || static_cast<size_t>(found) > i) {
            std::abort();
        }
        const size_t slash = entry.name.find_last_of("/\\");
        sum += static_cast<unsigned>(
            listArchiveFolder(directory, slash == std::string::npos ? "" : entry.name.substr(0, slash)).size());
    }
    sink = sink + static_cast<float>(sum);
    return true;
}

}  // namespace

bool exercisePakBytes(const uint8_t* bytes, size_t size)
{
    return exerciseArchive(bytes, size, readPakDirectory);
}

bool exerciseZipBytes(const uint8_t* bytes, size_t size)
{
    return exerciseArchive(bytes, size, readZipDirectory);
}
