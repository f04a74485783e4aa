// Viewer mode's scene: the models opened by path, framed and played, their skins, the status line, and the
// pictures saved from the window. The backends feed it ViewerEvents; the fixed program's scene is untouched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "model/md2.h"
#include "model/md2Animations.h"
#include "model/skinImage.h"
#include "scene/playback.h"
#include "scene/viewerState.h"

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelHandle = std::unique_ptr<Md2Model, ModelRelease>;

// One MD2 on screen with what drawing it needs: the vertices of the pose being shown and its skin.
struct ViewerModel {
    ModelHandle model;
    std::string path;
    std::unique_ptr<ModelVertex[]> pose;  // numVertices, rewritten once per drawn frame
    unsigned skinTexture = 0;             // 0: drawn untextured
    int32_t skinWidth = 0;
    int32_t skinHeight = 0;
    std::string skinPath;  // the skin in use, or empty
    std::string skinNote;  // why there is none, when the lookup or the image failed
};

struct ViewerSession {
    ViewerOptions options;
    ViewerModel body;
    ViewerModel weapon;
    std::vector<Md2Animation> animations;
    int32_t animation = 0;
    PlaybackClock clock;
    ViewerState state;
    bool skinShown = true;
    bool wireframe = false;
    bool showReadout = true;
    unsigned fontTexture = 0;
    unsigned fontListBase = 0;
    std::string notice;  // a line above the status line for a while: a bad drop, a saved picture
    // A skin named with --skin, decoded before the window opens so a bad one ends the run first.
    bool chosenSkin = false;
    SkinImage chosenSkinImage;
};

extern ViewerSession viewer;

// Opens and prepares a model: the reason it cannot in *reason ("cut short: ..."), as the loader words it.
ModelHandle openViewerModel(const std::string& path, std::string* reason);

// Reads and decodes a skin image, refusing a file larger than any image of the allowed size could be.
bool readSkinImage(const std::string& path, SkinImage& image, std::string* reason);

// Takes the session's models (already opened) and options; needs a current context and the window's size.
void initViewerScene(int32_t width, int32_t height);
void resizeViewerView(int32_t width, int32_t height);
void handleViewerInput(const ViewerEvent& event);
// Draws one frame into the back buffer; quit requests are left in viewer.state.requests for the backend.
void renderViewerFrame();

// Writes the back buffer in the format its extension names (PNG for any other), through a temporary name beside
// it; false with the reason otherwise.
bool saveViewerPicture(const std::string& path, std::string* reason);
// Draws a frame without the readout and saves it (--screenshot).
bool saveViewerScreenshot(const std::string& path, std::string* reason);
// brevant-0001.png, brevant-0002.png, ...: the first name not taken in the working folder.
std::string nextScreenshotName();
