// The texts viewer mode shows about a model: the --info report, the status line and the window title.
// GL-free; text taken from a file is made safe to print on a terminal or with the bitmap font.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/md2.h"

// The --info report, every line ending in a newline:
//   file: PATH
//   vertices: N  triangles: N  texcoords: N  frames: N  skin size: WxH
//   skins: NAME, NAME            ("skins: none" without any)
//   skin found: PATH             (omitted when skinFound is nullptr)
//   animations:                  ("animations: none" without frames)
//     NAME FIRST-LAST (COUNT)
// Counts are the header's, 0 where negative; the skin size is the header's as stored. Skin, frame and
// animation names come from the file, so any byte that is not printable ASCII shows as '?'; an empty skin
// entry shows as "(empty)" and an animation of frames without a name as "(no name)". The paths are the
// user's, so only their control characters show as '?', and UTF-8 names stay readable.
std::string formatModelInfo(const std::string& path, const Md2Model& model, const char* skinFound);

// Only printable ASCII, every other byte as '?': what a hostile file names must not reach a terminal's escape
// sequences, and the bitmap font draws nothing else.
std::string printableAscii(const std::string& text);

// A name the user gave (a path, a file name) for the bitmap font, which draws printable ASCII: UTF-8 decoded, each
// character it lacks as one '?', and each byte that is not UTF-8 as one '?' too. "modèle.md2" shows "mod?le.md2".
std::string printableName(const std::string& utf8);

// UTF-8 as Latin-1, the encoding of X's legacy STRING properties (a window's WM_NAME): each character beyond
// U+00FF, each control character and each byte that is not UTF-8 as one '?'.
std::string latin1FromUtf8(const std::string& utf8);

// The last part of a path, after either slash.
std::string fileNameOf(const std::string& path);

// "sydney.md2  run 3/6  skin.pcx": the files without their folders, the animation with the keyframe
// counted from 1 within it, and "no skin" for an empty skin. A model without keyframes (runLength 0 or
// less) says "no frames" in place of the animation. Only printable ASCII, as the bitmap font draws it: the file
// names as printableName makes them, the animation byte by byte.
std::string formatStatusLine(const std::string& fileName, const std::string& animation, int32_t keyframeInRun,
                             int32_t runLength, const std::string& skin);
// What the viewer's line adds: the keyframe's own name after the count ("pain_2 3/4 pain203"), and which of how
// many skins to choose from after the skin ("grok.pcx 2/3"); left out when empty or 0.
struct StatusDetails {
    std::string_view keyframeName;
    int32_t skinOrdinal = 0;
    int32_t skinCount = 0;
};

// The same into `line`, reusing its storage: the viewer writes it every frame without touching the heap.
void formatStatusLine(std::string& line, const std::string& fileName, const std::string& animation,
                      int32_t keyframeInRun, int32_t runLength, const std::string& skin,
                      const StatusDetails& details = {});

// The overlay font's pen moves this far per character, and a character's quad is this wide.
inline constexpr int32_t overlayCharAdvance = 12;
inline constexpr int32_t overlayCharWidth = 16;

// How many characters of the overlay font fit in widthPixels (0 when not even one does).
int32_t overlayCharsThatFit(int32_t widthPixels);

// A printable one-byte-per-character line shortened to at most maxChars, its end replaced by "..." when it
// does not fit; a limit under 4 keeps only dots.
std::string fitLine(const std::string& line, int32_t maxChars);

// "sydney.md2 - Brevant": the file name without folders (either slash); "Brevant" when there is none.
std::string windowTitleFor(const std::string& path);
