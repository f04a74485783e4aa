// The scene: fixed GL state, the perspective and overlay projections, start-up loading and per-frame drawing.
// Keys come from the platform's pollControlKey; the shell swaps the buffers.
#include "scene/scene.h"

#include "app/shell.h"
#include "base/glApi.h"
#include "base/platform.h"
#include "model/md2.h"
#include "model/md2Prepare.h"
#include "text/font.h"
#include "text/tga.h"

float angleX = 0.0f;
float angleY = 0.0f;
float zoom = 0.0f;
Md2Model* model = nullptr;
unsigned fontTexture = 0;
unsigned fontListBase = 0;

void resizeView(int32_t width, int32_t height)
{
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The whole-number quotient is deliberate: 640 x 480 gets 1.0, so both fields of view are 90 degrees.
    gluPerspective(90.0, static_cast<double>(width / height), 0.001f, 400.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void setSceneState()
{
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void initScene()
{
    setSceneState();

    fontTexture = loadTgaTexture("font.tga", GL_LINEAR_MIPMAP_NEAREST);
    fontListBase = buildFont();

    model = loadMd2Model("tris.md2");
    flipWinding(model);
    computeVertexNormals(model);
}

int32_t sceneFrameIndex(const Md2Model* shown)
{
    // A count of zero or less has no frame to show, and the most negative one has no "one less".
    if (shown != nullptr && shown->numFrames <= 0) {
        return -1;
    }
    if (shown != nullptr && shown->numFrames <= sceneFrame) {
        return shown->numFrames - 1;
    }
    return sceneFrame;
}

void stepCamera(bool up, bool down, bool left, bool right, bool a, bool z)
{
    if (up) {
        angleX += 0.5f;
    }
    if (down) {
        angleX -= 0.5f;
    }
    if (left) {
        angleY -= 0.5f;
    }
    if (right) {
        angleY += 0.5f;
    }
    if (a) {
        zoom += 0.5f;
    }
    if (z) {
        zoom -= 0.5f;
    }
}

void renderFrame()
{
    // Each key is polled exactly once per frame, in this order, so a tap between frames counts once.
    const bool up = pollControlKey(ControlKey::up);
    const bool down = pollControlKey(ControlKey::down);
    const bool left = pollControlKey(ControlKey::left);
    const bool right = pollControlKey(ControlKey::right);
    const bool a = pollControlKey(ControlKey::a);
    const bool z = pollControlKey(ControlKey::z);
    stepCamera(up, down, left, right, a, z);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Two pushes and two pops on purpose: the fixed program's call sequence, kept as it is, not a slip.
    glPushMatrix();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, zoom);
    glRotatef(angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(angleX, 1.0f, 0.0f, 0.0f);
    if (model != nullptr) {
        drawModelFrame(model, sceneFrameIndex(model));
    }
    glPopMatrix();
    glPopMatrix();

    beginOverlay(windowWidth, windowHeight);
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    printText(0, 0, fpsText, fontListBase, fontTexture);
    glPopMatrix();
    glPushMatrix();
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    printText(0, windowHeight - 42, "Brevant", fontListBase, fontTexture);
    glPopMatrix();
    endOverlay();
}

void beginOverlay(int32_t width, int32_t height)
{
    glPushAttrib(GL_ENABLE_BIT | GL_TRANSFORM_BIT | GL_VIEWPORT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, width, 0.0, height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void endOverlay()
{
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}
