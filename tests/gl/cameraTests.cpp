// Checks which way renderFrame's camera turns: GL feedback returns the window position of every corner it draws,
// and plain float math here says where each corner belongs. Amounts alone would not catch a wrong axis or order.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "scene/scene.h"

namespace {

// Four corners with no symmetry between them, so no wrong turn can land every corner where the right one does.
// Small enough to stay inside the 90-degree view at any turn once moved 30 units away.
constexpr Vec3 corners[] = {{9.0f, 2.0f, -1.0f}, {-3.0f, 7.0f, 4.0f}, {2.0f, -5.0f, 6.0f}, {-6.0f, -1.5f, -4.5f}};
constexpr int16_t triangleCorners[][3] = {{0, 1, 2}, {0, 2, 3}};
constexpr int triangleCount = 2;

// The corners as they are drawn, bypassing the loader so only the camera is under test.
std::unique_ptr<Md2Model> cornerModel()
{
    return std::unique_ptr<Md2Model>(buildCornerModel(corners, 4, triangleCorners, triangleCount));
}

struct WindowPoint {
    float x, y;
};

// Where a model point lands in the 640 x 480 window: turned about X, then about Y, moved along Z, then
// projected with the 90-degree, aspect-1 perspective, whose divide is by the distance in front of the eye.
WindowPoint expectedWindowPoint(Vec3 p, float degreesX, float degreesY, float zoomZ)
{
    const float ax = degreesX * std::numbers::pi_v<float> / 180.0f;
    const float ay = degreesY * std::numbers::pi_v<float> / 180.0f;
    const float y1 = p.y * std::cos(ax) - p.z * std::sin(ax);
    const float z1 = p.y * std::sin(ax) + p.z * std::cos(ax);
    const float x2 = p.x * std::cos(ay) + z1 * std::sin(ay);
    const float z2 = -p.x * std::sin(ay) + z1 * std::cos(ay);
    const float eyeZ = z2 + zoomZ;
    return {320.0f * (1.0f + x2 / -eyeZ), 240.0f * (1.0f + y1 / -eyeZ)};
}

// The polygons in a GL_3D feedback buffer, in drawing order, each as its corners' window x and y.
std::vector<std::vector<WindowPoint>> feedbackPolygons(const std::vector<GLfloat>& buffer, GLint used)
{
    std::vector<std::vector<WindowPoint>> polygons;
    GLint i = 0;
    while (i < used) {
        const auto token = static_cast<GLint>(buffer[i++]);
        if (token == GL_POLYGON_TOKEN) {
            const auto count = static_cast<GLint>(buffer[i++]);
            std::vector<WindowPoint> polygon;
            for (GLint k = 0; k < count; ++k, i += 3) {
                polygon.push_back({buffer[i], buffer[i + 1]});
            }
            polygons.push_back(polygon);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 6;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {
            i += 3;  // points, bitmaps and pixel rectangles carry one vertex
        }
    }
    return polygons;
}

constexpr ControlKey cameraKeys[] = {ControlKey::up,    ControlKey::down, ControlKey::left,
                                     ControlKey::right, ControlKey::a,    ControlKey::z};

// Puts the corner model in the scene with every key up, and the scene's own model and camera back afterwards,
// even when an assertion ends the test early.
class Camera : public testing::Test {
protected:
    void SetUp() override
    {
        resetGlState();
        loaded = model;
        model = shown.get();
        for (ControlKey key : cameraKeys) {
            setKeyDown(key, false);
        }
    }

    void TearDown() override
    {
        model = loaded;
        angleX = 0.0f;
        angleY = 0.0f;
        zoom = 0.0f;
        resetGlState();
    }

    const std::unique_ptr<Md2Model> shown = cornerModel();
    Md2Model* loaded = nullptr;
};

TEST_F(Camera, TurnsAboutXThenYThenMovesAlongZ)
{
    struct Case {
        float angleX, angleY, zoom;
    };
    // Unequal, non-zero turns of both signs, one past 90 degrees, so no swap of axes, order or sign agrees.
    const Case cases[] = {{25.0f, 40.0f, -30.0f}, {-70.0f, 130.0f, -35.0f}, {15.5f, -55.0f, -40.0f}};

    resizeView(glTestWidth, glTestHeight);

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "angleX " << c.angleX << ", angleY " << c.angleY << ", zoom " << c.zoom);
        angleX = c.angleX;
        angleY = c.angleY;
        zoom = c.zoom;
        std::vector<GLfloat> buffer(4096);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        renderFrame();
        const GLint used = glRenderMode(GL_RENDER);
        ASSERT_GE(used, 0) << "the feedback buffer overflowed";

        // The model is drawn before the overlay, so its triangles come first; the overlay's quads may follow.
        const std::vector<std::vector<WindowPoint>> polygons = feedbackPolygons(buffer, used);
        ASSERT_GE(polygons.size(), static_cast<size_t>(triangleCount));
        for (int t = 0; t < triangleCount; ++t) {
            ASSERT_EQ(polygons[t].size(), 3u) << "triangle " << t << " was clipped or culled";
            for (int k = 0; k < 3; ++k) {
                const WindowPoint expected =
                    expectedWindowPoint(corners[triangleCorners[t][k]], c.angleX, c.angleY, c.zoom);
                EXPECT_NEAR(polygons[t][k].x, expected.x, 0.01f) << "triangle " << t << " corner " << k;
                EXPECT_NEAR(polygons[t][k].y, expected.y, 0.01f) << "triangle " << t << " corner " << k;
            }
        }
    }
}

}  // namespace
