// Checks viewer mode's camera through renderViewerFrame: GL feedback returns the window position of every model
// corner drawn, and plain float math here says where each belongs for the camera's turns, distance and window size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "scene/viewerScene.h"
#include "text/builtinFont.h"

namespace {

// Four corners with no symmetry between them, their box centred well away from the origin, so a wrong axis,
// order or sign of a turn, or a centre left in place, moves at least one corner.
constexpr Vec3 corners[] = {{21.0f, -5.0f, 3.0f}, {9.0f, 0.0f, 9.5f}, {14.0f, -12.0f, 11.0f}, {6.0f, -8.5f, 0.5f}};
constexpr int cornerCount = 4;
constexpr int16_t triangleCorners[][3] = {{0, 1, 2}, {0, 2, 3}};
constexpr int triangleCount = 2;

// A one-frame model holding the corners as they are drawn, bypassing the loader so only the camera is under test.
ModelHandle cornerModel()
{
    return ModelHandle(buildCornerModel(corners, cornerCount, triangleCorners, triangleCount));
}

// The middle of the corners' bounding box: the point the camera turns about.
Vec3 boxCentre()
{
    Vec3 low = corners[0];
    Vec3 high = corners[0];
    for (const Vec3& p : corners) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return {(low.x + high.x) / 2.0f, (low.y + high.y) / 2.0f, (low.z + high.z) / 2.0f};
}

struct Setting {
    int width, height;
    float angleX, angleY, distance;
};

struct WindowPoint {
    double x, y;
};

// Where a model point lands: moved by -centre, turned about Y, then about X, pushed distance away along -Z, and
// projected with the viewer's vertical field of view and the window's width / height.
WindowPoint expectedWindowPoint(Vec3 p, const Setting& s)
{
    const double pi = std::numbers::pi;
    const Vec3 centre = boxCentre();
    const double x = p.x - centre.x, y = p.y - centre.y, z = p.z - centre.z;
    const double ay = s.angleY * pi / 180.0;
    const double x1 = x * std::cos(ay) + z * std::sin(ay);
    const double z1 = -x * std::sin(ay) + z * std::cos(ay);
    const double ax = s.angleX * pi / 180.0;
    const double y2 = y * std::cos(ax) - z1 * std::sin(ax);
    const double z2 = y * std::sin(ax) + z1 * std::cos(ax);
    const double ahead = s.distance - z2;
    const double focal = 1.0 / std::tan(viewerFieldOfViewY * pi / 360.0);
    const double aspect = double(s.width) / double(s.height);
    return {s.width / 2.0 * (1.0 + focal / aspect * x1 / ahead), s.height / 2.0 * (1.0 + focal * y2 / ahead)};
}

// The model is drawn before the overlay, so its triangles open the GL_3D feedback buffer; each is read as its
// corners' window x and y. Fewer triangles, or another token first, means one was clipped away.
std::vector<std::vector<WindowPoint>> modelTriangles(const std::vector<GLfloat>& buffer, GLint used)
{
    std::vector<std::vector<WindowPoint>> triangles;
    GLint i = 0;
    while (static_cast<int>(triangles.size()) < triangleCount && i + 2 < used &&
           static_cast<GLint>(buffer[i]) == GL_POLYGON_TOKEN && static_cast<GLint>(buffer[i + 1]) == 3) {
        i += 2;
        std::vector<WindowPoint> triangle;
        for (int k = 0; k < 3; ++k, i += 3) {
            triangle.push_back({buffer[i], buffer[i + 1]});
        }
        triangles.push_back(triangle);
    }
    return triangles;
}

// Opens the session on the corner model at a fixed keyframe with no skin, as `--frame 0 --no-skin` would, and
// puts back the session and every GL object and state it made, even when an assertion ends the test early.
class ViewerCameraGl : public testing::Test {
protected:
    static inline ViewerSession viewer;
    static inline ViewerGl gl;

    void SetUp() override
    {
        resetGlState();
        resetTestPlatform();
        viewer = ViewerSession{};
        gl = ViewerGl{};
        viewer.options.noSkin = true;
        viewer.options.hasFrame = true;
        viewer.options.frame = 0.0;
        viewer.body.model = cornerModel();
        viewer.body.path = "corners.md2";
        findViewerFont(viewer, std::string(), builtinFont, builtinFontSize);
        startViewerSession(viewer, glTestWidth, glTestHeight, 0.0);
        initViewerScene(viewer, gl);
        // Culling is the viewer's, but whichever face a turn shows, every corner must come back to be checked.
        glDisable(GL_CULL_FACE);
    }

    void TearDown() override
    {
        releaseViewerScene(gl);
        viewer = ViewerSession{};
        resetTestPlatform();
        resetGlState();
    }

    // Resizes as a backend would, places the camera, draws one frame in feedback mode and compares every corner.
    static void checkCorners(const Setting& s)
    {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height << ", angleX " << s.angleX << ", angleY "
                                        << s.angleY << ", distance " << s.distance);
        ViewerEvent resized;
        resized.kind = ViewerEventKind::resized;
        resized.width = s.width;
        resized.height = s.height;
        handleSessionEvent(viewer, resized);
        viewer.state.camera.angleX = s.angleX;
        viewer.state.camera.angleY = s.angleY;
        viewer.state.camera.distance = s.distance;

        std::vector<GLfloat> buffer(8192);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        advanceSession(viewer, 0.0);
        drawViewerFrame(viewer, gl, true, 0.0);
        const GLint used = glRenderMode(GL_RENDER);
        ASSERT_GE(used, 0) << "the feedback buffer overflowed";

        const std::vector<std::vector<WindowPoint>> triangles = modelTriangles(buffer, used);
        ASSERT_EQ(triangles.size(), static_cast<size_t>(triangleCount)) << "a triangle was clipped or not drawn";
        for (int t = 0; t < triangleCount; ++t) {
            for (int k = 0; k < 3; ++k) {
                const WindowPoint expected = expectedWindowPoint(corners[triangleCorners[t][k]], s);
                EXPECT_NEAR(triangles[t][k].x, expected.x, 0.02) << "triangle " << t << " corner " << k;
                EXPECT_NEAR(triangles[t][k].y, expected.y, 0.02) << "triangle " << t << " corner " << k;
            }
        }
    }
};

TEST_F(ViewerCameraGl, TurnsAboutYThenXAroundTheCentreThenMovesAway)
{
    // Unequal, non-zero turns of both signs, one past 90 degrees, so no swap of axes, order or sign agrees.
    const Setting settings[] = {
        {glTestWidth, glTestHeight, 25.0f, 40.0f, 40.0f},
        {glTestWidth, glTestHeight, -70.0f, 130.0f, 48.0f},
        {glTestWidth, glTestHeight, 15.5f, -55.0f, 60.0f},
        {glTestWidth, glTestHeight, 100.0f, -160.0f, 42.0f},
    };
    for (const Setting& s : settings) {
        checkCorners(s);
    }
}

TEST_F(ViewerCameraGl, ResizedWindowKeepsProportions)
{
    // Wide and tall sizes whose width / height is no whole number, so a rounded or fixed 4:3 aspect shows.
    const Setting settings[] = {
        {800, 450, 30.0f, -120.0f, 40.0f},
        {300, 700, -35.0f, 65.0f, 80.0f},
        {1000, 250, 10.0f, -150.0f, 45.0f},
    };
    for (const Setting& s : settings) {
        checkCorners(s);
    }
}

}  // namespace
