// The test binaries' platform services (unit and GL tests alike): a scripted performance counter, recorded
// notices and key state that tests set. Defined in testPlatform.cpp; resetTestPlatform puts everything back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/platform.h"

void resetTestPlatform();

// readPerformanceCounter hands out pushed values in order; once they run out it repeats the last one
// and counts the shortfall in counterUnderruns().
void pushCounterValue(int64_t value);
void setCounterFrequency(int64_t ticksPerSecond);
int counterReads();
int counterUnderruns();

// Every showNotice call so far as (caption, text), oldest first; tests clear it as they need.
std::vector<std::pair<std::string, std::string>>& recordedNotices();

// What pollControlKey reports for the key from now on; every key starts up.
void setKeyDown(ControlKey key, bool down);
