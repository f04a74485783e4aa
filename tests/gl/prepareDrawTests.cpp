// Draws a prepared triangle for real under the viewer's culling and default light, and reads the pixels back:
// the flipped winding must survive back-face culling and the stored normal must face the light.
#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "model/md2Prepare.h"
#include "support/md2Builder.h"
#include "support/testModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PrepareDraw, TriangleFacingTheDefaultLightIsDrawnLit)
{
    // Loaded as (2, 1, 0), so after the flip it winds (0,0,0), (1,0,0), (0,1,0): counter-clockwise seen from +Z.
    Md2Description d;
    d.skinWidth = 1;
    d.skinHeight = 1;
    d.texCoords = {{0, 0}};
    d.triangles = {{{2, 1, 0}, {0, 0, 0}}};
    Md2BuildFrame frame;
    // Table normal 32 is (0, 1, 0) in the file's axes, drawn as (0, 0, -1): pointing away from the light, so
    // only the recomputed normals can light the face.
    frame.vertices = {{0, 0, 0, 32}, {1, 0, 0, 32}, {0, 0, 1, 32}};
    d.frames = {frame};
    ModelPtr model = parseModel(buildMd2(d));
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->frames[0].vertices[2].normal.y, 1.0f);
    flipWinding(model.get());
    computeVertexNormals(model.get());

    resetGlState();
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    drawModelFrame(model.get(), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Inside the triangle: normalised device coordinates (0.25, 0.25).
    const std::vector<uint8_t> inside = readRgb(glTestWidth * 5 / 8, glTestHeight * 5 / 8, 1, 1);
    resetGlState();

    // Default material facing the default light head-on is about 0.84 grey; culled it would be the black
    // background, and lit from behind only the faint ambient term.
    EXPECT_GT(inside[0], 150) << "red " << int(inside[0]);
    EXPECT_GT(inside[1], 150) << "green " << int(inside[1]);
    EXPECT_GT(inside[2], 150) << "blue " << int(inside[2]);
}

}  // namespace
