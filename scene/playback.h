// The viewer's playback clock: which two keyframes of a looping run to draw, and how far between them, at a
// time the caller reads from the platform's counter. GL-free; model/md2Blend.h turns a pose into vertices.
#pragma once

#include <cstdint>

// Draw keyframe `from` blended towards `to` by `blend` in [0, 1). A one-keyframe run has from == to.
struct PlaybackPose {
    int32_t from = 0;
    int32_t to = 0;
    float blend = 0.0f;
};

// A run of keyframes first..last that loops: after last it blends back to first. The position is kept as an
// anchor (keyframes past `first` at `anchorTime`) so that pausing, resuming and rate changes never jump, and
// long sessions keep their precision: only the time since the last change is ever multiplied by the rate.
struct PlaybackClock {
    int32_t first = 0;
    int32_t last = 0;
    double rate = 10.0;           // keyframes per second
    double anchorPosition = 0.0;  // in [0, last - first + 1)
    double anchorTime = 0.0;      // seconds
    bool playing = false;
};

// Plays first..last from its first keyframe at `rate` keyframes per second. A last before first is taken as
// first; a rate that is not a positive finite number keeps the clock's current one.
void startPlayback(PlaybackClock& clock, int32_t first, int32_t last, double rate, double now);

// Moves to another run's first keyframe, keeping the rate and whether it plays.
void setPlaybackRun(PlaybackClock& clock, int32_t first, int32_t last, double now);

PlaybackPose playbackPose(const PlaybackClock& clock, double now);

// Pausing freezes the pose exactly; resuming carries on from it.
void pausePlayback(PlaybackClock& clock, double now);
void resumePlayback(PlaybackClock& clock, double now);
void togglePlayback(PlaybackClock& clock, double now);

// Pauses on the whole keyframe `delta` keyframes from the one shown (the pose's `from`), wrapping within the run.
void stepPlayback(PlaybackClock& clock, int32_t delta, double now);

// Keeps the pose continuous across the change; a rate that is not a positive finite number is ignored.
void setPlaybackRate(PlaybackClock& clock, double rate, double now);

// Pauses at keyframe `position` of the model, a fraction blending towards the next one (10.25: keyframe 10
// blended a quarter of the way to 11). Clamped into the run, so a fraction past its last keyframe shows the last.
void showKeyframe(PlaybackClock& clock, double position, double now);

// The keyframe the status line names for a pose.
int32_t playbackKeyframe(const PlaybackPose& pose);
