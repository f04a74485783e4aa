// The font's GL-free side: TGA decoding (faults and their texts in check order, accepted sizes, the BGRA to RGBA
// swap, real files written by other programs), glyph texture coordinates, and the font image the build writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/testFiles.h"
#include "support/tgaBuilder.h"
#include "text/font.h"
#include "text/tga.h"

namespace {

struct Decoded {
    TgaFault fault = TgaFault::none;
    TgaImage image;
    long endPosition = -1;  // where the decoder left the file
};

// The font loader reads from a file and stops after the pixels; decodeTgaImage takes the whole file's bytes.
// Every case goes through both, and they must agree on the fault and on every pixel.
void expectBytesDecodeAlike(const std::vector<uint8_t>& bytes, const Decoded& fromFile)
{
    TgaImage image;
    const TgaFault fault = decodeTgaImage(bytes.data(), bytes.size(), image);
    EXPECT_EQ(fault, fromFile.fault) << "decoding the bytes and reading the file disagree";
    EXPECT_EQ(image.width, fromFile.image.width);
    EXPECT_EQ(image.height, fromFile.image.height);
    EXPECT_EQ(image.pixels == nullptr, fromFile.image.pixels == nullptr);
    if (image.pixels && fromFile.image.pixels) {
        const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
        EXPECT_EQ(std::memcmp(image.pixels.get(), fromFile.image.pixels.get(), count), 0);
    }
}

Decoded decodeBytes(const std::vector<uint8_t>& bytes)
{
    Decoded decoded;
    FILE* file = openBytes(bytes);
    if (file == nullptr) {
        ADD_FAILURE() << "could not make a temporary file";
        return decoded;
    }
    decoded.fault = readTgaImage(file, decoded.image);
    decoded.endPosition = std::ftell(file);
    std::fclose(file);
    expectBytesDecodeAlike(bytes, decoded);
    return decoded;
}

Decoded decodeFile(const std::string& path)
{
    Decoded decoded;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return decoded;
    }
    decoded.fault = readTgaImage(file, decoded.image);
    std::fclose(file);
    expectBytesDecodeAlike(readWholeFile(path), decoded);
    return decoded;
}

std::vector<uint8_t> firstBytes(std::vector<uint8_t> bytes, size_t count)
{
    bytes.resize(count);
    return bytes;
}

TgaDescription sized(uint16_t width, uint16_t height, uint8_t bits = 32)
{
    TgaDescription tga;
    tga.width = width;
    tga.height = height;
    tga.bitsPerPixel = bits;
    return tga;
}

const std::string tgaFixtures = fixturePath("tga/");

}  // namespace

TEST(TgaDecode, RefusesEachFaultWithItsTextInCheckOrder)
{
    TgaDescription withId;
    withId.imageId = "brevant";

    TgaDescription withIdAndMap = withId;
    withIdAndMap.colourMapType = 1;
    withIdAndMap.colourMapLength = 4;

    TgaDescription mapOnTrueColour;
    mapOnTrueColour.colourMapType = 1;
    mapOnTrueColour.colourMapLength = 4;

    TgaDescription colourMapped = mapOnTrueColour;
    colourMapped.imageType = 1;
    colourMapped.bitsPerPixel = 8;

    TgaDescription runLength;
    runLength.imageType = 10;

    TgaDescription grey;
    grey.imageType = 3;
    grey.bitsPerPixel = 8;

    TgaDescription mappedWithBadSize = colourMapped;
    mappedWithBadSize.width = 100;

    TgaDescription onePixelShort = sized(4, 4);
    onePixelShort.pixelBytesKept = 4 * 4 * 4 - 1;

    TgaDescription halfThePixels = sized(8, 8);
    halfThePixels.pixelBytesKept = 8 * 8 * 2;

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        TgaFault fault;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"empty file: every field counts as 0", {}, TgaFault::formatBad, "TGA: Format bad"},
        {"image ID on an otherwise valid image", buildTga(withId), TgaFault::incompatibleFormat,
         "TGA: Incompatible format"},
        {"image ID and colour map: only the first check speaks", buildTga(withIdAndMap), TgaFault::incompatibleFormat,
         "TGA: Incompatible format"},
        {"colour map on a true-colour image", buildTga(mapOnTrueColour), TgaFault::formatBad, "TGA: Format bad"},
        {"colour-mapped image (type 1)", buildTga(colourMapped), TgaFault::formatBad, "TGA: Format bad"},
        {"run-length true colour (type 10)", buildTga(runLength), TgaFault::formatBad, "TGA: Format bad"},
        {"grey image (type 3)", buildTga(grey), TgaFault::formatBad, "TGA: Format bad"},
        {"format is checked before size", buildTga(mappedWithBadSize), TgaFault::formatBad, "TGA: Format bad"},
        {"width 100", buildTga(sized(100, 64)), TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"height 100", buildTga(sized(64, 100)), TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"1 x 1", buildTga(sized(1, 1)), TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"384 x 256", buildTga(sized(384, 256)), TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"256 x 384", buildTga(sized(256, 384)), TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"4096 x 4096, header only", firstBytes(buildTga(sized(4096, 4096)), 18), TgaFault::sizeNotPowerOfTwo,
         "TGA: Image size not power of 2"},
        {"size is checked before depth", buildTga(sized(100, 100, 24)), TgaFault::sizeNotPowerOfTwo,
         "TGA: Image size not power of 2"},
        {"header cut after the width: height counts as 0", firstBytes(buildTga(sized(2, 2)), 14),
         TgaFault::sizeNotPowerOfTwo, "TGA: Image size not power of 2"},
        {"24-bit", buildTga(sized(4, 4, 24)), TgaFault::bitDepthNot32, "TGA: Image bit depth not 32"},
        {"16-bit", buildTga(sized(4, 4, 16)), TgaFault::bitDepthNot32, "TGA: Image bit depth not 32"},
        {"header cut before the depth", firstBytes(buildTga(sized(2, 2)), 16), TgaFault::bitDepthNot32,
         "TGA: Image bit depth not 32"},
        {"valid header, no pixels", firstBytes(buildTga(sized(2, 2)), 18), TgaFault::dataSizeMismatch,
         "TGA: Data size does not match"},
        {"header cut before the descriptor, no pixels", firstBytes(buildTga(sized(2, 2)), 17),
         TgaFault::dataSizeMismatch, "TGA: Data size does not match"},
        {"pixels one byte short", buildTga(onePixelShort), TgaFault::dataSizeMismatch, "TGA: Data size does not match"},
        {"half the pixels", buildTga(halfThePixels), TgaFault::dataSizeMismatch, "TGA: Data size does not match"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decodeBytes(c.bytes);
        EXPECT_EQ(decoded.fault, c.fault);
        EXPECT_STREQ(tgaFaultText(decoded.fault), c.text);
        EXPECT_EQ(decoded.image.pixels, nullptr);
    }
}

TEST(TgaDecode, FaultsWithoutABuilderCaseHaveTheirTexts)
{
    // Not reachable from bytes: a missing file is the loader's, and a 16 MB buffer at most never fails here.
    EXPECT_STREQ(tgaFaultText(TgaFault::fileNotFound), "TGA: File not found");
    EXPECT_STREQ(tgaFaultText(TgaFault::noMemory), "TGA: Could not allocate memory");
    EXPECT_EQ(tgaFaultText(TgaFault::none), nullptr);
}

TEST(TgaDecode, PowerOfTwoMeansExactlyTwoTo2048)
{
    const std::vector<int32_t> accepted = {2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048};
    for (int32_t n = -70000; n <= 70000; ++n) {
        const bool expected = std::find(accepted.begin(), accepted.end(), n) != accepted.end();
        ASSERT_EQ(isPowerOfTwo(n), expected) << "n = " << n;
    }
    EXPECT_FALSE(isPowerOfTwo(INT32_MIN));
    EXPECT_FALSE(isPowerOfTwo(INT32_MAX));
    EXPECT_FALSE(isPowerOfTwo(1 << 30));
}

TEST(TgaDecode, AcceptsPowerOfTwoSidesIncludingUnequalOnes)
{
    const std::vector<std::pair<uint16_t, uint16_t>> sizes = {{128, 128}, {256, 64}, {2, 2}, {2048, 2}, {2, 2048}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const Decoded decoded = decodeBytes(buildTga(sized(width, height)));
        EXPECT_EQ(decoded.fault, TgaFault::none);
        EXPECT_EQ(decoded.image.width, width);
        EXPECT_EQ(decoded.image.height, height);
        EXPECT_NE(decoded.image.pixels, nullptr);
    }
}

TEST(TgaDecode, SwapsBlueAndRedKeepsStoredRowOrderAndReadsNothingAfterThePixels)
{
    TgaDescription tga = sized(2, 2);
    tga.pixels = {10, 20, 30, 40, 1,   2, 3,   4,  // first stored row
                  50, 60, 70, 80, 255, 0, 128, 7};
    tga.trailer = {'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};
    const std::vector<uint8_t> expected = {30, 20, 10, 40, 3, 2, 1, 4, 70, 60, 50, 80, 128, 0, 255, 7};

    for (const uint8_t descriptor : {uint8_t{0x08}, uint8_t{0x28}, uint8_t{0x00}}) {
        SCOPED_TRACE("descriptor " + std::to_string(descriptor));
        tga.descriptor = descriptor;
        const Decoded decoded = decodeBytes(buildTga(tga));
        ASSERT_EQ(decoded.fault, TgaFault::none);
        EXPECT_EQ(std::vector<uint8_t>(decoded.image.pixels.get(), decoded.image.pixels.get() + 16), expected);
        EXPECT_EQ(decoded.endPosition, 18 + 16);
    }
}

TEST(TgaDecode, RealFilesFromOtherProgramsGetTheirFaults)
{
    SKIP_WITHOUT_FIXTURES();
    const std::vector<std::pair<const char*, TgaFault>> files = {
        {"200x32_rgba_bl_raw.tga", TgaFault::sizeNotPowerOfTwo},
        {"200x32_rgba_tl_raw.tga", TgaFault::sizeNotPowerOfTwo},
        {"200x32_rgb_bl_raw.tga", TgaFault::sizeNotPowerOfTwo},
        {"200x32_rgba_bl_rle.tga", TgaFault::formatBad},
        {"200x32_p_bl_raw.tga", TgaFault::formatBad},
        {"tga_id_field.tga", TgaFault::incompatibleFormat},
        {"p_8.tga", TgaFault::incompatibleFormat},
        {"rgba16.tga", TgaFault::sizeNotPowerOfTwo},
        {"quad_32x16_rle.tga", TgaFault::formatBad},
        {"quad_32x16.tga", TgaFault::none},
    };
    for (const auto& [name, fault] : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(decodeFile(tgaFixtures + name).fault, fault);
    }
}

TEST(TgaDecode, ImageMagickQuadDecodesToItsFourBlocks)
{
    SKIP_WITHOUT_FIXTURES();
    const Decoded decoded = decodeFile(tgaFixtures + "quad_32x16.tga");
    ASSERT_EQ(decoded.fault, TgaFault::none);
    ASSERT_EQ(decoded.image.width, 32);
    ASSERT_EQ(decoded.image.height, 16);

    // Stored (blue, green, red, alpha): rows 0-7 (0,0,255,255) | (0,255,0,128); rows 8-15 (255,0,0,255) |
    // (30,20,10,64). Expected here as red, green, blue, alpha.
    const uint8_t firstLeft[4] = {255, 0, 0, 255};
    const uint8_t firstRight[4] = {0, 255, 0, 128};
    const uint8_t lastLeft[4] = {0, 0, 255, 255};
    const uint8_t lastRight[4] = {10, 20, 30, 64};
    int wrong = 0;
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 32; ++column) {
            const uint8_t* expected =
                row < 8 ? (column < 16 ? firstLeft : firstRight) : (column < 16 ? lastLeft : lastRight);
            const uint8_t* got = decoded.image.pixels.get() + (row * 32 + column) * 4;
            if (std::memcmp(got, expected, 4) != 0 && ++wrong <= 5) {
                ADD_FAILURE() << "pixel (" << column << ", " << row << ") is " << int(got[0]) << "," << int(got[1])
                              << "," << int(got[2]) << "," << int(got[3]);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(GlyphGrid, TexCoordsAreSinglePrecisionAndReachPastTheCell)
{
    struct Case {
        int32_t code;
        float left, right, top, bottom;
    };
    // Right is the float sum left + 0.068f: for 'A' that is 4.1305 to float precision, not 4.0625 + 0.0625.
    const std::vector<Case> cases = {
        {0, 0.0f, 0.068f, 1.0f, 0.9375f},
        {15, 0.9375f, 0.9375f + 0.068f, 1.0f, 0.9375f},
        {16, 1.0f, 1.0f + 0.068f, 0.9375f, 0.875f},
        {65, 4.0625f, 4.0625f + 0.068f, 0.75f, 0.6875f},
        {255, 15.9375f, 15.9375f + 0.068f, 0.0625f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        const GlyphTexCoords coords = glyphTexCoords(c.code);
        EXPECT_EQ(coords.left, c.left);
        EXPECT_EQ(coords.right, c.right);
        EXPECT_EQ(coords.top, c.top);
        EXPECT_EQ(coords.bottom, c.bottom);
    }
    EXPECT_NEAR(glyphTexCoords(65).right, 4.1305f, 1e-6f);
}

// The glyph grid the build writes: code i in column i % 16 and row i / 16 from the top (the last stored row),
// white with coverage in alpha, 32-126 drawn, and each glyph clear of the columns a neighbouring quad samples.
TEST(DefaultFontImage, IsAnUprightGlyphGrid)
{
    const Decoded decoded = decodeFile(std::string(BREVANT_BUILD_DIR) + "/font.tga");
    ASSERT_EQ(decoded.fault, TgaFault::none);
    ASSERT_EQ(decoded.image.width, 256);
    ASSERT_EQ(decoded.image.height, 256);
    const uint8_t* pixels = decoded.image.pixels.get();

    // Alpha of the texel at (column, row) of a code's cell, with row 0 the top of the cell as seen.
    const auto alphaAt = [pixels](int code, int column, int row) {
        const int storedRow = 255 - ((code / 16) * 16 + row);
        return pixels[(storedRow * 256 + (code % 16) * 16 + column) * 4 + 3];
    };
    const auto rgbIsWhite = [pixels](int code, int column, int row) {
        const int storedRow = 255 - ((code / 16) * 16 + row);
        const uint8_t* texel = pixels + (storedRow * 256 + (code % 16) * 16 + column) * 4;
        return texel[0] == 255 && texel[1] == 255 && texel[2] == 255;
    };

    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        int covered = 0;
        int outsideColumns = 0;
        int notWhite = 0;
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < 16; ++column) {
                if (alphaAt(code, column, row) == 0) {
                    continue;
                }
                ++covered;
                outsideColumns += column < 2 || column >= 12;
                notWhite += !rgbIsWhite(code, column, row);
            }
        }
        if (code > 32 && code < 127) {
            EXPECT_GT(covered, 0);
        } else {
            EXPECT_EQ(covered, 0);
        }
        EXPECT_EQ(outsideColumns, 0) << "glyph reaches columns that neighbouring quads sample or overlap";
        EXPECT_EQ(notWhite, 0);
    }

    // Upright: the bar of T is its topmost inked row, the bar of L its lowest.
    const auto inkedRows = [&alphaAt](int code) {
        std::vector<int> ink(16, 0);
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < 16; ++column) {
                ink[row] += alphaAt(code, column, row);
            }
        }
        return ink;
    };
    const auto heaviestIsAt = [](const std::vector<int>& ink, bool top) {
        int first = 0;
        while (first < 16 && ink[first] == 0) {
            ++first;
        }
        int last = 15;
        while (last >= 0 && ink[last] == 0) {
            --last;
        }
        const int heaviest = static_cast<int>(std::max_element(ink.begin(), ink.end()) - ink.begin());
        return heaviest == (top ? first : last);
    };
    EXPECT_TRUE(heaviestIsAt(inkedRows('T'), true));
    EXPECT_TRUE(heaviestIsAt(inkedRows('L'), false));
}
