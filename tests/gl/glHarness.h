// Helpers for the GL tests, which all share the one window and legacy context that glMain.cpp makes current.
// The platform services (recorded notices, keys the tests set) are the shared fake in support/testPlatform.h.
#pragma once

#include <cstdint>
#include <vector>

#include "model/md2.h"

#include "support/testPlatform.h"

inline constexpr int glTestWidth = 640;
inline constexpr int glTestHeight = 480;

// RGB bytes of the back buffer's w x h rectangle at (x, y), bottom row first as GL counts rows.
std::vector<uint8_t> readRgb(int x, int y, int w, int h);

// Puts back the GL defaults a test may have changed: enables, matrices, viewport, colours, blending,
// texture binding and pixel storage; clears both buffers to black and drops pending GL errors.
void resetGlState();

// A one-frame model of the given corners and triangles, built in memory rather than through the loader, so a test
// of the camera depends on nothing else. The caller owns it (freeMd2Model).
Md2Model* buildCornerModel(const Vec3* corners, int cornerCount, const int16_t (*triangles)[3], int triangleCount);
