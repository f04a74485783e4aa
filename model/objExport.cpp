// The OBJ and MTL writer; see objExport.h.
#include "model/objExport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "model/md2Blend.h"

namespace {

void appendLine(std::string& out, const char* format, double a, double b, double c)
{
    char line[96];
    // Nine significant digits read back as the very float32 printed.
    std::snprintf(line, sizeof line, format, a, b, c);
    out += line;
}

}  // namespace

bool writeObj(const ObjExportInput& input, ObjFiles& files, ExportFault* fault)
{
    files = {};
    if (input.model == nullptr || !exportable(*input.model, fault)) {
        return false;
    }
    const Md2Model& md2 = *input.model;
    const double clamped = std::min(std::max(input.frame, 0.0), double(md2.numFrames - 1));
    const auto from = static_cast<int32_t>(std::floor(clamped));
    const float blend = static_cast<float>(clamped - from);
    std::unique_ptr<ModelVertex[]> pose(new ModelVertex[size_t(md2.numVertices > 0 ? md2.numVertices : 1)]);
    blendFrames(md2, from, from + 1, blend, pose.get());

    const ExportMesh mesh = buildExportMesh(md2, input.skinWidth, input.skinHeight);
    std::string& obj = files.obj;
    obj.reserve(mesh.sourceVertex.size() * 96 + mesh.indices.size() * 12);
    obj += "# Written by Brevant\nmtllib " + input.mtlName + "\n";
    for (const int32_t source : mesh.sourceVertex) {
        const Vec3 p = gltfPosition(pose[source].position);
        appendLine(obj, "v %.9g %.9g %.9g\n", p.x, p.y, p.z);
    }
    for (const int32_t source : mesh.sourceVertex) {
        const Vec3 n = gltfNormal(pose[source].normal);
        appendLine(obj, "vn %.9g %.9g %.9g\n", n.x, n.y, n.z);
    }
    const bool withTexCoords = !mesh.texCoords.empty();
    for (size_t i = 0; i < mesh.texCoords.size(); i += 2) {
        char line[64];
        std::snprintf(line, sizeof line, "vt %.9g %.9g\n", mesh.texCoords[i], 1.0 - double(mesh.texCoords[i + 1]));
        obj += line;
    }
    obj += "usemtl skin\n";
    char face[96];
    for (size_t i = 0; i < mesh.indices.size(); i += 3) {
        const unsigned a = mesh.indices[i] + 1;
        const unsigned b = mesh.indices[i + 1] + 1;
        const unsigned c = mesh.indices[i + 2] + 1;
        if (withTexCoords) {
            std::snprintf(face, sizeof face, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
        } else {
            std::snprintf(face, sizeof face, "f %u//%u %u//%u %u//%u\n", a, a, b, b, c, c);
        }
        obj += face;
    }

    files.mtl = "# Written by Brevant\nnewmtl skin\nKa 0 0 0\nKd 1 1 1\nKs 0 0 0\nillum 1\n";
    if (!input.skinName.empty() && withTexCoords) {
        files.mtl += "map_Kd " + input.skinName + "\n";
    }
    return true;
}
