// Animation runs from keyframe names: numbered runs, gaps, names without digits, names reused later, and
// the numbers at the edges (leading zeros, digits only, too many digits).
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "app/info.h"
#include "model/md2.h"
#include "model/md2Animations.h"
#include "support/md2Builder.h"

namespace {

struct AnimationCase {
    const char* label;
    std::vector<std::string> names;
    std::vector<Md2Animation> runs;
};

const AnimationCase animationCases[] = {
    {"none", {}, {}},
    {"one numbered run", {"stand01", "stand02", "stand03"}, {{"stand", 0, 2}}},
    {"two prefixes", {"stand1", "stand2", "run1", "run2", "run3"}, {{"stand", 0, 1}, {"run", 2, 4}}},
    {"hundreds restart a run",
     {"pain101", "pain102", "pain103", "pain104", "pain201", "pain202"},
     {{"pain", 0, 3}, {"pain_2", 4, 5}}},
    {"gap in numbering", {"walk1", "walk2", "walk4", "walk5"}, {{"walk", 0, 1}, {"walk_2", 2, 3}}},
    {"repeated number", {"idle1", "idle1"}, {{"idle", 0, 0}, {"idle_2", 1, 1}}},
    {"numbers going down", {"fall2", "fall1"}, {{"fall", 0, 0}, {"fall_2", 1, 1}}},
    {"no digits: each its own run", {"base", "base", "pose"}, {{"base", 0, 0}, {"base_2", 1, 1}, {"pose", 2, 2}}},
    {"name reused after another",
     {"run1", "run2", "stand1", "run3", "run4"},
     {{"run", 0, 1}, {"stand", 2, 2}, {"run_2", 3, 4}}},
    {"unnumbered then numbered", {"jump", "jump1", "jump2"}, {{"jump", 0, 0}, {"jump_2", 1, 2}}},
    {"leading zeros", {"stand08", "stand09", "stand10", "stand011"}, {{"stand", 0, 3}}},
    {"zero padding changes", {"crouch001", "crouch2"}, {{"crouch", 0, 1}}},
    {"prefix differs only by case", {"Run1", "run2"}, {{"Run", 0, 0}, {"run_2", 1, 1}}},
    {"digits inside the prefix", {"a1b1", "a1b2", "a2b3"}, {{"a1b", 0, 1}, {"a2b", 2, 2}}},
    {"digits only share the empty prefix", {"0", "1", "2", "x5"}, {{"", 0, 2}, {"x", 3, 3}}},
    {"empty names each their own run", {"", "", "a1"}, {{"", 0, 0}, {"_2", 1, 1}, {"a", 2, 2}}},
    {"largest 64-bit numbers continue", {"x18446744073709551614", "x18446744073709551615"}, {{"x", 0, 1}}},
    {"number past 64 bits stands alone",
     {"x18446744073709551615", "x18446744073709551616", "x18446744073709551617"},
     {{"x", 0, 0}, {"x18446744073709551616", 1, 1}, {"x18446744073709551617", 2, 2}}},
    // Unique names: repeats are numbered in frame order, and a name some run already has is never made again.
    {"three runs of one name",
     {"pain1", "pain2", "pain5", "pain9"},
     {{"pain", 0, 1}, {"pain_2", 2, 2}, {"pain_3", 3, 3}}},
    {"each name counts its own repeats",
     {"a1", "b1", "a5", "b5", "a9"},
     {{"a", 0, 0}, {"b", 1, 1}, {"a_2", 2, 2}, {"b_2", 3, 3}, {"a_3", 4, 4}}},
    // A name cannot end in a digit (its digits are the numbering), so a repeat can only meet an underscore.
    {"a name ending in an underscore", {"pain_21", "pain_22", "pain_5"}, {{"pain_", 0, 1}, {"pain__2", 2, 2}}},
    {"repeats told apart without case",
     {"Pain1", "pAIN5", "pain9"},
     {{"Pain", 0, 0}, {"pAIN_2", 1, 1}, {"pain_3", 2, 2}}},
    {"repeats without digits", {"", "", ""}, {{"", 0, 0}, {"_2", 1, 1}, {"_3", 2, 2}}},
};

class AnimationTable : public testing::TestWithParam<AnimationCase> {};

TEST_P(AnimationTable, FindsTheRuns)
{
    const AnimationCase& c = GetParam();
    const std::vector<Md2Animation> runs = findAnimations(c.names);
    ASSERT_EQ(runs.size(), c.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].name, c.runs[i].name) << "run " << i;
        EXPECT_EQ(runs[i].first, c.runs[i].first) << "run " << i;
        EXPECT_EQ(runs[i].last, c.runs[i].last) << "run " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Animations, AnimationTable, testing::ValuesIn(animationCases),
                         [](const testing::TestParamInfo<AnimationCase>& info) {
                             std::string name;
                             for (const char* c = info.param.label; *c; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

TEST(Animations, ModelFramesAreReadUpToTheirTerminator)
{
    Md2Description d;
    for (const char* name : {"stand01", "stand02", "abcdefghijklmno7", "abcdefghijklmno8"}) {
        Md2BuildFrame frame;
        frame.name = name;  // the 16-character names leave no terminator in the file
        frame.vertices = {{1, 2, 3, 0}};
        d.frames.push_back(frame);
    }
    const std::vector<uint8_t> bytes = buildMd2(d);
    std::unique_ptr<Md2Model, void (*)(Md2Model*)> model(parseMd2Model(bytes.data(), bytes.size()), freeMd2Model);
    ASSERT_NE(model, nullptr);

    EXPECT_EQ(frameNameAt(*model, 1), "stand02");
    EXPECT_EQ(frameNameAt(*model, 4), "");
    EXPECT_EQ(frameNameAt(*model, -1), "");
    // The loader keeps 15 characters, so the last digit is lost and the two long names read the same.
    EXPECT_EQ(frameNameAt(*model, 2), "abcdefghijklmno");
    const std::vector<Md2Animation> runs = findAnimations(*model);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].name, "stand");
    EXPECT_EQ(runs[0].last, 1);
    EXPECT_EQ(runs[1].name, "abcdefghijklmno");
    EXPECT_EQ(runs[2].first, 3);
}

}  // namespace

namespace {

// The status line names the run holding the keyframe shown and its place in it, last keyframes included.
TEST(Animations, EveryKeyframeIsHeldByItsRunUpToTheLast)
{
    const std::vector<Md2Animation> runs = findAnimations({"walk1", "walk2", "walk3", "walk4", "stand1", "stand2"});
    const std::pair<int32_t, const char*> expected[] = {
        {0, "m.md2  walk 1/4  no skin"},
        {3, "m.md2  walk 4/4  no skin"},
        {4, "m.md2  stand 1/2  no skin"},
        {5, "m.md2  stand 2/2  no skin"},
    };
    for (const auto& [keyframe, line] : expected) {
        const Md2Animation* run = animationHolding(runs, keyframe);
        ASSERT_NE(run, nullptr) << keyframe;
        EXPECT_EQ(formatStatusLine("m.md2", run->name, keyframe - run->first + 1, run->last - run->first + 1, ""),
                  line);
    }
    EXPECT_EQ(animationHolding(runs, -1), nullptr);
    EXPECT_EQ(animationHolding(runs, 6), nullptr);
    EXPECT_EQ(animationHolding({}, 0), nullptr);
}

}  // namespace
