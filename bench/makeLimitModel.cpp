// Writes the load benchmark's large model: an MD2 file at the format's usual limits (2,048 vertices,
// 4,096 triangles, 512 frames), a rippling torus whose every frame differs, with GL commands like a real file.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <utility>

#include "tools/md2Writer.h"

namespace {

// 64 x 32 grid cells on a closed torus: 2,048 vertices, two triangles per cell.
constexpr int ringSteps = 64;
constexpr int tubeSteps = 32;
constexpr int frameCount = 512;

int16_t gridIndex(int ring, int tube)
{
    return static_cast<int16_t>((ring % ringSteps) * tubeSteps + tube % tubeSteps);
}

Md2Source describeTorus()
{
    constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;
    Md2Source source;
    source.skinWidth = 256;
    source.skinHeight = 256;
    source.skins.push_back("models/bench/torus.pcx");
    for (int ring = 0; ring < ringSteps; ++ring) {
        for (int tube = 0; tube < tubeSteps; ++tube) {
            source.texCoords.push_back({static_cast<int16_t>(ring * 4), static_cast<int16_t>(tube * 8)});
        }
    }
    for (int ring = 0; ring < ringSteps; ++ring) {
        for (int tube = 0; tube < tubeSteps; ++tube) {
            const int16_t a = gridIndex(ring, tube);
            const int16_t b = gridIndex(ring + 1, tube);
            const int16_t c = gridIndex(ring, tube + 1);
            const int16_t d = gridIndex(ring + 1, tube + 1);
            // Clockwise seen from outside: ring then tube direction is counter-clockwise.
            source.triangles.push_back({{a, c, b}, {a, c, b}});
            source.triangles.push_back({{b, c, d}, {b, c, d}});
        }
    }
    for (int f = 0; f < frameCount; ++f) {
        Md2SourceFrame frame;
        frame.name = "ripple" + std::to_string(f);
        const float phase = twoPi * static_cast<float>(f) / frameCount;
        for (int ring = 0; ring < ringSteps; ++ring) {
            const float u = twoPi * static_cast<float>(ring) / ringSteps;
            for (int tube = 0; tube < tubeSteps; ++tube) {
                const float v = twoPi * static_cast<float>(tube) / tubeSteps;
                const float tubeRadius = 8.0f * (1.0f + 0.2f * std::sin(3.0f * u + phase));
                const float reach = 24.0f + tubeRadius * std::cos(v);
                frame.vertices.push_back(
                    {{reach * std::cos(u), reach * std::sin(u), tubeRadius * std::sin(v)}, {0, 0, 1}});
            }
        }
        source.frames.push_back(std::move(frame));
    }
    computeSourceNormals(source);
    source.glCommands = buildGlCommands(source);
    return source;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeLimitModel OUTPUT.md2\n");
        return 2;
    }
    if (!writeMd2File(argv[1], describeTorus())) {
        std::fprintf(stderr, "makeLimitModel: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
