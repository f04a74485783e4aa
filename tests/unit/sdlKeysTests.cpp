// The SDL backend's control keys: which SDL key events and which X keymap bits count as each control key,
// the keypad's 8/2/4/6 included while NumLock is off.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <optional>

#include "app/sdl/sdlKeys.h"

namespace {

std::optional<ControlKey> fromKeycode(SDL_Keycode keycode, bool numLock)
{
    ControlKey key = ControlKey::z;
    if (!controlKeyFromKeycode(keycode, numLock, &key)) {
        return std::nullopt;
    }
    return key;
}

TEST(SdlKeys, KeyEventsMapToControlKeysAndTheKeypadArrowsOnlyWithoutNumLock)
{
    struct Case {
        SDL_Keycode keycode;
        std::optional<ControlKey> numLockOff;
        std::optional<ControlKey> numLockOn;
    };
    const Case cases[] = {
        {SDLK_UP, ControlKey::up, ControlKey::up},
        {SDLK_DOWN, ControlKey::down, ControlKey::down},
        {SDLK_LEFT, ControlKey::left, ControlKey::left},
        {SDLK_RIGHT, ControlKey::right, ControlKey::right},
        {SDLK_a, ControlKey::a, ControlKey::a},
        {SDLK_z, ControlKey::z, ControlKey::z},
        // SDL names the keypad keys by their digits whether NumLock is on or off.
        {SDLK_KP_8, ControlKey::up, std::nullopt},
        {SDLK_KP_2, ControlKey::down, std::nullopt},
        {SDLK_KP_4, ControlKey::left, std::nullopt},
        {SDLK_KP_6, ControlKey::right, std::nullopt},
        {SDLK_KP_5, std::nullopt, std::nullopt},
        {SDLK_KP_0, std::nullopt, std::nullopt},
        {SDLK_8, std::nullopt, std::nullopt},
        {SDLK_ESCAPE, std::nullopt, std::nullopt},
        {SDLK_UNKNOWN, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromKeycode(c.keycode, false), c.numLockOff) << "key code " << c.keycode << ", NumLock off";
        EXPECT_EQ(fromKeycode(c.keycode, true), c.numLockOn) << "key code " << c.keycode << ", NumLock on";
    }
}

TEST(SdlKeys, EachControlKeyHasItsOwnX11KeyAndTheArrowsTheirKeypadKey)
{
    const KeySym keySyms[controlKeyCount] = {XK_Up, XK_Down, XK_Left, XK_Right, XK_a, XK_z};
    const KeySym keypadKeySyms[controlKeyCount] = {XK_KP_Up, XK_KP_Down, XK_KP_Left, XK_KP_Right, NoSymbol, NoSymbol};
    for (int index = 0; index < controlKeyCount; ++index) {
        const SdlControlKeys keys = sdlControlKeys(static_cast<ControlKey>(index));
        EXPECT_EQ(keys.keySym, keySyms[index]) << "control key " << index;
        EXPECT_EQ(keys.keypadKeySym, keypadKeySyms[index]) << "control key " << index;
        // The event side and the polling side name the same keys.
        EXPECT_EQ(fromKeycode(keys.keycode, true), static_cast<ControlKey>(index));
        EXPECT_EQ(keys.keypadKeycode == SDLK_UNKNOWN, keys.keypadKeySym == NoSymbol) << "control key " << index;
    }
}

TEST(SdlKeys, X11KeymapReadsTheKeyOrItsKeypadKeyWhileNumLockIsOff)
{
    constexpr KeyCode arrow = 111;  // Up on an evdev keyboard: byte 13, bit 7
    constexpr KeyCode keypad = 80;  // KP_Up / KP_8: byte 10, bit 0
    char keymap[32] = {};
    EXPECT_FALSE(x11ControlKeyDown(keymap, arrow, keypad, false));

    keymap[13] = static_cast<char>(0x80);
    EXPECT_TRUE(x11KeymapHasKey(keymap, arrow));
    EXPECT_FALSE(x11KeymapHasKey(keymap, arrow - 1));
    EXPECT_TRUE(x11ControlKeyDown(keymap, arrow, keypad, true)) << "the arrow itself ignores NumLock";

    keymap[13] = 0;
    keymap[10] = 0x01;
    EXPECT_TRUE(x11ControlKeyDown(keymap, arrow, keypad, false));
    EXPECT_FALSE(x11ControlKeyDown(keymap, arrow, keypad, true)) << "with NumLock on the keypad key is a digit";
    EXPECT_FALSE(x11ControlKeyDown(keymap, arrow, 0, false)) << "a keyboard map without the keypad key";

    // Key code 0 is no key, even when bit 0 of the map is set.
    keymap[0] = 0x01;
    EXPECT_FALSE(x11KeymapHasKey(keymap, 0));
}

}  // namespace
