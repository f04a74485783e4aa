// The picture-only runs without GL: the sprite sheet's grid and cell placement, the thumbnail's keyframe, and
// the command lines of --thumbnail and --sheet with their faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"
#include "scene/pictureSheet.h"

namespace {

TEST(SheetGrid, ColumnsAreTheSmallestWhoseSquareHoldsEveryCell)
{
    struct Row {
        int32_t cells, columns, rows;
    };
    const Row rows[] = {{0, 0, 0}, {-3, 0, 0}, {1, 1, 1},  {2, 2, 1},  {4, 2, 2},  {5, 3, 2},     {6, 3, 2},
                        {7, 3, 3}, {9, 3, 3},  {10, 4, 3}, {12, 4, 3}, {13, 4, 4}, {198, 15, 14}, {225, 15, 15}};
    for (const Row& row : rows) {
        const SheetGrid grid = sheetGridFor(row.cells);
        EXPECT_EQ(grid.columns, row.columns) << row.cells << " cells";
        EXPECT_EQ(grid.rows, row.rows) << row.cells << " cells";
    }
}

RgbaImage filledCell(int32_t width, int32_t height, uint8_t value)
{
    RgbaImage cell;
    cell.width = width;
    cell.height = height;
    cell.pixels.reset(new uint8_t[size_t(width) * size_t(height) * 4]);
    std::memset(cell.pixels.get(), value, size_t(width) * size_t(height) * 4);
    return cell;
}

TEST(SheetGrid, CellsGoLeftToRightThenDownAndTheRestStaysClear)
{
    const SheetGrid grid = sheetGridFor(5);  // 3 x 2, the last place empty
    RgbaImage sheet = newSheet(grid, 4, 2);
    ASSERT_TRUE(sheet.pixels);
    ASSERT_EQ(sheet.width, 12);
    ASSERT_EQ(sheet.height, 4);
    for (int32_t index = 0; index < 5; ++index) {
        placeSheetCell(sheet, grid, index, filledCell(4, 2, uint8_t(10 + index)));
    }
    const auto at = [&](int32_t x, int32_t y) { return sheet.pixels[(size_t(y) * 12 + size_t(x)) * 4 + 3]; };
    EXPECT_EQ(at(0, 0), 10);
    EXPECT_EQ(at(3, 1), 10);
    EXPECT_EQ(at(4, 0), 11);
    EXPECT_EQ(at(11, 1), 12);
    EXPECT_EQ(at(0, 2), 13);
    EXPECT_EQ(at(7, 3), 14);
    EXPECT_EQ(at(8, 2), 0);
    EXPECT_EQ(at(11, 3), 0);
}

TEST(SheetGrid, RefusesCellsThatDoNotFitAndSheetsTooLargeToHold)
{
    const SheetGrid grid = sheetGridFor(4);
    RgbaImage sheet = newSheet(grid, 2, 2);
    placeSheetCell(sheet, grid, 0, filledCell(3, 2, 9));  // the wrong size: left out
    placeSheetCell(sheet, grid, 4, filledCell(2, 2, 9));  // past the grid
    placeSheetCell(sheet, grid, -1, filledCell(2, 2, 9));
    for (int32_t i = 0; i < 4 * 4 * 4; ++i) {
        ASSERT_EQ(sheet.pixels[size_t(i)], 0) << i;
    }
    EXPECT_FALSE(newSheet(sheetGridFor(400), 16384, 16384).pixels);
    EXPECT_FALSE(newSheet(sheetGridFor(0), 128, 128).pixels);
}

TEST(ThumbnailKeyframe, TheFirstAnimationsFirstKeyframe)
{
    EXPECT_EQ(thumbnailKeyframe({}), 0);
    EXPECT_EQ(thumbnailKeyframe({{"stand", 3, 9}, {"run", 10, 15}}), 3);
}

struct PictureCase {
    const char* label;
    std::vector<std::string> args;
    const char* faultPart;  // nullptr: the run goes ahead
    int32_t width, height;
    const char* model;
    const char* picture;
};

TEST(PictureOptions, ThumbnailAndSheetCommandLines)
{
    const PictureCase cases[] = {
        {"thumbnail", {"--thumbnail", "256", "in.md2", "out.png"}, nullptr, 256, 256, "in.md2", "out.png"},
        {"thumbnail after its words", {"in.md2", "out", "--thumbnail=1"}, nullptr, 1, 1, "in.md2", "out"},
        {"largest thumbnail", {"--thumbnail", "4096", "a", "b"}, nullptr, 4096, 4096, "a", "b"},
        {"thumbnail 0", {"--thumbnail", "0", "a", "b"}, "from 1 to 4096", 0, 0, "", ""},
        {"thumbnail 4097", {"--thumbnail", "4097", "a", "b"}, "from 1 to 4096", 0, 0, "", ""},
        {"thumbnail not a number", {"--thumbnail", "big", "a", "b"}, "from 1 to 4096", 0, 0, "", ""},
        {"thumbnail without OUT", {"--thumbnail", "64", "a"}, "a model and the picture", 0, 0, "", ""},
        {"thumbnail with three words", {"--thumbnail", "64", "a", "b", "c"}, "a model and the picture", 0, 0, "", ""},
        {"thumbnail with --size", {"--thumbnail", "64", "--size", "9x9", "a", "b"}, "no --frame", 0, 0, "", ""},
        {"thumbnail with --screenshot",
         {"--thumbnail", "64", "--screenshot", "s.png", "a", "b"},
         "--screenshot and --thumbnail",
         0,
         0,
         "",
         ""},
        {"sheet", {"--sheet", "s.png", "--anim", "run", "m.md2"}, nullptr, 128, 128, "m.md2", "s.png"},
        {"sheet sized", {"--sheet", "s.PNG", "--size", "64x32", "m.md2"}, nullptr, 64, 32, "m.md2", "s.PNG"},
        {"sheet not png", {"--sheet", "s.jpg", "m.md2"}, "ending in .png", 0, 0, "", ""},
        {"sheet with --frame", {"--sheet", "s.png", "--frame", "2", "m.md2"}, "--frame", 0, 0, "", ""},
        {"sheet with --export",
         {"--sheet", "s.png", "--export", "m.glb", "m.md2"},
         "cannot be used with",
         0,
         0,
         "",
         ""},
    };
    for (const PictureCase& row : cases) {
        ViewerOptions options;
        const OptionsOutcome outcome = parseOptions(row.args, options);
        if (row.faultPart != nullptr) {
            EXPECT_EQ(outcome.action, OptionsAction::usageFault) << row.label;
            EXPECT_NE(outcome.message.find(row.faultPart), std::string::npos) << row.label << ": " << outcome.message;
            continue;
        }
        ASSERT_EQ(outcome.action, OptionsAction::run) << row.label << ": " << outcome.message;
        EXPECT_TRUE(optionsDrawOffscreen(options)) << row.label;
        EXPECT_EQ(options.width, row.width) << row.label;
        EXPECT_EQ(options.height, row.height) << row.label;
        EXPECT_EQ(options.modelPath, row.model) << row.label;
        EXPECT_EQ(options.modelPaths, std::vector<std::string>{row.model}) << row.label;
        EXPECT_EQ(options.thumbnailPath.empty() ? options.sheetPath : options.thumbnailPath, row.picture) << row.label;
    }
}

TEST(PictureOptions, OnlyPictureRunsDrawWithoutAWindow)
{
    ViewerOptions shown;
    ASSERT_EQ(parseOptions({"m.md2", "--size", "64x64"}, shown).action, OptionsAction::run);
    EXPECT_FALSE(optionsDrawOffscreen(shown));
    ViewerOptions shot;
    ASSERT_EQ(parseOptions({"m.md2", "--screenshot", "a.bmp"}, shot).action, OptionsAction::run);
    EXPECT_TRUE(optionsDrawOffscreen(shot));
}

}  // namespace
