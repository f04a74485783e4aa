// Sprite sheet layout and the thumbnail's keyframe; see pictureSheet.h.
#include "scene/pictureSheet.h"

#include <cstring>

namespace {

// A sheet over 2 GiB (thousands of large cells) is refused rather than allocated.
constexpr uint64_t maxSheetBytes = uint64_t{1} << 31;

}  // namespace

SheetGrid sheetGridFor(int32_t cells)
{
    SheetGrid grid;
    if (cells <= 0) {
        return grid;
    }
    while (int64_t{grid.columns} * grid.columns < cells) {
        ++grid.columns;
    }
    grid.rows = (cells + grid.columns - 1) / grid.columns;
    return grid;
}

RgbaImage newSheet(const SheetGrid& grid, int32_t cellWidth, int32_t cellHeight)
{
    RgbaImage sheet;
    const uint64_t width = uint64_t(grid.columns) * uint64_t(cellWidth > 0 ? cellWidth : 0);
    const uint64_t height = uint64_t(grid.rows) * uint64_t(cellHeight > 0 ? cellHeight : 0);
    const uint64_t bytes = width * height * 4;
    if (bytes == 0 || bytes > maxSheetBytes || width > INT32_MAX || height > INT32_MAX) {
        return sheet;
    }
    sheet.pixels.reset(new uint8_t[bytes]());
    sheet.width = static_cast<int32_t>(width);
    sheet.height = static_cast<int32_t>(height);
    return sheet;
}

void placeSheetCell(RgbaImage& sheet, const SheetGrid& grid, int32_t index, const RgbaImage& cell)
{
    if (grid.columns <= 0 || index < 0 || index >= grid.columns * grid.rows || !sheet.pixels || !cell.pixels ||
        cell.width * grid.columns != sheet.width || cell.height * grid.rows != sheet.height) {
        return;
    }
    const size_t cellRow = static_cast<size_t>(cell.width) * 4;
    const size_t sheetRow = static_cast<size_t>(sheet.width) * 4;
    const size_t left = static_cast<size_t>(index % grid.columns) * cellRow;
    const size_t top = static_cast<size_t>(index / grid.columns) * static_cast<size_t>(cell.height);
    for (int32_t y = 0; y < cell.height; ++y) {
        std::memcpy(sheet.pixels.get() + (top + static_cast<size_t>(y)) * sheetRow + left,
                    cell.pixels.get() + static_cast<size_t>(y) * cellRow, cellRow);
    }
}

int32_t thumbnailKeyframe(const std::vector<Md2Animation>& animations)
{
    return animations.empty() ? 0 : animations.front().first;
}
