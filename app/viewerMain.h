// Viewer mode before its window: options, --help, --version and --info, and opening the files named on the
// command line, so a usage fault or a bad file ends the run before anything is shown. The run sequence calls it.
#pragma once

#include <string>
#include <vector>

struct ViewerSession;

struct ViewerLaunch {
    bool openWindow = false;
    int exitCode = 0;
};

// args are the arguments after the program's name, UTF-8. Fills the session's options and models, read through
// its source, for startViewerSession.
ViewerLaunch prepareViewer(ViewerSession& session, const std::vector<std::string>& args);
