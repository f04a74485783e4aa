// Viewer mode's camera and input state: framing the models, turning and zooming from ViewerEvents and held keys,
// the modelview and projection the GL layer loads, and the requests (quit, skin, screenshot, ...) it carries out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/viewerEvent.h"
#include "model/md2.h"

// Vertical field of view of viewer mode, in degrees; the horizontal one follows the window's aspect.
inline constexpr float viewerFieldOfViewY = 45.0f;
// The bounding sphere's radius times this fits the narrower half-angle of the view when the camera is framed.
inline constexpr float viewerFramingMargin = 1.15f;
// The view the camera opens on: the model's front (+X in MD2 files) toward the eye, level.
inline constexpr float viewerOpeningAngleX = 0.0f;
inline constexpr float viewerOpeningAngleY = -90.0f;
// Arrow keys turn this many degrees per second.
inline constexpr float viewerTurnSpeed = 90.0f;
// A and Z move this many bounding-sphere radii per second.
inline constexpr float viewerMoveSpeed = 2.0f;
// A left-drag turns this many degrees per pixel.
inline constexpr float viewerDragDegreesPerPixel = 0.4f;
// One wheel notch toward the model multiplies the distance by this; away from it divides by it.
inline constexpr float viewerWheelFactor = 0.85f;
// Zooming in stops with the eye this many times the shown keyframe's reach from the centre, outside the model.
inline constexpr float viewerZoomMargin = 1.05f;
// The eye comes no nearer the centre than this share of the radius, so it never passes through it...
inline constexpr float viewerMinDistanceShare = 0.1f;
// ...and goes no farther than this many framed distances, where the model still shows at a tenth of its framed size.
inline constexpr float viewerMaxDistanceFactor = 10.0f;
// far / near never exceeds this, which keeps a 24-bit depth buffer resolving the whole sphere.
inline constexpr float viewerMaxDepthRatio = 1000.0f;
// A time step longer than this (a stalled loop, a window being dragged) counts as this long for held keys.
inline constexpr double viewerMaxTimeStep = 0.25;

// What the eye turns about and must keep in view: the centre of the box over the framed keyframes, and the
// distance from it to their farthest vertex.
struct ModelFraming {
    Vec3 centre = {0.0f, 0.0f, 0.0f};
    float radius = 1.0f;
};

// Turntable camera: the model turns by angleY about its vertical axis, then by angleX toward the eye; the eye
// looks at the centre from distance.
struct ViewerCamera {
    float angleX = viewerOpeningAngleX;
    float angleY = viewerOpeningAngleY;
    float distance = 3.0f;
    // Still at the framed distance: a resize frames again rather than keeping a distance chosen for another aspect.
    bool framed = true;
};

struct ClipPlanes {
    float zNear = 0.1f;
    float zFar = 100.0f;
};

// gluPerspective's four arguments.
struct ViewerProjection {
    double fovY = viewerFieldOfViewY;
    double aspect = 1.0;
    double zNear = 0.1;
    double zFar = 100.0;
};

// What the GL layer should do; it reads these after handling events and clears them (clearViewerRequests).
struct ViewerRequests {
    bool quit = false;
    bool togglePlay = false;  // two presses before the layer looks cancel out
    bool toggleSkin = false;
    bool toggleWireframe = false;
    bool screenshot = false;
    bool reframe = false;  // Home or R: frame the animation shown now
    bool toggleLighting = false;
    int32_t skinStep = 0;                   // skins to move through, negative toward the previous
    int32_t frameStep = 0;                  // keyframes to step, negative backward; stepping also pauses
    int32_t animationStep = 0;              // animations to move, negative toward the previous
    int32_t modelStep = 0;                  // models to move through the folder or archive, negative back
    std::vector<std::string> droppedPaths;  // in the order they were dropped
};

struct ViewerState {
    ViewerCamera camera;
    ModelFraming framing;
    // How far the shown keyframe reaches from the framing's centre; zooming in stops outside it.
    float shownReach = 1.0f;
    int32_t width = viewerDefaultWidth;
    int32_t height = viewerDefaultHeight;
    // Windows open focused; a backend that learns otherwise sends focusLost.
    bool focused = true;
    bool held[viewerKeyCount] = {};
    bool dragging = false;
    int32_t dragX = 0;
    int32_t dragY = 0;
    ViewerRequests requests;
};

// Bounding box over keyframes firstFrame..lastFrame of both models (either may be null; each clamps the range to
// its own keyframes): its centre, and the distance from there to the farthest of their vertices. Models without
// vertices give centre 0 and radius 1; a box shrunk to a point still gets a small positive radius.
ModelFraming frameModels(const Md2Model* body, const Md2Model* weapon, int32_t firstFrame = 0,
                         int32_t lastFrame = INT32_MAX);

// How far one keyframe's vertices reach from the framing's centre (0 without vertices).
float keyframeReach(const Md2Model* body, const Md2Model* weapon, int32_t keyframe, const ModelFraming& framing);
// The nearest the eye may zoom to the centre with the shown keyframe reaching so far: just outside it.
float zoomLimit(float reach, const ModelFraming& framing);

// width / height as a fraction; sizes below 1 count as 1.
float viewerAspect(int32_t width, int32_t height);

// Distance at which the bounding sphere, with the margin, fits the narrower half-angle of the view.
float framedDistance(const ModelFraming& framing, float aspect);
float minViewerDistance(const ModelFraming& framing);
float maxViewerDistance(const ModelFraming& framing, float aspect);
ViewerCamera framedCamera(const ModelFraming& framing, float aspect);

// Near and far enclosing the bounding sphere at the camera's distance, the eye inside it included.
ClipPlanes clipPlanes(const ViewerCamera& camera, const ModelFraming& framing);

// Column-major, for glLoadMatrixf: translate (0, 0, -distance) * rotate angleX about X * rotate angleY about Y *
// translate -centre.
void viewerModelview(const ViewerCamera& camera, const ModelFraming& framing, float out[16]);
ViewerProjection viewerProjection(const ViewerState& state);

// Sets the window size and the models, and opens the camera framed on their keyframes firstFrame..lastFrame.
void initViewerState(ViewerState& state, int32_t width, int32_t height, const Md2Model* body, const Md2Model* weapon,
                     int32_t firstFrame = 0, int32_t lastFrame = INT32_MAX);
// New models or another run to frame: framed afresh, the camera back to its opening view.
void setViewerModels(ViewerState& state, const Md2Model* body, const Md2Model* weapon, int32_t firstFrame = 0,
                     int32_t lastFrame = INT32_MAX);
// Home and R: back to exactly the opening view for the current framing and window size.
void resetViewerCamera(ViewerState& state);

void handleViewerEvent(ViewerState& state, const ViewerEvent& event);
// Applies the held arrows and A/Z for this many seconds.
void advanceViewer(ViewerState& state, double seconds);
void clearViewerRequests(ViewerState& state);
