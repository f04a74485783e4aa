// MD2 bytes into an Md2Model: header, sections and every keyframe decoded once into program-axis positions.
// GL-free; a file is first read whole into memory (its size capped), so every section is checked against its
// length before use, and a refusal says which check failed.
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "base/fileBytes.h"
#include "base/littleEndian.h"
#include "model/md2.h"

namespace {

constexpr size_t headerSize = 68;
constexpr int64_t skinEntrySize = 64;
constexpr int64_t texCoordEntrySize = 4;
constexpr int64_t triangleEntrySize = 12;
constexpr int64_t frameHeadSize = 40;
constexpr int64_t packedVertexSize = 4;
constexpr int64_t glCommandSize = 4;
// Preparing a model recomputes every frame's normals from all its triangles, so start-up work grows with
// frames times triangles, which the file's size does not bound: a few megabytes of one-vertex frames and
// degenerate triangles would keep start-up busy for minutes. Real models stay far below this: 512 frames
// of 4,096 triangles and 2,048 vertices come to about 3 million.
constexpr int64_t maxPreparationWork = int64_t{1} << 28;

// Records why the model is refused, when the caller asked, and returns false for the caller to pass on.
bool refuse(Md2Fault* fault, Md2FaultKind kind, const char* format, ...)
{
    if (fault != nullptr) {
        fault->kind = kind;
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(fault->text, sizeof fault->text, format, arguments);
        va_end(arguments);
    }
    return false;
}

// A section of count entries of entrySize bytes at offset must lie wholly inside the bytes. An empty section
// (a count of zero or less) is never read, so where it claims to start does not matter.
bool sectionFits(const char* name, int32_t offset, int32_t count, int64_t entrySize, size_t size, Md2Fault* fault)
{
    const int64_t length = count > 0 ? count * entrySize : 0;
    if (length == 0) {
        return true;
    }
    if (offset < 0) {
        return refuse(fault, Md2FaultKind::sectionBeforeStart, "%s start at offset %d, before the file", name,
                      static_cast<int>(offset));
    }
    if (int64_t(offset) + length > static_cast<int64_t>(size)) {
        return refuse(fault, Md2FaultKind::sectionCutShort, "cut short: %s end past the end of the file", name);
    }
    return true;
}

void readHeader(const uint8_t* bytes, Md2Model& model)
{
    int32_t* const fields[] = {
        &model.ident,           &model.version,         &model.skinWidth,    &model.skinHeight,
        &model.frameSize,       &model.numSkins,        &model.numVertices,  &model.numTexCoords,
        &model.numTriangles,    &model.numGlCommands,   &model.numFrames,    &model.offsetSkins,
        &model.offsetTexCoords, &model.offsetTriangles, &model.offsetFrames, &model.offsetGlCommands,
        &model.offsetEnd,
    };
    for (size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = readS32le(bytes + 4 * i);
    }
}

int64_t positive(int32_t count)
{
    return count > 0 ? count : 0;
}

// Everything the decode and the draw will follow must be inside the bytes or inside its arrays:
// the checks all happen before anything is allocated, in 64-bit arithmetic so no product can wrap.
// Every frame holds numVertices vertices, so that count cannot be negative; skins, texture coordinates,
// triangles and frames with a count of zero or less are simply absent.
bool headerIsSound(const Md2Model& model, size_t size, Md2Fault* fault)
{
    if (model.numVertices < 0) {
        return refuse(fault, Md2FaultKind::negativeVertexCount, "negative vertex count %d", int(model.numVertices));
    }
    if (model.numGlCommands < 0) {
        return refuse(fault, Md2FaultKind::negativeGlCommandCount, "negative gl command count %d",
                      int(model.numGlCommands));
    }
    const int64_t frameNeeds = frameHeadSize + packedVertexSize * model.numVertices;
    if (model.numFrames > 0 && frameNeeds > model.frameSize) {
        return refuse(fault, Md2FaultKind::frameTooSmall, "frame size %d cannot hold %d vertices, which need %lld",
                      int(model.frameSize), int(model.numVertices), static_cast<long long>(frameNeeds));
    }
    // The sections come first: a header of garbage counts is a file cut short, which is what it is, rather than
    // work too large to prepare.
    const bool sectionsFit =
        sectionFits("skins", model.offsetSkins, model.numSkins, skinEntrySize, size, fault) &&
        sectionFits("texture coordinates", model.offsetTexCoords, model.numTexCoords, texCoordEntrySize, size, fault) &&
        sectionFits("triangles", model.offsetTriangles, model.numTriangles, triangleEntrySize, size, fault) &&
        sectionFits("frames", model.offsetFrames, model.numFrames, model.frameSize, size, fault) &&
        sectionFits("gl commands", model.offsetGlCommands, model.numGlCommands, glCommandSize, size, fault);
    if (!sectionsFit) {
        return false;
    }
    // A negative count is an absent array, so the text names the counts the work is made of, never one below 0.
    const int64_t frames = positive(model.numFrames);
    const int64_t triangles = positive(model.numTriangles);
    if (frames * (triangles + model.numVertices) > maxPreparationWork) {
        return refuse(fault, Md2FaultKind::tooMuchPreparation,
                      "%lld frames x (%lld triangles + %d vertices) is too much to prepare",
                      static_cast<long long>(frames), static_cast<long long>(triangles), int(model.numVertices));
    }
    return true;
}

// Reads the triangles and rejects any corner that would index past the vertices or a present texCoords.
bool readTriangles(const uint8_t* bytes, Md2Model& model, Md2Fault* fault)
{
    const bool checkTexCoords = model.numTexCoords > 0;
    const uint8_t* at = bytes + model.offsetTriangles;
    for (int32_t i = 0; i < model.numTriangles; ++i, at += triangleEntrySize) {
        Md2Triangle& triangle = model.triangles[i];
        for (int k = 0; k < 3; ++k) {
            triangle.vertex[k] = readS16le(at + 2 * k);
            triangle.texCoord[k] = readS16le(at + 6 + 2 * k);
            if (triangle.vertex[k] < 0 || triangle.vertex[k] >= model.numVertices) {
                return refuse(fault, Md2FaultKind::vertexIndexOutOfRange, "triangle %d uses vertex %d of %d", int(i),
                              int(triangle.vertex[k]), int(model.numVertices));
            }
            if (checkTexCoords && (triangle.texCoord[k] < 0 || triangle.texCoord[k] >= model.numTexCoords)) {
                return refuse(fault, Md2FaultKind::texCoordIndexOutOfRange,
                              "triangle %d uses texture coordinate %d of %d", int(i), int(triangle.texCoord[k]),
                              int(model.numTexCoords));
            }
        }
    }
    return true;
}

void decodeFrame(const uint8_t* record, int32_t numVertices, Md2Frame& frame)
{
    const float scaleX = readF32le(record + 0);
    const float scaleY = readF32le(record + 4);
    const float scaleZ = readF32le(record + 8);
    const float translateX = readF32le(record + 12);
    const float translateY = readF32le(record + 16);
    const float translateZ = readF32le(record + 20);

    // An unterminated name keeps what fits before the terminator frame.name already ends with.
    const char* name = reinterpret_cast<const char*>(record + 24);
    for (size_t i = 0; i + 1 < sizeof frame.name && name[i] != '\0'; ++i) {
        frame.name[i] = name[i];
    }

    const uint8_t* packed = record + frameHeadSize;
    ModelVertex* out = frame.vertices.get();
    for (int32_t j = 0; j < numVertices; ++j, packed += packedVertexSize, ++out) {
        out->position.x = float(packed[0]) * scaleX + translateX;
        out->position.y = float(packed[2]) * scaleZ + translateZ;
        out->position.z = -(float(packed[1]) * scaleY + translateY);
        const uint8_t n = packed[3];
        if (n < md2NormalCount) {
            out->normal = {md2VertexNormals[n][0], md2VertexNormals[n][1], md2VertexNormals[n][2]};
        } else {
            out->normal = {0.0f, 0.0f, 0.0f};
        }
    }
}

bool outOfMemory(Md2Fault* fault)
{
    return refuse(fault, Md2FaultKind::noMemory, "not enough memory for the model");
}

bool readFrames(const uint8_t* bytes, Md2Model& model, Md2Fault* fault)
{
    model.frames.reset(new (std::nothrow) Md2Frame[model.numFrames]);
    if (!model.frames) {
        return outOfMemory(fault);
    }
    const uint8_t* record = bytes + model.offsetFrames;
    for (int32_t i = 0; i < model.numFrames; ++i, record += model.frameSize) {
        Md2Frame& frame = model.frames[i];
        // Present even when empty: numVertices 0 still gives every frame a vertex array.
        frame.vertices.reset(new (std::nothrow) ModelVertex[model.numVertices]);
        if (!frame.vertices) {
            return outOfMemory(fault);
        }
        decodeFrame(record, model.numVertices, frame);
    }
    return true;
}

bool readSections(const uint8_t* bytes, Md2Model& model, Md2Fault* fault)
{
    if (model.numSkins > 0) {
        model.skins.reset(new (std::nothrow) uint8_t[size_t(model.numSkins) * skinEntrySize]);
        if (!model.skins) {
            return outOfMemory(fault);
        }
        std::memcpy(model.skins.get(), bytes + model.offsetSkins, size_t(model.numSkins) * skinEntrySize);
    }
    if (model.numTexCoords > 0) {
        model.texCoords.reset(new (std::nothrow) Md2TexCoord[model.numTexCoords]);
        if (!model.texCoords) {
            return outOfMemory(fault);
        }
        const uint8_t* at = bytes + model.offsetTexCoords;
        for (int32_t i = 0; i < model.numTexCoords; ++i, at += texCoordEntrySize) {
            model.texCoords[i] = {readS16le(at), readS16le(at + 2)};
        }
    }
    if (model.numTriangles > 0) {
        model.triangles.reset(new (std::nothrow) Md2Triangle[model.numTriangles]);
        if (!model.triangles) {
            return outOfMemory(fault);
        }
        if (!readTriangles(bytes, model, fault)) {
            return false;
        }
    }
    if (model.numFrames > 0 && !readFrames(bytes, model, fault)) {
        return false;
    }
    if (model.numGlCommands > 0) {
        model.glCommands.reset(new (std::nothrow) int32_t[model.numGlCommands]);
        if (!model.glCommands) {
            return outOfMemory(fault);
        }
        const uint8_t* at = bytes + model.offsetGlCommands;
        for (int32_t i = 0; i < model.numGlCommands; ++i, at += glCommandSize) {
            model.glCommands[i] = readS32le(at);
        }
    }
    return true;
}

}  // namespace

Md2Model* parseMd2Model(const uint8_t* bytes, size_t size, Md2Fault* fault)
{
    if (fault != nullptr) {
        *fault = Md2Fault{};
    }
    if (bytes == nullptr && size > 0) {
        size = 0;
    }
    if (size < 4 || std::memcmp(bytes, "IDP2", 4) != 0) {
        refuse(fault, Md2FaultKind::notMd2, "not an MD2 file");
        return nullptr;
    }
    if (size < headerSize) {
        refuse(fault, Md2FaultKind::headerCutShort, "cut short: %zu bytes, less than the %zu-byte header", size,
               headerSize);
        return nullptr;
    }
    Md2Model* model = new (std::nothrow) Md2Model{};
    if (model == nullptr) {
        outOfMemory(fault);
        return nullptr;
    }
    readHeader(bytes, *model);
    if (!headerIsSound(*model, size, fault) || !readSections(bytes, *model, fault)) {
        freeMd2Model(model);
        return nullptr;
    }
    return model;
}

Md2Model* loadMd2Model(const char* path, Md2Fault* fault)
{
    return readMd2Model(folderSource(), path != nullptr ? path : "", fault);
}

Md2Model* readMd2Model(const FileSource& source, const std::string& name, Md2Fault* fault)
{
    if (fault != nullptr) {
        *fault = Md2Fault{};
    }
    FileBytes file;
    FileReadFault readFault;
    if (!readSourceFile(source, name, md2MaxFileSize, file, readFault)) {
        switch (readFault.kind) {
        case FileReadFaultKind::tooLarge: {
            char sizeText[32];
            formatByteSize(readFault.fileSize, sizeText, sizeof sizeText);
            refuse(fault, Md2FaultKind::tooLarge, "file is %s, larger than any MD2 model", sizeText);
            break;
        }
        case FileReadFaultKind::cannotOpen:
            refuse(fault, Md2FaultKind::cannotOpen, "%s", readFault.text);
            break;
        case FileReadFaultKind::noMemory:
            refuse(fault, Md2FaultKind::noMemory, "%s", readFault.text);
            break;
        case FileReadFaultKind::readError:
        case FileReadFaultKind::none:
            refuse(fault, Md2FaultKind::readError, "%s", readFault.text);
            break;
        }
        return nullptr;
    }
    return parseMd2Model(file.bytes.get(), file.size, fault);
}

void freeMd2Model(Md2Model* model)
{
    // The record owns its arrays, and each frame its vertices, so releasing the record releases them all.
    delete model;
}
