// Draws a prepared triangle for real under the viewer's culling and default light, and reads the pixels back:
// the flipped winding must survive back-face culling and the stored normal must face the light.
#include "base/glApi.h"
#include "gl/glHarness.h"
#include "model/md2.h"
#include "model/md2Prepare.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(PrepareDraw, TriangleFacingTheDefaultLightIsDrawnLit)
{
    // Loaded as (2, 1, 0), so after the flip it winds (0,0,0), (1,0,0), (0,1,0): counter-clockwise seen from +Z.
    auto model = std::make_unique<Md2Model>();
    model->skinWidth = 1;
    model->skinHeight = 1;
    model->numVertices = 3;
    model->numTexCoords = 1;
    model->numTriangles = 1;
    model->numFrames = 1;
    model->texCoords = std::make_unique<Md2TexCoord[]>(1);
    model->triangles = std::make_unique<Md2Triangle[]>(1);
    model->triangles[0] = {{2, 1, 0}, {0, 0, 0}};
    model->frames = std::make_unique<Md2Frame[]>(1);
    model->frames[0].vertices = std::make_unique<ModelVertex[]>(3);
    // Table normals pointing away from the light, so only the recomputed ones can light the face.
    model->frames[0].vertices[0] = {{0, 0, 0}, {0, 1, 0}};
    model->frames[0].vertices[1] = {{1, 0, 0}, {0, 1, 0}};
    model->frames[0].vertices[2] = {{0, 1, 0}, {0, 1, 0}};
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
