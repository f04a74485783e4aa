// The "pressed since the previous poll" latch that backends without a global key state put beside it.
#include <gtest/gtest.h>

#include "app/keyLatch.h"

namespace {

TEST(KeyLatch, ATapBetweenPollsCountsOnceAndAHeldKeyCountsEveryPoll)
{
    KeyLatch latch;
    latchKeyPress(latch, ControlKey::up);
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::up, false)) << "pressed and released before the poll";
    EXPECT_FALSE(pollLatchedKey(latch, ControlKey::up, false)) << "the poll cleared it";

    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::z, true));
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::z, true));
    EXPECT_FALSE(pollLatchedKey(latch, ControlKey::z, false));

    latchKeyPress(latch, ControlKey::z);
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::z, true)) << "held and latched counts once per poll";
    EXPECT_FALSE(pollLatchedKey(latch, ControlKey::z, false));
}

TEST(KeyLatch, APressThePollSawBeforeItsEventCountsOnce)
{
    KeyLatch latch;
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::left, true)) << "the global state shows the key down";
    latchKeyPress(latch, ControlKey::left);  // that press's event, taken after the poll
    latchKeyRelease(latch, ControlKey::left);
    EXPECT_FALSE(pollLatchedKey(latch, ControlKey::left, false)) << "the same press counted twice";

    // A second tap after the release is a new press, even though no poll saw it.
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::left, true));
    latchKeyRelease(latch, ControlKey::left);
    latchKeyPress(latch, ControlKey::left);
    latchKeyRelease(latch, ControlKey::left);
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::left, false));
}

TEST(KeyLatch, AReleaseMissedWhileAnotherWindowHadTheFocusDoesNotSwallowTheNextTap)
{
    KeyLatch latch;
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::a, true));    // held while another window had the focus
    EXPECT_FALSE(pollLatchedKey(latch, ControlKey::a, false));  // released there: no key-up event came
    latchKeyPress(latch, ControlKey::a);
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::a, false)) << "a tap between polls was lost";
}

TEST(KeyLatch, KeysLatchIndependently)
{
    KeyLatch latch;
    latchKeyPress(latch, ControlKey::a);
    for (ControlKey other : {ControlKey::up, ControlKey::down, ControlKey::left, ControlKey::right, ControlKey::z}) {
        EXPECT_FALSE(pollLatchedKey(latch, other, false));
    }
    EXPECT_TRUE(pollLatchedKey(latch, ControlKey::a, false)) << "polling other keys left it latched";
}

}  // namespace
