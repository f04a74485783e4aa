// Keyframe names into animation runs; see md2Animations.h.
#include "model/md2Animations.h"

#include <cstring>
#include <unordered_set>

namespace {

struct SplitName {
    std::string prefix;
    bool numbered = false;  // trailing digits that fit in 64 bits
    uint64_t number = 0;
};

SplitName splitName(const std::string& name)
{
    size_t digitsStart = name.size();
    while (digitsStart > 0 && name[digitsStart - 1] >= '0' && name[digitsStart - 1] <= '9') {
        --digitsStart;
    }
    SplitName split;
    split.prefix = name.substr(0, digitsStart);
    if (digitsStart == name.size()) {
        return split;
    }
    uint64_t number = 0;
    for (size_t i = digitsStart; i < name.size(); ++i) {
        const uint64_t digit = uint64_t(name[i] - '0');
        if (number > (UINT64_MAX - digit) / 10) {
            return split;
        }
        number = number * 10 + digit;
    }
    split.numbered = true;
    split.number = number;
    return split;
}

bool continues(const SplitName& previous, const SplitName& next)
{
    return previous.numbered && next.numbered && previous.prefix == next.prefix && previous.number != UINT64_MAX &&
           next.number == previous.number + 1;
}

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

// A repeated name becomes NAME_2, NAME_3... in frame order, skipping any that a run already has, and names are
// told apart without case since --anim picks them without case.
void makeNamesUnique(std::vector<Md2Animation>& runs)
{
    std::unordered_set<std::string> taken;
    for (const Md2Animation& run : runs) {
        taken.insert(lowerAscii(run.name));
    }
    std::unordered_set<std::string> seen;
    for (Md2Animation& run : runs) {
        const std::string key = lowerAscii(run.name);
        if (seen.insert(key).second) {
            continue;
        }
        for (int suffix = 2;; ++suffix) {
            std::string candidate = run.name + "_" + std::to_string(suffix);
            if (taken.insert(lowerAscii(candidate)).second) {
                seen.insert(lowerAscii(candidate));
                run.name = std::move(candidate);
                break;
            }
        }
    }
}

}  // namespace

std::vector<Md2Animation> findAnimations(const std::vector<std::string>& frameNames)
{
    std::vector<Md2Animation> runs;
    SplitName previous;
    for (size_t i = 0; i < frameNames.size(); ++i) {
        SplitName current = splitName(frameNames[i]);
        const auto index = static_cast<int32_t>(i);
        if (!runs.empty() && continues(previous, current)) {
            runs.back().last = index;
        } else {
            runs.push_back({current.numbered ? current.prefix : frameNames[i], index, index});
        }
        previous = std::move(current);
    }
    makeNamesUnique(runs);
    return runs;
}

std::vector<Md2Animation> findAnimations(const Md2Model& model)
{
    std::vector<std::string> names;
    names.reserve(model.numFrames > 0 ? size_t(model.numFrames) : 0);
    for (int32_t i = 0; i < model.numFrames; ++i) {
        names.push_back(frameNameAt(model, i));
    }
    return findAnimations(names);
}

std::string frameNameAt(const Md2Model& model, int32_t index)
{
    if (!model.frames || index < 0 || index >= model.numFrames) {
        return {};
    }
    const char* name = model.frames[index].name;
    const size_t capacity = sizeof model.frames[index].name;
    const void* terminator = std::memchr(name, '\0', capacity);
    return std::string(name, terminator ? size_t(static_cast<const char*>(terminator) - name) : capacity);
}

const Md2Animation* animationHolding(const std::vector<Md2Animation>& animations, int32_t keyframe)
{
    for (const Md2Animation& animation : animations) {
        if (keyframe >= animation.first && keyframe <= animation.last) {
            return &animation;
        }
    }
    return nullptr;
}
