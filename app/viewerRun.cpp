// Viewer mode's run sequence, written once for every backend (see viewerRun.h).
#include "app/viewerRun.h"

#include <algorithm>
#include <cmath>

#include "app/info.h"
#include "app/viewerMain.h"
#include "base/pictureFile.h"
#include "base/platform.h"
#include "scene/pictureSheet.h"
#include "scene/viewerScene.h"
#include "scene/viewerSession.h"
#include "text/builtinFont.h"

namespace {

struct ViewerRun {
    const ViewerWindow* window = nullptr;
    ViewerSession session;
    ViewerGl gl;
    bool started = false;    // the session and its GL side exist: events and redraws may reach them
    std::string titledPath;  // the model the window's title names
};

double nowSeconds()
{
    return static_cast<double>(readPerformanceCounter()) / static_cast<double>(readPerformanceFrequency());
}

// Warnings go where every other text for the user goes: a Windows program without a console has no stderr.
void warnThroughUserText(void*, const char* line)
{
    writeUserText(UserStream::error, line);
}

void sayFault(const std::string& path, const std::string& reason)
{
    writeUserText(UserStream::error, ("brevant: " + path + ": " + reason + "\n").c_str());
}

// The model alone on the background, drawn into the back buffer and read back: what F12 and --screenshot save.
RgbaImage drawPicture(ViewerRun& run, double now)
{
    drawViewerFrame(run.session, run.gl, false, now);
    const ViewerState& state = run.session.state;
    return readViewerPicture(state.width, state.height, run.session.options.background.transparent);
}

// F12 saves the model without any of the window's texts, then the frame is drawn again with them for the swap.
void renderFrame(ViewerRun& run)
{
    const double now = nowSeconds();
    advanceSession(run.session, now);
    if (takeScreenshotRequest(run.session)) {
        const std::string name = nextScreenshotName();
        std::string reason;
        if (name.empty()) {
            setSessionNotice(run.session, "no free screenshot name", now);
        } else if (writePictureFile(name, drawPicture(run, now), &reason)) {
            setSessionNotice(run.session, "saved " + name, now);
        } else {
            warnUser(run.session, "brevant: " + name + ": " + reason + "\n");
            setSessionNotice(run.session, name + ": " + reason, now);
        }
    }
    drawViewerFrame(run.session, run.gl, true, now);
}

void deliver(void* context, const ViewerEvent& event)
{
    ViewerRun& run = *static_cast<ViewerRun*>(context);
    if (run.started) {
        handleSessionEvent(run.session, event);
    }
}

void redraw(void* context)
{
    ViewerRun& run = *static_cast<ViewerRun*>(context);
    if (run.started) {
        renderFrame(run);
        run.window->swap(run.window->context);
    }
}

// A dropped model is opened while the frame is drawn, so the title follows it after the swap.
void followTitle(ViewerRun& run)
{
    if (run.session.body.path != run.titledPath) {
        run.titledPath = run.session.body.path;
        run.window->setTitle(run.window->context, windowTitleFor(run.titledPath).c_str());
    }
}

void waitForEvents(const ViewerWindow& window, double seconds)
{
    if (window.waitEvents != nullptr && seconds > 0.0) {
        const double milliseconds = std::ceil(std::min(seconds, 1.0) * 1000.0);
        window.waitEvents(window.context, static_cast<int32_t>(milliseconds));
    }
}

// One event per turn while any are waiting. Then a frame when an event came or the picture moves on its own, no
// sooner than the frame-rate cap allows; otherwise a wait for the next event or the next change, drawing nothing.
// With a cap of 0 every turn draws, as the fixed program's loop does.
int mainLoop(ViewerRun& run)
{
    const ViewerWindow& window = *run.window;
    const int32_t cap = run.session.options.maxFrameRate;
    const double frameSeconds = cap > 0 ? 1.0 / cap : 0.0;
    if (window.setSwapInterval != nullptr) {
        window.setSwapInterval(window.context, cap > 0 ? 1 : 0);
    }
    int exitCode = 0;
    bool stale = true;
    double lastDraw = -HUGE_VAL;
    while (quitRequested == 0) {
        const EventTaken taken = window.poll(window.context, &exitCode);
        if (taken == EventTaken::quit) {
            quitRequested = 1;
            break;
        }
        if (run.session.state.requests.quit) {
            quitRequested = 1;
            return 0;
        }
        if (taken == EventTaken::handled) {
            stale = true;
            continue;
        }
        const double now = nowSeconds();
        if (cap > 0) {
            const double change = sessionNextChange(run.session, now);
            if (!stale && change > now) {
                waitForEvents(window, change - now);
                continue;
            }
            if (now < lastDraw + frameSeconds) {
                waitForEvents(window, lastDraw + frameSeconds - now);
                continue;
            }
        }
        stale = false;
        lastDraw = now;
        renderFrame(run);
        window.swap(window.context);
        followTitle(run);
        countFrame();
    }
    return exitCode;
}

// The models alone at the session's opening pose, saved to path: for --screenshot on the background, for a
// thumbnail transparent around the model.
int savePicture(ViewerRun& run, const std::string& path, bool transparent)
{
    const double shot = nowSeconds();
    advanceSession(run.session, shot);
    drawViewerPicture(run.session, run.gl);
    const ViewerState& state = run.session.state;
    std::string reason;
    if (!writePictureFile(path, readViewerPicture(state.width, state.height, transparent), &reason)) {
        sayFault(path, reason);
        return exitFileFault;
    }
    return exitSuccess;
}

// Every keyframe of the animation playing, one cell each in order, all under the opening framing.
int saveSheet(ViewerRun& run, const std::string& path)
{
    ViewerSession& session = run.session;
    const int32_t first = session.clock.first;
    const int32_t count = session.clock.last - first + 1;
    const SheetGrid grid = sheetGridFor(count);
    const int32_t width = session.state.width;
    const int32_t height = session.state.height;
    RgbaImage sheet = newSheet(grid, width, height);
    if (!sheet.pixels) {
        sayFault(path, "a sheet of " + std::to_string(count) + " cells of " + std::to_string(width) + " x " +
                           std::to_string(height) + " is too large to hold");
        return exitFileFault;
    }
    for (int32_t index = 0; index < count; ++index) {
        const double now = nowSeconds();
        showKeyframe(session.clock, first + index, now);
        advanceSession(session, now);
        drawViewerPicture(session, run.gl);
        // Transparent around the models unless a background colour was asked for.
        const ViewerBackground& background = session.options.background;
        placeSheetCell(sheet, grid, index,
                       readViewerPicture(width, height, background.transparent || !background.given));
    }
    std::string reason;
    if (!writePictureFile(path, sheet, &reason)) {
        sayFault(path, reason);
        return exitFileFault;
    }
    return exitSuccess;
}

}  // namespace

int runViewer(const std::vector<std::string>& args, const ViewerWindow& window)
{
    ViewerRun run;
    run.window = &window;
    run.session.warnings = {nullptr, warnThroughUserText};
    const ViewerLaunch launch = prepareViewer(run.session, args);
    if (!launch.openWindow) {
        return launch.exitCode;
    }
    const ViewerOptions& options = run.session.options;
    run.titledPath = run.session.body.path;
    const ViewerHost host{&run, deliver, redraw};
    if (!window.open(window.context, host, windowTitleFor(run.titledPath).c_str(), options.width, options.height)) {
        return 1;
    }
    // Set once more through the service, which also spells it for the window system's older title fields.
    window.setTitle(window.context, windowTitleFor(run.titledPath).c_str());
    startFrameClock();
    int32_t width = options.width;
    int32_t height = options.height;
    window.drawableSize(window.context, &width, &height);

    const double now = nowSeconds();
    findViewerFont(run.session, executableFolder(), builtinFont, builtinFontSize);
    startViewerSession(run.session, width, height, now);
    initViewerScene(run.session, run.gl);
    run.started = true;

    int exitCode = 0;
    if (!options.thumbnailPath.empty()) {
        showKeyframe(run.session.clock, thumbnailKeyframe(run.session.animations), nowSeconds());
        exitCode = savePicture(run, options.thumbnailPath, true);
    } else if (!options.sheetPath.empty()) {
        exitCode = saveSheet(run, options.sheetPath);
    } else if (!options.screenshotPath.empty()) {
        exitCode = savePicture(run, options.screenshotPath, options.background.transparent);
    } else {
        exitCode = mainLoop(run);
    }
    run.started = false;
    releaseViewerScene(run.gl);
    window.close(window.context);
    return exitCode;
}
