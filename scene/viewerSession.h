// Viewer mode's session, GL-free: the models and skins opened through a file source, drops and key requests
// carried out, the animation and skin choices, playback, framing and the status line, all at times the caller
// passes in. The GL side (scene/viewerScene.h) draws from what it holds and uploads the pictures it hands over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "base/fileSource.h"
#include "model/md2.h"
#include "model/md2Animations.h"
#include "model/skinImage.h"
#include "scene/playback.h"
#include "scene/viewerState.h"

// A notice (a bad drop, a saved picture) stays on screen this long.
inline constexpr double viewerNoticeSeconds = 6.0;
// Larger than any image the viewer takes could be: 4096 x 4096 pixels of four bytes, with room for headers.
inline constexpr uint64_t skinMaxFileSize = uint64_t{maxSkinSide} * maxSkinSide * 4 + (uint64_t{1} << 20);
// The font loader takes 2048 x 2048 at most.
inline constexpr uint64_t fontMaxFileSize = uint64_t{2048} * 2048 * 4 + (uint64_t{1} << 20);

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelHandle = std::unique_ptr<Md2Model, ModelRelease>;

// One MD2 on screen: the model, the vertices of the pose to draw, and its skin.
struct ViewerModel {
    ModelHandle model;
    std::string path;
    std::unique_ptr<ModelVertex[]> pose;  // numVertices, rewritten by each advanceSession
    // The skin's pixels until the GL side has uploaded them (it empties them then); skinGeneration changes with
    // every new skin or its removal, so the GL side knows when its texture is out of date.
    SkinImage skinPixels;
    uint32_t skinGeneration = 0;
    bool hasSkin = false;
    int32_t skinWidth = 0;  // what the texture coordinates are divided by
    int32_t skinHeight = 0;
    std::string skinPath;  // the skin in use, or empty
    std::string skinNote;  // why there is none, when the lookup or the image failed
};

// Lines for the user while the window is open ("brevant: PATH: REASON\n"): faults a notice sums up on screen.
struct ViewerWarnings {
    void* context = nullptr;
    void (*write)(void* context, const char* line) = nullptr;  // null: to stderr
};

struct ViewerSession {
    FileSource source = folderSource();
    std::shared_ptr<void> sourceState;  // what source's context points into, when it needs one
    ViewerWarnings warnings;
    ViewerOptions options;
    ViewerModel body;
    ViewerModel weapon;
    std::vector<Md2Animation> animations;
    int32_t animation = 0;
    PlaybackClock clock;
    ViewerState state;
    bool skinShown = true;
    // The skins [ and ] go through for the body, and which of them is in use (-1: another, or none).
    std::vector<std::string> skinChoices;
    int32_t skinChoice = -1;
    bool wireframe = false;
    bool lighting = true;  // L: the light from the eye, or the skin as it is
    // A line above the status line for a while: a bad drop, a saved picture. Printable already.
    std::string notice;
    double noticeTime = 0.0;
    // A skin named with --skin, decoded before the window opens so a bad one ends the run first.
    bool chosenSkin = false;
    SkinImage chosenSkinImage;
    // The font's picture until the GL side uploads it.
    RgbaImage font;
    double lastFrameTime = 0.0;
    PlaybackPose pose;  // the one the last advanceSession blended
    // Rewritten in place by each advanceSession, so once it has grown a frame allocates nothing for it.
    std::string statusText;
};

// What a file's first bytes say it is: an MD2 model (the IDP2 magic) or, for anything else, a picture.
enum class ViewerFileKind { md2, image };
ViewerFileKind viewerFileKindOf(const uint8_t* bytes, size_t size);

// Opens and prepares a model: the reason it cannot in *reason ("cut short: ..."), as the loader words it.
ModelHandle openViewerModel(const FileSource& source, const std::string& path, std::string* reason);

// Reads and decodes a skin image, refusing a file larger than any image of the allowed size could be. keptBytes,
// when given, receives the file itself once it has decoded (the export embeds a PNG as it is).
bool readSkinImage(const FileSource& source, const std::string& path, SkinImage& image, std::string* reason,
                   FileBytes* keptBytes = nullptr);

// The font: font.tga in the working folder, beside the program or in the installed data folder, else the
// built-in copy given. A faulty file is passed over with a warning; the notice box is the fixed program's alone.
void findViewerFont(ViewerSession& session, const std::string& programFolder, const uint8_t* builtin,
                    size_t builtinSize);

// Takes the session's models (already opened) and options: skins, playback, and the camera framed for a window
// of width x height.
void startViewerSession(ViewerSession& session, int32_t width, int32_t height, double now);

// Input as the backends translate it; what it asks for is carried out by the next advanceSession.
void handleSessionEvent(ViewerSession& session, const ViewerEvent& event);

// Carries out the requests (drops, playback, animation, skin and wireframe toggles), moves the camera by the held
// keys, and blends the poses and writes the status line for `now`. Quit and screenshot requests stay for the
// caller.
void advanceSession(ViewerSession& session, double now);

// When the picture next changes by itself: now while it plays or a held key moves the camera, when the notice
// shown goes, else never (HUGE_VAL). Until then a frame is needed only for an event.
double sessionNextChange(const ViewerSession& session, double now);

// Whether F12 asked for a picture since the last call.
bool takeScreenshotRequest(ViewerSession& session);

// Shows text above the status line from now for viewerNoticeSeconds.
void setSessionNotice(ViewerSession& session, const std::string& text, double now);
bool sessionNoticeShown(const ViewerSession& session, double now);

// The run that holds a keyframe, as the status line names it; nullptr when none does.
const Md2Animation* sessionAnimationHolding(const ViewerSession& session, int32_t keyframe);

void warnUser(const ViewerSession& session, const std::string& line);
