// "Pressed since the previous poll" for backends whose platform only reports keys as events.
#include "app/keyLatch.h"

void latchKeyPress(KeyLatch& latch, ControlKey key)
{
    latch.pressed[static_cast<int>(key)] = true;
}

bool pollLatchedKey(KeyLatch& latch, ControlKey key, bool downNow)
{
    bool& pressed = latch.pressed[static_cast<int>(key)];
    const bool active = downNow || pressed;
    pressed = false;
    return active;
}
