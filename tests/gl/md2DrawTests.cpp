// Draws MD2 models built by the test writer in the real context and reads back pixels and current GL state:
// frames outside the model draw nothing, corners carry converted normals and texture-coordinate quotients.
#include <gtest/gtest.h>
#include <cstdint>

#include <memory>
#include <vector>

#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "scene/scene.h"
#include "support/md2Builder.h"
#include "support/testModel.h"

namespace {

// One triangle, (-1, -1), (3, -1), (-1, 3) at z = 0 once decoded: it covers the whole viewport under
// identity matrices. Every corner uses texture coordinate 1 and table normal 0.
Md2Description screenTriangle()
{
    Md2Description d;
    d.skinWidth = 4;
    d.skinHeight = 2;
    d.texCoords = {{0, 0}, {3, 1}};
    d.triangles = {{{0, 1, 2}, {1, 1, 1}}};
    Md2BuildFrame frame;
    frame.scale[0] = 0.02f;
    frame.scale[2] = 0.02f;
    frame.translate[0] = -1.0f;
    frame.translate[2] = -1.0f;
    frame.vertices = {{0, 0, 0, 0}, {200, 0, 0, 0}, {0, 0, 200, 0}};
    d.frames = {frame, frame};
    return d;
}

ModelPtr build(const Md2Description& description)
{
    return parseModel(buildMd2(description));
}

bool allBlack(const std::vector<uint8_t>& rgb)
{
    for (uint8_t value : rgb) {
        if (value != 0) {
            return false;
        }
    }
    return true;
}

// A 2 x 2 nearest-filtered texture: texel (0, 0) red, (1, 1) blue, the other two green.
GLuint makeQuadrantTexture()
{
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    return texture;
}

TEST(Md2Draw, FrameOutsideTheModelDrawsNothing)
{
    ModelPtr model = build(screenTriangle());
    ASSERT_NE(model, nullptr);
    resetGlState();
    glNormal3f(0.0f, 0.0f, 1.0f);

    for (int32_t frameIndex : {-1, 2, 30, 1 << 30}) {
        drawModelFrame(model.get(), frameIndex);
        EXPECT_TRUE(allBlack(readRgb(0, 0, glTestWidth, glTestHeight))) << "frame " << frameIndex;
    }
    GLfloat normal[4] = {};
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_EQ(normal[2], 1.0f) << "a corner was sent for a frame the model does not have";

    drawModelFrame(model.get(), 1);
    const std::vector<uint8_t> centre = readRgb(glTestWidth / 2, glTestHeight / 2, 1, 1);
    EXPECT_EQ(centre, (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    resetGlState();
}

// A negative skin count only leaves the skin names out: the model loads and draws as it would without them.
TEST(Md2Draw, ModelWithANegativeSkinCountDrawsAsASoundOne)
{
    std::vector<uint8_t> bytes = buildMd2(screenTriangle());
    putS32le(bytes, md2Field::numSkins, -1);
    ModelPtr model = parseModel(bytes);
    ASSERT_NE(model, nullptr);
    ASSERT_FALSE(model->skins);

    resetGlState();
    drawModelFrame(model.get(), 1);
    EXPECT_EQ(readRgb(glTestWidth / 2, glTestHeight / 2, 1, 1), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    resetGlState();
}

// A model whose frame count is zero or negative loads without frames; the scene's choice of frame for it
// (the count less one) must draw nothing and send no corner.
TEST(Md2Draw, ModelWithoutFramesDrawsNothingAtTheScenesFrame)
{
    for (int32_t numFrames : {0, -1, -30, INT32_MIN}) {
        SCOPED_TRACE(numFrames);
        std::vector<uint8_t> bytes = buildMd2(screenTriangle());
        putS32le(bytes, md2Field::numFrames, numFrames);
        ModelPtr model = parseModel(bytes);
        ASSERT_NE(model, nullptr);
        ASSERT_FALSE(model->frames);

        resetGlState();
        glNormal3f(0.0f, 0.0f, 1.0f);
        drawModelFrame(model.get(), sceneFrameIndex(model.get()));
        EXPECT_TRUE(allBlack(readRgb(0, 0, glTestWidth, glTestHeight)));
        GLfloat normal[4] = {};
        glGetFloatv(GL_CURRENT_NORMAL, normal);
        EXPECT_EQ(normal[2], 1.0f) << "a corner was sent";
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    resetGlState();
}

TEST(Md2Draw, CornersCarryConvertedNormalsAndTexCoordQuotients)
{
    ModelPtr textured = build(screenTriangle());
    Md2Description bare = screenTriangle();
    bare.texCoords.clear();
    ModelPtr untextured = build(bare);
    ASSERT_NE(textured, nullptr);
    ASSERT_NE(untextured, nullptr);
    ASSERT_FALSE(untextured->texCoords);

    resetGlState();
    const GLuint texture = makeQuadrantTexture();
    glEnable(GL_TEXTURE_2D);

    // (3, 1) over a 4 x 2 skin is (0.75, 0.5): texel (1, 1). Normal 0 is stored as (-0.525731, 0, 0.850651)
    // in the file's axes and sent as (x, z, -y).
    drawModelFrame(textured.get(), 0);
    GLfloat normal[4] = {};
    GLfloat texCoord[4] = {};
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    EXPECT_FLOAT_EQ(normal[0], -0.525731f);
    EXPECT_FLOAT_EQ(normal[1], 0.850651f);
    EXPECT_FLOAT_EQ(normal[2], 0.0f);
    EXPECT_FLOAT_EQ(texCoord[0], 0.75f);
    EXPECT_FLOAT_EQ(texCoord[1], 0.5f);
    EXPECT_EQ(readRgb(glTestWidth / 2, glTestHeight / 2, 1, 1), (std::vector<uint8_t>{0, 0, 255}));

    // Without texture coordinates every corner gets (0, 0): texel (0, 0) everywhere.
    glTexCoord2f(0.3f, 0.3f);
    drawModelFrame(untextured.get(), 0);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    EXPECT_EQ(texCoord[0], 0.0f);
    EXPECT_EQ(texCoord[1], 0.0f);
    EXPECT_EQ(readRgb(glTestWidth / 2, glTestHeight / 2, 1, 1), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(readRgb(glTestWidth / 8, glTestHeight / 8, 1, 1), (std::vector<uint8_t>{255, 0, 0}));

    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &texture);
    resetGlState();
}

}  // namespace
