// Writes the default model: a stocky little knight built from rounded boxes and ellipsoids, with a 40-frame
// idle loop ("stand01" ... "stand40"), in the MD2 format through md2Writer. Usage: makeModel OUTPUT.md2
#include "tools/md2Writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Everything below is in the file's axes: Z up, the figure facing -Y (towards the viewer once loaded).

// A rigid or scaling motion: p -> linear * p + offset.
struct Affine {
    float linear[3][3];
    Vec3 offset;
};

Affine identity()
{
    return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}};
}

Vec3 apply(const Affine& a, Vec3 p)
{
    return {a.linear[0][0] * p.x + a.linear[0][1] * p.y + a.linear[0][2] * p.z + a.offset.x,
            a.linear[1][0] * p.x + a.linear[1][1] * p.y + a.linear[1][2] * p.z + a.offset.y,
            a.linear[2][0] * p.x + a.linear[2][1] * p.y + a.linear[2][2] * p.z + a.offset.z};
}

// first, then second.
Affine then(const Affine& first, const Affine& second)
{
    Affine result = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) result.linear[r][c] += second.linear[r][k] * first.linear[k][c];
        }
    }
    const Vec3 moved = apply(second, first.offset);
    result.offset = moved;
    return result;
}

// Rotation by degrees about an axis through pivot, right-handed.
Affine rotationAbout(Vec3 pivot, Vec3 axis, float degrees)
{
    const float length = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    const float x = axis.x / length;
    const float y = axis.y / length;
    const float z = axis.z / length;
    const float angle = degrees * std::numbers::pi_v<float> / 180.0f;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float t = 1 - c;
    Affine a = {{{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                 {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                 {t * x * z - s * y, t * y * z + s * x, t * z * z + c}},
                {0, 0, 0}};
    const Vec3 turned = apply(a, pivot);
    a.offset = {pivot.x - turned.x, pivot.y - turned.y, pivot.z - turned.z};
    return a;
}

Affine scalingAbout(Vec3 centre, Vec3 factor)
{
    return {{{factor.x, 0, 0}, {0, factor.y, 0}, {0, 0, factor.z}},
            {centre.x * (1 - factor.x), centre.y * (1 - factor.y), centre.z * (1 - factor.z)}};
}

Affine translation(Vec3 by)
{
    Affine a = identity();
    a.offset = by;
    return a;
}

enum JointId {
    rootJoint,
    spineJoint,
    chestJoint,
    headJoint,
    crestJoint,
    leftShoulderJoint,
    leftElbowJoint,
    rightShoulderJoint,
    rightElbowJoint,
    jointCount
};

// Parents come before their children.
constexpr JointId jointParent[jointCount] = {rootJoint,  rootJoint,         spineJoint, spineJoint,        headJoint,
                                             spineJoint, leftShoulderJoint, spineJoint, rightShoulderJoint};

constexpr Vec3 hipPivot = {0, 0, -8};
constexpr Vec3 torsoCentre = {0, 0, 2.5f};
constexpr Vec3 neckPivot = {0, 0, 10};
constexpr Vec3 crestPivot = {0, 0.8f, 21};
constexpr Vec3 leftShoulderPivot = {11.5f, 0, 7.5f};
constexpr Vec3 rightShoulderPivot = {-11.5f, 0, 7.5f};
constexpr Vec3 leftElbowPivot = {12.2f, 0, -0.6f};
constexpr Vec3 rightElbowPivot = {-12.2f, 0, -0.6f};
constexpr Vec3 xAxis = {1, 0, 0};
constexpr Vec3 yAxis = {0, 1, 0};
constexpr Vec3 zAxis = {0, 0, 1};

// The idle loop at phase t (one full turn per loop): the chest breathes, the upper body sways, the head looks
// about, the arms swing gently in opposition, and the crest trails the head.
void poseJoints(float t, Affine world[jointCount])
{
    const float breath = 0.5f - 0.5f * std::cos(t);  // 0 at the first frame, 1 halfway
    const float swing = std::cos(t);
    Affine local[jointCount];
    local[rootJoint] = identity();
    local[spineJoint] = then(rotationAbout(hipPivot, yAxis, 2.2f * std::sin(t)), translation({0, 0, 0.45f * breath}));
    local[chestJoint] = scalingAbout(torsoCentre, {1 + 0.035f * breath, 1 + 0.05f * breath, 1 + 0.02f * breath});
    local[headJoint] = then(rotationAbout(neckPivot, xAxis, -3.0f * std::cos(2 * t)),
                            rotationAbout(neckPivot, zAxis, 9.0f * std::sin(t + 0.6f)));
    local[crestJoint] = rotationAbout(crestPivot, yAxis, 6.0f * std::sin(t - 1.2f));
    local[leftShoulderJoint] = then(rotationAbout(leftShoulderPivot, xAxis, 8.0f * swing),
                                    rotationAbout(leftShoulderPivot, yAxis, -1.5f - 2.0f * breath));
    local[rightShoulderJoint] = then(rotationAbout(rightShoulderPivot, xAxis, -8.0f * swing),
                                     rotationAbout(rightShoulderPivot, yAxis, 1.5f + 2.0f * breath));
    // A negative turn about +X brings the forearm forwards (towards -Y).
    local[leftElbowJoint] = rotationAbout(leftElbowPivot, xAxis, -10.0f - 6.0f * std::cos(t - 0.5f));
    local[rightElbowJoint] = rotationAbout(rightElbowPivot, xAxis, -10.0f - 6.0f * std::cos(t + 2.6f));
    for (int j = 0; j < jointCount; ++j) {
        world[j] = j == rootJoint ? local[j] : then(local[j], world[jointParent[j]]);
    }
}

// A superellipsoid: `vertical` shapes the profile from pole to pole and `around` the horizontal section
// (1 round, towards 0 boxy, 2 a diamond). rings bands between the poles, segments around.
struct Shape {
    const char* name;
    Vec3 centre;
    Vec3 radii;
    float vertical;
    float around;
    int rings;
    int segments;
    JointId joint;
};

constexpr Shape shapes[] = {
    {"left boot", {5, -1.2f, -23}, {3.0f, 4.6f, 2.0f}, 0.35f, 0.45f, 6, 12, rootJoint},
    {"right boot", {-5, -1.2f, -23}, {3.0f, 4.6f, 2.0f}, 0.35f, 0.45f, 6, 12, rootJoint},
    {"left shin", {5, 0, -17}, {2.5f, 2.5f, 5.0f}, 0.3f, 1.0f, 6, 12, rootJoint},
    {"right shin", {-5, 0, -17}, {2.5f, 2.5f, 5.0f}, 0.3f, 1.0f, 6, 12, rootJoint},
    {"left thigh", {5, 0, -10}, {3.1f, 3.1f, 4.5f}, 0.4f, 1.0f, 6, 12, rootJoint},
    {"right thigh", {-5, 0, -10}, {3.1f, 3.1f, 4.5f}, 0.4f, 1.0f, 6, 12, rootJoint},
    {"hips", {0, 0, -6.5f}, {8.6f, 5.8f, 3.0f}, 0.35f, 0.5f, 6, 16, spineJoint},
    {"buckle", {0, -5.9f, -6.4f}, {1.9f, 1.0f, 1.6f}, 0.6f, 0.6f, 5, 8, spineJoint},
    {"torso", torsoCentre, {9.5f, 6.5f, 8.0f}, 0.55f, 0.55f, 10, 20, chestJoint},
    {"left pauldron", {10, 0, 8.2f}, {4.6f, 4.8f, 3.4f}, 0.8f, 0.9f, 8, 14, leftShoulderJoint},
    {"right pauldron", {-10, 0, 8.2f}, {4.6f, 4.8f, 3.4f}, 0.8f, 0.9f, 8, 14, rightShoulderJoint},
    {"left upper arm", {12, 0, 3.2f}, {2.4f, 2.4f, 4.2f}, 0.4f, 1.0f, 6, 12, leftShoulderJoint},
    {"right upper arm", {-12, 0, 3.2f}, {2.4f, 2.4f, 4.2f}, 0.4f, 1.0f, 6, 12, rightShoulderJoint},
    {"left forearm", {12.3f, 0, -3.8f}, {2.6f, 2.6f, 3.6f}, 0.4f, 0.9f, 6, 12, leftElbowJoint},
    {"right forearm", {-12.3f, 0, -3.8f}, {2.6f, 2.6f, 3.6f}, 0.4f, 0.9f, 6, 12, rightElbowJoint},
    {"left fist", {12.3f, -0.3f, -9.0f}, {2.4f, 2.6f, 2.4f}, 0.7f, 0.7f, 6, 10, leftElbowJoint},
    {"right fist", {-12.3f, -0.3f, -9.0f}, {2.4f, 2.6f, 2.4f}, 0.7f, 0.7f, 6, 10, rightElbowJoint},
    {"sword guard", {-12.3f, -0.3f, -11.9f}, {3.0f, 0.8f, 0.55f}, 0.4f, 0.4f, 4, 8, rightElbowJoint},
    {"sword blade", {-12.3f, -0.3f, -18.2f}, {0.95f, 0.35f, 5.8f}, 0.5f, 2.0f, 6, 8, rightElbowJoint},
    {"neck", {0, 0, 11.2f}, {3.0f, 3.0f, 2.0f}, 0.3f, 1.0f, 4, 12, headJoint},
    {"helmet", {0, 0, 16.5f}, {6.2f, 6.4f, 6.5f}, 0.6f, 0.75f, 12, 20, headJoint},
    {"visor", {0, -5.6f, 17}, {5.3f, 1.7f, 0.9f}, 0.3f, 0.3f, 4, 12, headJoint},
    {"nose guard", {0, -6.2f, 13.8f}, {0.9f, 1.3f, 3.2f}, 0.3f, 0.3f, 4, 8, headJoint},
    {"crest", {0, 0.8f, 23.2f}, {1.2f, 6.2f, 3.0f}, 0.9f, 0.8f, 8, 14, crestJoint},
};
constexpr int shapeCount = static_cast<int>(sizeof shapes / sizeof shapes[0]);

constexpr int frameCount = 40;
constexpr int skinSize = 256;
constexpr int skinPadding = 2;

float signedPower(float w, float exponent)
{
    return std::copysign(std::pow(std::fabs(w), exponent), w);
}

Vec3 shapePoint(const Shape& shape, int ring, int segment)
{
    const float pi = std::numbers::pi_v<float>;
    const float latitude = -pi / 2 + pi * static_cast<float>(ring) / static_cast<float>(shape.rings);
    const float longitude = 2 * pi * static_cast<float>(segment) / static_cast<float>(shape.segments);
    const float across = signedPower(std::cos(latitude), shape.vertical);
    return {shape.centre.x + shape.radii.x * across * signedPower(std::cos(longitude), shape.around),
            shape.centre.y + shape.radii.y * across * signedPower(std::sin(longitude), shape.around),
            shape.centre.z + shape.radii.z * signedPower(std::sin(latitude), shape.vertical)};
}

// Texels given to a shape: around by its girth, down by its pole-to-pole length, both times scale.
void skinRectSize(const Shape& shape, float scale, int& width, int& height)
{
    const float pi = std::numbers::pi_v<float>;
    const float girth = 2 * pi * std::sqrt((shape.radii.x * shape.radii.x + shape.radii.y * shape.radii.y) / 2);
    const float length = pi * (shape.radii.z + (shape.radii.x + shape.radii.y) / 2) / 2;
    width = std::max(4, static_cast<int>(std::ceil(girth * scale)));
    height = std::max(4, static_cast<int>(std::ceil(length * scale)));
}

// Shelf-packs one rectangle per shape into the skin; false when they do not fit at this scale.
bool packSkin(float scale, int left[], int top[], int width[], int height[])
{
    int x = skinPadding;
    int y = skinPadding;
    int shelfHeight = 0;
    for (int i = 0; i < shapeCount; ++i) {
        skinRectSize(shapes[i], scale, width[i], height[i]);
        if (x + width[i] + skinPadding > skinSize) {
            x = skinPadding;
            y += shelfHeight + skinPadding;
            shelfHeight = 0;
        }
        if (x + width[i] + skinPadding > skinSize || y + height[i] + skinPadding > skinSize) return false;
        left[i] = x;
        top[i] = y;
        x += width[i] + skinPadding;
        shelfHeight = std::max(shelfHeight, height[i]);
    }
    return true;
}

struct Figure {
    Md2Source source;
    std::vector<Vec3> restPositions;
    std::vector<JointId> vertexJoint;
    std::vector<int> firstTriangle;  // per shape, then the total
};

// Adds every shape's vertices, texture coordinates and triangles. A shape's vertices are its two poles and
// its rings; its texture coordinates a (segments + 1) x (rings + 1) grid over its skin rectangle.
void buildMesh(Figure& figure)
{
    int left[shapeCount], top[shapeCount], width[shapeCount], height[shapeCount];
    float scale = 8.0f;
    while (!packSkin(scale, left, top, width, height)) scale *= 0.97f;

    Md2Source& d = figure.source;
    for (int i = 0; i < shapeCount; ++i) {
        const Shape& shape = shapes[i];
        const int rings = shape.rings;
        const int segments = shape.segments;
        const auto firstVertex = static_cast<int>(figure.restPositions.size());
        const auto firstTexCoord = static_cast<int>(d.texCoords.size());
        figure.firstTriangle.push_back(static_cast<int>(d.triangles.size()));

        figure.restPositions.push_back(shapePoint(shape, 0, 0));
        for (int ring = 1; ring < rings; ++ring) {
            for (int segment = 0; segment < segments; ++segment) {
                figure.restPositions.push_back(shapePoint(shape, ring, segment));
            }
        }
        figure.restPositions.push_back(shapePoint(shape, rings, 0));
        figure.vertexJoint.resize(figure.restPositions.size(), shape.joint);

        for (int ring = 0; ring <= rings; ++ring) {
            for (int segment = 0; segment <= segments; ++segment) {
                const int s =
                    left[i] + static_cast<int>(std::lround(static_cast<float>(width[i] * segment) / segments));
                const int t =
                    top[i] + static_cast<int>(std::lround(static_cast<float>(height[i] * (rings - ring)) / rings));
                d.texCoords.push_back({static_cast<int16_t>(s), static_cast<int16_t>(t)});
            }
        }

        auto vertexAt = [&](int ring, int segment) {
            if (ring == 0) return firstVertex;
            if (ring == rings) return firstVertex + 1 + (rings - 1) * segments;
            return firstVertex + 1 + (ring - 1) * segments + segment % segments;
        };
        auto texCoordAt = [&](int ring, int segment) { return firstTexCoord + ring * (segments + 1) + segment; };
        // Corners given counter-clockwise seen from outside; stored reversed, the way MD2 files wind.
        auto addTriangle = [&](int r0, int s0, int r1, int s1, int r2, int s2) {
            Md2Triangle triangle = {};
            const int ring[3] = {r2, r1, r0};
            const int segment[3] = {s2, s1, s0};
            for (int k = 0; k < 3; ++k) {
                triangle.vertex[k] = static_cast<int16_t>(vertexAt(ring[k], segment[k]));
                triangle.texCoord[k] = static_cast<int16_t>(texCoordAt(ring[k], segment[k]));
            }
            d.triangles.push_back(triangle);
        };
        for (int ring = 0; ring < rings; ++ring) {
            for (int segment = 0; segment < segments; ++segment) {
                // At the poles one of the quad's two triangles collapses to a line and is left out.
                if (ring != 0) addTriangle(ring, segment, ring, segment + 1, ring + 1, segment + 1);
                if (ring != rings - 1) addTriangle(ring, segment, ring + 1, segment + 1, ring + 1, segment);
            }
        }
    }
    figure.firstTriangle.push_back(static_cast<int>(d.triangles.size()));
    d.skinWidth = skinSize;
    d.skinHeight = skinSize;
    d.skins.push_back("models/brevant/skin.pcx");
}

// Sum of p0 . (p1 x p2) over one shape's triangles in one frame: six times its signed volume.
double shapeVolume(const Figure& figure, const Md2SourceFrame& frame, int shape)
{
    double sum = 0;
    for (int t = figure.firstTriangle[shape]; t < figure.firstTriangle[shape + 1]; ++t) {
        const Md2Triangle& triangle = figure.source.triangles[t];
        const Vec3 a = frame.vertices[triangle.vertex[0]].position;
        const Vec3 b = frame.vertices[triangle.vertex[1]].position;
        const Vec3 c = frame.vertices[triangle.vertex[2]].position;
        sum += static_cast<double>(a.x) * (b.y * c.z - b.z * c.y) + static_cast<double>(a.y) * (b.z * c.x - b.x * c.z) +
               static_cast<double>(a.z) * (b.x * c.y - b.y * c.x);
    }
    return sum;
}

void buildFrames(Figure& figure)
{
    Md2Source& d = figure.source;
    for (int f = 0; f < frameCount; ++f) {
        Affine world[jointCount];
        poseJoints(2 * std::numbers::pi_v<float> * static_cast<float>(f) / frameCount, world);
        Md2SourceFrame frame;
        char name[16];
        std::snprintf(name, sizeof name, "stand%02d", f + 1);
        frame.name = name;
        for (size_t v = 0; v < figure.restPositions.size(); ++v) {
            frame.vertices.push_back({apply(world[figure.vertexJoint[v]], figure.restPositions[v]), {0, 0, 0}});
        }
        d.frames.push_back(std::move(frame));
    }

    // Centre the figure's height on the origin over the whole loop, like a game character's origin.
    float low = d.frames[0].vertices[0].position.z;
    float high = low;
    for (const Md2SourceFrame& frame : d.frames) {
        for (const Md2SourceVertex& vertex : frame.vertices) {
            low = std::min(low, vertex.position.z);
            high = std::max(high, vertex.position.z);
        }
    }
    const float middle = (low + high) / 2;
    for (Md2SourceFrame& frame : d.frames) {
        for (Md2SourceVertex& vertex : frame.vertices) vertex.position.z -= middle;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeModel OUTPUT.md2\n");
        return 2;
    }
    Figure figure;
    buildMesh(figure);
    buildFrames(figure);
    computeSourceNormals(figure.source);
    figure.source.glCommands = buildGlCommands(figure.source);

    // Every shape must be closed and wound clockwise from outside: a negative volume in every frame.
    for (const Md2SourceFrame& frame : figure.source.frames) {
        for (int shape = 0; shape < shapeCount; ++shape) {
            if (!(shapeVolume(figure, frame, shape) < 0)) {
                std::fprintf(stderr, "makeModel: %s is wound inside out in %s\n", shapes[shape].name,
                             frame.name.c_str());
                return 1;
            }
        }
    }
    if (!writeMd2File(argv[1], figure.source)) {
        std::fprintf(stderr, "makeModel: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
