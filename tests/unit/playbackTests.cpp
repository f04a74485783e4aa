// Tests of the playback clock, driven with scripted times: looping within a run, pause and resume, stepping,
// rate changes, fixed keyframes, switching runs, one-keyframe runs and long sessions.
#include "scene/playback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

enum class Op { look, pause, resume, toggle, step, rate, show, run };

// One action at a time `at`, then the pose expected at that same time.
struct Action {
    Op op;
    double at;
    double value;  // step: delta; rate: keyframes per second; show: position; run: first (last is first + 9)
    int32_t from;
    int32_t to;
    float blend;
};

void apply(PlaybackClock& clock, const Action& action)
{
    switch (action.op) {
    case Op::look:
        break;
    case Op::pause:
        pausePlayback(clock, action.at);
        break;
    case Op::resume:
        resumePlayback(clock, action.at);
        break;
    case Op::toggle:
        togglePlayback(clock, action.at);
        break;
    case Op::step:
        stepPlayback(clock, int32_t(action.value), action.at);
        break;
    case Op::rate:
        setPlaybackRate(clock, action.value, action.at);
        break;
    case Op::show:
        showKeyframe(clock, action.value, action.at);
        break;
    case Op::run:
        setPlaybackRun(clock, int32_t(action.value), int32_t(action.value) + 9, action.at);
        break;
    }
}

void runScript(PlaybackClock& clock, const std::vector<Action>& script)
{
    for (size_t i = 0; i < script.size(); ++i) {
        const Action& action = script[i];
        apply(clock, action);
        const PlaybackPose pose = playbackPose(clock, action.at);
        SCOPED_TRACE("row " + std::to_string(i) + " at " + std::to_string(action.at));
        EXPECT_EQ(pose.from, action.from);
        EXPECT_EQ(pose.to, action.to);
        EXPECT_NEAR(pose.blend, action.blend, 1e-5);
        EXPECT_GE(pose.blend, 0.0f);
        EXPECT_LT(pose.blend, 1.0f);
    }
}

TEST(PlaybackClock, LoopsPausesStepsAndChangesRateWithoutJumps)
{
    PlaybackClock clock;
    startPlayback(clock, 40, 45, 10.0, 100.0);  // six keyframes, 0.6 s round
    runScript(clock, {
                         {Op::look, 100.0, 0, 40, 41, 0.0f},
                         {Op::look, 100.125, 0, 41, 42, 0.25f},
                         {Op::look, 100.55, 0, 45, 40, 0.5f},  // the last keyframe blends back to the first
                         {Op::look, 100.6, 0, 40, 41, 0.0f},
                         {Op::look, 101.325, 0, 41, 42, 0.25f},  // 13.25 keyframes in: two rounds and 1.25
                         {Op::pause, 101.325, 0, 41, 42, 0.25f},
                         {Op::look, 105.0, 0, 41, 42, 0.25f},    // frozen however long it stays paused
                         {Op::pause, 106.0, 0, 41, 42, 0.25f},   // pausing again changes nothing
                         {Op::resume, 110.0, 0, 41, 42, 0.25f},  // carries on from the frozen pose
                         {Op::look, 110.05, 0, 41, 42, 0.75f},
                         {Op::rate, 110.05, 20.0, 41, 42, 0.75f},  // continuous across the change
                         {Op::look, 110.1, 0, 42, 43, 0.75f},      // then twice as fast
                         {Op::rate, 110.1, 0.0, 42, 43, 0.75f},    // not a usable rate: ignored
                         {Op::rate, 110.1, -5.0, 42, 43, 0.75f},
                         {Op::rate, 110.1, NAN, 42, 43, 0.75f},
                         {Op::look, 110.15, 0, 43, 44, 0.75f},
                         {Op::step, 110.15, 1, 44, 45, 0.0f},  // a whole keyframe past the one shown, paused
                         {Op::look, 120.0, 0, 44, 45, 0.0f},
                         {Op::step, 120.0, 1, 45, 40, 0.0f},
                         {Op::step, 120.0, 1, 40, 41, 0.0f},    // wraps forward within the run
                         {Op::step, 120.0, -1, 45, 40, 0.0f},   // and back
                         {Op::step, 120.0, -13, 44, 45, 0.0f},  // more than a round: wraps as often as it takes
                         {Op::toggle, 200.0, 0, 44, 45, 0.0f},
                         {Op::look, 200.075, 0, 45, 40, 0.5f},
                         {Op::toggle, 200.075, 0, 45, 40, 0.5f},
                         {Op::look, 300.0, 0, 45, 40, 0.5f},
                         {Op::rate, 300.0, 10.0, 45, 40, 0.5f},  // a rate change while paused keeps it paused
                         {Op::look, 301.0, 0, 45, 40, 0.5f},
                     });
    EXPECT_FALSE(clock.playing);
}

TEST(PlaybackClock, ShowsFixedKeyframesClampedIntoTheRunAndSwitchesRuns)
{
    PlaybackClock clock;
    startPlayback(clock, 0, 19, 10.0, 0.0);
    runScript(clock, {
                         {Op::show, 1.0, 10.25, 10, 11, 0.25f},  // --frame 10.25
                         {Op::look, 50.0, 0, 10, 11, 0.25f},     // paused
                         {Op::show, 1.0, 19.5, 19, 0, 0.0f},     // no fraction past the last keyframe
                         {Op::show, 1.0, 400.0, 19, 0, 0.0f},
                         {Op::show, 1.0, -3.0, 0, 1, 0.0f},
                         {Op::show, 1.0, NAN, 0, 1, 0.0f},
                         {Op::show, 1.0, 3.0, 3, 4, 0.0f},
                         {Op::run, 2.0, 20, 20, 21, 0.0f},  // a new run starts at its first keyframe and stays paused
                         {Op::look, 9.0, 0, 20, 21, 0.0f},
                         {Op::show, 9.0, 10.25, 20, 21, 0.0f},  // the model's keyframe 10 is not in this run
                         {Op::resume, 10.0, 0, 20, 21, 0.0f},
                         {Op::look, 10.25, 0, 22, 23, 0.5f},
                         {Op::run, 10.25, 100, 100, 101, 0.0f},  // switching while playing keeps playing
                         {Op::look, 10.5, 0, 102, 103, 0.5f},
                     });
}

TEST(PlaybackClock, OneKeyframeRunShowsItAndPlaysNothing)
{
    PlaybackClock clock;
    startPlayback(clock, 7, 7, 10.0, 0.0);
    runScript(clock, {
                         {Op::look, 0.0, 0, 7, 7, 0.0f},
                         {Op::look, 0.33, 0, 7, 7, 0.0f},
                         {Op::look, 12345.6, 0, 7, 7, 0.0f},
                         {Op::step, 20.0, 1, 7, 7, 0.0f},
                         {Op::step, 20.0, -1, 7, 7, 0.0f},
                         {Op::show, 20.0, 7.5, 7, 7, 0.0f},
                     });
    // A run given backwards is taken as its first keyframe alone.
    startPlayback(clock, 9, 3, 10.0, 0.0);
    EXPECT_EQ(playbackPose(clock, 0.5).from, 9);
    EXPECT_EQ(playbackPose(clock, 0.5).to, 9);
}

TEST(PlaybackClock, KeepsItsPrecisionOverLongSessions)
{
    // A counter that has run for thirty years, then a year of play: only doubles anchored near the last
    // change keep a quarter keyframe visible after 315 million keyframes.
    const double start = 1.0e9;
    const double year = 365.0 * 86400.0;
    PlaybackClock clock;
    startPlayback(clock, 0, 5, 10.0, start);
    PlaybackPose pose = playbackPose(clock, start + year + 0.125);
    EXPECT_EQ(pose.from, 1);  // 315,360,001.25 keyframes: 1.25 into a round of six
    EXPECT_EQ(pose.to, 2);
    EXPECT_NEAR(pose.blend, 0.25f, 1e-4);

    // Pausing and resuming so far out still lands on the same pose.
    pausePlayback(clock, start + year + 0.125);
    resumePlayback(clock, start + 2 * year);
    pose = playbackPose(clock, start + 2 * year + 0.05);
    EXPECT_EQ(pose.from, 1);
    EXPECT_NEAR(pose.blend, 0.75f, 1e-4);
}

TEST(PlaybackClock, BlendNeverRoundsUpToAWholeKeyframe)
{
    // Just short of keyframe 2: the double fraction rounds to 1.0f, which must become keyframe 2 itself.
    PlaybackClock clock;
    startPlayback(clock, 0, 2, 1.0, 0.0);
    for (const double at : {std::nextafter(2.0, 0.0), std::nextafter(3.0, 0.0), 3.0 - 1e-12}) {
        const PlaybackPose pose = playbackPose(clock, at);
        EXPECT_LT(pose.blend, 1.0f) << at;
        const double shown = pose.from + double(pose.blend);
        const double expected = std::fmod(at, 3.0);
        EXPECT_NEAR(std::fmod(shown - expected + 4.5, 3.0), 1.5, 1e-6) << at;  // equal modulo the run
    }
}

TEST(PlaybackClock, StatusLineNamesTheKeyframeBeingLeft)
{
    EXPECT_EQ(playbackKeyframe(PlaybackPose{4, 5, 0.9f}), 4);
    EXPECT_EQ(playbackKeyframe(PlaybackPose{45, 40, 0.0f}), 45);
}

}  // namespace
