// Viewer mode's GL side: uploads what the session hands over (skins, the font), draws its blended poses with its
// camera, writes the overlay texts, and reads the picture back. Every decision is the session's (viewerSession.h).
#pragma once

#include <cstdint>
#include <string>

#include "scene/viewerSession.h"

// The GL objects of one session's window.
struct ViewerGl {
    unsigned fontTexture = 0;
    unsigned fontListBase = 0;
    unsigned bodySkin = 0;
    unsigned weaponSkin = 0;
    uint32_t bodySkinGeneration = 0;
    uint32_t weaponSkinGeneration = 0;
};

// GL state, the font texture and its display lists; needs a current context and a started session.
void initViewerScene(ViewerSession& session, ViewerGl& gl);
// Deletes what initViewerScene and drawing made; the context must still be current.
void releaseViewerScene(ViewerGl& gl);

// Draws the session as the last advanceSession left it into the back buffer, on the background colour; with
// overlay, the title, readout, status line and notice over it (a saved picture holds the model alone).
void drawViewerFrame(ViewerSession& session, ViewerGl& gl, bool overlay, double now);

// The models alone, for saved pictures: no title, status line, notice or readout.
void drawViewerPicture(ViewerSession& session, ViewerGl& gl);

// What was drawn, top row first, RGBA: the bound framebuffer object's colour, else the back buffer. Opaque, or
// transparent with alpha 0 where no model was drawn.
RgbaImage readViewerPicture(int32_t width, int32_t height, bool transparent = false);
