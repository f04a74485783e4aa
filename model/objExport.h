// One keyframe of an MD2 model (or a blend of two) as Wavefront OBJ text with its MTL material. GL-free; the
// caller writes the skin PNG the material names.
#pragma once

#include <string>

#include "model/exportMesh.h"
#include "model/md2.h"

struct ObjExportInput {
    const Md2Model* model = nullptr;  // prepared for drawing: flipWinding and computeVertexNormals done
    double frame = 0.0;               // a fraction blends its two neighbours, as the viewer does
    std::string mtlName;              // file name of the .mtl beside the .obj
    std::string skinName;             // file name of the skin PNG beside them; empty: none
    float skinWidth = 0.0f;           // what texture coordinates are divided by; 0: none written
    float skinHeight = 0.0f;
};

struct ObjFiles {
    std::string obj;
    std::string mtl;
};

// Positions and normals in glTF's axes (+Y up, front along +Z), printed so they read back as the same float32;
// vt is (s / width, 1 - t / height), OBJ's v counting from the picture's bottom. A frame past the last
// keyframe is clamped to it.
bool writeObj(const ObjExportInput& input, ObjFiles& files, ExportFault* fault = nullptr);
