// The unit test binary's platform services: a scripted performance counter, recorded notices and key state
// that tests set. Defined in testPlatform.cpp; resetTestPlatform puts everything back to empty.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"

void resetTestPlatform();

// readPerformanceCounter hands out pushed values in order; once they run out it repeats the last one
// and counts the shortfall in counterUnderruns().
void pushCounterValue(int64_t value);
void setCounterFrequency(int64_t ticksPerSecond);
int counterReads();
int counterUnderruns();

std::vector<std::pair<std::string, std::string>>& recordedNotices();

void setKeyDown(ControlKey key, bool down);
