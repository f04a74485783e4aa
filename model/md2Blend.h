// Keyframe blending for playback: the vertices between two of a model's keyframes, into a caller's array.
// GL-free; the pose comes from scene/playback.h, and drawing takes the blended vertices as it takes a keyframe's.
#pragma once

#include "model/md2.h"

// Writes model.numVertices vertices to `out` (allocated once per model by the caller): positions blended
// linearly, normals blended then normalised (a zero or undefined result stays as it is, like the prepared
// normals). A blend of 0 or less copies keyframe `from` exactly, 1 or more keyframe `to`. Keyframes outside the
// model are clamped to its first or last, so a weapon with fewer keyframes than the body holds its last one.
// A model without keyframes writes zeros.
void blendFrames(const Md2Model& model, int32_t from, int32_t to, float blend, ModelVertex* out);

// The keyframe of a model with `frameCount` keyframes that stands in for `keyframe`: itself, or the last
// one when the model has fewer (a weapon beside a body with more), never below 0.
int32_t clampKeyframe(int32_t keyframe, int32_t frameCount);
