// Helpers for the GL tests, which all share the one window and legacy context that glMain.cpp makes current.
// Also the test binary's platform services: recorded notices instead of boxes, and key state tests set.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"

inline constexpr int glTestWidth = 640;
inline constexpr int glTestHeight = 480;

// RGB bytes of the back buffer's w x h rectangle at (x, y), bottom row first as GL counts rows.
std::vector<uint8_t> readRgb(int x, int y, int w, int h);

// Puts back the GL defaults a test may have changed: enables, matrices, viewport, colours, blending,
// texture binding and pixel storage; clears both buffers to black and drops pending GL errors.
void resetGlState();

// Every showNotice call so far as (caption, text), oldest first; tests clear it as they need.
std::vector<std::pair<std::string, std::string>>& recordedNotices();

// What pollControlKey reports for the key from now on; every key starts up.
void setKeyDown(ControlKey key, bool down);
