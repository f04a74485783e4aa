// "Pressed since the previous poll" for backends whose platform only reports keys as events.
// Key-down events set the latch; a poll reads it and clears it.
#pragma once

#include "base/platform.h"

struct KeyLatch {
    bool pressed[controlKeyCount] = {};
    // The last poll saw the key down and no key-up has come since: a key-down event arriving now is that
    // same press, which the poll has already counted.
    bool seenDown[controlKeyCount] = {};
};

void latchKeyPress(KeyLatch& latch, ControlKey key);
void latchKeyRelease(KeyLatch& latch, ControlKey key);

// downNow is the key's current state as the platform reads it.
bool pollLatchedKey(KeyLatch& latch, ControlKey key, bool downNow);
