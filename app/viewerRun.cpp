// Viewer mode's run sequence, written once for every backend (see viewerRun.h).
#include "app/viewerRun.h"

#include "app/info.h"
#include "app/viewerMain.h"
#include "base/pictureFile.h"
#include "base/platform.h"
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
    if (!options.screenshotPath.empty()) {
        // A frame without the readout, saved as it is drawn (--screenshot).
        const double shot = nowSeconds();
        advanceSession(run.session, shot);
        drawViewerFrame(run.session, run.gl, false, shot);
        const ViewerState& state = run.session.state;
        std::string reason;
        if (!writePictureFile(options.screenshotPath, readViewerPicture(state.width, state.height), &reason)) {
            sayFault(options.screenshotPath, reason);
            exitCode = 1;
        }
    } else {
        exitCode = mainLoop(run);
    }
    run.started = false;
    releaseViewerScene(run.gl);
    window.close(window.context);
    return exitCode;
}
