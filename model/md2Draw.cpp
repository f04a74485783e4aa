// Draws one keyframe of a loaded MD2 model as immediate-mode triangles.
// Pairs with md2Load.cpp, which has already decoded positions and checked every index the draw follows.
#include "base/glApi.h"
#include "model/md2.h"

void drawModelFrame(const Md2Model* model, int32_t frameIndex)
{
    if (model == nullptr || !model->frames || frameIndex < 0 || frameIndex >= model->numFrames) {
        return;
    }
    const ModelVertex* vertices = model->frames[frameIndex].vertices.get();
    const Md2TexCoord* texCoords = model->texCoords.get();
    const float skinWidth = static_cast<float>(model->skinWidth);
    const float skinHeight = static_cast<float>(model->skinHeight);

    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < model->numTriangles; ++i) {
        const Md2Triangle& triangle = model->triangles[i];
        for (int k = 0; k < 3; ++k) {
            const ModelVertex& v = vertices[triangle.vertex[k]];
            // Normals are kept in the file's Z-up axes; positions were converted at load.
            glNormal3f(v.normal.x, v.normal.z, -v.normal.y);
            if (texCoords != nullptr) {
                const Md2TexCoord& c = texCoords[triangle.texCoord[k]];
                glTexCoord2f(static_cast<float>(c.s) / skinWidth, static_cast<float>(c.t) / skinHeight);
            } else {
                glTexCoord2f(0.0f, 0.0f);
            }
            glVertex3f(v.position.x, v.position.y, v.position.z);
        }
    }
    glEnd();
}
