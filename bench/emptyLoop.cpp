// The frame loop's floor: the viewer's window and legacy GL context, then nothing but clear and swap, one
// pending event per turn, until a quit. Timed from outside like the viewer, by bench/frameReport.cpp.
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>

int main(int, char**)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "emptyLoop: %s\n", SDL_GetError());
        return 1;
    }
    // The legacy context and the framebuffer the viewer ends up with under Mesa (no 32-bit depth there), so
    // both clear and swap the same buffers.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_Window* window = SDL_CreateWindow("OpenGL", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "emptyLoop: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    std::fprintf(stderr, "bench: renderer %s\nbench: version %s\n",
                 reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                 reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    bool running = true;
    while (running) {
        SDL_Event event;
        if (SDL_PollEvent(&event) != 0) {
            const bool escape = event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE;
            running = event.type != SDL_QUIT && !escape;
            continue;
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
