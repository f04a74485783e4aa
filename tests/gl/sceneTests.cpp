// The scene's projections and key steps, read back from the real context the GL test binary keeps current.
#include <gtest/gtest.h>
#include <cstdint>

#include <array>
#include <cmath>

#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "scene/scene.h"

namespace {

using Matrix = std::array<GLfloat, 16>;

Matrix currentMatrix(GLenum which)
{
    Matrix matrix{};
    glGetFloatv(which, matrix.data());
    return matrix;
}

std::array<GLint, 4> currentViewport()
{
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    return viewport;
}

GLint currentInteger(GLenum which)
{
    GLint value = 0;
    glGetIntegerv(which, &value);
    return value;
}

constexpr Matrix identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class Scene : public testing::Test {
protected:
    void SetUp() override
    {
        resetGlState();
        angleX = 0.0f;
        angleY = 0.0f;
        zoom = 0.0f;
        for (ControlKey key :
             {ControlKey::up, ControlKey::down, ControlKey::left, ControlKey::right, ControlKey::a, ControlKey::z}) {
            setKeyDown(key, false);
        }
    }

    void TearDown() override
    {
        for (ControlKey key :
             {ControlKey::up, ControlKey::down, ControlKey::left, ControlKey::right, ControlKey::a, ControlKey::z}) {
            setKeyDown(key, false);
        }
        resetGlState();
    }
};

TEST_F(Scene, ResizeViewUsesTheWholeNumberAspectAndTheFixedPlanes)
{
    struct Case {
        int width, height;
        int viewportHeight;
        double aspect;
    };
    const Case cases[] = {
        {640, 480, 480, 1.0},  // 640 / 480 in whole numbers
        {640, 0, 1, 640.0},    // a height of 0 counts as 1
        {1280, 480, 480, 2.0},
    };
    // The near plane is the single-precision 0.001, widened.
    const double zNear = static_cast<double>(0.001f);
    const double zFar = 400.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        resetGlState();
        glMatrixMode(GL_MODELVIEW);
        glTranslatef(1.0f, 2.0f, 3.0f);
        glMatrixMode(GL_PROJECTION);

        resizeView(c.width, c.height);

        EXPECT_EQ(currentViewport(), (std::array<GLint, 4>{0, 0, c.width, c.viewportHeight}));
        EXPECT_EQ(currentInteger(GL_MATRIX_MODE), GL_MODELVIEW);
        EXPECT_EQ(currentMatrix(GL_MODELVIEW_MATRIX), identity);
        const Matrix projection = currentMatrix(GL_PROJECTION_MATRIX);
        // A 90-degree field of view makes the vertical scale 1.
        EXPECT_NEAR(projection[0], 1.0 / c.aspect, 1e-6);
        EXPECT_NEAR(projection[5], 1.0, 1e-6);
        EXPECT_NEAR(projection[10], (zFar + zNear) / (zNear - zFar), 1e-6);
        EXPECT_NEAR(projection[11], -1.0, 1e-6);
        EXPECT_NEAR(projection[14], 2.0 * zFar * zNear / (zNear - zFar), 1e-9);
        EXPECT_EQ(projection[15], 0.0f);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(Scene, OverlayIsPixelAddressedAndEndOverlayRestoresEverything)
{
    glViewport(10, 20, 300, 200);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(60.0, 1.5, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1.0f, 2.0f, -3.0f);
    glRotatef(30.0f, 0.0f, 1.0f, 0.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    const Matrix projectionBefore = currentMatrix(GL_PROJECTION_MATRIX);
    const Matrix modelviewBefore = currentMatrix(GL_MODELVIEW_MATRIX);
    const GLint projectionDepth = currentInteger(GL_PROJECTION_STACK_DEPTH);
    const GLint modelviewDepth = currentInteger(GL_MODELVIEW_STACK_DEPTH);
    const GLint attribDepth = currentInteger(GL_ATTRIB_STACK_DEPTH);

    beginOverlay(640, 480);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(currentInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(currentInteger(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(currentInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(currentMatrix(GL_MODELVIEW_MATRIX), identity);
    const Matrix ortho = currentMatrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(ortho[0], 2.0 / 640.0, 1e-7);
    EXPECT_NEAR(ortho[5], 2.0 / 480.0, 1e-7);
    EXPECT_NEAR(ortho[12], -1.0, 1e-6);
    EXPECT_NEAR(ortho[13], -1.0, 1e-6);
    endOverlay();

    EXPECT_EQ(currentViewport(), (std::array<GLint, 4>{10, 20, 300, 200}));
    EXPECT_EQ(currentMatrix(GL_PROJECTION_MATRIX), projectionBefore);
    EXPECT_EQ(currentMatrix(GL_MODELVIEW_MATRIX), modelviewBefore);
    EXPECT_EQ(currentInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(currentInteger(GL_PROJECTION_STACK_DEPTH), projectionDepth);
    EXPECT_EQ(currentInteger(GL_MODELVIEW_STACK_DEPTH), modelviewDepth);
    EXPECT_EQ(currentInteger(GL_ATTRIB_STACK_DEPTH), attribDepth);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Scene, OverlayUnitsArePixelsFromTheBottomLeft)
{
    resizeView(640, 480);
    beginOverlay(640, 480);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2i(100, 50);
    glVertex2i(104, 50);
    glVertex2i(104, 54);
    glVertex2i(100, 54);
    glEnd();
    endOverlay();

    // A 6 x 6 window around the quad: pixels 100-103 by 50-53 lit, a one-pixel black border round them.
    const std::vector<uint8_t> rgb = readRgb(99, 49, 6, 6);
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 6; ++column) {
            const bool inside = row >= 1 && row <= 4 && column >= 1 && column <= 4;
            const uint8_t red = rgb[(row * 6 + column) * 3];
            EXPECT_EQ(red, inside ? 255 : 0) << "pixel " << 99 + column << ", " << 49 + row;
        }
    }
}

TEST_F(Scene, EachHeldKeyStepsTheCameraByHalfAUnitPerFrame)
{
    struct Case {
        bool up, down, left, right, a, z;
        float angleX, angleY, zoom;
    };
    const Case cases[] = {
        {true, false, false, false, false, false, 2.5f, -1.0f, 4.0f},
        {false, true, false, false, false, false, 1.5f, -1.0f, 4.0f},
        {true, true, false, false, false, false, 2.0f, -1.0f, 4.0f},  // Up and Down cancel out
        {false, false, true, false, false, false, 2.0f, -1.5f, 4.0f},
        {false, false, false, true, false, false, 2.0f, -0.5f, 4.0f},
        {false, false, true, true, false, false, 2.0f, -1.0f, 4.0f},
        {false, false, false, false, true, false, 2.0f, -1.0f, 4.5f},
        {false, false, false, false, false, true, 2.0f, -1.0f, 3.5f},
        {true, false, false, true, false, true, 2.5f, -0.5f, 3.5f},
    };
    for (const Case& c : cases) {
        angleX = 2.0f;
        angleY = -1.0f;
        zoom = 4.0f;
        stepCamera(c.up, c.down, c.left, c.right, c.a, c.z);
        EXPECT_EQ(angleX, c.angleX);
        EXPECT_EQ(angleY, c.angleY);
        EXPECT_EQ(zoom, c.zoom);
    }
}

TEST_F(Scene, RenderFramePollsTheKeysAndClearsTheView)
{
    Md2Model* const loaded = model;
    model = nullptr;
    resizeView(640, 480);
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    setKeyDown(ControlKey::up, true);
    setKeyDown(ControlKey::z, true);

    renderFrame();
    renderFrame();
    model = loaded;

    EXPECT_EQ(angleX, 1.0f);
    EXPECT_EQ(angleY, 0.0f);
    EXPECT_EQ(zoom, -1.0f);
    const std::vector<uint8_t> centre = readRgb(300, 220, 40, 40);
    for (size_t index = 0; index < centre.size(); ++index) {
        ASSERT_EQ(centre[index], 0) << "byte " << index << " of the centre is not black";
    }
    EXPECT_EQ(currentInteger(GL_MODELVIEW_STACK_DEPTH), 1) << "every frame pops what it pushes";
}

TEST(SceneFrame, IsThirtyOrTheLastFrameOfAShorterModelAndNoneWithoutFrames)
{
    struct Case {
        int32_t frames;
        int32_t shown;
    };
    for (const Case c : {Case{40, 30}, Case{31, 30}, Case{30, 29}, Case{10, 9}, Case{1, 0}, Case{0, -1}, Case{-1, -1},
                         Case{INT32_MIN, -1}}) {
        Md2Model shorter;
        shorter.numFrames = c.frames;
        EXPECT_EQ(sceneFrameIndex(&shorter), c.shown) << c.frames << " frames";
    }
    EXPECT_EQ(sceneFrameIndex(nullptr), 30);
}

}  // namespace
