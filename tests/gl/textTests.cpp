// The font's GL side in a real context: what loadTgaTexture uploads or refuses, and what printed strings draw,
// read back from the pixels. Texture images are written as TGA files by the test builder and loaded for real.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/glApi.h"
#include "gl/glHarness.h"
#include "scene/scene.h"
#include "support/testFiles.h"
#include "support/tgaBuilder.h"
#include "text/font.h"
#include "text/tga.h"

namespace {

namespace fs = std::filesystem;

using Rgba = std::array<uint8_t, 4>;

// A folder of this process's own for the image files the tests write; TearDown removes it.
fs::path scratchPath()
{
    return fs::temp_directory_path() / ("brevant-text-" + std::to_string(getpid()));
}

fs::path scratchFolder()
{
    fs::create_directories(scratchPath());
    return scratchPath();
}

// Writes bytes to a scratch file and loads them as the viewer would load "font.tga".
unsigned loadTextureFromBytes(const std::vector<uint8_t>& bytes, int filter)
{
    const fs::path path = scratchFolder() / "image.tga";
    if (!writeBytesToFile(path.string(), bytes)) {
        ADD_FAILURE() << "cannot write " << path;
        return 0;
    }
    const unsigned name = loadTgaTexture(path.c_str(), filter);
    fs::remove(path);
    return name;
}

// A 256 x 256 glyph grid whose texel at (column, row) of a code's cell is paint(code, column, row); row 0 is the
// top of the cell as seen, and code i sits in column i % 16, row i / 16 from the top of the picture.
std::vector<uint8_t> glyphGridTga(const std::function<Rgba(int code, int column, int row)>& paint)
{
    TgaDescription tga;
    tga.width = 256;
    tga.height = 256;
    tga.pixels.resize(256 * 256 * 4);
    for (int storedRow = 0; storedRow < 256; ++storedRow) {
        const int pictureRow = 255 - storedRow;
        for (int x = 0; x < 256; ++x) {
            const int code = (pictureRow / 16) * 16 + x / 16;
            const Rgba rgba = paint(code, x % 16, pictureRow % 16);
            uint8_t* stored = &tga.pixels[(storedRow * 256 + x) * 4];
            stored[0] = rgba[2];  // blue, green, red, alpha
            stored[1] = rgba[1];
            stored[2] = rgba[0];
            stored[3] = rgba[3];
        }
    }
    return buildTga(tga);
}

bool fileIsOpen(const fs::path& path)
{
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) == path) {
            return true;
        }
    }
    return false;
}

class TextGl : public testing::Test {
protected:
    void SetUp() override
    {
        resetGlState();
        recordedNotices().clear();
    }

    void TearDown() override
    {
        if (!textures.empty()) {
            glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
        }
        for (const auto& [base, count] : lists) {
            glDeleteLists(base, count);
        }
        resetGlState();
        std::error_code error;
        fs::remove_all(scratchPath(), error);
    }

    unsigned keepTexture(unsigned name)
    {
        textures.push_back(name);
        return name;
    }

    unsigned buildKeptFont()
    {
        const unsigned base = buildFont();
        lists.emplace_back(base, 256);
        return base;
    }

    // Prints text in the overlay the scene uses, in the given colour, and returns to the 3D state.
    static void printInOverlay(int32_t x, int32_t y, const char* text, unsigned base, unsigned texture,
                               const Rgba& colour = {255, 255, 255, 255})
    {
        beginOverlay(glTestWidth, glTestHeight);
        glPushMatrix();
        glColor4ub(colour[0], colour[1], colour[2], colour[3]);
        printText(x, y, text, base, texture);
        glPopMatrix();
        endOverlay();
    }

    std::vector<GLuint> textures;
    std::vector<std::pair<GLuint, GLsizei>> lists;
};

GLint texParameter(GLenum parameter)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

GLint levelParameter(GLint level, GLenum parameter)
{
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, parameter, &value);
    return value;
}

// Red of each pixel in one row of the back buffer, from x = 0.
std::vector<int> redAlongRow(int y, int width)
{
    const std::vector<uint8_t> rgb = readRgb(0, y, width, 1);
    std::vector<int> red(width);
    for (int x = 0; x < width; ++x) {
        red[x] = rgb[x * 3];
    }
    return red;
}

TEST_F(TextGl, UploadsRgbaMipmapsThatRepeatWithMagnificationLeftLinear)
{
    TgaDescription tga;
    tga.width = 4;
    tga.height = 2;
    for (int i = 0; i < 8; ++i) {
        // Stored blue, green, red, alpha; the first is (10, 20, 30, 40).
        tga.pixels.insert(tga.pixels.end(), {uint8_t(10 + i), uint8_t(20 + i), uint8_t(30 + i), uint8_t(40 + i)});
    }
    const unsigned name = keepTexture(loadTextureFromBytes(buildTga(tga), GL_LINEAR_MIPMAP_NEAREST));
    ASSERT_NE(name, 0u);
    ASSERT_NE(name, ~0u);
    EXPECT_TRUE(recordedNotices().empty());

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<unsigned>(bound), name);

    std::vector<uint8_t> uploaded(4 * 2 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("pixel " + std::to_string(i));
        EXPECT_EQ(uploaded[i * 4 + 0], 30 + i);
        EXPECT_EQ(uploaded[i * 4 + 1], 20 + i);
        EXPECT_EQ(uploaded[i * 4 + 2], 10 + i);
        EXPECT_EQ(uploaded[i * 4 + 3], 40 + i);
    }

    // The whole chain: 4 x 2, 2 x 1, 1 x 1.
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(levelParameter(1, GL_TEXTURE_WIDTH), 2);
    EXPECT_EQ(levelParameter(1, GL_TEXTURE_HEIGHT), 1);
    EXPECT_EQ(levelParameter(2, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(levelParameter(2, GL_TEXTURE_HEIGHT), 1);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), 4);  // four components, as requested

    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    GLint envMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_MODULATE);
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);
}

TEST_F(TextGl, FilterAllowedForMagnificationGoesToBoth)
{
    const unsigned name = keepTexture(loadTextureFromBytes(buildTga(TgaDescription{}), GL_NEAREST));
    ASSERT_NE(name, 0u);
    ASSERT_NE(name, ~0u);
    EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
}

TEST_F(TextGl, ImageMagickQuadUploadsInStoredRowOrder)
{
    SKIP_WITHOUT_FIXTURES();
    const std::string path = fixturePath("tga/quad_32x16.tga");
    const unsigned name = keepTexture(loadTgaTexture(path.c_str(), GL_LINEAR_MIPMAP_NEAREST));
    ASSERT_NE(name, 0u);
    ASSERT_NE(name, ~0u);
    EXPECT_TRUE(recordedNotices().empty());
    std::vector<uint8_t> uploaded(32 * 16 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
    const auto texel = [&uploaded](int x, int y) {
        const uint8_t* p = &uploaded[(y * 32 + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(texel(0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(texel(31, 0), (Rgba{0, 255, 0, 128}));
    EXPECT_EQ(texel(0, 15), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(texel(31, 15), (Rgba{10, 20, 30, 64}));
    EXPECT_EQ(levelParameter(5, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(levelParameter(5, GL_TEXTURE_HEIGHT), 1);
}

TEST_F(TextGl, FaultsShowOneNoticeReturnTheirResultAndCreateNoTexture)
{
    TgaDescription trueColour24;
    trueColour24.bitsPerPixel = 24;
    TgaDescription cutShort;
    cutShort.pixelBytesKept = 5;
    TgaDescription withId;
    withId.imageId = "id";
    TgaDescription size100;
    size100.width = 100;

    struct Case {
        const char* name;
        bool writeFile;
        std::vector<uint8_t> bytes;
        unsigned result;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"missing file", false, {}, 0u, "TGA: File not found"},
        {"empty file", true, {}, ~0u, "TGA: Format bad"},
        {"image ID", true, buildTga(withId), ~0u, "TGA: Incompatible format"},
        {"width 100", true, buildTga(size100), ~0u, "TGA: Image size not power of 2"},
        {"24-bit", true, buildTga(trueColour24), ~0u, "TGA: Image bit depth not 32"},
        {"pixels cut short", true, buildTga(cutShort), ~0u, "TGA: Data size does not match"},
    };

    // A texture bound beforehand must stay bound: a fault path binds nothing.
    GLuint sentinel = 0;
    glGenTextures(1, &sentinel);
    keepTexture(sentinel);
    glBindTexture(GL_TEXTURE_2D, sentinel);

    const fs::path path = scratchFolder() / "font.tga";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        if (c.writeFile) {
            ASSERT_TRUE(writeBytesToFile(path.string(), c.bytes));
        }
        recordedNotices().clear();

        GLuint before = 0;
        glGenTextures(1, &before);
        const unsigned result = loadTgaTexture(path.c_str(), GL_LINEAR_MIPMAP_NEAREST);
        GLuint after = 0;
        glGenTextures(1, &after);
        keepTexture(before);
        keepTexture(after);

        EXPECT_EQ(result, c.result);
        ASSERT_EQ(recordedNotices().size(), 1u);
        EXPECT_EQ(recordedNotices()[0].first, "TGA: ERROR");
        EXPECT_EQ(recordedNotices()[0].second, c.text);
        EXPECT_FALSE(fileIsOpen(path)) << "the file was left open";

        // No name was generated between the two probes, and nothing was bound or made under the result.
        EXPECT_EQ(after, before + 1);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), sentinel);
        EXPECT_FALSE(glIsTexture(result));
    }
    fs::remove(path);
}

// A nine-character readout: quads 16 wide, 12 apart. Half-transparent solid cells make the 4-pixel overlaps
// show up brighter, so each quad's left edge can be read from one row of pixels.
TEST_F(TextGl, ReadoutGlyphsAreSixteenWideTwelveApart)
{
    const unsigned texture = keepTexture(loadTextureFromBytes(glyphGridTga([](int, int, int) {
                                                                  return Rgba{255, 255, 255, 128};
                                                              }),
                                                              GL_LINEAR_MIPMAP_NEAREST));
    const unsigned base = buildKeptFont();

    for (const int originX : {0, 101}) {
        SCOPED_TRACE("printed at x = " + std::to_string(originX));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const int originY = originX == 0 ? 0 : 203;
        printInOverlay(originX, originY, "FPS: 60.0", base, texture);

        const std::vector<int> red = redAlongRow(originY + 8, 260);
        for (int x = 0; x < 260; ++x) {
            int layers = 0;
            for (int glyph = 0; glyph < 9; ++glyph) {
                const int left = originX + 12 * glyph;
                layers += x >= left && x < left + 16;
            }
            // One layer of alpha 128 over black gives about 128, two about 192.
            const int expected[] = {0, 128, 192};
            EXPECT_NEAR(red[x], expected[layers], 12) << "x = " << x << ", " << layers << " glyph(s) expected";
        }
        // Sixteen rows high, from the printing position up.
        const std::vector<uint8_t> column = readRgb(originX + 6, 0, 1, originY + 20);
        for (int y = 0; y < originY + 20; ++y) {
            const bool inside = y >= originY && y < originY + 16;
            EXPECT_EQ(column[y * 3] > 64, inside) << "y = " << y;
        }
    }
}

// Cells painted by position: red from the column, green from the row, blue only on each cell's top texel row.
TEST_F(TextGl, CodeASamplesColumn1Row4AndReachesIntoTheNextCell)
{
    const auto paint = [](int code, int, int row) {
        return Rgba{uint8_t((code % 16) * 16 + 8), uint8_t((code / 16) * 16 + 8), uint8_t(row == 0 ? 255 : 0), 255};
    };
    const unsigned texture = keepTexture(loadTextureFromBytes(glyphGridTga(paint), GL_NEAREST));
    const unsigned base = buildKeptFont();
    printInOverlay(0, 0, "A", base, texture);

    const std::vector<uint8_t> rgb = readRgb(0, 0, 20, 20);
    const auto pixel = [&rgb](int x, int y) {
        const uint8_t* p = &rgb[(y * 20 + x) * 3];
        return Rgba{p[0], p[1], p[2], 0};
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            SCOPED_TRACE("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")");
            // The right edge at 0.068 puts the last pixel column 0.86 texels into the next cell, column 2.
            const int column = x == 15 ? 2 : 1;
            const Rgba expected = {uint8_t(column * 16 + 8), 4 * 16 + 8, uint8_t(y == 15 ? 255 : 0), 0};
            EXPECT_EQ(pixel(x, y), expected);
        }
    }
    EXPECT_EQ(pixel(16, 8), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(pixel(8, 16), (Rgba{0, 0, 0, 0}));
}

TEST_F(TextGl, BytesFrom128DrawNothingAndDoNotAdvance)
{
    const unsigned texture = keepTexture(loadTextureFromBytes(glyphGridTga([](int, int, int) {
                                                                  return Rgba{255, 255, 255, 255};
                                                              }),
                                                              GL_NEAREST));
    // Signed bytes from 128 name the 128 lists below the base. In the viewer none exist there; here empty ones
    // stand in, so that lists other tests compiled earlier cannot answer.
    const GLuint below = glGenLists(128);
    lists.emplace_back(below, 128);
    const unsigned base = buildKeptFont();
    ASSERT_EQ(base, below + 128);

    struct Case {
        const char* text;
        int litUpTo;  // glyphs fill [0, litUpTo)
    };
    const std::vector<Case> cases = {
        {"\xC1", 0},
        {"\xC1\x41", 16},  // \x41 is 'A', spelt so it cannot run on into the escape before it
        {"A\x80\xFF\x41", 28},
        {"AA", 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        printInOverlay(0, 0, c.text, base, texture);
        const std::vector<int> red = redAlongRow(8, 60);
        for (int x = 0; x < 60; ++x) {
            EXPECT_EQ(red[x] > 128, x < c.litUpTo) << "x = " << x;
        }
    }
}

// With no image behind the name (the loader returned 0 or all bits set), each character is a solid quad in the
// text colour.
TEST_F(TextGl, WithoutAnImageCharactersAreSolidQuadsInTheTextColour)
{
    const unsigned base = buildKeptFont();
    for (const unsigned texture : {0u, ~0u}) {
        SCOPED_TRACE("texture " + std::to_string(texture));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        printInOverlay(0, glTestHeight - 42, "Brevant", base, texture, {255, 0, 0, 255});
        const std::vector<uint8_t> rgb = readRgb(0, glTestHeight - 42, 100, 16);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 100; ++x) {
                const uint8_t* p = &rgb[(y * 100 + x) * 3];
                const bool inside = x < 6 * 12 + 16;
                EXPECT_EQ((Rgba{p[0], p[1], p[2], 0}), (inside ? Rgba{255, 0, 0, 0} : Rgba{0, 0, 0, 0}))
                    << "pixel (" << x << ", " << y << ")";
            }
        }
    }
    // Binding a name nobody generated makes it a texture; drop it so later tests see the loader's names only.
    const GLuint allBits = ~0u;
    glDeleteTextures(1, &allBits);
}

}  // namespace
