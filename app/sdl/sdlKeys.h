// The SDL backend's control keys in SDL's and X11's own key names, and the rules that read them: plain data,
// tested without a window. Pairs with app/sdl/sdlMain.cpp; app/win32/winPlatform.cpp has Windows' mapping.
#pragma once

#include <SDL_keycode.h>
#include <X11/X.h>

#include "base/platform.h"

// A control key's own key, and the keypad key that stands in for it while NumLock is off. Windows reports the
// keypad's 8/2/4/6 as the arrow keys then; X11 and SDL name them apart, so this backend folds them in itself.
struct SdlControlKeys {
    SDL_Keycode keycode;
    KeySym keySym;
    SDL_Keycode keypadKeycode;  // SDLK_UNKNOWN when no keypad key stands in
    KeySym keypadKeySym;        // NoSymbol likewise
};

SdlControlKeys sdlControlKeys(ControlKey key);

// The control key an SDL key event stands for, given NumLock's state when the key went down; false for any other.
bool controlKeyFromKeycode(SDL_Keycode keycode, bool numLock, ControlKey* key);

// True when key code `code` is down in an X keymap as XQueryKeymap fills it; code 0 is a key the map lacks.
bool x11KeymapHasKey(const char keymap[32], KeyCode code);

// A control key read from an X keymap: its own key, or its keypad key while NumLock is off.
bool x11ControlKeyDown(const char keymap[32], KeyCode code, KeyCode keypadCode, bool numLock);
