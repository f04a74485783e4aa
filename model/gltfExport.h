// An MD2 model as glTF 2.0 binary (.glb), written with tinygltf: keyframe 0 the base of one mesh, every other
// keyframe a morph target, each animation run a weights animation, the skin embedded as PNG. GL-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/exportMesh.h"
#include "model/md2.h"
#include "model/md2Animations.h"

struct GltfExportInput {
    const Md2Model* model = nullptr;       // prepared for drawing: flipWinding and computeVertexNormals done
    std::string name;                      // of the node and the mesh
    std::vector<Md2Animation> animations;  // the runs to write, with their unique names
    double fps = 10.0;                     // keyframes per second
    std::vector<uint8_t> skinPng;          // empty: no skin
    float skinWidth = 0.0f;                // what texture coordinates are divided by; 0: none written
    float skinHeight = 0.0f;
};

// The whole .glb file in bytes, or false with the fault (a model without keyframes or triangles).
// Keyframe k of a run starting at keyframe first is at time (k - first) / fps, its weights one-hot (keyframe 0
// is all zeros), blended linearly, so a player shows what the viewer shows at every time.
bool writeGltfBinary(const GltfExportInput& input, std::vector<uint8_t>& glb, ExportFault* fault = nullptr);
