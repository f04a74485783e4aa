// The viewer's playback clock: keyframe positions from scripted or real times, looping within a run.
// Pairs with model/md2Blend.cpp, which draws the pose it names.
#include "scene/playback.h"

#include <cmath>

namespace {

int64_t runLength(const PlaybackClock& clock)
{
    const int64_t length = int64_t(clock.last) - int64_t(clock.first) + 1;
    return length < 1 ? 1 : length;
}

bool usableRate(double rate)
{
    return std::isfinite(rate) && rate > 0.0;
}

// Keyframes past `first` at `now`, in [0, run length).
double positionAt(const PlaybackClock& clock, double now)
{
    const int64_t length = runLength(clock);
    if (!clock.playing || length == 1) {
        return clock.anchorPosition;
    }
    const double count = double(length);
    double position = std::fmod(clock.anchorPosition + (now - clock.anchorTime) * clock.rate, count);
    // A clock read before its anchor (a counter that stepped back) runs backwards rather than failing.
    if (position < 0.0) {
        position += count;
    }
    if (!(position >= 0.0 && position < count)) {
        return std::isfinite(position) ? 0.0 : clock.anchorPosition;
    }
    return position;
}

PlaybackPose poseAt(const PlaybackClock& clock, double position)
{
    const int64_t length = runLength(clock);
    int64_t index = int64_t(std::floor(position));
    if (index < 0) {
        index = 0;
    } else if (index >= length) {
        index = length - 1;
    }
    float blend = float(position - double(index));
    // A fraction just under one rounds to 1.0f as a float: that is the next keyframe, whole.
    if (blend >= 1.0f) {
        index = index + 1 == length ? 0 : index + 1;
        blend = 0.0f;
    }
    if (!(blend > 0.0f) || length == 1) {
        blend = 0.0f;
    }
    PlaybackPose pose;
    pose.from = int32_t(clock.first + index);
    pose.to = length == 1 ? pose.from : int32_t(clock.first + (index + 1 == length ? 0 : index + 1));
    pose.blend = blend;
    return pose;
}

void anchorAt(PlaybackClock& clock, double position, double now)
{
    clock.anchorPosition = position;
    clock.anchorTime = now;
}

}  // namespace

void startPlayback(PlaybackClock& clock, int32_t first, int32_t last, double rate, double now)
{
    if (usableRate(rate)) {
        clock.rate = rate;
    }
    clock.playing = true;
    setPlaybackRun(clock, first, last, now);
}

void setPlaybackRun(PlaybackClock& clock, int32_t first, int32_t last, double now)
{
    clock.first = first;
    clock.last = last < first ? first : last;
    anchorAt(clock, 0.0, now);
}

PlaybackPose playbackPose(const PlaybackClock& clock, double now)
{
    return poseAt(clock, positionAt(clock, now));
}

void pausePlayback(PlaybackClock& clock, double now)
{
    if (clock.playing) {
        anchorAt(clock, positionAt(clock, now), now);
        clock.playing = false;
    }
}

void resumePlayback(PlaybackClock& clock, double now)
{
    if (!clock.playing) {
        clock.anchorTime = now;
        clock.playing = true;
    }
}

void togglePlayback(PlaybackClock& clock, double now)
{
    if (clock.playing) {
        pausePlayback(clock, now);
    } else {
        resumePlayback(clock, now);
    }
}

void stepPlayback(PlaybackClock& clock, int32_t delta, double now)
{
    const int64_t length = runLength(clock);
    const int64_t shown = int64_t(playbackPose(clock, now).from) - clock.first;
    const int64_t target = ((shown + delta) % length + length) % length;
    anchorAt(clock, double(target), now);
    clock.playing = false;
}

void setPlaybackRate(PlaybackClock& clock, double rate, double now)
{
    if (!usableRate(rate)) {
        return;
    }
    anchorAt(clock, positionAt(clock, now), now);
    clock.rate = rate;
}

void showKeyframe(PlaybackClock& clock, double position, double now)
{
    const double lastOffset = double(runLength(clock) - 1);
    double offset = position - double(clock.first);
    if (!(offset > 0.0)) {
        offset = 0.0;  // also a position that is not a number
    } else if (offset > lastOffset) {
        offset = lastOffset;
    }
    anchorAt(clock, offset, now);
    clock.playing = false;
}

int32_t playbackKeyframe(const PlaybackPose& pose)
{
    return pose.from;
}
