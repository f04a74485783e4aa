// Viewer mode's GL side: skin and font uploads, projection and camera from the session's state record, its
// blended poses, the overlay texts, and reading the picture back. Pairs with scene/viewerSession.cpp.
#include "scene/viewerScene.h"

#include <cstring>

#include "app/info.h"
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

// Light from the eye: ambient and diffuse add up to 1 on a face turned to the eye, so its texels keep their own
// value there, and a grazing face keeps the ambient share.
constexpr float viewerAmbientShare = 0.3f;

void setEyeLight(bool lit)
{
    // Unlit and untextured faces, and the modulated texture, take this colour as it is.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (!lit) {
        glDisable(GL_LIGHTING);
        return;
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    const GLfloat ambient[4] = {viewerAmbientShare, viewerAmbientShare, viewerAmbientShare, 1.0f};
    const GLfloat diffuse[4] = {1.0f - viewerAmbientShare, 1.0f - viewerAmbientShare, 1.0f - viewerAmbientShare, 1.0f};
    const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    // Set with the identity loaded, the direction stays the eye's whatever the camera does.
    const GLfloat towardEye[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, towardEye);
    glPopMatrix();
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
}

void printFitted(int32_t y, const std::string& text, int32_t width, const ViewerGl& gl)
{
    const std::string fitted = fitLine(text, overlayCharsThatFit(width));
    printText(0, y, fitted.c_str(), gl.fontListBase, gl.fontTexture);
}

void drawOverlay(const ViewerSession& session, const ViewerGl& gl, double now)
{
    const int32_t width = session.state.width;
    const int32_t height = session.state.height;
    beginOverlay(width, height);
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    printText(0, 0, fpsText, gl.fontListBase, gl.fontTexture);
    glPopMatrix();
    glPushMatrix();
    glColor4f(0.75f, 0.85f, 1.0f, 1.0f);
    printFitted(16, session.statusText, width, gl);
    glPopMatrix();
    if (sessionNoticeShown(session, now)) {
        glPushMatrix();
        glColor4f(1.0f, 0.9f, 0.4f, 1.0f);
        printFitted(32, session.notice, width, gl);
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

void drawViewerFrame(ViewerSession& session, ViewerGl& gl, bool overlay, double now)
{
    syncSkin(session.body, gl.bodySkin, gl.bodySkinGeneration);
    syncSkin(session.weapon, gl.weaponSkin, gl.weaponSkinGeneration);

    glViewport(0, 0, session.state.width, session.state.height);
    const ViewerBackground& background = session.options.background;
    glClearColor(background.red / 255.0f, background.green / 255.0f, background.blue / 255.0f,
                 background.transparent ? 0.0f : 1.0f);
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
    setEyeLight(session.lighting);
    if (session.wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    drawViewerModel(session, session.body, gl.bodySkin);
    drawViewerModel(session, session.weapon, gl.weaponSkin);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glPopMatrix();
    if (overlay) {
        drawOverlay(session, gl, now);
    }
}

void drawViewerPicture(ViewerSession& session, ViewerGl& gl)
{
    drawViewerFrame(session, gl, false, 0.0);
}

RgbaImage readViewerPicture(int32_t width, int32_t height, bool transparent)
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
    // A window need not have alpha bits: where nothing was drawn the depth buffer still holds the far plane.
    std::unique_ptr<float[]> depth;
    if (transparent) {
        depth.reset(new float[static_cast<size_t>(width) * static_cast<size_t>(height)]);
        glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.get());
    }
    // GL reads bottom row first: the picture goes top row first.
    picture.pixels.reset(new uint8_t[rowBytes * static_cast<size_t>(height)]);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = picture.pixels.get() + rowBytes * static_cast<size_t>(y);
        const size_t sourceRow = static_cast<size_t>(height - 1 - y);
        std::memcpy(out, pixels.get() + rowBytes * sourceRow, rowBytes);
        const float* depthRow = depth ? depth.get() + static_cast<size_t>(width) * sourceRow : nullptr;
        for (int32_t x = 0; x < width; ++x) {
            out[static_cast<size_t>(x) * 4 + 3] = depthRow != nullptr && depthRow[x] >= 1.0f ? 0 : 255;
        }
    }
    picture.width = width;
    picture.height = height;
    return picture;
}
