// The viewer session without GL: drops, animation switching, the status line and the skin policy, driven through
// events and times as a window would drive them, with every file served from memory by a test source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "scene/viewerSession.h"
#include "support/md2Builder.h"
#include "support/memorySource.h"
#include "support/tgaBuilder.h"

namespace {

// Keyframes named stand1 stand2 run1 run2 run3: two runs, one vertex each, a skin entry naming skins/Blue.pcx.
std::vector<uint8_t> twoRunModel(const std::string& skinName = "models/x/skins/Blue.pcx")
{
    Md2Description model;
    model.skinWidth = 2;
    model.skinHeight = 2;
    model.skins = {skinName};
    for (const char* name : {"stand1", "stand2", "run1", "run2", "run3"}) {
        Md2BuildFrame frame;
        frame.name = name;
        frame.vertices = {{10, 20, 30, 0}};
        model.frames.push_back(frame);
    }
    return buildMd2(model);
}

std::vector<uint8_t> smallTga()
{
    TgaDescription tga;
    return buildTga(tga);
}

void collectWarning(void* context, const char* line)
{
    static_cast<std::vector<std::string>*>(context)->push_back(line);
}

class Session : public testing::Test {
protected:
    MemoryFiles memory;
    ViewerSession session;
    std::vector<std::string> warnings;

    void SetUp() override
    {
        session.source = FileSource{&memory, readMemory, listMemory};
        session.warnings = ViewerWarnings{&warnings, collectWarning};
    }

    // What prepareViewer does for a model named on the command line.
    void open(const std::string& path)
    {
        std::string reason;
        session.body.model = openViewerModel(session.source, path, &reason);
        ASSERT_TRUE(session.body.model) << reason;
        session.body.path = path;
        startViewerSession(session, 640, 480, 0.0);
        advanceSession(session, 0.0);
    }

    void press(ViewerKey key, double now)
    {
        ViewerEvent event;
        event.kind = ViewerEventKind::keyDown;
        event.key = key;
        handleSessionEvent(session, event);
        event.kind = ViewerEventKind::keyUp;
        handleSessionEvent(session, event);
        advanceSession(session, now);
    }

    void wheelIn(int notches)
    {
        ViewerEvent wheel;
        wheel.kind = ViewerEventKind::wheel;
        wheel.wheel = 1.0f;
        for (int i = 0; i < notches; ++i) {
            handleSessionEvent(session, wheel);
        }
    }

    void drop(const std::string& path, double now)
    {
        ViewerEvent event;
        event.kind = ViewerEventKind::fileDropped;
        event.path = path;
        handleSessionEvent(session, event);
        advanceSession(session, now);
    }
};

TEST_F(Session, FindsTheSkinThroughTheSourceAndNamesItOnTheStatusLine)
{
    memory.files["models/x/tris.md2"] = twoRunModel();
    memory.files["models/x/skins/blue.pcx.bak"] = {1, 2, 3};
    memory.files["models/x/skins/blue.tga"] = smallTga();
    open("models/x/tris.md2");
    EXPECT_TRUE(session.body.hasSkin);
    EXPECT_EQ(session.body.skinPath, "models/x/skins/blue.tga");
    EXPECT_TRUE(session.body.skinPixels.pixels) << "the pixels wait for the GL side to upload them";
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  blue.tga 1/1");
    EXPECT_TRUE(warnings.empty());
    // S hides the skin and says so; pressed again it is back.
    press(ViewerKey::s, 0.01);
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  skin off");
    press(ViewerKey::s, 0.02);
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  blue.tga 1/1");
}

TEST_F(Session, ASkinNotFoundIsANoteANoticeAndAWarningNotAFault)
{
    memory.files["m/tris.md2"] = twoRunModel();
    open("m/tris.md2");
    EXPECT_FALSE(session.body.hasSkin);
    EXPECT_EQ(session.body.skinNote, "no skin");
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  no skin");
    EXPECT_EQ(session.notice, "no skin: tried Blue, tris, skin");
    EXPECT_TRUE(sessionNoticeShown(session, viewerNoticeSeconds - 0.01));
    EXPECT_FALSE(sessionNoticeShown(session, viewerNoticeSeconds + 0.01));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("brevant: m/tris.md2: no skin: tried Blue, tris, skin", 0), 0u) << warnings[0];
}

TEST_F(Session, NoSkinLooksForNothing)
{
    memory.files["m/tris.md2"] = twoRunModel();
    memory.files["m/skin.tga"] = smallTga();
    session.options.noSkin = true;
    open("m/tris.md2");
    EXPECT_FALSE(session.body.hasSkin);
    EXPECT_TRUE(session.notice.empty());
    EXPECT_EQ(std::count(memory.reads.begin(), memory.reads.end(), "m/skin.tga"), 0);
}

TEST_F(Session, PageKeysMoveBetweenRunsAndWrapAround)
{
    memory.files["m/tris.md2"] = twoRunModel();
    session.options.noSkin = true;
    open("m/tris.md2");
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  no skin");
    press(ViewerKey::pageDown, 0.01);
    EXPECT_EQ(session.statusText, "tris.md2  run 1/3 run1  no skin");
    EXPECT_TRUE(session.clock.playing);
    // Ten keyframes a second: 0.15 s into the run shows its second keyframe.
    advanceSession(session, 0.16);
    EXPECT_EQ(session.statusText, "tris.md2  run 2/3 run2  no skin");
    press(ViewerKey::pageDown, 0.17);
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  no skin");
    press(ViewerKey::pageUp, 0.18);
    EXPECT_EQ(session.statusText, "tris.md2  run 1/3 run1  no skin");
}

TEST_F(Session, TabStepsThroughTheModelsInTheFolderWrappingRoundAndABadOneLeavesTheBody)
{
    for (const char* name : {"models/b.md2", "models/A.md2", "models/c.md2", "models/notes.txt", "other/d.md2"}) {
        memory.files[name] = twoRunModel();
    }
    memory.files["models/c.md2"].resize(40);  // cut short
    session.options.noSkin = true;
    open("models/b.md2");
    press(ViewerKey::tab, 1.0);
    EXPECT_EQ(session.notice.rfind("cannot open c.md2: ", 0), 0u) << session.notice;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("brevant: models/c.md2: ", 0), 0u) << warnings[0];
    EXPECT_EQ(session.body.path, "models/b.md2");
    memory.files["models/c.md2"] = twoRunModel();
    press(ViewerKey::tab, 2.0);
    EXPECT_EQ(session.body.path, "models/c.md2");
    EXPECT_EQ(session.notice, "opened c.md2");
    press(ViewerKey::tab, 3.0);
    EXPECT_EQ(session.body.path, "models/A.md2");  // wrapped, names without case
    press(ViewerKey::backTab, 4.0);
    EXPECT_EQ(session.body.path, "models/c.md2");
}

TEST_F(Session, ADroppedModelReplacesTheBodyAndADroppedPictureBecomesItsSkin)
{
    memory.files["m/tris.md2"] = twoRunModel();
    memory.files["other/ogro.md2"] = twoRunModel("");
    memory.files["other/ogro.tga"] = smallTga();
    memory.files["pictures/red.tga"] = smallTga();
    session.options.noSkin = false;
    session.options.animation = "run";
    open("m/tris.md2");
    EXPECT_EQ(session.statusText, "tris.md2  run 1/3 run1  no skin");
    warnings.clear();

    drop("other/ogro.md2", 1.0);
    EXPECT_EQ(session.body.path, "other/ogro.md2");
    EXPECT_EQ(session.notice, "opened ogro.md2");
    // A new model starts at its first run, whatever --anim chose for the first one, with its own skin.
    EXPECT_EQ(session.statusText, "ogro.md2  stand 1/2 stand1  ogro.tga 1/1");
    const uint32_t generation = session.body.skinGeneration;

    press(ViewerKey::s, 1.1);
    drop("pictures/red.tga", 1.2);
    EXPECT_EQ(session.notice, "skin red.tga");
    EXPECT_NE(session.body.skinGeneration, generation) << "the GL side must upload the new picture";
    EXPECT_TRUE(session.skinShown) << "a dropped skin is shown even when S had hidden the last one";
    EXPECT_EQ(session.statusText, "ogro.md2  stand 1/2 stand1  red.tga");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(Session, ABadDropChangesNothingButTheNotice)
{
    memory.files["m/tris.md2"] = twoRunModel();
    memory.files["m/skin.tga"] = smallTga();
    memory.files["bad/cut.md2"] = twoRunModel();
    memory.files["bad/cut.md2"].resize(100);
    memory.files["bad/text.md2"] = {'h', 'e', 'l', 'l', 'o'};
    open("m/tris.md2");
    const uint32_t generation = session.body.skinGeneration;
    struct Case {
        const char* path;
        const char* notice;
    };
    const Case cases[] = {
        {"bad/missing.md2", "cannot open missing.md2: cannot open: No such file or directory"},
        {"bad/cut.md2", "cannot open cut.md2: "},
        // Not an MD2 by its first bytes, so it is tried as a picture, and refused as one.
        {"bad/text.md2", "cannot open text.md2: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        warnings.clear();
        drop(c.path, 2.0);
        EXPECT_EQ(session.notice.rfind(c.notice, 0), 0u) << session.notice;
        EXPECT_GT(session.notice.size(), std::strlen("cannot open ") + std::strlen(c.path) - 4);
        EXPECT_EQ(session.body.path, "m/tris.md2");
        EXPECT_EQ(session.body.skinGeneration, generation);
        EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  skin.tga 1/1");
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0].rfind(std::string("brevant: ") + c.path + ": ", 0), 0u) << warnings[0];
    }
}

TEST(ViewerFileKind, TheMd2MagicAloneMakesAModel)
{
    const struct {
        std::vector<uint8_t> bytes;
        ViewerFileKind kind;
    } cases[] = {
        {{'I', 'D', 'P', '2'}, ViewerFileKind::md2},   {{'I', 'D', 'P', '2', 0, 0}, ViewerFileKind::md2},
        {{'I', 'D', 'P'}, ViewerFileKind::image},      {{'i', 'd', 'p', '2'}, ViewerFileKind::image},
        {{'I', 'D', 'P', '3'}, ViewerFileKind::image}, {{}, ViewerFileKind::image},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(viewerFileKindOf(c.bytes.data(), c.bytes.size()), c.kind) << c.bytes.size();
    }
}

TEST(ViewerModelOpen, AFileWithoutTheMagicIsNotAnMd2File)
{
    MemoryFiles memory;
    memory.files["a.md2"] = smallTga();
    const FileSource source{&memory, readMemory, listMemory};
    std::string reason;
    EXPECT_FALSE(openViewerModel(source, "a.md2", &reason));
    EXPECT_EQ(reason, "not an MD2 file");
}

}  // namespace

// A standing run one unit tall and a death run lying four units wide: the view frames the run it shows.
std::vector<uint8_t> standAndDeathModel()
{
    Md2Description model;
    model.skins = {"players/x/grok.pcx", "players/x/missing.pcx", "players/x/.other"};
    for (const char* name : {"stand1", "stand2", "death1"}) {
        Md2BuildFrame frame;
        frame.name = name;
        const bool lying = name[0] == 'd';
        frame.vertices = {{0, 0, 0, 0},
                          {static_cast<uint8_t>(lying ? 40 : 1), 0, static_cast<uint8_t>(lying ? 0 : 10), 0}};
        model.frames.push_back(frame);
    }
    return buildMd2(model);
}

TEST_F(Session, FramesTheShownRunKeepsTheCameraAcrossRunsAndReframesOnR)
{
    memory.files["m/tris.md2"] = standAndDeathModel();
    open("m/tris.md2");
    const ModelFraming standing = session.state.framing;
    EXPECT_NEAR(standing.radius, 0.5f * std::sqrt(1.0f + 100.0f), 1e-3f);
    const float standingDistance = session.state.camera.distance;

    press(ViewerKey::pageDown, 0.1);
    EXPECT_EQ(session.statusText, "tris.md2  death 1/1 death1  no skin");
    EXPECT_EQ(session.state.framing.radius, standing.radius) << "changing animation keeps the camera";
    EXPECT_EQ(session.state.camera.distance, standingDistance);
    // The lying pose reaches past the eye from the standing run's centre: zooming in cannot come nearer.
    EXPECT_GT(session.state.shownReach * viewerZoomMargin, standingDistance);
    wheelIn(100);
    EXPECT_EQ(session.state.camera.distance, standingDistance);

    press(ViewerKey::r, 0.2);
    EXPECT_NEAR(session.state.framing.radius, 20.0f, 1e-3f) << "R frames the run shown now";
    EXPECT_GT(session.state.camera.distance, standingDistance);
    // Now the eye stops where it would enter the lying pose.
    wheelIn(100);
    EXPECT_NEAR(session.state.camera.distance, 20.0f * viewerZoomMargin, 1e-3f);
}

TEST_F(Session, BracketsCycleTheNamedSkinsThatExistThenTheOtherPictures)
{
    memory.files["m/tris.md2"] = standAndDeathModel();
    memory.files["m/skins/grok.pcx.txt"] = {1};
    memory.files["m/grok.tga"] = smallTga();
    memory.files["m/grok_i.tga"] = smallTga();  // its icon: never a skin to choose
    memory.files["m/skins/other.tga"] = smallTga();
    memory.files["m/zebra.tga"] = smallTga();
    open("m/tris.md2");
    EXPECT_EQ(session.skinChoices, (std::vector<std::string>{"m/grok.tga", "m/skins/other.tga", "m/zebra.tga"}));
    EXPECT_EQ(session.statusText, "tris.md2  stand 1/2 stand1  grok.tga 1/3");
    const auto skinPart = [this] { return session.statusText.substr(session.statusText.rfind("  ") + 2); };
    press(ViewerKey::rightBracket, 0.1);
    EXPECT_EQ(skinPart(), "other.tga 2/3");
    EXPECT_EQ(session.body.skinPath, "m/skins/other.tga");
    press(ViewerKey::leftBracket, 0.2);
    press(ViewerKey::leftBracket, 0.3);
    EXPECT_EQ(skinPart(), "zebra.tga 3/3") << "[ wraps to the last";
}

TEST_F(Session, PausedAndUntouchedNothingChangesUntilTheNoticeGoes)
{
    memory.files["m/tris.md2"] = standAndDeathModel();
    open("m/tris.md2");
    EXPECT_EQ(sessionNextChange(session, 0.0), 0.0) << "playing: every frame changes";
    press(ViewerKey::space, 0.5);
    EXPECT_EQ(sessionNextChange(session, 1.0), session.noticeTime + viewerNoticeSeconds) << "the no-skin notice";
    EXPECT_EQ(sessionNextChange(session, 10.0), HUGE_VAL);
    ViewerEvent held;
    held.kind = ViewerEventKind::keyDown;
    held.key = ViewerKey::left;
    handleSessionEvent(session, held);
    EXPECT_EQ(sessionNextChange(session, 10.0), 10.0) << "a held arrow turns the model";
}
