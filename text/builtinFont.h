// A copy of the default font image built into the program, for viewer mode when no font.tga can be found.
// The build writes its bytes from the same font.tga it puts beside the program.
#pragma once

#include <cstddef>

extern const unsigned char builtinFont[];
extern const size_t builtinFontSize;
