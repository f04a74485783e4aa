// The shell's platform-free rules: the frame-rate measurement driven by a scripted counter, and the main loop
// driven by a scripted event queue.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>

#include "app/shell.h"
#include "support/testPlatform.h"

namespace {

class FrameRate : public testing::Test {
protected:
    void SetUp() override
    {
        resetShellState();
        resetTestPlatform();
    }

    static void countFrames(int frames)
    {
        for (int frame = 0; frame < frames; ++frame) {
            countFrame();
        }
    }
};

TEST_F(FrameRate, EveryTwentyFirstFrameFormatsTheRateAndRestartsFromAFreshReading)
{
    setCounterFrequency(1'000'000);
    pushCounterValue(5'000);
    startFrameClock();
    EXPECT_EQ(counterFrequency, 1'000'000);
    EXPECT_EQ(lastCounter, 5'000);

    countFrames(20);
    EXPECT_STREQ(fpsText, "") << "nothing is measured before the 21st frame";
    EXPECT_EQ(counterReads(), 1) << "frames 1 to 20 never read the counter";

    // 21 frames in 0.351 s is 59.829 per second, shown with one decimal.
    pushCounterValue(5'000 + 351'000);
    pushCounterValue(2'000'000);  // the fresh reading taken after formatting
    countFrame();
    EXPECT_STREQ(fpsText, "FPS: 59.8");
    EXPECT_EQ(frameCount, 0);
    EXPECT_EQ(lastCounter, 2'000'000);
    EXPECT_EQ(counterReads(), 3);

    // The next interval runs from the fresh reading, not from the one the rate was taken at.
    countFrames(20);
    EXPECT_STREQ(fpsText, "FPS: 59.8");
    pushCounterValue(2'000'000 + 21'000);
    pushCounterValue(3'000'000);
    countFrame();
    EXPECT_STREQ(fpsText, "FPS: 1000.0");
    EXPECT_EQ(lastCounter, 3'000'000);
    EXPECT_EQ(counterUnderruns(), 0);
}

TEST_F(FrameRate, AbsurdRatesStillFitTheBuffer)
{
    constexpr int64_t most = std::numeric_limits<int64_t>::max();
    constexpr int64_t least = std::numeric_limits<int64_t>::min();
    struct Case {
        int64_t frequency, start, now;
        const char* expected;
    };
    const Case cases[] = {
        {most, 0, 1, "FPS: 193690812773950291968.0"},
        {most, 1, 0, "FPS: -193690812773950291968.0"},  // time ran backwards: the longest text there is
        {1, 0, 0, "FPS: inf"},                          // no time passed at all
        {0, 0, 100, "FPS: 0.0"},                        // a zero frequency
        {1000, most, least, "FPS: 21000.0"},            // the counter wrapped round: one tick passed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "frequency " << c.frequency << ", " << c.start << " to " << c.now);
        resetShellState();
        resetTestPlatform();
        setCounterFrequency(c.frequency);
        pushCounterValue(c.start);
        startFrameClock();
        pushCounterValue(c.now);
        pushCounterValue(c.now);
        countFrames(21);

        ASSERT_NE(std::memchr(fpsText, '\0', sizeof fpsText), nullptr);
        EXPECT_STREQ(fpsText, c.expected);
    }
}

// A scripted event queue standing in for the platform's, and a trace of what the loop did:
// e = an event handled, n = the queue was empty, q = a quit taken, R = frame drawn, P = frame presented.
std::deque<EventTaken> scriptedEvents;
int scriptedQuitCode = 0;
std::string loopTrace;

EventTaken takeScriptedEvent(int* exitCode)
{
    if (scriptedEvents.empty()) {
        loopTrace += '!';  // the loop ran past the script's quit
        *exitCode = -1;
        return EventTaken::quit;
    }
    const EventTaken taken = scriptedEvents.front();
    scriptedEvents.pop_front();
    loopTrace += taken == EventTaken::handled ? 'e' : taken == EventTaken::none ? 'n' : 'q';
    if (taken == EventTaken::quit) {
        *exitCode = scriptedQuitCode;
    }
    return taken;
}

void renderScripted()
{
    loopTrace += 'R';
}

void presentScripted()
{
    loopTrace += 'P';
}

class MainLoop : public testing::Test {
protected:
    void SetUp() override
    {
        resetShellState();
        resetTestPlatform();
        setCounterFrequency(1000);
        scriptedEvents.clear();
        scriptedQuitCode = 0;
        loopTrace.clear();
    }

    const LoopServices services = {takeScriptedEvent, renderScripted, presentScripted};
};

TEST_F(MainLoop, HandlesOneEventPerTurnAndDrawsOnlyWhenTheQueueIsEmpty)
{
    using enum EventTaken;
    scriptedEvents = {handled, handled, none, handled, none, none, quit, handled, none};

    EXPECT_EQ(runMainLoop(services), 0);

    EXPECT_EQ(loopTrace, "eenRPenRPnRPq");
    EXPECT_EQ(frameCount, 3) << "every presented frame is counted";
    EXPECT_EQ(quitRequested, 1);
    EXPECT_EQ(scriptedEvents.size(), 2u) << "nothing is taken after the first quit";
}

TEST_F(MainLoop, ReturnsTheQuitCodeAndFeedsTheRateMeasurement)
{
    for (int frame = 0; frame < 21; ++frame) {
        scriptedEvents.push_back(EventTaken::none);
    }
    scriptedEvents.push_back(EventTaken::quit);
    scriptedQuitCode = 3;
    pushCounterValue(0);
    startFrameClock();
    pushCounterValue(700);  // 21 frames in 0.7 s
    pushCounterValue(800);

    EXPECT_EQ(runMainLoop(services), 3);
    EXPECT_STREQ(fpsText, "FPS: 30.0");
    EXPECT_EQ(loopTrace.back(), 'q');
}

}  // namespace
