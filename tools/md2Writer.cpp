// Turns an Md2Source into MD2 bytes: header, skins, texture coordinates, triangles, quantised frames and
// GL command words, little-endian, laid out back to back in that order.
#include "tools/md2Writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace {

constexpr int32_t md2Ident = 0x32504449;  // "IDP2"
constexpr int32_t md2Version = 8;
constexpr int32_t headerSize = 68;
constexpr int32_t skinNameSize = 64;
constexpr int32_t frameNameSize = 16;
constexpr int32_t frameHeadSize = 40;
constexpr size_t maxVertices = 2048;  // what MD2 readers size their frame buffers for

void putU8(std::vector<uint8_t>& bytes, uint8_t value)
{
    bytes.push_back(value);
}

void putS16le(std::vector<uint8_t>& bytes, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    bytes.push_back(static_cast<uint8_t>(bits & 0xff));
    bytes.push_back(static_cast<uint8_t>(bits >> 8));
}

void putS32le(std::vector<uint8_t>& bytes, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>((bits >> shift) & 0xff));
    }
}

void putF32le(std::vector<uint8_t>& bytes, float value)
{
    putS32le(bytes, std::bit_cast<int32_t>(value));
}

// A fixed-size, NUL-padded name field; the caller has checked that the name leaves room for the terminator.
void putName(std::vector<uint8_t>& bytes, const std::string& name, size_t fieldSize)
{
    for (size_t i = 0; i < fieldSize; ++i) {
        bytes.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
    }
}

Vec3 subtract(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool sourceIsSound(const Md2Source& source)
{
    const size_t numVertices = source.frames.empty() ? 0 : source.frames[0].vertices.size();
    if (numVertices > maxVertices || source.texCoords.size() > 32767 || source.triangles.size() > 32767 ||
        source.skins.size() > 32767) {
        return false;
    }
    for (const std::string& skin : source.skins) {
        if (skin.size() >= static_cast<size_t>(skinNameSize)) return false;
    }
    for (const Md2SourceFrame& frame : source.frames) {
        if (frame.vertices.size() != numVertices || frame.name.size() >= static_cast<size_t>(frameNameSize)) {
            return false;
        }
    }
    for (const Md2Triangle& triangle : source.triangles) {
        for (int k = 0; k < 3; ++k) {
            if (triangle.vertex[k] < 0 || static_cast<size_t>(triangle.vertex[k]) >= numVertices) return false;
            const bool texCoordOutside =
                triangle.texCoord[k] < 0 || static_cast<size_t>(triangle.texCoord[k]) >= source.texCoords.size();
            if (!source.texCoords.empty() && texCoordOutside) return false;
        }
    }
    return true;
}

void putFrame(std::vector<uint8_t>& bytes, const Md2SourceFrame& frame)
{
    Vec3 low = {0, 0, 0};
    Vec3 high = {0, 0, 0};
    if (!frame.vertices.empty()) {
        low = high = frame.vertices[0].position;
    }
    for (const Md2SourceVertex& vertex : frame.vertices) {
        low = {std::min(low.x, vertex.position.x), std::min(low.y, vertex.position.y),
               std::min(low.z, vertex.position.z)};
        high = {std::max(high.x, vertex.position.x), std::max(high.y, vertex.position.y),
                std::max(high.z, vertex.position.z)};
    }
    // A flat axis still gets a usable scale: every byte on it is 0 and decodes to the translate exactly.
    auto scaleFor = [](float lowValue, float highValue) {
        const float extent = highValue - lowValue;
        return extent > 0 ? extent / 255.0f : 1.0f / 255.0f;
    };
    const Vec3 scale = {scaleFor(low.x, high.x), scaleFor(low.y, high.y), scaleFor(low.z, high.z)};
    auto quantise = [](float value, float lowValue, float step) {
        const long level = std::lround((static_cast<double>(value) - lowValue) / step);
        return static_cast<uint8_t>(std::clamp(level, 0L, 255L));
    };

    putF32le(bytes, scale.x);
    putF32le(bytes, scale.y);
    putF32le(bytes, scale.z);
    putF32le(bytes, low.x);
    putF32le(bytes, low.y);
    putF32le(bytes, low.z);
    putName(bytes, frame.name, frameNameSize);
    for (const Md2SourceVertex& vertex : frame.vertices) {
        putU8(bytes, quantise(vertex.position.x, low.x, scale.x));
        putU8(bytes, quantise(vertex.position.y, low.y, scale.y));
        putU8(bytes, quantise(vertex.position.z, low.z, scale.z));
        putU8(bytes, nearestMd2Normal(vertex.normal));
    }
}

// One strip-or-fan corner: a vertex together with the texture coordinate it carries there.
using Corner = uint32_t;
using EdgeMap = std::unordered_multimap<uint64_t, int32_t>;

Corner cornerOf(const Md2Triangle& triangle, int k)
{
    return (static_cast<uint32_t>(static_cast<uint16_t>(triangle.vertex[k])) << 16) |
           static_cast<uint16_t>(triangle.texCoord[k]);
}

uint64_t edgeKey(Corner from, Corner to)
{
    return (static_cast<uint64_t>(from) << 32) | to;
}

// The unclaimed triangle holding the directed edge from -> to, and the corner that follows `to` in it.
bool findNeighbour(const Md2Source& source, const EdgeMap& edges, const std::vector<int32_t>& claim, Corner from,
                   Corner to, int32_t& triangleIndex, Corner& third)
{
    const auto [first, last] = edges.equal_range(edgeKey(from, to));
    for (auto it = first; it != last; ++it) {
        if (claim[it->second] != 0) continue;
        const Md2Triangle& triangle = source.triangles[it->second];
        for (int k = 0; k < 3; ++k) {
            if (cornerOf(triangle, k) == to) {
                triangleIndex = it->second;
                third = cornerOf(triangle, (k + 1) % 3);
                return true;
            }
        }
    }
    return false;
}

// Grows a strip or a fan from one triangle, first corner `rotation`. Triangles taken are marked `mark` in
// claim (the caller clears trial marks); returns the corners in drawing order.
std::vector<Corner> growRun(const Md2Source& source, const EdgeMap& edges, std::vector<int32_t>& claim, int32_t start,
                            int rotation, bool fan, int32_t mark, std::vector<int32_t>& taken)
{
    const Md2Triangle& triangle = source.triangles[start];
    std::vector<Corner> corners = {cornerOf(triangle, rotation), cornerOf(triangle, (rotation + 1) % 3),
                                   cornerOf(triangle, (rotation + 2) % 3)};
    claim[start] = mark;
    taken.push_back(start);
    for (;;) {
        const size_t n = corners.size();
        Corner from;
        Corner to;
        if (fan) {
            from = corners[0];
            to = corners[n - 1];
        } else if ((n - 2) % 2 == 1) {
            // The next strip triangle is odd: GL draws it as (v[i+1], v[i], v[i+2]).
            from = corners[n - 1];
            to = corners[n - 2];
        } else {
            from = corners[n - 2];
            to = corners[n - 1];
        }
        int32_t next = 0;
        Corner third = 0;
        if (!findNeighbour(source, edges, claim, from, to, next, third)) break;
        claim[next] = mark;
        taken.push_back(next);
        corners.push_back(third);
    }
    return corners;
}

}  // namespace

uint8_t nearestMd2Normal(Vec3 normal)
{
    int best = 0;
    float bestDot = -INFINITY;
    for (int i = 0; i < md2NormalCount; ++i) {
        const float dot =
            normal.x * md2VertexNormals[i][0] + normal.y * md2VertexNormals[i][1] + normal.z * md2VertexNormals[i][2];
        if (dot > bestDot) {
            bestDot = dot;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

void computeSourceNormals(Md2Source& source)
{
    for (Md2SourceFrame& frame : source.frames) {
        for (Md2SourceVertex& vertex : frame.vertices) {
            vertex.normal = {0, 0, 0};
        }
        for (const Md2Triangle& triangle : source.triangles) {
            const Vec3 p0 = frame.vertices[triangle.vertex[0]].position;
            const Vec3 p1 = frame.vertices[triangle.vertex[1]].position;
            const Vec3 p2 = frame.vertices[triangle.vertex[2]].position;
            // Clockwise from outside, so the outward normal is (p2 - p0) x (p1 - p0).
            const Vec3 outward = cross(subtract(p2, p0), subtract(p1, p0));
            for (int k = 0; k < 3; ++k) {
                Vec3& sum = frame.vertices[triangle.vertex[k]].normal;
                sum = {sum.x + outward.x, sum.y + outward.y, sum.z + outward.z};
            }
        }
        for (Md2SourceVertex& vertex : frame.vertices) {
            Vec3& n = vertex.normal;
            const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            if (length > 0) n = {n.x / length, n.y / length, n.z / length};
        }
    }
}

std::vector<int32_t> buildGlCommands(const Md2Source& source)
{
    const auto numTriangles = static_cast<int32_t>(source.triangles.size());
    EdgeMap edges;
    for (int32_t t = 0; t < numTriangles; ++t) {
        const Md2Triangle& triangle = source.triangles[t];
        for (int k = 0; k < 3; ++k) {
            edges.emplace(edgeKey(cornerOf(triangle, k), cornerOf(triangle, (k + 1) % 3)), t);
        }
    }

    // claim: 0 free, 1 committed to a run, 2 taken by the trial run being measured.
    std::vector<int32_t> claim(numTriangles, 0);
    std::vector<int32_t> commands;
    std::vector<int32_t> taken;
    for (int32_t start = 0; start < numTriangles; ++start) {
        if (claim[start] != 0) continue;
        size_t bestLength = 0;
        int bestRotation = 0;
        bool bestFan = false;
        for (int fan = 0; fan < 2; ++fan) {
            for (int rotation = 0; rotation < 3; ++rotation) {
                taken.clear();
                const size_t length = growRun(source, edges, claim, start, rotation, fan != 0, 2, taken).size();
                for (int32_t t : taken) claim[t] = 0;
                if (length > bestLength) {
                    bestLength = length;
                    bestRotation = rotation;
                    bestFan = fan != 0;
                }
            }
        }
        taken.clear();
        const std::vector<Corner> corners = growRun(source, edges, claim, start, bestRotation, bestFan, 1, taken);
        const auto count = static_cast<int32_t>(corners.size());
        commands.push_back(bestFan ? -count : count);
        for (Corner corner : corners) {
            const auto vertex = static_cast<int32_t>(corner >> 16);
            const auto texCoord = static_cast<size_t>(corner & 0xffff);
            float s = 0;
            float t = 0;
            if (texCoord < source.texCoords.size() && source.skinWidth > 0 && source.skinHeight > 0) {
                s = (source.texCoords[texCoord].s + 0.5f) / static_cast<float>(source.skinWidth);
                t = (source.texCoords[texCoord].t + 0.5f) / static_cast<float>(source.skinHeight);
            }
            commands.push_back(std::bit_cast<int32_t>(s));
            commands.push_back(std::bit_cast<int32_t>(t));
            commands.push_back(vertex);
        }
    }
    commands.push_back(0);
    return commands;
}

std::vector<uint8_t> writeMd2Bytes(const Md2Source& source)
{
    if (!sourceIsSound(source)) return {};

    const auto numSkins = static_cast<int32_t>(source.skins.size());
    const auto numVertices = static_cast<int32_t>(source.frames.empty() ? 0 : source.frames[0].vertices.size());
    const auto numTexCoords = static_cast<int32_t>(source.texCoords.size());
    const auto numTriangles = static_cast<int32_t>(source.triangles.size());
    const auto numGlCommands = static_cast<int32_t>(source.glCommands.size());
    const auto numFrames = static_cast<int32_t>(source.frames.size());
    const int32_t frameSize = frameHeadSize + 4 * numVertices;

    const int32_t offsetSkins = headerSize;
    const int32_t offsetTexCoords = offsetSkins + skinNameSize * numSkins;
    const int32_t offsetTriangles = offsetTexCoords + 4 * numTexCoords;
    const int32_t offsetFrames = offsetTriangles + 12 * numTriangles;
    const int64_t framesEnd = offsetFrames + static_cast<int64_t>(frameSize) * numFrames;
    const int64_t end = framesEnd + 4 * static_cast<int64_t>(numGlCommands);
    if (end > INT32_MAX) return {};
    const auto offsetGlCommands = static_cast<int32_t>(framesEnd);
    const auto offsetEnd = static_cast<int32_t>(end);

    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(offsetEnd));
    for (int32_t field : {md2Ident, md2Version, source.skinWidth, source.skinHeight, frameSize, numSkins, numVertices,
                          numTexCoords, numTriangles, numGlCommands, numFrames, offsetSkins, offsetTexCoords,
                          offsetTriangles, offsetFrames, offsetGlCommands, offsetEnd}) {
        putS32le(bytes, field);
    }
    for (const std::string& skin : source.skins) {
        putName(bytes, skin, skinNameSize);
    }
    for (const Md2TexCoord& texCoord : source.texCoords) {
        putS16le(bytes, texCoord.s);
        putS16le(bytes, texCoord.t);
    }
    for (const Md2Triangle& triangle : source.triangles) {
        for (int16_t index : triangle.vertex) putS16le(bytes, index);
        for (int16_t index : triangle.texCoord) putS16le(bytes, index);
    }
    for (const Md2SourceFrame& frame : source.frames) {
        putFrame(bytes, frame);
    }
    for (int32_t word : source.glCommands) {
        putS32le(bytes, word);
    }
    return bytes;
}

bool writeMd2File(const char* path, const Md2Source& source)
{
    const std::vector<uint8_t> bytes = writeMd2Bytes(source);
    if (bytes.empty()) return false;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}
