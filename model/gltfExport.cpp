// The .glb writer: the export mesh into tinygltf's records, one buffer holding every array, then tinygltf's
// binary serialisation. See gltfExport.h.
#include "model/gltfExport.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <streambuf>

#include "model/tinyGltf.h"

#ifndef BREVANT_VERSION
#error "BREVANT_VERSION is defined by the build from the project's version"
#endif

namespace {

constexpr int arrayBufferTarget = 34962;         // ARRAY_BUFFER
constexpr int elementArrayBufferTarget = 34963;  // ELEMENT_ARRAY_BUFFER

// tinygltf writes a .glb only to a std::ostream; this one appends straight to the caller's bytes, sparing the
// copies an ostringstream makes as it grows and when its string is taken. Overriding std::streambuf is the
// standard library's own way in, the one virtual interface here.
class AppendBuffer : public std::streambuf {
public:
    explicit AppendBuffer(std::vector<uint8_t>& out) : out_(out) {}

protected:
    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        out_.insert(out_.end(), reinterpret_cast<const uint8_t*>(data), reinterpret_cast<const uint8_t*>(data) + size);
        return size;
    }
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            out_.push_back(uint8_t(traits_type::to_char_type(c)));
        }
        return traits_type::not_eof(c);
    }

private:
    std::vector<uint8_t>& out_;
};

struct GltfBuilder {
    tinygltf::Model model;
    std::vector<unsigned char>& bytes;
};

// Appends data (or, when null, size bytes for the caller to fill) as a new buffer view, 4-byte aligned as every
// accessor of ours needs; returns its index.
int addView(GltfBuilder& builder, const void* data, size_t size, int target)
{
    std::vector<unsigned char>& bytes = builder.bytes;
    bytes.resize((bytes.size() + 3) & ~size_t(3), 0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = bytes.size();
    view.byteLength = size;
    view.target = target;
    if (data == nullptr) {
        bytes.resize(bytes.size() + size);
    } else {
        const auto* from = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), from, from + size);
    }
    builder.model.bufferViews.push_back(std::move(view));
    return int(builder.model.bufferViews.size() - 1);
}

// A float accessor of count elements of the given type (VEC3, VEC2, SCALAR), in a view of its own.
int addFloats(GltfBuilder& builder, const std::vector<float>& values, int type, int components, int target,
              bool withBounds)
{
    tinygltf::Accessor accessor;
    accessor.bufferView = addView(builder, values.data(), values.size() * sizeof(float), target);
    accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    accessor.type = type;
    accessor.count = values.size() / size_t(components);
    if (withBounds && accessor.count > 0) {
        accessor.minValues.assign(size_t(components), 0.0);
        accessor.maxValues.assign(size_t(components), 0.0);
        for (int c = 0; c < components; ++c) {
            float low = values[size_t(c)];
            float high = low;
            for (size_t i = size_t(c); i < values.size(); i += size_t(components)) {
                low = std::min(low, values[i]);
                high = std::max(high, values[i]);
            }
            accessor.minValues[size_t(c)] = low;
            accessor.maxValues[size_t(c)] = high;
        }
    }
    builder.model.accessors.push_back(std::move(accessor));
    return int(builder.model.accessors.size() - 1);
}

int addIndices(GltfBuilder& builder, const ExportMesh& mesh)
{
    tinygltf::Accessor accessor;
    accessor.count = mesh.indices.size();
    accessor.type = TINYGLTF_TYPE_SCALAR;
    // Short indices where they fit, as most models' do: half the bytes.
    if (mesh.sourceVertex.size() <= 65535) {
        std::vector<uint16_t> shorts(mesh.indices.begin(), mesh.indices.end());
        accessor.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        accessor.bufferView =
            addView(builder, shorts.data(), shorts.size() * sizeof(uint16_t), elementArrayBufferTarget);
    } else {
        accessor.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        accessor.bufferView =
            addView(builder, mesh.indices.data(), mesh.indices.size() * sizeof(uint32_t), elementArrayBufferTarget);
    }
    builder.model.accessors.push_back(std::move(accessor));
    return int(builder.model.accessors.size() - 1);
}

// Keyframe frame's positions and normals for every exported vertex, in glTF's axes.
void frameArrays(const Md2Model& model, const ExportMesh& mesh, int32_t frame, std::vector<float>& positions,
                 std::vector<float>& normals)
{
    positions.resize(mesh.sourceVertex.size() * 3);
    normals.resize(mesh.sourceVertex.size() * 3);
    const ModelVertex* vertices = model.frames[frame].vertices.get();
    float* position = positions.data();
    float* normal = normals.data();
    for (const int32_t source : mesh.sourceVertex) {
        const Vec3 p = gltfPosition(vertices[source].position);
        const Vec3 n = gltfNormal(vertices[source].normal);
        position[0] = p.x;
        position[1] = p.y;
        position[2] = p.z;
        normal[0] = n.x;
        normal[1] = n.y;
        normal[2] = n.z;
        position += 3;
        normal += 3;
    }
}

// A VEC3 float accessor over count vectors already in view, with its bounds when given.
int addVec3Accessor(GltfBuilder& builder, int view, size_t count, const float* low, const float* high)
{
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    accessor.type = TINYGLTF_TYPE_VEC3;
    accessor.count = count;
    if (low != nullptr) {
        accessor.minValues.assign(low, low + 3);
        accessor.maxValues.assign(high, high + 3);
    }
    builder.model.accessors.push_back(std::move(accessor));
    return int(builder.model.accessors.size() - 1);
}

// Keyframe frame as a morph target: its positions and normals less the base's, written straight into the
// buffer as two views, the positions' bounds taken on the way.
std::map<std::string, int> addTarget(GltfBuilder& builder, const Md2Model& model, const ExportMesh& mesh, int32_t frame,
                                     const std::vector<float>& basePositions, const std::vector<float>& baseNormals)
{
    const size_t count = mesh.sourceVertex.size();
    std::vector<unsigned char>& bytes = builder.bytes;
    const int positionView = addView(builder, nullptr, count * 12, arrayBufferTarget);
    const int normalView = addView(builder, nullptr, count * 12, arrayBufferTarget);
    // The two views are in place: the buffer does not grow again until the next target.
    unsigned char* position = bytes.data() + builder.model.bufferViews[size_t(positionView)].byteOffset;
    unsigned char* normal = bytes.data() + builder.model.bufferViews[size_t(normalView)].byteOffset;
    const ModelVertex* vertices = model.frames[frame].vertices.get();
    float low[3] = {0.0f, 0.0f, 0.0f};
    float high[3] = {0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < count; ++i) {
        const ModelVertex& vertex = vertices[mesh.sourceVertex[i]];
        const Vec3 p = gltfPosition(vertex.position);
        const Vec3 n = gltfNormal(vertex.normal);
        const float deltas[3] = {morphDelta(basePositions[3 * i], p.x), morphDelta(basePositions[3 * i + 1], p.y),
                                 morphDelta(basePositions[3 * i + 2], p.z)};
        for (int c = 0; c < 3; ++c) {
            low[c] = i == 0 ? deltas[c] : std::min(low[c], deltas[c]);
            high[c] = i == 0 ? deltas[c] : std::max(high[c], deltas[c]);
        }
        const float normalDeltas[3] = {morphDelta(baseNormals[3 * i], n.x), morphDelta(baseNormals[3 * i + 1], n.y),
                                       morphDelta(baseNormals[3 * i + 2], n.z)};
        std::memcpy(position + 12 * i, deltas, sizeof deltas);
        std::memcpy(normal + 12 * i, normalDeltas, sizeof normalDeltas);
    }
    std::map<std::string, int> target;
    target["POSITION"] = addVec3Accessor(builder, positionView, count, low, high);
    target["NORMAL"] = addVec3Accessor(builder, normalView, count, nullptr, nullptr);
    return target;
}

void addAnimation(GltfBuilder& builder, const Md2Animation& run, double fps, int32_t targetCount)
{
    std::vector<float> times;
    std::vector<float> weights;
    for (int32_t k = run.first; k <= run.last; ++k) {
        times.push_back(static_cast<float>(double(k - run.first) / fps));
        // Keyframe 0 is the base itself: every weight 0.
        for (int32_t t = 0; t < targetCount; ++t) {
            weights.push_back(t == k - 1 ? 1.0f : 0.0f);
        }
    }
    tinygltf::AnimationSampler sampler;
    sampler.input = addFloats(builder, times, TINYGLTF_TYPE_SCALAR, 1, 0, true);
    sampler.output = addFloats(builder, weights, TINYGLTF_TYPE_SCALAR, 1, 0, false);
    sampler.interpolation = "LINEAR";
    tinygltf::AnimationChannel channel;
    channel.sampler = 0;
    channel.target_node = 0;
    channel.target_path = "weights";
    tinygltf::Animation animation;
    animation.name = run.name;
    animation.samplers.push_back(std::move(sampler));
    animation.channels.push_back(std::move(channel));
    builder.model.animations.push_back(std::move(animation));
}

void addMaterial(GltfBuilder& builder, const GltfExportInput& input, tinygltf::Primitive& primitive)
{
    tinygltf::Material material;
    material.name = "skin";
    // A skin is the whole colour; nothing in an MD2 model is metal.
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 1.0;
    if (!input.skinPng.empty() && primitive.attributes.count("TEXCOORD_0") != 0) {
        tinygltf::Image image;
        image.mimeType = "image/png";
        image.bufferView = addView(builder, input.skinPng.data(), input.skinPng.size(), 0);
        builder.model.images.push_back(std::move(image));
        tinygltf::Sampler sampler;
        sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
        sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR;
        builder.model.samplers.push_back(std::move(sampler));
        tinygltf::Texture texture;
        texture.source = 0;
        texture.sampler = 0;
        builder.model.textures.push_back(std::move(texture));
        material.pbrMetallicRoughness.baseColorTexture.index = 0;
    }
    builder.model.materials.push_back(std::move(material));
    primitive.material = 0;
}

}  // namespace

bool writeGltfBinary(const GltfExportInput& input, std::vector<uint8_t>& glb, ExportFault* fault)
{
    glb.clear();
    if (input.model == nullptr || !exportable(*input.model, fault)) {
        return false;
    }
    const Md2Model& md2 = *input.model;
    const ExportMesh mesh = buildExportMesh(md2, input.skinWidth, input.skinHeight);

    // Every array's size is known: reserved once, so the buffer is never copied while it grows.
    const size_t vertexCount = mesh.sourceVertex.size();
    size_t runKeys = 0;
    for (const Md2Animation& run : input.animations) {
        runKeys += size_t(run.last - run.first + 1);
    }
    const size_t targetCount = size_t(md2.numFrames - 1);
    const size_t expectedBytes = mesh.indices.size() * 4 + size_t(md2.numFrames) * vertexCount * 24 +
                                 mesh.texCoords.size() * 4 + runKeys * (targetCount + 1) * 4 + input.skinPng.size() +
                                 4 * (4 + 2 * targetCount + 2 * input.animations.size());
    std::vector<unsigned char> bytes;
    bytes.reserve(expectedBytes);
    GltfBuilder builder{{}, bytes};
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.indices = addIndices(builder, mesh);

    std::vector<float> basePositions;
    std::vector<float> baseNormals;
    frameArrays(md2, mesh, 0, basePositions, baseNormals);
    primitive.attributes["POSITION"] =
        addFloats(builder, basePositions, TINYGLTF_TYPE_VEC3, 3, arrayBufferTarget, true);
    primitive.attributes["NORMAL"] = addFloats(builder, baseNormals, TINYGLTF_TYPE_VEC3, 3, arrayBufferTarget, false);
    if (!mesh.texCoords.empty()) {
        primitive.attributes["TEXCOORD_0"] =
            addFloats(builder, mesh.texCoords, TINYGLTF_TYPE_VEC2, 2, arrayBufferTarget, false);
    }

    tinygltf::Value::Array targetNames;
    targetNames.reserve(size_t(md2.numFrames));
    primitive.targets.reserve(targetCount);
    for (int32_t frame = 1; frame < md2.numFrames; ++frame) {
        primitive.targets.push_back(addTarget(builder, md2, mesh, frame, basePositions, baseNormals));
        targetNames.emplace_back(frameNameAt(md2, frame));
    }
    addMaterial(builder, input, primitive);

    tinygltf::Mesh gltfMesh;
    gltfMesh.name = input.name;
    gltfMesh.primitives.push_back(std::move(primitive));
    if (targetCount > 0) {
        gltfMesh.weights.assign(targetCount, 0.0);
        // The common convention for morph target names, which Blender and three.js read.
        tinygltf::Value::Object extras;
        extras["targetNames"] = tinygltf::Value(std::move(targetNames));
        gltfMesh.extras = tinygltf::Value(std::move(extras));
        for (const Md2Animation& run : input.animations) {
            addAnimation(builder, run, input.fps, int32_t(targetCount));
        }
    }
    builder.model.meshes.push_back(std::move(gltfMesh));

    tinygltf::Node node;
    node.name = input.name;
    node.mesh = 0;
    builder.model.nodes.push_back(std::move(node));
    tinygltf::Scene scene;
    scene.nodes.push_back(0);
    builder.model.scenes.push_back(std::move(scene));
    builder.model.defaultScene = 0;
    builder.model.asset.version = "2.0";
    builder.model.asset.generator = "Brevant " BREVANT_VERSION;

    bytes.resize((bytes.size() + 3) & ~size_t(3), 0);
    tinygltf::Buffer buffer;
    buffer.data = std::move(bytes);
    builder.model.buffers.push_back(std::move(buffer));

    // The JSON is a few kilobytes for every accessor and view; the chunk headers 28 bytes.
    glb.reserve(builder.model.buffers[0].data.size() + 64 * builder.model.accessors.size() + 4096);
    AppendBuffer appender(glb);
    std::ostream stream(&appender);
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&builder.model, stream, false, true)) {
        if (fault != nullptr) {
            *fault = {ExportFaultKind::cannotWrite, "the glTF writer failed"};
        }
        return false;
    }
    return true;
}
