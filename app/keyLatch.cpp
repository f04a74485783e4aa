// "Pressed since the previous poll" for backends whose platform only reports keys as events.
// The global key state can see a press before its event arrives; such a press must still count once.
#include "app/keyLatch.h"

void latchKeyPress(KeyLatch& latch, ControlKey key)
{
    const int index = static_cast<int>(key);
    if (!latch.seenDown[index]) {
        latch.pressed[index] = true;
    }
}

void latchKeyRelease(KeyLatch& latch, ControlKey key)
{
    latch.seenDown[static_cast<int>(key)] = false;
}

bool pollLatchedKey(KeyLatch& latch, ControlKey key, bool downNow)
{
    const int index = static_cast<int>(key);
    const bool active = downNow || latch.pressed[index];
    latch.pressed[index] = false;
    latch.seenDown[index] = downNow;
    return active;
}
