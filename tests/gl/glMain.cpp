// The GL test binary's entry point: one 640 x 480 SDL window with a legacy double-buffered context, current
// for every test. Its platform services are the shared fake (support/testPlatform.cpp).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/glApi.h"
#include "gl/glHarness.h"

namespace {

struct DepthRequest {
    int depthBits, stencilBits;
};

// Mesa has no 32-bit depth visual, so this takes the first of these that exists, as the viewer does.
constexpr DepthRequest depthRequests[] = {{32, 8}, {24, 8}, {24, 0}, {16, 0}};

SDL_Window* createTestWindow()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    for (const DepthRequest& request : depthRequests) {
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, request.depthBits);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, request.stencilBits);
        SDL_Window* window =
            SDL_CreateWindow("Brevant GL tests", 0, 0, glTestWidth, glTestHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        if (window != nullptr) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

Md2Model* buildCornerModel(const Vec3* corners, int cornerCount, const int16_t (*triangles)[3], int triangleCount)
{
    auto* shown = new Md2Model;
    shown->numFrames = 1;
    shown->numVertices = cornerCount;
    shown->numTriangles = triangleCount;
    shown->frames = std::make_unique<Md2Frame[]>(1);
    std::strcpy(shown->frames[0].name, "stand01");
    shown->frames[0].vertices = std::make_unique<ModelVertex[]>(cornerCount);
    for (int i = 0; i < cornerCount; ++i) {
        shown->frames[0].vertices[i] = {corners[i], {0.0f, 0.0f, 1.0f}};
    }
    shown->triangles = std::make_unique<Md2Triangle[]>(triangleCount);
    for (int t = 0; t < triangleCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            shown->triangles[t].vertex[k] = triangles[t][k];
            shown->triangles[t].texCoord[k] = 0;
        }
    }
    return shown;
}

std::vector<uint8_t> readRgb(int x, int y, int w, int h)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void resetGlState()
{
    const GLenum capabilities[] = {GL_LIGHTING,   GL_LIGHT0,     GL_DEPTH_TEST, GL_CULL_FACE,     GL_BLEND,
                                   GL_TEXTURE_2D, GL_ALPHA_TEST, GL_NORMALIZE,  GL_COLOR_MATERIAL};
    for (GLenum capability : capabilities) {
        glDisable(capability);
    }
    const GLenum matrixModes[] = {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW};
    for (GLenum mode : matrixModes) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    glViewport(0, 0, glTestWidth, glTestHeight);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glShadeModel(GL_SMOOTH);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glBindTexture(GL_TEXTURE_2D, 0);
    glListBase(0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    while (glGetError() != GL_NO_ERROR) {
    }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        std::fprintf(stderr, "brevant_gl_tests: DISPLAY is not set; run it under tests/support/xvfb.py\n");
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "brevant_gl_tests: cannot open the display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = createTestWindow();
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr || SDL_GL_MakeCurrent(window, context) != 0) {
        std::fprintf(stderr, "brevant_gl_tests: cannot make a GL context: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    std::printf("GL renderer: %s, version %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    resetGlState();

    const int result = RUN_ALL_TESTS();

    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return result;
}
