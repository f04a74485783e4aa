// The one place GL code takes its headers from: windows.h must come first on Windows.
// Pairs with every GL-drawing file in scene/, model/ and text/.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>
