// Viewer mode's camera and input state, GL-free: framing, event handling, held keys over time, and the matrices
// and clip planes the GL layer loads (see scene/viewerState.h).
#include "scene/viewerState.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double degreesToRadians = 3.14159265358979323846 / 180.0;
// Past this the distances derived from the radius would overflow a float.
constexpr double largestRadius = 1.0e30;

struct Bounds {
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool any = false;
};

// Calls visit(x, y, z) for every finite vertex of keyframes first..last (clamped to the model's own).
template <typename Visit>
void forEachVertex(const Md2Model* model, int32_t first, int32_t last, Visit visit)
{
    if (model == nullptr || model->frames == nullptr || model->numVertices <= 0 || model->numFrames <= 0) {
        return;
    }
    first = std::clamp(first, int32_t{0}, model->numFrames - 1);
    last = std::clamp(last, first, model->numFrames - 1);
    for (int32_t f = first; f <= last; ++f) {
        const ModelVertex* vertices = model->frames[f].vertices.get();
        if (vertices == nullptr) {
            continue;
        }
        for (int32_t v = 0; v < model->numVertices; ++v) {
            const Vec3& p = vertices[v].position;
            // A file's scale or translate can be infinite or NaN; such a vertex cannot be framed and is left out.
            if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
                visit(double(p.x), double(p.y), double(p.z));
            }
        }
    }
}

void addModel(Bounds& bounds, const Md2Model* model, int32_t first, int32_t last)
{
    forEachVertex(model, first, last, [&bounds](double x, double y, double z) {
        const double xyz[3] = {x, y, z};
        for (int k = 0; k < 3; ++k) {
            bounds.low[k] = std::min(bounds.low[k], xyz[k]);
            bounds.high[k] = std::max(bounds.high[k], xyz[k]);
        }
        bounds.any = true;
    });
}

// The largest distance from centre to a vertex of keyframes first..last of either model.
double farthestReach(const Md2Model* body, const Md2Model* weapon, int32_t first, int32_t last, const Vec3& centre)
{
    double farthestSquared = 0.0;
    const auto reach = [&](double x, double y, double z) {
        const double dx = x - centre.x, dy = y - centre.y, dz = z - centre.z;
        farthestSquared = std::max(farthestSquared, dx * dx + dy * dy + dz * dz);
    };
    forEachVertex(body, first, last, reach);
    forEachVertex(weapon, first, last, reach);
    return std::sqrt(farthestSquared);
}

// Angles stay in (-180, 180] so that hours of turning lose no precision.
float wrapDegrees(float angle)
{
    float wrapped = std::fmod(angle, 360.0f);
    if (wrapped > 180.0f) {
        wrapped -= 360.0f;
    } else if (wrapped <= -180.0f) {
        wrapped += 360.0f;
    }
    return wrapped;
}

bool isHeld(const ViewerState& state, ViewerKey key)
{
    return state.held[static_cast<int>(key)];
}

void clampDistance(ViewerState& state)
{
    const float aspect = viewerAspect(state.width, state.height);
    state.camera.distance =
        std::clamp(state.camera.distance, minViewerDistance(state.framing), maxViewerDistance(state.framing, aspect));
}

void moveCamera(ViewerState& state, float newDistance)
{
    // Moving in stops at the shown keyframe's sphere; an eye already nearer (a window made smaller) stays.
    const float limit = std::min(state.camera.distance, zoomLimit(state.shownReach, state.framing));
    if (newDistance < state.camera.distance) {
        newDistance = std::max(newDistance, limit);
    }
    state.camera.distance = newDistance;
    state.camera.framed = false;
    clampDistance(state);
}

// Keys that act once per press; the held arrows and A/Z act in advanceViewer.
void pressKey(ViewerState& state, ViewerKey key)
{
    ViewerRequests& requests = state.requests;
    switch (key) {
    case ViewerKey::home:
    case ViewerKey::r:
        resetViewerCamera(state);
        requests.reframe = true;
        break;
    case ViewerKey::space:
        requests.togglePlay = !requests.togglePlay;
        break;
    case ViewerKey::comma:
        --requests.frameStep;
        break;
    case ViewerKey::period:
        ++requests.frameStep;
        break;
    case ViewerKey::pageUp:
        --requests.animationStep;
        break;
    case ViewerKey::pageDown:
        ++requests.animationStep;
        break;
    case ViewerKey::s:
        requests.toggleSkin = !requests.toggleSkin;
        break;
    case ViewerKey::w:
        requests.toggleWireframe = !requests.toggleWireframe;
        break;
    case ViewerKey::tab:
        ++requests.modelStep;
        break;
    case ViewerKey::backTab:
        --requests.modelStep;
        break;
    case ViewerKey::l:
        requests.toggleLighting = !requests.toggleLighting;
        break;
    case ViewerKey::leftBracket:
        --requests.skinStep;
        break;
    case ViewerKey::rightBracket:
        ++requests.skinStep;
        break;
    case ViewerKey::f12:
        requests.screenshot = true;
        break;
    case ViewerKey::escape:
        requests.quit = true;
        break;
    default:
        break;
    }
}

void releaseEverything(ViewerState& state)
{
    std::fill(std::begin(state.held), std::end(state.held), false);
    state.dragging = false;
}

}  // namespace

ModelFraming frameModels(const Md2Model* body, const Md2Model* weapon, int32_t firstFrame, int32_t lastFrame)
{
    Bounds bounds;
    addModel(bounds, body, firstFrame, lastFrame);
    addModel(bounds, weapon, firstFrame, lastFrame);
    ModelFraming framing;
    if (!bounds.any) {
        return framing;
    }
    double largestCoordinate = 1.0;
    double centre[3];
    for (int k = 0; k < 3; ++k) {
        centre[k] = 0.5 * (bounds.low[k] + bounds.high[k]);
        largestCoordinate = std::max(largestCoordinate, std::fabs(centre[k]));
    }
    framing.centre = {float(centre[0]), float(centre[1]), float(centre[2])};
    // A point-sized box still needs a radius; scaled to the coordinates so that the eye stays resolvable from
    // the centre in float arithmetic however far from the origin the point lies.
    const double smallestRadius = 1.0e-4 * largestCoordinate;
    const double reach = farthestReach(body, weapon, firstFrame, lastFrame, framing.centre);
    framing.radius = float(std::clamp(reach, smallestRadius, largestRadius));
    return framing;
}

float keyframeReach(const Md2Model* body, const Md2Model* weapon, int32_t keyframe, const ModelFraming& framing)
{
    const double reach = farthestReach(body, weapon, keyframe, keyframe, framing.centre);
    return float(std::min(reach, largestRadius));
}

float zoomLimit(float reach, const ModelFraming& framing)
{
    return std::max(reach * viewerZoomMargin, minViewerDistance(framing));
}

float viewerAspect(int32_t width, int32_t height)
{
    return float(std::max(width, 1)) / float(std::max(height, 1));
}

float framedDistance(const ModelFraming& framing, float aspect)
{
    const double halfY = 0.5 * viewerFieldOfViewY * degreesToRadians;
    const double halfX = std::atan(std::tan(halfY) * aspect);
    const double half = std::min(halfX, halfY);
    return float(framing.radius * viewerFramingMargin / std::sin(half));
}

float minViewerDistance(const ModelFraming& framing)
{
    return framing.radius * viewerMinDistanceShare;
}

float maxViewerDistance(const ModelFraming& framing, float aspect)
{
    return framedDistance(framing, aspect) * viewerMaxDistanceFactor;
}

ViewerCamera framedCamera(const ModelFraming& framing, float aspect)
{
    ViewerCamera camera;
    camera.distance = framedDistance(framing, aspect);
    return camera;
}

ClipPlanes clipPlanes(const ViewerCamera& camera, const ModelFraming& framing)
{
    // A little slack each way so that a vertex exactly on the sphere is not lost to rounding.
    const float zFar = (camera.distance + framing.radius) * 1.01f;
    const float nearest = (camera.distance - framing.radius) * 0.99f;
    // With the eye inside or against the sphere only what lies almost at the eye is given up.
    return {std::max(nearest, zFar / viewerMaxDepthRatio), zFar};
}

void viewerModelview(const ViewerCamera& camera, const ModelFraming& framing, float out[16])
{
    const double ax = camera.angleX * degreesToRadians;
    const double ay = camera.angleY * degreesToRadians;
    const double cx = std::cos(ax), sx = std::sin(ax);
    const double cy = std::cos(ay), sy = std::sin(ay);
    // Rotation about X times rotation about Y, row by row.
    const double rotation[3][3] = {
        {cy, 0.0, sy},
        {sx * sy, cx, -sx * cy},
        {-cx * sy, sx, cx * cy},
    };
    const double centre[3] = {framing.centre.x, framing.centre.y, framing.centre.z};
    for (int row = 0; row < 3; ++row) {
        double moved = 0.0;
        for (int column = 0; column < 3; ++column) {
            out[column * 4 + row] = float(rotation[row][column]);
            moved -= rotation[row][column] * centre[column];
        }
        out[12 + row] = float(row == 2 ? moved - camera.distance : moved);
        out[row * 4 + 3] = 0.0f;
    }
    out[15] = 1.0f;
}

ViewerProjection viewerProjection(const ViewerState& state)
{
    const ClipPlanes planes = clipPlanes(state.camera, state.framing);
    ViewerProjection projection;
    projection.fovY = viewerFieldOfViewY;
    projection.aspect = double(std::max(state.width, 1)) / double(std::max(state.height, 1));
    projection.zNear = planes.zNear;
    projection.zFar = planes.zFar;
    return projection;
}

void initViewerState(ViewerState& state, int32_t width, int32_t height, const Md2Model* body, const Md2Model* weapon,
                     int32_t firstFrame, int32_t lastFrame)
{
    state.width = std::max(width, 1);
    state.height = std::max(height, 1);
    setViewerModels(state, body, weapon, firstFrame, lastFrame);
}

void setViewerModels(ViewerState& state, const Md2Model* body, const Md2Model* weapon, int32_t firstFrame,
                     int32_t lastFrame)
{
    state.framing = frameModels(body, weapon, firstFrame, lastFrame);
    state.shownReach = state.framing.radius;
    resetViewerCamera(state);
}

void resetViewerCamera(ViewerState& state)
{
    state.camera = framedCamera(state.framing, viewerAspect(state.width, state.height));
}

void handleViewerEvent(ViewerState& state, const ViewerEvent& event)
{
    const int key = static_cast<int>(event.key);
    const bool knownKey = key > 0 && key < viewerKeyCount;
    switch (event.kind) {
    case ViewerEventKind::keyDown:
        // Auto-repeat arrives as more key-downs of a key already held: the first one alone counts.
        if (state.focused && knownKey && !state.held[key]) {
            state.held[key] = true;
            pressKey(state, event.key);
        }
        break;
    case ViewerEventKind::keyUp:
        if (knownKey) {
            state.held[key] = false;
        }
        break;
    case ViewerEventKind::buttonDown:
        if (event.button == 1) {
            state.dragging = true;
            state.dragX = event.x;
            state.dragY = event.y;
        }
        break;
    case ViewerEventKind::buttonUp:
        if (event.button == 1) {
            state.dragging = false;
        }
        break;
    case ViewerEventKind::mouseMove:
        if (state.dragging) {
            // Dragging right brings the model's near side to the right; dragging down brings it down.
            state.camera.angleY =
                wrapDegrees(state.camera.angleY + float(event.x - state.dragX) * viewerDragDegreesPerPixel);
            state.camera.angleX =
                wrapDegrees(state.camera.angleX + float(event.y - state.dragY) * viewerDragDegreesPerPixel);
            state.dragX = event.x;
            state.dragY = event.y;
        }
        break;
    case ViewerEventKind::wheel:
        if (std::isfinite(event.wheel) && event.wheel != 0.0f) {
            moveCamera(state, state.camera.distance * std::pow(viewerWheelFactor, event.wheel));
        }
        break;
    case ViewerEventKind::resized:
        state.width = std::max(event.width, 1);
        state.height = std::max(event.height, 1);
        if (state.camera.framed) {
            state.camera.distance = framedDistance(state.framing, viewerAspect(state.width, state.height));
        } else {
            clampDistance(state);
        }
        break;
    case ViewerEventKind::focusLost:
        state.focused = false;
        releaseEverything(state);
        break;
    case ViewerEventKind::focusGained:
        state.focused = true;
        break;
    case ViewerEventKind::fileDropped:
        if (!event.path.empty()) {
            state.requests.droppedPaths.push_back(event.path);
        }
        break;
    case ViewerEventKind::closeRequested:
        state.requests.quit = true;
        break;
    }
}

void advanceViewer(ViewerState& state, double seconds)
{
    if (!(seconds > 0.0)) {
        return;
    }
    const float step = float(std::min(seconds, viewerMaxTimeStep));
    const float turn = viewerTurnSpeed * step;
    float turnX = 0.0f;
    float turnY = 0.0f;
    // The same directions as the fixed program's keys: Up tips the top toward the eye, Right turns to the right.
    turnX += isHeld(state, ViewerKey::up) ? turn : 0.0f;
    turnX -= isHeld(state, ViewerKey::down) ? turn : 0.0f;
    turnY -= isHeld(state, ViewerKey::left) ? turn : 0.0f;
    turnY += isHeld(state, ViewerKey::right) ? turn : 0.0f;
    state.camera.angleX = wrapDegrees(state.camera.angleX + turnX);
    state.camera.angleY = wrapDegrees(state.camera.angleY + turnY);

    float move = 0.0f;
    move -= isHeld(state, ViewerKey::a) ? viewerMoveSpeed * state.framing.radius * step : 0.0f;
    move += isHeld(state, ViewerKey::z) ? viewerMoveSpeed * state.framing.radius * step : 0.0f;
    if (move != 0.0f) {
        moveCamera(state, state.camera.distance + move);
    }
}

void clearViewerRequests(ViewerState& state)
{
    state.requests = ViewerRequests{};
}
