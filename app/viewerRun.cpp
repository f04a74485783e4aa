// Viewer mode's run sequence, written once for every backend (see viewerRun.h).
#include "app/viewerRun.h"

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

// F12 saves the picture as the window shows it, less the readout, which changes from frame to frame.
void renderFrame(ViewerRun& run)
{
    const double now = nowSeconds();
    advanceSession(run.session, now);
    const bool capture = takeScreenshotRequest(run.session);
    drawViewerFrame(run.session, run.gl, !capture, now);
    if (!capture) {
        return;
    }
    const std::string name = nextScreenshotName();
    std::string reason;
    const ViewerState& state = run.session.state;
    if (name.empty()) {
        setSessionNotice(run.session, "no free screenshot name", now);
    } else if (writePictureFile(name, readViewerPicture(state.width, state.height), &reason)) {
        setSessionNotice(run.session, "saved " + name, now);
    } else {
        warnUser(run.session, "brevant: " + name + ": " + reason + "\n");
        setSessionNotice(run.session, name + ": " + reason, now);
    }
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

// One event per turn while any are waiting, otherwise draw, present and count, as the fixed program's loop does.
int mainLoop(ViewerRun& run)
{
    const ViewerWindow& window = *run.window;
    int exitCode = 0;
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
            continue;
        }
        renderFrame(run);
        window.swap(window.context);
        followTitle(run);
        countFrame();
    }
    return exitCode;
}

// The models alone at the session's opening pose, saved to path: for --screenshot opaque as the window shows
// it, for a thumbnail with its clear background.
int savePicture(ViewerRun& run, const std::string& path, bool keepAlpha)
{
    const double shot = nowSeconds();
    advanceSession(run.session, shot);
    drawViewerPicture(run.session, run.gl);
    const ViewerState& state = run.session.state;
    std::string reason;
    if (!writePictureFile(path, readViewerPicture(state.width, state.height, keepAlpha), &reason)) {
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
        placeSheetCell(sheet, grid, index, readViewerPicture(width, height, true));
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
        exitCode = savePicture(run, options.screenshotPath, false);
    } else {
        exitCode = mainLoop(run);
    }
    run.started = false;
    releaseViewerScene(run.gl);
    window.close(window.context);
    return exitCode;
}
