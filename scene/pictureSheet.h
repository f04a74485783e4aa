// Laying out saved pictures without GL: the grid a sprite sheet's keyframes go in, copying each drawn cell into
// its place, and which keyframe a thumbnail shows.
#pragma once

#include <cstdint>
#include <vector>

#include "base/rgbaImage.h"
#include "model/md2Animations.h"

struct SheetGrid {
    int32_t columns = 0;
    int32_t rows = 0;
};

// The smallest number of columns whose square holds every cell, and the rows they fill, left to right then down.
SheetGrid sheetGridFor(int32_t cells);

// A sheet of grid's cells, each cellWidth x cellHeight, clear (every byte zero). Empty when it would not fit.
RgbaImage newSheet(const SheetGrid& grid, int32_t cellWidth, int32_t cellHeight);

// Copies cell (top row first, the sheet's cell size) into the index-th place of the grid.
void placeSheetCell(RgbaImage& sheet, const SheetGrid& grid, int32_t index, const RgbaImage& cell);

// A thumbnail shows the first animation's first keyframe; 0 for a model without any.
int32_t thumbnailKeyframe(const std::vector<Md2Animation>& animations);
