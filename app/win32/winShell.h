// What the Windows backend's files share: the window and context handles, the context's set-up (winMain.cpp),
// UTF-8 and UTF-16 conversions, and viewer mode's entry (winViewer.cpp).
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

extern HWND window;
extern HDC deviceContext;
extern HGLRC renderContext;

inline constexpr int iconResource = 101;

void initRenderContext();
void releaseRenderContext();

std::string utf8FromWide(const std::wstring& text);
std::wstring wideFromUtf8(const std::string& text);

// Viewer mode: args are the arguments after the program's name, UTF-8. Returns the exit code.
int runWinViewer(HINSTANCE instance, const std::vector<std::string>& args);
