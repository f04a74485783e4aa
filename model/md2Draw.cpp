// Draws one keyframe of a loaded MD2 model as immediate-mode triangles.
// Pairs with md2Load.cpp, which has already decoded positions and checked every index the draw follows.
#include "base/glApi.h"
#include "model/md2.h"

void drawModelVertices(const Md2Model& model, const ModelVertex* vertices, float skinWidth, float skinHeight)
{
    glBegin(GL_TRIANGLES);
    forEachCorner(model, vertices, [&](const ModelVertex& v, const Md2TexCoord* c) {
        // Normals are kept in the file's Z-up axes; positions were converted at load.
        glNormal3f(v.normal.x, v.normal.z, -v.normal.y);
        if (c != nullptr) {
            glTexCoord2f(static_cast<float>(c->s) / skinWidth, static_cast<float>(c->t) / skinHeight);
        } else {
            glTexCoord2f(0.0f, 0.0f);
        }
        glVertex3f(v.position.x, v.position.y, v.position.z);
    });
    glEnd();
}

void drawModelFrame(const Md2Model* model, int32_t frameIndex)
{
    if (model == nullptr || !md2HasFrame(*model, frameIndex)) {
        return;
    }
    drawModelVertices(*model, model->frames[frameIndex].vertices.get(), static_cast<float>(model->skinWidth),
                      static_cast<float>(model->skinHeight));
}
