// Viewer mode's GL side: skin and font uploads, projection and camera from the session's state record, its
// blended poses, the overlay texts, and reading the picture back. Pairs with scene/viewerSession.cpp.
#include "scene/viewerScene.h"

#include <cstring>

#include "app/shell.h"
#include "base/glApi.h"
#include "model/md2Blend.h"
#include "scene/scene.h"
#include "text/font.h"
#include "text/tga.h"

// Windows' GL header stops at 1.1; the values are GL 3.0's (and ARB_framebuffer_object's).
#ifndef GL_FRAMEBUFFER_BINDING
#define GL_FRAMEBUFFER_BINDING 0x8CA6
#endif
#ifndef GL_COLOR_ATTACHMENT0
#define GL_COLOR_ATTACHMENT0 0x8CE0
#endif

namespace {

// Uploads a new skin or drops a stale one; the session's copy of the pixels goes once the texture holds them.
void syncSkin(ViewerModel& target, unsigned& texture, uint32_t& generation)
{
    if (generation == target.skinGeneration) {
        return;
    }
    if (texture != 0) {
        const GLuint name = texture;
        glDeleteTextures(1, &name);
        texture = 0;
    }
    if (target.hasSkin && target.skinPixels.pixels) {
        // The rows come top row first, which is where the model's t = 0 lies, so they go up as they come.
        texture = uploadTexture(target.skinPixels.pixels.get(), target.skinPixels.width, target.skinPixels.height,
                                GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR);
        target.skinPixels = SkinImage{};
    }
    generation = target.skinGeneration;
}

void drawViewerModel(const ViewerSession& session, const ViewerModel& target, unsigned texture)
{
    const Md2Model* model = target.model.get();
    if (model == nullptr || model->numFrames <= 0) {
        return;
    }
    const bool textured = session.skinShown && texture != 0;
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
    }
    drawModelVertices(*model, target.pose.get(), static_cast<float>(target.skinWidth),
                      static_cast<float>(target.skinHeight));
    if (textured) {
        glDisable(GL_TEXTURE_2D);
    }
}

void drawOverlay(const ViewerSession& session, const ViewerGl& gl, bool showReadout, double now)
{
    const int32_t height = session.state.height;
    beginOverlay(session.state.width, height);
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (showReadout) {
        printText(0, 0, fpsText, gl.fontListBase, gl.fontTexture);
    }
    glPopMatrix();
    glPushMatrix();
    glColor4f(0.75f, 0.85f, 1.0f, 1.0f);
    printText(0, 16, session.statusText.c_str(), gl.fontListBase, gl.fontTexture);
    glPopMatrix();
    if (sessionNoticeShown(session, now)) {
        glPushMatrix();
        glColor4f(1.0f, 0.9f, 0.4f, 1.0f);
        printText(0, 32, session.notice.c_str(), gl.fontListBase, gl.fontTexture);
        glPopMatrix();
    }
    glPushMatrix();
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    printText(0, height - 42, "Brevant", gl.fontListBase, gl.fontTexture);
    glPopMatrix();
    endOverlay();
}

}  // namespace

void initViewerScene(ViewerSession& session, ViewerGl& gl)
{
    setSceneState();
    if (session.font.pixels) {
        gl.fontTexture = uploadTexture(session.font.pixels.get(), session.font.width, session.font.height,
                                       GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_NEAREST);
        session.font = RgbaImage{};
    }
    gl.fontListBase = buildFont();
    syncSkin(session.body, gl.bodySkin, gl.bodySkinGeneration);
    syncSkin(session.weapon, gl.weaponSkin, gl.weaponSkinGeneration);
    glViewport(0, 0, session.state.width, session.state.height);
}

void releaseViewerScene(ViewerGl& gl)
{
    const GLuint textures[] = {gl.fontTexture, gl.bodySkin, gl.weaponSkin};
    for (const GLuint texture : textures) {
        if (texture != 0) {
            glDeleteTextures(1, &texture);
        }
    }
    if (gl.fontListBase != 0) {
        glDeleteLists(gl.fontListBase, 256);
    }
    gl = ViewerGl{};
}

void drawViewerPicture(ViewerSession& session, ViewerGl& gl)
{
    syncSkin(session.body, gl.bodySkin, gl.bodySkinGeneration);
    syncSkin(session.weapon, gl.weaponSkin, gl.weaponSkinGeneration);

    glViewport(0, 0, session.state.width, session.state.height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const ViewerProjection projection = viewerProjection(session.state);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(projection.fovY, projection.aspect, projection.zNear, projection.zFar);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    float modelview[16];
    viewerModelview(session.state.camera, session.state.framing, modelview);
    glLoadMatrixf(modelview);
    if (session.wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    drawViewerModel(session, session.body, gl.bodySkin);
    drawViewerModel(session, session.weapon, gl.weaponSkin);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glPopMatrix();
}

void drawViewerFrame(ViewerSession& session, ViewerGl& gl, bool showReadout, double now)
{
    drawViewerPicture(session, gl);
    drawOverlay(session, gl, showReadout, now);
}

RgbaImage readViewerPicture(int32_t width, int32_t height, bool keepAlpha)
{
    RgbaImage picture;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[rowBytes * static_cast<size_t>(height)]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // A framebuffer object has no back buffer: naming it there is an error and reads nothing.
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glReadBuffer(framebuffer != 0 ? GL_COLOR_ATTACHMENT0 : GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.get());
    // GL reads bottom row first; the window's alpha is not worth keeping, the framebuffer object's clear alpha is.
    picture.pixels.reset(new uint8_t[rowBytes * static_cast<size_t>(height)]);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = picture.pixels.get() + rowBytes * static_cast<size_t>(y);
        std::memcpy(out, pixels.get() + rowBytes * static_cast<size_t>(height - 1 - y), rowBytes);
        for (size_t x = 3; x < rowBytes && !keepAlpha; x += 4) {
            out[x] = 255;
        }
    }
    picture.width = width;
    picture.height = height;
    return picture;
}
