// A model's animations found from its keyframe names: runs like stand01..stand40, for --info, --anim and
// playback. GL-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/md2.h"

struct Md2Animation {
    std::string name;  // the frames' shared prefix, raw bytes from the file, made unique; may be empty
    int32_t first;     // keyframe indices, inclusive
    int32_t last;
};

// An animation is a run of consecutive keyframes whose names share a prefix (the name without its trailing
// digits) and whose numbers go up by one, so pain101..pain104 then pain201 are two runs both named "pain".
// A name without trailing digits (an empty one included) is a run of its own. Leading zeros do not count:
// stand01 is 1, and stand09, stand10 continue each other. A name of digits only has the empty prefix, so
// 0, 1, 2 are one run named "". A number too big for 64 bits ends its run and starts none: it is a run of
// its own. Runs are listed in frame order and together cover every keyframe once.
// Names are unique without regard to ASCII case: a name met again gets _2, _3... in frame order (pain, pain_2),
// skipping a suffix some run is already called, so runs named pain, pain_2, pain give pain, pain_2, pain_3. An
// empty name stays empty the first time, and its repeats are _2, _3.
std::vector<Md2Animation> findAnimations(const std::vector<std::string>& frameNames);
std::vector<Md2Animation> findAnimations(const Md2Model& model);

// The run that holds keyframe (first and last included), or nullptr when none does.
const Md2Animation* animationHolding(const std::vector<Md2Animation>& animations, int32_t keyframe);

// The keyframe's name up to its terminator (16 bytes at most); empty for an index outside the frames.
std::string frameNameAt(const Md2Model& model, int32_t index);
