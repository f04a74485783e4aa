// What both modes of the SDL2 backend open their window with: the video subsystem, an OpenGL window with the
// closest buffers Mesa offers, and the icon. Defined in sdlMain.cpp.
#pragma once

#include <SDL.h>

// Checks for a display and starts SDL's video; says why on stderr and returns false when it cannot.
bool openSdlVideo(const char* windowClass);

// A hidden window with a legacy double-buffered context's buffers; nullptr when none can be made.
SDL_Window* createGlWindow(const char* title, int width, int height, Uint32 extraFlags);

void setWindowIcon(SDL_Window* window);
