// The SDL backend's control-key names and the rules that read them, apart from SDL and Xlib calls so that
// unit tests can check them. Pairs with app/sdl/sdlKeys.h.
#include "app/sdl/sdlKeys.h"

#include <X11/keysym.h>

SdlControlKeys sdlControlKeys(ControlKey key)
{
    switch (key) {
    case ControlKey::up:
        return {SDLK_UP, XK_Up, SDLK_KP_8, XK_KP_Up};
    case ControlKey::down:
        return {SDLK_DOWN, XK_Down, SDLK_KP_2, XK_KP_Down};
    case ControlKey::left:
        return {SDLK_LEFT, XK_Left, SDLK_KP_4, XK_KP_Left};
    case ControlKey::right:
        return {SDLK_RIGHT, XK_Right, SDLK_KP_6, XK_KP_Right};
    case ControlKey::a:
        return {SDLK_a, XK_a, SDLK_UNKNOWN, NoSymbol};
    case ControlKey::z:
        return {SDLK_z, XK_z, SDLK_UNKNOWN, NoSymbol};
    }
    return {SDLK_UNKNOWN, NoSymbol, SDLK_UNKNOWN, NoSymbol};
}

bool controlKeyFromKeycode(SDL_Keycode keycode, bool numLock, ControlKey* key)
{
    if (keycode == SDLK_UNKNOWN) {
        return false;
    }
    for (int index = 0; index < controlKeyCount; ++index) {
        const ControlKey candidate = static_cast<ControlKey>(index);
        const SdlControlKeys keys = sdlControlKeys(candidate);
        // SDL names the keypad keys by their digits whatever NumLock says; with NumLock on they are digits.
        if (keycode == keys.keycode || (keycode == keys.keypadKeycode && !numLock)) {
            *key = candidate;
            return true;
        }
    }
    return false;
}

bool x11KeymapHasKey(const char keymap[32], KeyCode code)
{
    return code != 0 && (keymap[code / 8] & (1 << (code % 8))) != 0;
}

bool x11ControlKeyDown(const char keymap[32], KeyCode code, KeyCode keypadCode, bool numLock)
{
    return x11KeymapHasKey(keymap, code) || (!numLock && x11KeymapHasKey(keymap, keypadCode));
}
