// Viewer mode's SDL2 entry: what main runs when the program is given any argument.
#pragma once

int runSdlViewer(int argc, char** argv);
