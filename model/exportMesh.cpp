// Split vertices, axes and deltas shared by the glTF and OBJ writers; see exportMesh.h.
#include "model/exportMesh.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

#include <zlib.h>

ExportMesh buildExportMesh(const Md2Model& model, float skinWidth, float skinHeight)
{
    ExportMesh mesh;
    if (model.triangles == nullptr || model.numTriangles <= 0) {
        return mesh;
    }
    const bool withTexCoords = model.texCoords != nullptr && skinWidth > 0.0f && skinHeight > 0.0f;
    // One key per (vertex, s, t): two texture coordinate entries holding the same values share a vertex.
    std::unordered_map<uint64_t, uint32_t> seen;
    seen.reserve(size_t(model.numTriangles) * 3);
    mesh.indices.reserve(size_t(model.numTriangles) * 3);
    for (int32_t i = 0; i < model.numTriangles; ++i) {
        const Md2Triangle& triangle = model.triangles[i];
        for (int k = 0; k < 3; ++k) {
            const int32_t vertex = triangle.vertex[k];
            Md2TexCoord st = {0, 0};
            if (withTexCoords) {
                st = model.texCoords[triangle.texCoord[k]];
            }
            const uint64_t key =
                (uint64_t(uint32_t(vertex)) << 32) | (uint64_t(uint16_t(st.s)) << 16) | uint64_t(uint16_t(st.t));
            const auto [at, added] = seen.try_emplace(key, uint32_t(mesh.sourceVertex.size()));
            if (added) {
                mesh.sourceVertex.push_back(vertex);
                if (withTexCoords) {
                    mesh.texCoords.push_back(static_cast<float>(st.s) / skinWidth);
                    mesh.texCoords.push_back(static_cast<float>(st.t) / skinHeight);
                }
            }
            mesh.indices.push_back(at->second);
        }
    }
    return mesh;
}

float skinDivisor(int32_t headerSize, int32_t imageSize)
{
    if (headerSize > 0) {
        return static_cast<float>(headerSize);
    }
    return imageSize > 0 ? static_cast<float>(imageSize) : 0.0f;
}

namespace {

// The next float above value (value finite), by its bits: std::nextafter costs a call and its checks, and this
// runs for most coordinates of every keyframe.
float stepUp(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    if (value == 0.0f) {
        bits = 1;  // the smallest subnormal, from either zero
    } else if (value > 0.0f) {
        ++bits;
    } else {
        --bits;
    }
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float stepDown(float value)
{
    return -stepUp(-value);
}

}  // namespace

float morphDeltaSearch(float base, float target)
{
    // target - base rounds once; adding it back to base rounds again. Among the few floats around it, the one
    // whose sum lands nearest target (exactly on it whenever any does) is the delta.
    const float first = target - base;
    if (base + first == target || !std::isfinite(first)) {
        return first;
    }
    float best = first;
    double bestError = std::fabs(double(base + first) - double(target));
    float down = first;
    float up = first;
    for (int step = 0; step < 3 && bestError != 0.0; ++step) {
        down = stepDown(down);
        up = stepUp(up);
        for (const float candidate : {down, up}) {
            const double error = std::fabs(double(base + candidate) - double(target));
            if (error < bestError) {
                best = candidate;
                bestError = error;
            }
        }
    }
    return best;
}

bool exportable(const Md2Model& model, ExportFault* fault)
{
    ExportFault found;
    if (model.frames == nullptr || model.numFrames <= 0) {
        found = {ExportFaultKind::noKeyframes, "it has no keyframes to export"};
    } else if (model.triangles == nullptr || model.numTriangles <= 0) {
        found = {ExportFaultKind::noTriangles, "it has no triangles to export"};
    }
    if (fault != nullptr) {
        *fault = found;
    }
    return found.kind == ExportFaultKind::none;
}

std::string exportStem(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

namespace {

void appendUint32(std::vector<uint8_t>& out, uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    out.insert(out.end(), bytes, bytes + 4);
}

// A chunk's length, type and data are already in out from `start` (the length a placeholder); fills the length
// in and appends the CRC of type and data.
void closeChunk(std::vector<uint8_t>& out, size_t start)
{
    const uint32_t length = uint32_t(out.size() - start - 8);
    for (int i = 0; i < 4; ++i) {
        out[start + size_t(i)] = uint8_t(length >> (24 - 8 * i));
    }
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + start + 4, uInt(length + 4));
    appendUint32(out, uint32_t(crc));
}

size_t openChunk(std::vector<uint8_t>& out, const char* type)
{
    const size_t start = out.size();
    appendUint32(out, 0);
    out.insert(out.end(), type, type + 4);
    return start;
}

}  // namespace

bool encodePng(const uint8_t* pixels, int32_t width, int32_t height, std::vector<uint8_t>& png)
{
    png.clear();
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    // Every row filtered by its left neighbour (Sub): one cheap pass that shrinks skins' smooth areas, then
    // zlib's fastest level. A skin is written once per export, so speed counts for more than the last bytes.
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint8_t> filtered(size_t(height) * (rowBytes + 1));
    for (size_t y = 0; y < size_t(height); ++y) {
        const uint8_t* row = pixels + y * rowBytes;
        uint8_t* to = filtered.data() + y * (rowBytes + 1);
        to[0] = 1;
        std::memcpy(to + 1, row, 4);
        for (size_t i = 4; i < rowBytes; ++i) {
            to[1 + i] = uint8_t(row[i] - row[i - 4]);
        }
    }
    uLongf packedSize = compressBound(uLong(filtered.size()));
    png.reserve(8 + 25 + 12 + packedSize + 12);
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    png.insert(png.end(), signature, signature + 8);
    size_t chunk = openChunk(png, "IHDR");
    appendUint32(png, uint32_t(width));
    appendUint32(png, uint32_t(height));
    const uint8_t format[5] = {8, 6, 0, 0, 0};  // 8 bits a channel, RGBA, deflate, adaptive filters, no interlace
    png.insert(png.end(), format, format + 5);
    closeChunk(png, chunk);
    chunk = openChunk(png, "IDAT");
    const size_t dataAt = png.size();
    png.resize(dataAt + packedSize);
    if (compress2(png.data() + dataAt, &packedSize, filtered.data(), uLong(filtered.size()), Z_BEST_SPEED) != Z_OK) {
        png.clear();
        return false;
    }
    png.resize(dataAt + packedSize);
    closeChunk(png, chunk);
    closeChunk(png, openChunk(png, "IEND"));
    return true;
}
