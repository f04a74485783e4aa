// Preparation passes run once after loading: reverse every triangle's winding, then recompute smooth
// per-vertex normals for every frame from its own geometry. GL-free.
#pragma once

#include "model/md2.h"

void flipWinding(Md2Model* model);
Vec3 faceNormal(const Md2Model* model, const Md2Triangle& triangle, int32_t frameIndex);
void normalize(Vec3& vector);
void computeVertexNormals(Md2Model* model);
