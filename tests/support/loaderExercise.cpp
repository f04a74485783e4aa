// Runs arbitrary bytes through a file loader the way the viewer would, touching everything drawing would touch.
// A stray read here is what AddressSanitizer and the fuzzers are looking for.
#include "support/loaderExercise.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/md2.h"
#include "model/md2Prepare.h"
#include "text/tga.h"

namespace {

// Consumes a value so the optimiser cannot drop the reads that produce it.
volatile float sink = 0.0f;

void walkFrame(const Md2Model& loaded, int32_t frameIndex)
{
    const ModelVertex* vertices = loaded.frames[frameIndex].vertices.get();
    float sum = 0.0f;
    for (int32_t i = 0; i < loaded.numTriangles; ++i) {
        const Md2Triangle& triangle = loaded.triangles[i];
        for (int corner = 0; corner < 3; ++corner) {
            const ModelVertex& vertex = vertices[triangle.vertex[corner]];
            sum += vertex.position.x + vertex.normal.y;
            if (loaded.texCoords) {
                const Md2TexCoord& coord = loaded.texCoords[triangle.texCoord[corner]];
                sum += static_cast<float>(coord.s + coord.t);
            }
        }
    }
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
    // fmemopen refuses a zero-length buffer; an empty file is a real case, so use an empty temporary file.
    FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(bytes), size, "rb") : std::tmpfile();
    if (file == nullptr) {
        std::abort();
    }
    TgaImage image;
    const TgaFault fault = readTgaImage(file, image);
    std::fclose(file);
    if (fault != TgaFault::none) {
        return false;
    }
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
    unsigned sum = 0;
    for (size_t i = 0; i < count; i += 61) {
        sum += image.pixels[i];
    }
    sum += image.pixels[count - 1];
    sink = sink + static_cast<float>(sum);
    return true;
}
