// Draws the same pictures in an EGL offscreen context or in an SDL window, for tests/e2e/test_offscreen.py to
// compare: the fixed program's frame (default model and font from the working folder), then a blended,
// mipmapped texture under a line of text. Writes both as RGB, top row first, 640 x 480 each, to OUT.
//   brevant_frame_picture offscreen|window OUT    draws and writes; prints the GL renderer
//   brevant_frame_picture open WIDTH HEIGHT       only opens the offscreen context; prints why when it cannot
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/egl/eglOffscreen.h"
#include "app/shell.h"
#include "base/glApi.h"
#include "scene/scene.h"
#include "text/font.h"
#include "text/tga.h"

namespace {

constexpr int pictureWidth = windowWidth;
constexpr int pictureHeight = windowHeight;

struct DepthRequest {
    int depthBits, stencilBits;
};

// What the viewer's window asks for, in its order: Mesa offers no 32-bit depth, so 24 with stencil is taken.
constexpr DepthRequest depthRequests[] = {{32, 8}, {24, 8}, {24, 0}, {16, 0}};

SDL_Window* openWindow()
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
        SDL_Window* window = SDL_CreateWindow("Brevant picture", 0, 0, pictureWidth, pictureHeight,
                                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window != nullptr) {
            return window;
        }
    }
    return nullptr;
}

// The window's back buffer as RGB, top row first.
void readWindowRgb(uint8_t* rgb)
{
    const size_t rowBytes = static_cast<size_t>(pictureWidth) * 3;
    std::vector<uint8_t> bottomFirst(rowBytes * pictureHeight);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, pictureWidth, pictureHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomFirst.data());
    for (int y = 0; y < pictureHeight; ++y) {
        std::memcpy(rgb + y * rowBytes, bottomFirst.data() + (pictureHeight - 1 - y) * rowBytes, rowBytes);
    }
}

void readOffscreenRgb(const Offscreen& offscreen, uint8_t* rgb)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(pictureWidth) * pictureHeight * 4);
    readOffscreenRgba(offscreen, rgba.data());
    for (size_t i = 0; i < static_cast<size_t>(pictureWidth) * pictureHeight; ++i) {
        std::memcpy(rgb + i * 3, &rgba[i * 4], 3);
    }
}

// A 64 x 64 picture whose colour and alpha both vary, so filtering, mipmaps and blending all show.
std::vector<uint8_t> patternPixels()
{
    std::vector<uint8_t> pixels(64 * 64 * 4);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint8_t* texel = &pixels[(y * 64 + x) * 4];
            texel[0] = static_cast<uint8_t>(x * 4);
            texel[1] = static_cast<uint8_t>(((x / 8 + y / 8) % 2) * 200 + 30);
            texel[2] = static_cast<uint8_t>(y * 4);
            texel[3] = static_cast<uint8_t>(255 - (x + y) * 2);
        }
    }
    return pixels;
}

void drawTexturedPicture()
{
    glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const std::vector<uint8_t> pattern = patternPixels();
    const unsigned texture = uploadTexture(pattern.data(), 64, 64, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR);
    beginOverlay(pictureWidth, pictureHeight);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1.0f, 0.9f, 0.8f, 1.0f);
    // A large tilted quad (magnified) beside a small one (minified, from the mipmaps).
    const float quads[][3] = {{240.0f, 260.0f, 180.0f}, {520.0f, 120.0f, 21.0f}};
    for (const auto& quad : quads) {
        const float centreX = quad[0], centreY = quad[1], half = quad[2];
        const float turn = 0.3f;
        const float c = std::cos(turn) * half, s = std::sin(turn) * half;
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2f(centreX - c + s, centreY - s - c);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2f(centreX + c + s, centreY + s - c);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2f(centreX + c - s, centreY + s + c);
        glTexCoord2f(0.0f, 1.0f);
        glVertex2f(centreX - c - s, centreY - s + c);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    printText(8, 8, "Offscreen 0123 !?", fontListBase, fontTexture);
    endOverlay();
    glDeleteTextures(1, &texture);
}

bool writeFile(const char* path, const std::vector<uint8_t>& bytes)
{
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::perror(path);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "open") == 0) {
        Offscreen offscreen;
        OffscreenFault fault;
        if (!openOffscreen(std::atoi(argv[2]), std::atoi(argv[3]), &offscreen, &fault)) {
            std::fprintf(stderr, "brevant_frame_picture: cannot draw offscreen: %s\n", fault.text);
            return 1;
        }
        std::printf("GL %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
        closeOffscreen(&offscreen);
        return 0;
    }
    const bool offscreenRun = argc == 3 && std::strcmp(argv[1], "offscreen") == 0;
    if (!offscreenRun && !(argc == 3 && std::strcmp(argv[1], "window") == 0)) {
        std::fprintf(stderr, "usage: brevant_frame_picture offscreen|window OUT | open WIDTH HEIGHT\n");
        return 2;
    }

    Offscreen offscreen;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    if (offscreenRun) {
        OffscreenFault fault;
        if (!openOffscreen(pictureWidth, pictureHeight, &offscreen, &fault)) {
            std::fprintf(stderr, "brevant_frame_picture: cannot draw offscreen: %s\n", fault.text);
            return 1;
        }
    } else {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "brevant_frame_picture: cannot open the display: %s\n", SDL_GetError());
            return 1;
        }
        window = openWindow();
        context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
        if (context == nullptr || SDL_GL_MakeCurrent(window, context) != 0) {
            std::fprintf(stderr, "brevant_frame_picture: cannot make a GL context: %s\n", SDL_GetError());
            return 1;
        }
    }
    std::printf("renderer: %s\nversion: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    std::vector<uint8_t> pictures(static_cast<size_t>(pictureWidth) * pictureHeight * 3 * 2);
    uint8_t* second = pictures.data() + pictures.size() / 2;
    std::snprintf(fpsText, sizeof fpsText, "FPS: 60.00");
    resizeView(pictureWidth, pictureHeight);
    initScene();
    // Start-up leaves an error of its own in either context (the window's too); the drawing is what is checked.
    while (glGetError() != GL_NO_ERROR) {
    }
    renderFrame();
    if (offscreenRun) {
        readOffscreenRgb(offscreen, pictures.data());
    } else {
        readWindowRgb(pictures.data());
    }
    drawTexturedPicture();
    if (offscreenRun) {
        readOffscreenRgb(offscreen, second);
    } else {
        readWindowRgb(second);
    }
    const GLenum error = glGetError();

    if (offscreenRun) {
        closeOffscreen(&offscreen);
    } else {
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        SDL_Quit();
    }
    if (error != GL_NO_ERROR) {
        std::fprintf(stderr, "brevant_frame_picture: GL error 0x%04x while drawing\n", unsigned(error));
        return 1;
    }
    return writeFile(argv[2], pictures) ? 0 : 1;
}
