// The platform services for the test binaries: a counter that replays the values a test pushed,
// notices kept in a list, and key state the test sets. Pairs with base/platform.h, which the backends fill in.
#include "support/testPlatform.h"

#include <cstdio>
#include <deque>

namespace {

struct TestPlatform {
    std::deque<int64_t> counterValues;
    int64_t lastCounterValue = 0;
    int64_t frequency = 1;
    int reads = 0;
    int underruns = 0;
    bool keyDown[controlKeyCount] = {};
    std::vector<std::pair<std::string, std::string>> notices;
};

TestPlatform platform;

}  // namespace

void resetTestPlatform()
{
    platform = TestPlatform{};
}

void pushCounterValue(int64_t value)
{
    platform.counterValues.push_back(value);
}

void setCounterFrequency(int64_t ticksPerSecond)
{
    platform.frequency = ticksPerSecond;
}

int counterReads()
{
    return platform.reads;
}

int counterUnderruns()
{
    return platform.underruns;
}

std::vector<std::pair<std::string, std::string>>& recordedNotices()
{
    return platform.notices;
}

void setKeyDown(ControlKey key, bool down)
{
    platform.keyDown[static_cast<int>(key)] = down;
}

bool pollControlKey(ControlKey key)
{
    return platform.keyDown[static_cast<int>(key)];
}

void showNotice(const char* caption, const char* text)
{
    platform.notices.emplace_back(caption, text);
}

int64_t readPerformanceCounter()
{
    TestPlatform& state = platform;
    ++state.reads;
    if (state.counterValues.empty()) {
        ++state.underruns;
        return state.lastCounterValue;
    }
    state.lastCounterValue = state.counterValues.front();
    state.counterValues.pop_front();
    return state.lastCounterValue;
}

int64_t readPerformanceFrequency()
{
    return platform.frequency;
}

// The tests find files by the paths they name; no font or skin is looked for beside the test binary.
// Texts for the user go to the test's own streams, where a failing case shows them.
void writeUserText(UserStream stream, const char* text)
{
    std::fputs(text, stream == UserStream::error ? stderr : stdout);
}

std::string executableFolder()
{
    return std::string();
}
