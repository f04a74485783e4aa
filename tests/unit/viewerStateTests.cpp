// Viewer mode's camera state: framing of small, large and off-centre models checked through an independently
// written perspective, the modelview against a generic rotation composition, keys over time, drag, wheel, focus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/md2.h"
#include "scene/viewerState.h"
#include "support/md2Builder.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelPtr = std::unique_ptr<Md2Model, ModelRelease>;

// A frame of the eight corners of a box, in the file's axes: low corner at translate, size along each axis.
Md2BuildFrame boxFrame(const float low[3], const float size[3])
{
    Md2BuildFrame frame;
    for (int k = 0; k < 3; ++k) {
        frame.scale[k] = size[k] / 255.0f;
        frame.translate[k] = low[k];
    }
    for (int corner = 0; corner < 8; ++corner) {
        frame.vertices.push_back(
            {uint8_t(corner & 1 ? 255 : 0), uint8_t(corner & 2 ? 255 : 0), uint8_t(corner & 4 ? 255 : 0), 0});
    }
    return frame;
}

ModelPtr boxModel(const std::vector<Md2BuildFrame>& frames)
{
    Md2Description description;
    description.frames = frames;
    const std::vector<uint8_t> bytes = buildMd2(description);
    ModelPtr model(parseMd2Model(bytes.data(), bytes.size()));
    EXPECT_NE(model, nullptr);
    return model;
}

ModelPtr boxModel(float lowX, float lowY, float lowZ, float sizeX, float sizeY, float sizeZ)
{
    const float low[3] = {lowX, lowY, lowZ};
    const float size[3] = {sizeX, sizeY, sizeZ};
    return boxModel({boxFrame(low, size)});
}

// A model assembled in memory, for positions no MD2 file can decode to.
ModelPtr manualModel(const std::vector<std::vector<Vec3>>& frames)
{
    auto* model = new Md2Model{};
    model->numFrames = int32_t(frames.size());
    model->numVertices = frames.empty() ? 0 : int32_t(frames[0].size());
    if (!frames.empty()) {
        model->frames = std::make_unique<Md2Frame[]>(frames.size());
        for (size_t f = 0; f < frames.size(); ++f) {
            model->frames[f].vertices = std::make_unique<ModelVertex[]>(frames[f].size());
            for (size_t v = 0; v < frames[f].size(); ++v) {
                model->frames[f].vertices[v].position = frames[f][v];
            }
        }
    }
    return ModelPtr(model);
}

struct EyePoint {
    double x, y, depth;  // x and y in normalised device coordinates, depth in front of the eye
};

std::vector<double> transformPoint(const float m[16], const Vec3& p)
{
    std::vector<double> eye(3);
    for (int row = 0; row < 3; ++row) {
        eye[row] = double(m[row]) * p.x + double(m[4 + row]) * p.y + double(m[8 + row]) * p.z + double(m[12 + row]);
    }
    return eye;
}

// The perspective divide of a symmetric frustum, written from its definition rather than from the viewer's code.
EyePoint project(const float modelview[16], const Vec3& p, double fovYDegrees, double aspect)
{
    const std::vector<double> eye = transformPoint(modelview, p);
    const double depth = -eye[2];
    const double tanHalfY = std::tan(fovYDegrees * pi / 360.0);
    return {eye[0] / (depth * tanHalfY * aspect), eye[1] / (depth * tanHalfY), depth};
}

std::vector<Vec3> allPositions(const Md2Model& model)
{
    std::vector<Vec3> positions;
    for (int32_t f = 0; f < model.numFrames; ++f) {
        for (int32_t v = 0; v < model.numVertices; ++v) {
            positions.push_back(model.frames[f].vertices[v].position);
        }
    }
    return positions;
}

ViewerEvent keyEvent(ViewerEventKind kind, ViewerKey key)
{
    ViewerEvent event;
    event.kind = kind;
    event.key = key;
    return event;
}

ViewerEvent pointerEvent(ViewerEventKind kind, int32_t button, int32_t x, int32_t y)
{
    ViewerEvent event;
    event.kind = kind;
    event.button = button;
    event.x = x;
    event.y = y;
    return event;
}

ViewerEvent wheelEvent(float notches)
{
    ViewerEvent event;
    event.kind = ViewerEventKind::wheel;
    event.wheel = notches;
    return event;
}

ViewerEvent resizeEvent(int32_t width, int32_t height)
{
    ViewerEvent event;
    event.kind = ViewerEventKind::resized;
    event.width = width;
    event.height = height;
    return event;
}

ViewerEvent simpleEvent(ViewerEventKind kind)
{
    ViewerEvent event;
    event.kind = kind;
    return event;
}

void press(ViewerState& state, ViewerKey key)
{
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, key));
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyUp, key));
}

// Angles compared on the circle, since the viewer may keep them in any one turn.
double angleGap(double a, double b)
{
    const double gap = std::fmod(std::fabs(a - b), 360.0);
    return std::min(gap, 360.0 - gap);
}

struct FramingCase {
    const char* name;
    float low[3];
    float size[3];
};

const FramingCase framingCases[] = {
    {"tiny", {-0.004f, -0.005f, -0.003f}, {0.008f, 0.01f, 0.006f}},
    {"huge", {-2500.0f, -1000.0f, -4000.0f}, {5000.0f, 2000.0f, 8000.0f}},
    {"far off-centre", {12000.0f, -9000.0f, 7000.0f}, {40.0f, 25.0f, 60.0f}},
    {"tiny far off-centre", {300.0f, 300.0f, 300.0f}, {0.05f, 0.05f, 0.05f}},
    {"flat", {5.0f, 5.0f, 5.0f}, {30.0f, 0.0f, 10.0f}},
};

struct WindowSize {
    int32_t width, height;
};

const WindowSize windowSizes[] = {{640, 480}, {480, 640}, {1600, 200}, {100, 900}};

TEST(ViewerFraming, OpeningViewFitsEveryModelInEveryWindowAndCentresIt)
{
    for (const FramingCase& c : framingCases) {
        ModelPtr model = boxModel({boxFrame(c.low, c.size)});
        ASSERT_NE(model, nullptr);
        const std::vector<Vec3> positions = allPositions(*model);
        for (const WindowSize& size : windowSizes) {
            SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(size.width) + "x" + std::to_string(size.height));
            ViewerState state;
            initViewerState(state, size.width, size.height, model.get(), nullptr);
            const ViewerProjection projection = viewerProjection(state);
            EXPECT_DOUBLE_EQ(projection.aspect, double(size.width) / double(size.height));

            // The sphere fits at any turn, so the opening view and two turned ones must all fit.
            const float turns[][2] = {{viewerOpeningAngleX, viewerOpeningAngleY}, {35.0f, 20.0f}, {-60.0f, 145.0f}};
            for (const auto& turn : turns) {
                state.camera.angleX = turn[0];
                state.camera.angleY = turn[1];
                float modelview[16];
                viewerModelview(state.camera, state.framing, modelview);
                for (const Vec3& p : positions) {
                    const EyePoint e = project(modelview, p, projection.fovY, projection.aspect);
                    EXPECT_GT(e.depth, projection.zNear);
                    EXPECT_LT(e.depth, projection.zFar);
                    EXPECT_LE(std::fabs(e.x), 0.95);
                    EXPECT_LE(std::fabs(e.y), 0.95);
                }

                const Vec3 centre = {(positions[0].x + positions[7].x) / 2, (positions[0].y + positions[7].y) / 2,
                                     (positions[0].z + positions[7].z) / 2};
                const EyePoint middle = project(modelview, centre, projection.fovY, projection.aspect);
                EXPECT_NEAR(middle.x, 0.0, 1e-3);
                EXPECT_NEAR(middle.y, 0.0, 1e-3);
            }
            // Framed, not lost in the middle of the window: the bounding sphere's outline reaches most of the way
            // to the nearer pair of window edges.
            const double tanHalfY = std::tan(projection.fovY * pi / 360.0);
            const double tanHalfNarrow = tanHalfY * std::min(1.0, projection.aspect);
            const double sphereHalfAngle = std::asin(state.framing.radius / state.camera.distance);
            EXPECT_GT(std::tan(sphereHalfAngle) / tanHalfNarrow, 0.7);
        }
    }
}

TEST(ViewerFraming, BoxSpansEveryKeyframeOfBothModels)
{
    const float unit[3] = {1.0f, 1.0f, 1.0f};
    const float first[3] = {0.0f, 0.0f, 0.0f};
    const float later[3] = {10.0f, 0.0f, 0.0f};
    ModelPtr body = boxModel({boxFrame(first, unit), boxFrame(later, unit)});
    // Below the body: file z is the program's y.
    ModelPtr weapon = boxModel(0.0f, 0.0f, -5.0f, 1.0f, 1.0f, 1.0f);
    ASSERT_NE(body, nullptr);
    ASSERT_NE(weapon, nullptr);

    struct Case {
        const char* name;
        const Md2Model* body;
        const Md2Model* weapon;
        Vec3 centre;
        float radius;
    };
    // Program axes: x = file x, y = file z, z = -file y.
    const Case cases[] = {
        {"body over both frames", body.get(), nullptr, {5.5f, 0.5f, -0.5f}, 0.5f * std::sqrt(121.0f + 1.0f + 1.0f)},
        {"weapon alone", nullptr, weapon.get(), {0.5f, -4.5f, -0.5f}, 0.5f * std::sqrt(3.0f)},
        {"body and weapon", body.get(), weapon.get(), {5.5f, -2.0f, -0.5f}, 0.5f * std::sqrt(121.0f + 36.0f + 1.0f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ModelFraming framing = frameModels(c.body, c.weapon);
        EXPECT_NEAR(framing.centre.x, c.centre.x, 1e-4);
        EXPECT_NEAR(framing.centre.y, c.centre.y, 1e-4);
        EXPECT_NEAR(framing.centre.z, c.centre.z, 1e-4);
        EXPECT_NEAR(framing.radius, c.radius, 1e-4);
    }
}

TEST(ViewerFraming, ModelsWithoutUsableVerticesGetASaneFrame)
{
    ModelPtr noFrames = manualModel({});
    ModelPtr onePoint = manualModel({{{100.0f, 50.0f, -20.0f}, {100.0f, 50.0f, -20.0f}}});
    const float nan = std::nanf("");
    ModelPtr withBadVertex =
        manualModel({{{1.0f, 1.0f, 1.0f}, {nan, 0.0f, 0.0f}, {3.0f, 3.0f, 3.0f}, {HUGE_VALF, 0.0f, 0.0f}}});

    for (const ModelFraming& framing : {frameModels(nullptr, nullptr), frameModels(noFrames.get(), nullptr)}) {
        EXPECT_EQ(framing.centre.x, 0.0f);
        EXPECT_EQ(framing.centre.y, 0.0f);
        EXPECT_EQ(framing.centre.z, 0.0f);
        EXPECT_EQ(framing.radius, 1.0f);
    }

    const ModelFraming point = frameModels(onePoint.get(), nullptr);
    EXPECT_EQ(point.centre.x, 100.0f);
    EXPECT_EQ(point.centre.y, 50.0f);
    EXPECT_EQ(point.centre.z, -20.0f);
    EXPECT_GT(point.radius, 0.0f);
    EXPECT_LT(point.radius, 1.0f);
    // The eye backs off to a finite, positive distance and the clip planes stay ordered.
    ViewerState state;
    initViewerState(state, 640, 480, onePoint.get(), nullptr);
    const ClipPlanes planes = clipPlanes(state.camera, state.framing);
    EXPECT_TRUE(std::isfinite(state.camera.distance));
    EXPECT_GT(planes.zNear, 0.0f);
    EXPECT_GT(planes.zFar, planes.zNear);

    const ModelFraming skipped = frameModels(withBadVertex.get(), nullptr);
    EXPECT_FLOAT_EQ(skipped.centre.x, 2.0f);
    EXPECT_FLOAT_EQ(skipped.centre.y, 2.0f);
    EXPECT_FLOAT_EQ(skipped.centre.z, 2.0f);
    EXPECT_FLOAT_EQ(skipped.radius, std::sqrt(3.0f));
}

// glRotate's matrix for any axis, composed the generic way, to hold the viewer's closed form against.
struct Matrix {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix out;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            out.m[i][j] = 0.0;
            for (int k = 0; k < 4; ++k) {
                out.m[i][j] += a.m[i][k] * b.m[k][j];
            }
        }
    }
    return out;
}

Matrix rotation(double degrees, double x, double y, double z)
{
    const double c = std::cos(degrees * pi / 180.0);
    const double s = std::sin(degrees * pi / 180.0);
    const double axis[3] = {x, y, z};
    const double cross[3][3] = {{0, -z, y}, {z, 0, -x}, {-y, x, 0}};
    Matrix out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out.m[i][j] = axis[i] * axis[j] * (1 - c) + (i == j ? c : 0.0) + s * cross[i][j];
        }
    }
    return out;
}

Matrix translation(double x, double y, double z)
{
    Matrix out;
    out.m[0][3] = x;
    out.m[1][3] = y;
    out.m[2][3] = z;
    return out;
}

TEST(ViewerModelview, TurntableTurnsAboutYThenTiltsAboutXAroundTheCentre)
{
    struct Case {
        float angleX, angleY, distance;
        Vec3 centre;
    };
    const Case cases[] = {
        {30.0f, 0.0f, 5.0f, {0.0f, 0.0f, 0.0f}},           {0.0f, 40.0f, 5.0f, {1.0f, 2.0f, 3.0f}},
        {30.0f, 60.0f, 12.0f, {-4.0f, 7.5f, 2.0f}},        {-75.0f, 120.0f, 0.5f, {100.0f, -30.0f, 8.0f}},
        {170.0f, -95.0f, 300.0f, {0.0f, 2000.0f, -50.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "angleX " << c.angleX << " angleY " << c.angleY);
        const Matrix tilted = multiply(translation(0, 0, -c.distance), rotation(c.angleX, 1, 0, 0));
        const Matrix expected =
            multiply(multiply(tilted, rotation(c.angleY, 0, 1, 0)), translation(-c.centre.x, -c.centre.y, -c.centre.z));
        ViewerCamera camera;
        camera.angleX = c.angleX;
        camera.angleY = c.angleY;
        camera.distance = c.distance;
        ModelFraming framing;
        framing.centre = c.centre;
        framing.radius = 1.0f;
        float actual[16];
        viewerModelview(camera, framing, actual);
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                const double tolerance = 1e-5 * std::max(1.0, std::fabs(expected.m[row][column]));
                EXPECT_NEAR(actual[column * 4 + row], expected.m[row][column], tolerance)
                    << "row " << row << " column " << column;
            }
        }
    }
}

// Holds keys for one second, as frames of the given length.
ViewerCamera holdForOneSecond(const Md2Model* model, std::initializer_list<ViewerKey> keys, int framesPerSecond)
{
    ViewerState state;
    initViewerState(state, 640, 480, model, nullptr);
    for (ViewerKey key : keys) {
        handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, key));
    }
    for (int i = 0; i < framesPerSecond; ++i) {
        advanceViewer(state, 1.0 / framesPerSecond);
    }
    return state.camera;
}

TEST(ViewerKeys, HeldKeysMoveByTimeNotByFrames)
{
    ModelPtr model = boxModel(0.0f, 0.0f, 0.0f, 40.0f, 40.0f, 40.0f);
    ASSERT_NE(model, nullptr);
    ViewerState opening;
    initViewerState(opening, 640, 480, model.get(), nullptr);
    const float radius = opening.framing.radius;
    const float start = opening.camera.distance;

    struct Case {
        ViewerKey key;
        float turnX, turnY, move;  // per second; move in radii
    };
    const Case cases[] = {
        {ViewerKey::up, viewerTurnSpeed, 0.0f, 0.0f},    {ViewerKey::down, -viewerTurnSpeed, 0.0f, 0.0f},
        {ViewerKey::left, 0.0f, -viewerTurnSpeed, 0.0f}, {ViewerKey::right, 0.0f, viewerTurnSpeed, 0.0f},
        {ViewerKey::a, 0.0f, 0.0f, -viewerMoveSpeed},    {ViewerKey::z, 0.0f, 0.0f, viewerMoveSpeed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        for (int fps : {10, 1000}) {
            const ViewerCamera camera = holdForOneSecond(model.get(), {c.key}, fps);
            EXPECT_LT(angleGap(camera.angleX, viewerOpeningAngleX + c.turnX), 0.01) << fps << " fps";
            EXPECT_LT(angleGap(camera.angleY, viewerOpeningAngleY + c.turnY), 0.01) << fps << " fps";
            // Moving in stops just outside the model.
            const float expected = std::max(start + c.move * radius, radius * viewerZoomMargin);
            EXPECT_NEAR(camera.distance, expected, 1e-3 * radius) << fps << " fps";
        }
    }
    // The turn and the move must be real ones, or the cases above prove nothing.
    EXPECT_GT(start - viewerMoveSpeed * radius, minViewerDistance(opening.framing));
    EXPECT_GT(viewerTurnSpeed, 10.0f);

    // Several keys at once, and a key auto-repeating, still move by time alone.
    const ViewerCamera slow = holdForOneSecond(model.get(), {ViewerKey::up, ViewerKey::right, ViewerKey::a}, 10);
    const ViewerCamera fast =
        holdForOneSecond(model.get(), {ViewerKey::up, ViewerKey::right, ViewerKey::right, ViewerKey::a}, 1000);
    EXPECT_LT(angleGap(slow.angleX, fast.angleX), 0.01);
    EXPECT_LT(angleGap(slow.angleY, fast.angleY), 0.01);
    EXPECT_LT(angleGap(fast.angleY, viewerOpeningAngleY + viewerTurnSpeed), 0.01);
    EXPECT_NEAR(slow.distance, fast.distance, 1e-3 * radius);
}

TEST(ViewerKeys, KeysActOnlyWhileTheWindowHasTheFocus)
{
    ViewerState state;
    initViewerState(state, 640, 480, nullptr, nullptr);
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::right));
    advanceViewer(state, 0.1);
    const float turned = state.camera.angleY;
    EXPECT_NE(turned, viewerOpeningAngleY);

    // Focus goes while the key is down: its key-up goes to the other window and never arrives here.
    handleViewerEvent(state, simpleEvent(ViewerEventKind::focusLost));
    advanceViewer(state, 0.1);
    EXPECT_EQ(state.camera.angleY, turned);

    // Typing elsewhere reaches no key of the viewer.
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::left));
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::escape));
    advanceViewer(state, 0.1);
    EXPECT_EQ(state.camera.angleY, turned);
    EXPECT_FALSE(state.requests.quit);

    handleViewerEvent(state, simpleEvent(ViewerEventKind::focusGained));
    handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::left));
    advanceViewer(state, 0.1);
    EXPECT_LT(angleGap(state.camera.angleY, turned - viewerTurnSpeed * 0.1f), 0.01);

    // A drag under way ends with the focus too.
    handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonDown, 1, 10, 10));
    handleViewerEvent(state, simpleEvent(ViewerEventKind::focusLost));
    const ViewerCamera before = state.camera;
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 200, 200));
    EXPECT_EQ(state.camera.angleX, before.angleX);
    EXPECT_EQ(state.camera.angleY, before.angleY);
}

TEST(ViewerKeys, EachPressRaisesItsRequestOnceDespiteAutoRepeat)
{
    struct Case {
        ViewerKey key;
        bool ViewerRequests::*flag;
        int32_t ViewerRequests::*counter;
        int32_t step;
    };
    const Case cases[] = {
        {ViewerKey::space, &ViewerRequests::togglePlay, nullptr, 0},
        {ViewerKey::s, &ViewerRequests::toggleSkin, nullptr, 0},
        {ViewerKey::w, &ViewerRequests::toggleWireframe, nullptr, 0},
        {ViewerKey::f12, &ViewerRequests::screenshot, nullptr, 0},
        {ViewerKey::escape, &ViewerRequests::quit, nullptr, 0},
        {ViewerKey::comma, nullptr, &ViewerRequests::frameStep, -1},
        {ViewerKey::period, nullptr, &ViewerRequests::frameStep, 1},
        {ViewerKey::pageUp, nullptr, &ViewerRequests::animationStep, -1},
        {ViewerKey::pageDown, nullptr, &ViewerRequests::animationStep, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        ViewerState state;
        // Held down with the platform repeating the key: one press.
        for (int i = 0; i < 3; ++i) {
            handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, c.key));
        }
        if (c.flag != nullptr) {
            EXPECT_TRUE(state.requests.*c.flag);
        } else {
            EXPECT_EQ(state.requests.*c.counter, c.step);
        }
        // No other request is raised by this key.
        ViewerRequests others = state.requests;
        if (c.flag != nullptr) {
            others.*c.flag = false;
        } else {
            others.*c.counter = 0;
        }
        EXPECT_FALSE(others.togglePlay || others.toggleSkin || others.toggleWireframe || others.screenshot ||
                     others.quit);
        EXPECT_EQ(others.frameStep, 0);
        EXPECT_EQ(others.animationStep, 0);

        // Released and pressed again before the layer looked: a second press.
        handleViewerEvent(state, keyEvent(ViewerEventKind::keyUp, c.key));
        press(state, c.key);
        if (c.counter != nullptr) {
            EXPECT_EQ(state.requests.*c.counter, 2 * c.step);
        }
        clearViewerRequests(state);
        EXPECT_FALSE(state.requests.togglePlay || state.requests.quit || state.requests.screenshot);
        EXPECT_EQ(state.requests.frameStep, 0);
    }

    // A toggle pressed twice before the layer looks undoes itself.
    ViewerState state;
    press(state, ViewerKey::s);
    press(state, ViewerKey::s);
    EXPECT_FALSE(state.requests.toggleSkin);

    handleViewerEvent(state, simpleEvent(ViewerEventKind::closeRequested));
    EXPECT_TRUE(state.requests.quit);

    ViewerEvent drop = simpleEvent(ViewerEventKind::fileDropped);
    drop.path = "/tmp/ogro/tris.md2";
    handleViewerEvent(state, drop);
    drop.path = "/tmp/ogro/skins/igdosh café.pcx";
    handleViewerEvent(state, drop);
    EXPECT_EQ(state.requests.droppedPaths,
              (std::vector<std::string>{"/tmp/ogro/tris.md2", "/tmp/ogro/skins/igdosh café.pcx"}));
}

TEST(ViewerMouse, LeftDragTurnsByPixelsAndOtherButtonsDoNot)
{
    ViewerState state;
    initViewerState(state, 640, 480, nullptr, nullptr);
    const ViewerCamera start = state.camera;

    // Moving without a button, or dragging with the right one, turns nothing.
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 300, 300));
    handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonDown, 3, 300, 300));
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 350, 320));
    handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonUp, 3, 350, 320));
    EXPECT_EQ(state.camera.angleX, start.angleX);
    EXPECT_EQ(state.camera.angleY, start.angleY);

    // Dragging right and up, in two moves that add up.
    handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonDown, 1, 100, 100));
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 130, 95));
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 150, 80));
    EXPECT_LT(angleGap(state.camera.angleY, start.angleY + 50 * viewerDragDegreesPerPixel), 1e-3);
    EXPECT_LT(angleGap(state.camera.angleX, start.angleX - 20 * viewerDragDegreesPerPixel), 1e-3);
    EXPECT_EQ(state.camera.distance, start.distance);

    handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonUp, 1, 150, 80));
    const ViewerCamera released = state.camera;
    handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 400, 400));
    EXPECT_EQ(state.camera.angleX, released.angleX);
    EXPECT_EQ(state.camera.angleY, released.angleY);
}

TEST(ViewerMouse, WheelMovesNearerAwayFromTheUserWithinLimits)
{
    ModelPtr model = boxModel(-10.0f, -10.0f, 0.0f, 20.0f, 20.0f, 50.0f);
    ASSERT_NE(model, nullptr);
    ViewerState state;
    initViewerState(state, 640, 480, model.get(), nullptr);
    const float start = state.camera.distance;

    handleViewerEvent(state, wheelEvent(1.0f));
    const float nearer = state.camera.distance;
    EXPECT_LT(nearer, start);
    handleViewerEvent(state, wheelEvent(-1.0f));
    EXPECT_NEAR(state.camera.distance, start, 1e-4 * start);
    // Half notches (touchpads) move by less.
    handleViewerEvent(state, wheelEvent(0.5f));
    EXPECT_LT(state.camera.distance, start);
    EXPECT_GT(state.camera.distance, nearer);

    // However far the wheel turns in, the eye stops where it would enter the shown keyframe's sphere.
    for (int i = 0; i < 200; ++i) {
        handleViewerEvent(state, wheelEvent(1.0f));
    }
    EXPECT_GT(state.camera.distance, state.framing.radius);
    EXPECT_NEAR(state.camera.distance, zoomLimit(state.shownReach, state.framing), 1e-4 * start);

    // However far out, the model still shows as more than a speck.
    for (int i = 0; i < 400; ++i) {
        handleViewerEvent(state, wheelEvent(-1.0f));
    }
    EXPECT_GT(state.camera.distance, 5.0f * start);
    const double sphereHalfAngle = std::asin(state.framing.radius / state.camera.distance);
    EXPECT_GT(std::tan(sphereHalfAngle) / std::tan(viewerFieldOfViewY * pi / 360.0), 0.05);
}

TEST(ViewerCameraReset, HomeAndRReturnToExactlyTheOpeningView)
{
    ModelPtr model = boxModel(50.0f, 0.0f, 0.0f, 3.0f, 7.0f, 2.0f);
    ASSERT_NE(model, nullptr);
    for (ViewerKey key : {ViewerKey::home, ViewerKey::r}) {
        ViewerState state;
        initViewerState(state, 800, 600, model.get(), nullptr);
        const ViewerCamera opening = state.camera;

        handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::up));
        handleViewerEvent(state, keyEvent(ViewerEventKind::keyDown, ViewerKey::z));
        advanceViewer(state, 0.2);
        handleViewerEvent(state, keyEvent(ViewerEventKind::keyUp, ViewerKey::up));
        handleViewerEvent(state, keyEvent(ViewerEventKind::keyUp, ViewerKey::z));
        handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonDown, 1, 0, 0));
        handleViewerEvent(state, pointerEvent(ViewerEventKind::mouseMove, 0, 33, 0));
        handleViewerEvent(state, pointerEvent(ViewerEventKind::buttonUp, 1, 33, 0));
        handleViewerEvent(state, wheelEvent(3.0f));
        ASSERT_NE(state.camera.distance, opening.distance);
        ASSERT_NE(state.camera.angleY, opening.angleY);

        press(state, key);
        EXPECT_EQ(state.camera.angleX, opening.angleX);
        EXPECT_EQ(state.camera.angleY, opening.angleY);
        EXPECT_EQ(state.camera.distance, opening.distance);
    }
}

TEST(ViewerResize, NewSizeKeepsTheModelFramedAndAZeroHeightIsOne)
{
    ModelPtr model = boxModel(0.0f, 0.0f, 0.0f, 10.0f, 10.0f, 10.0f);
    ASSERT_NE(model, nullptr);
    ViewerState state;
    initViewerState(state, 640, 480, model.get(), nullptr);

    // Still framed: a narrow window backs the eye off so the model still fits across.
    handleViewerEvent(state, resizeEvent(200, 800));
    EXPECT_EQ(state.width, 200);
    EXPECT_EQ(state.height, 800);
    EXPECT_FLOAT_EQ(state.camera.distance, framedDistance(state.framing, 0.25f));
    float modelview[16];
    viewerModelview(state.camera, state.framing, modelview);
    for (const Vec3& p : allPositions(*model)) {
        EXPECT_LE(std::fabs(project(modelview, p, viewerFieldOfViewY, 0.25).x), 0.95);
    }

    // A minimised window reports a height of 0.
    handleViewerEvent(state, resizeEvent(640, 0));
    const ViewerProjection projection = viewerProjection(state);
    EXPECT_EQ(state.height, 1);
    EXPECT_DOUBLE_EQ(projection.aspect, 640.0);
    EXPECT_TRUE(std::isfinite(state.camera.distance));
    EXPECT_GT(projection.zNear, 0.0);
    EXPECT_GT(projection.zFar, projection.zNear);

    // A distance the user chose is kept where it is still allowed, and pulled in where it is not.
    handleViewerEvent(state, resizeEvent(640, 480));
    handleViewerEvent(state, wheelEvent(2.0f));
    const float chosen = state.camera.distance;
    handleViewerEvent(state, resizeEvent(1024, 768));
    EXPECT_EQ(state.camera.distance, chosen);
    for (int i = 0; i < 100; ++i) {
        handleViewerEvent(state, wheelEvent(-1.0f));
    }
    handleViewerEvent(state, resizeEvent(4000, 500));
    EXPECT_LE(state.camera.distance, maxViewerDistance(state.framing, viewerAspect(4000, 500)));
}

TEST(ViewerClipPlanes, NothingOfTheModelIsClippedAcrossTheZoomRange)
{
    for (const FramingCase& c : framingCases) {
        SCOPED_TRACE(c.name);
        ModelPtr model = boxModel({boxFrame(c.low, c.size)});
        ASSERT_NE(model, nullptr);
        const std::vector<Vec3> positions = allPositions(*model);
        ViewerState state;
        initViewerState(state, 640, 480, model.get(), nullptr);
        state.camera.angleX = 25.0f;
        state.camera.angleY = 70.0f;
        const float radius = state.framing.radius;

        // From the opening view all the way in, then all the way out.
        std::vector<float> notches(80, 1.0f);
        notches.insert(notches.end(), 160, -1.0f);
        float closest = state.camera.distance;
        float farthest = state.camera.distance;
        for (float notch : notches) {
            handleViewerEvent(state, wheelEvent(notch));
            closest = std::min(closest, state.camera.distance);
            farthest = std::max(farthest, state.camera.distance);
            const ViewerProjection projection = viewerProjection(state);
            ASSERT_GT(projection.zNear, 0.0);
            // A 24-bit depth buffer still tells the model's surfaces apart.
            ASSERT_LE(projection.zFar / projection.zNear, 1.0e4);

            float modelview[16];
            viewerModelview(state.camera, state.framing, modelview);
            const double centreDepth = -transformPoint(modelview, state.framing.centre)[2];
            ASSERT_GT(centreDepth, 0.0);
            EXPECT_GE(projection.zFar, centreDepth + radius);
            // Only what lies right at the eye may be given up when the eye is inside the sphere.
            EXPECT_LE(projection.zNear, std::max(centreDepth - radius, 0.01 * radius));
            for (const Vec3& p : positions) {
                const double depth = -transformPoint(modelview, p)[2];
                if (depth > 0.01 * radius) {
                    EXPECT_GE(depth, projection.zNear);
                    EXPECT_LE(depth, projection.zFar);
                }
            }
        }
        // The sweep reached the zoom limit, just outside the sphere, and far out.
        EXPECT_LE(closest, radius * viewerZoomMargin * 1.0001f);
        EXPECT_GT(farthest, 10.0f * radius);
    }
}

}  // namespace

namespace {

TEST(ViewerFraming, RadiusReachesTheFarthestVertexOfTheFramedKeyframesOnly)
{
    // Six points on the unit sphere: the box's half diagonal is sqrt(3), the farthest vertex 1 away.
    const std::vector<Vec3> octahedron = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<Vec3> wide = octahedron;
    for (Vec3& p : wide) {
        p.x = p.x * 10.0f + 5.0f;
    }
    ModelPtr model = manualModel({octahedron, octahedron, wide});
    ASSERT_NE(model, nullptr);
    struct Case {
        const char* name;
        int32_t first, last;
        float centreX, radius;
    };
    const Case cases[] = {
        {"first run", 0, 1, 0.0f, 1.0f},
        {"the wide keyframe alone", 2, 2, 5.0f, 10.0f},
        {"every keyframe: the wide one holds the others", 0, INT32_MAX, 5.0f, 10.0f},
        {"a range past the end clamps", 5, 9, 5.0f, 10.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ModelFraming framing = frameModels(model.get(), nullptr, c.first, c.last);
        EXPECT_NEAR(framing.centre.x, c.centreX, 1e-4f);
        EXPECT_NEAR(framing.radius, c.radius, 1e-4f);
    }
    const ModelFraming first = frameModels(model.get(), nullptr, 0, 1);
    EXPECT_NEAR(keyframeReach(model.get(), nullptr, 2, first), 15.0f, 1e-4f);
    EXPECT_NEAR(zoomLimit(1.0f, first), viewerZoomMargin, 1e-6f);
    EXPECT_NEAR(zoomLimit(0.0f, first), minViewerDistance(first), 1e-6f) << "no vertices: the old floor";
}

TEST(ViewerFraming, ATallThinModelFillsMostOfTheHeight)
{
    // 1 wide, 10 tall: the sphere framed with the margin leaves the figure over 60 % of the height.
    ModelPtr model = manualModel({{{0, 0, 0}, {1, 0, 0}, {0, 10, 0}, {1, 10, 0}}});
    ViewerState state;
    initViewerState(state, 640, 480, model.get(), nullptr);
    const double halfAngle = 0.5 * viewerFieldOfViewY * 3.14159265358979 / 180.0;
    const double shownHeight = 2.0 * state.camera.distance * std::tan(halfAngle);
    EXPECT_GT(10.0 / shownHeight, 0.6);
}

}  // namespace
