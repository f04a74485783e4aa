// Viewer mode's window services without a window: the picture-only runs draw into the EGL offscreen context.
#pragma once

#include "app/egl/eglOffscreen.h"
#include "app/viewerRun.h"

struct EglViewer {
    Offscreen offscreen;
};

// Open makes the context and a framebuffer of the run's size, saying why when EGL cannot; there are no events,
// the title goes nowhere and swapping presents nothing.
ViewerWindow eglViewerWindow(EglViewer& viewer);
