// Viewer mode before its window: options, --help, --version and --info, and opening the files named on the
// command line, so a usage fault or a bad file ends the run before anything is shown. Both backends call it.
#pragma once

#include <string>
#include <vector>

struct ViewerLaunch {
    bool openWindow = false;
    int exitCode = 0;
};

// args are the arguments after the program's name, UTF-8. Fills the viewer session for initViewerScene.
ViewerLaunch prepareViewer(const std::vector<std::string>& args);
