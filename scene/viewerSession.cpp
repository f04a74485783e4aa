// Viewer mode's session without GL: opening, drops, requests, playback and the status line (see viewerSession.h).
// Every file comes through the session's source; every line for the user goes through its warnings.
#include "scene/viewerSession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/info.h"
#include "model/archiveSource.h"
#include "model/md2Blend.h"
#include "model/md2Prepare.h"
#include "model/skinLookup.h"
#include "text/tga.h"

namespace {

const std::string noText;
const std::string skinOffText = "skin off";

void warnAbout(const ViewerSession& session, const std::string& path, const std::string& reason)
{
    warnUser(session, "brevant: " + path + ": " + reason + "\n");
}

void releaseSkin(ViewerModel& target)
{
    if (target.hasSkin || target.skinPixels.pixels) {
        ++target.skinGeneration;
    }
    target.skinPixels = SkinImage{};
    target.hasSkin = false;
    target.skinWidth = 0;
    target.skinHeight = 0;
    target.skinPath.clear();
}

// The header's skin size divides the texture coordinates; where it says 0 or less, the image's own size does.
void setSkin(ViewerModel& target, SkinImage image, const std::string& path)
{
    releaseSkin(target);
    target.skinWidth = target.model->skinWidth > 0 ? target.model->skinWidth : image.width;
    target.skinHeight = target.model->skinHeight > 0 ? target.model->skinHeight : image.height;
    target.skinPixels = std::move(image);
    target.hasSkin = true;
    ++target.skinGeneration;
    target.skinPath = path;
    target.skinNote.clear();
}

// The skin the lookup finds beside the model; a faulty one is a warning and an untextured model.
// With --skin-index, that skin name alone; otherwise every one the model stores, in order.
std::vector<std::string> skinNamesToTry(const ViewerSession& session, const ViewerModel& target)
{
    if (session.options.hasSkinIndex) {
        return {md2SkinName(*target.model, session.options.skinIndex)};
    }
    return md2SkinNames(*target.model);
}

// What [ and ] go through for the body, and where the skin in use stands among them.
void listBodySkins(ViewerSession& session)
{
    ViewerModel& body = session.body;
    session.skinChoices.clear();
    session.skinChoice = -1;
    if (!body.model) {
        return;
    }
    session.skinChoices = listSkinChoices(body.path, md2SkinNames(*body.model), session.source);
    const auto found = std::find(session.skinChoices.begin(), session.skinChoices.end(), body.skinPath);
    if (found != session.skinChoices.end()) {
        session.skinChoice = static_cast<int32_t>(found - session.skinChoices.begin());
    }
}

void stepSkin(ViewerSession& session, int32_t step, double now)
{
    const int32_t count = static_cast<int32_t>(session.skinChoices.size());
    if (count == 0 || !session.body.model) {
        return;
    }
    // From no skin of the list, ] takes the first and [ the last.
    int32_t index = session.skinChoice;
    if (index < 0) {
        index = step > 0 ? step - 1 : count + step;
    } else {
        index += step;
    }
    index = (index % count + count) % count;
    const std::string& path = session.skinChoices[static_cast<size_t>(index)];
    SkinImage image;
    std::string reason;
    session.skinChoice = index;
    if (!readSkinImage(session.source, path, image, &reason)) {
        releaseSkin(session.body);
        session.body.skinNote = "bad skin " + fileNameOf(path);
        warnAbout(session, path, reason);
        setSessionNotice(session, "bad skin " + fileNameOf(path) + ": " + reason, now);
        return;
    }
    setSkin(session.body, std::move(image), path);
    session.skinShown = true;
}

void findAndSetSkin(ViewerSession& session, ViewerModel& target, double now)
{
    releaseSkin(target);
    const SkinSearch search = findSkinFile(target.path, skinNamesToTry(session, target), session.source);
    if (search.path.empty()) {
        target.skinNote = "no skin";
        warnAbout(session, target.path, describeSkinSearch(search));
        // The window's line holds the names alone; the places and the pictures passed over go to the warnings.
        if (&target == &session.body) {
            std::string names;
            for (const std::string& name : search.tried) {
                names += (names.empty() ? "" : ", ") + name;
            }
            setSessionNotice(session, "no skin: tried " + names, now);
        }
        return;
    }
    SkinImage image;
    std::string reason;
    if (!readSkinImage(session.source, search.path, image, &reason)) {
        target.skinNote = "bad skin " + fileNameOf(search.path);
        warnAbout(session, search.path, reason);
        setSessionNotice(session, "bad skin " + fileNameOf(search.path) + ": " + reason, now);
        return;
    }
    setSkin(target, std::move(image), search.path);
}

void prepareSkin(ViewerSession& session, ViewerModel& target, SkinImage* chosen, const std::string& chosenPath,
                 double now)
{
    if (!target.model) {
        return;
    }
    if (session.options.noSkin) {
        target.skinNote = "no skin";
    } else if (chosen != nullptr) {
        setSkin(target, std::move(*chosen), chosenPath);
    } else {
        findAndSetSkin(session, target, now);
    }
}

void allocatePose(ViewerModel& target)
{
    const int32_t count = target.model && target.model->numVertices > 0 ? target.model->numVertices : 0;
    target.pose.reset(new ModelVertex[count > 0 ? count : 1]);
}

void startBodyPlayback(ViewerSession& session, double now)
{
    const Md2Model* body = session.body.model.get();
    const ViewerOptions& options = session.options;
    session.animations = findAnimations(*body);
    session.animation = 0;
    const int32_t frames = body->numFrames > 0 ? body->numFrames : 0;
    if (frames == 0) {
        startPlayback(session.clock, 0, 0, options.fps, now);
        pausePlayback(session.clock, now);
        return;
    }
    if (options.hasFrame) {
        // A fixed keyframe blends with its neighbour whatever run either belongs to, so the clock spans them all.
        startPlayback(session.clock, 0, frames - 1, options.fps, now);
        showKeyframe(session.clock, options.frame, now);
        return;
    }
    if (!options.animation.empty()) {
        session.animation = std::max(findAnimationNamed(session.animations, options.animation), int32_t{0});
    }
    const Md2Animation& run = session.animations[session.animation];
    startPlayback(session.clock, run.first, run.last, options.fps, now);
    if (run.first == run.last) {
        pausePlayback(session.clock, now);
    }
}

void changeAnimation(ViewerSession& session, int32_t step, double now)
{
    if (session.animations.empty()) {
        return;
    }
    const Md2Animation* shown = sessionAnimationHolding(session, playbackKeyframe(playbackPose(session.clock, now)));
    int32_t index = shown != nullptr ? static_cast<int32_t>(shown - session.animations.data()) : session.animation;
    const int32_t count = static_cast<int32_t>(session.animations.size());
    index = ((index + step) % count + count) % count;
    session.animation = index;
    const Md2Animation& run = session.animations[index];
    const bool playing = session.clock.playing;
    setPlaybackRun(session.clock, run.first, run.last, now);
    if (playing && run.first != run.last) {
        resumePlayback(session.clock, now);
    }
}

// The keyframes framing covers: the run shown now, or every keyframe when none holds it.
void framedRun(const ViewerSession& session, double now, int32_t* first, int32_t* last)
{
    *first = 0;
    *last = INT32_MAX;
    const Md2Model* body = session.body.model.get();
    if (body == nullptr || body->numFrames <= 0) {
        return;
    }
    const int32_t shown = session.options.hasFrame ? static_cast<int32_t>(session.options.frame)
                                                   : playbackKeyframe(playbackPose(session.clock, now));
    const Md2Animation* run = sessionAnimationHolding(session, shown);
    if (run != nullptr) {
        *first = run->first;
        *last = run->last;
    }
}

void frameShownRun(ViewerSession& session, double now)
{
    int32_t first = 0;
    int32_t last = 0;
    framedRun(session, now, &first, &last);
    setViewerModels(session.state, session.body.model.get(), session.weapon.model.get(), first, last);
}

void refuseDrop(ViewerSession& session, const std::string& path, const std::string& reason, double now)
{
    warnAbout(session, path, reason);
    setSessionNotice(session, "cannot open " + fileNameOf(path) + ": " + reason, now);
}

ModelHandle preparedModel(Md2Model* parsed)
{
    ModelHandle model(parsed);
    if (model) {
        flipWinding(model.get());
        computeVertexNormals(model.get());
    }
    return model;
}

// A dropped MD2 replaces the body; a dropped image becomes its skin; a dropped archive shows its first model. A
// bad one leaves everything as it was.
void openDropped(ViewerSession& session, const std::string& dropped, double now)
{
    std::string path = dropped;
    if (isArchiveFile(dropped)) {
        std::vector<std::string> models;
        std::string reason;
        if (!archiveModels(session.source, dropped, models, reason)) {
            refuseDrop(session, dropped, reason, now);
            return;
        }
        path = models.front();
    }
    // Read once, with room for the larger of the two kinds; what it is then follows from its first bytes.
    FileBytes file;
    FileReadFault readFault;
    if (!readSourceFile(session.source, path, skinMaxFileSize, file, readFault)) {
        refuseDrop(session, path, readFault.text, now);
        return;
    }
    if (viewerFileKindOf(file.bytes.get(), file.size) == ViewerFileKind::md2) {
        Md2Fault fault;
        if (file.size > md2MaxFileSize) {
            char sizeText[32];
            formatByteSize(file.size, sizeText, sizeof sizeText);
            refuseDrop(session, path, std::string("file is ") + sizeText + ", larger than any MD2 model", now);
            return;
        }
        ModelHandle model = preparedModel(parseMd2Model(file.bytes.get(), file.size, &fault));
        if (!model) {
            refuseDrop(session, path, fault.text, now);
            return;
        }
        ViewerModel& body = session.body;
        releaseSkin(body);
        body.model = std::move(model);
        body.path = path;
        body.skinNote.clear();
        allocatePose(body);
        session.options.hasFrame = false;
        session.options.animation.clear();
        startBodyPlayback(session, now);
        if (!session.options.noSkin) {
            findAndSetSkin(session, body, now);
        }
        listBodySkins(session);
        frameShownRun(session, now);
        setSessionNotice(session, "opened " + fileNameOf(path), now);
        return;
    }
    SkinImage image;
    std::string reason;
    if (decodeSkinImage(file.bytes.get(), file.size, image, &reason) != SkinFault::none) {
        refuseDrop(session, path, reason, now);
        return;
    }
    setSkin(session.body, std::move(image), path);
    session.skinShown = true;
    const auto listed = std::find(session.skinChoices.begin(), session.skinChoices.end(), path);
    session.skinChoice =
        listed != session.skinChoices.end() ? static_cast<int32_t>(listed - session.skinChoices.begin()) : -1;
    setSessionNotice(session, "skin " + fileNameOf(path), now);
}

// Tab and Shift+Tab: the next or previous model beside the body, or in its archive, wrapping round; opened as a
// drop is, so one that cannot be read says why and leaves the body as it was.
void stepModel(ViewerSession& session, int32_t step, double now)
{
    const std::vector<std::string> models = neighbourModels(session.source, session.body.path);
    if (models.empty()) {
        return;
    }
    // The body may be spelled as the user typed it: another case, the other separator.
    const auto folded = [](std::string name) {
        for (char& c : name) {
            c = c == '\\' ? '/' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        }
        return name;
    };
    const std::string body = folded(session.body.path);
    const auto here =
        std::find_if(models.begin(), models.end(), [&](const std::string& name) { return folded(name) == body; });
    const int64_t count = static_cast<int64_t>(models.size());
    const int64_t at = here == models.end() ? (step > 0 ? -1 : 0) : here - models.begin();
    const int64_t next = ((at + step) % count + count) % count;
    if (next != at) {
        openDropped(session, models[size_t(next)], now);
    }
}

void carryOutRequests(ViewerSession& session, double now)
{
    ViewerRequests& requests = session.state.requests;
    if (requests.togglePlay && session.clock.first != session.clock.last) {
        togglePlayback(session.clock, now);
    }
    if (requests.frameStep != 0) {
        stepPlayback(session.clock, requests.frameStep, now);
    }
    if (requests.animationStep != 0) {
        changeAnimation(session, requests.animationStep, now);
    }
    if (requests.toggleSkin) {
        session.skinShown = !session.skinShown;
    }
    if (requests.toggleWireframe) {
        session.wireframe = !session.wireframe;
    }
    if (requests.modelStep != 0) {
        stepModel(session, requests.modelStep, now);
    }
    if (requests.skinStep != 0) {
        stepSkin(session, requests.skinStep, now);
    }
    if (requests.toggleLighting) {
        session.lighting = !session.lighting;
    }
    if (requests.reframe) {
        frameShownRun(session, now);
    }
    for (const std::string& path : requests.droppedPaths) {
        openDropped(session, path, now);
    }
    const bool quit = requests.quit;
    const bool screenshot = requests.screenshot;
    clearViewerRequests(session.state);
    requests.quit = quit;
    requests.screenshot = screenshot;
}

void blendModel(ViewerModel& target, const PlaybackPose& pose)
{
    const Md2Model* model = target.model.get();
    if (model == nullptr || model->numFrames <= 0 || !target.pose) {
        return;
    }
    const int32_t from = clampKeyframe(pose.from, model->numFrames);
    const int32_t to = clampKeyframe(pose.to, model->numFrames);
    blendFrames(*model, from, to, pose.blend, target.pose.get());
}

void writeStatusLine(ViewerSession& session)
{
    const Md2Model* body = session.body.model.get();
    const std::string* animation = &noText;
    int32_t keyframe = 0;
    int32_t length = 0;
    const char* frameName = "";
    size_t frameNameLength = 0;
    if (body != nullptr && body->numFrames > 0) {
        const int32_t shown = playbackKeyframe(session.pose);
        const Md2Animation* run = sessionAnimationHolding(session, shown);
        if (run != nullptr) {
            animation = &run->name;
            keyframe = shown - run->first + 1;
            length = run->last - run->first + 1;
        }
        const int32_t index = clampKeyframe(shown, body->numFrames);
        if (body->frames != nullptr) {
            frameName = body->frames[index].name;
            frameNameLength = strnlen(frameName, sizeof body->frames[index].name);
        }
    }
    const std::string* skin = &noText;
    if (!session.skinShown && session.body.hasSkin) {
        skin = &skinOffText;
    } else if (session.body.hasSkin) {
        skin = &session.body.skinPath;
    } else {
        skin = &session.body.skinNote;
    }
    StatusDetails details;
    details.keyframeName = std::string_view(frameName, frameNameLength);
    if (skin == &session.body.skinPath && session.skinChoice >= 0) {
        details.skinOrdinal = session.skinChoice + 1;
        details.skinCount = static_cast<int32_t>(session.skinChoices.size());
    }
    formatStatusLine(session.statusText, session.body.path, *animation, keyframe, length, *skin, details);
}

}  // namespace

ViewerFileKind viewerFileKindOf(const uint8_t* bytes, size_t size)
{
    return size >= 4 && std::memcmp(bytes, "IDP2", 4) == 0 ? ViewerFileKind::md2 : ViewerFileKind::image;
}

ModelHandle openViewerModel(const FileSource& source, const std::string& path, std::string* reason)
{
    Md2Fault fault;
    ModelHandle model = preparedModel(readMd2Model(source, path, &fault));
    if (!model) {
        *reason = fault.text;
    }
    return model;
}

bool readSkinImage(const FileSource& source, const std::string& path, SkinImage& image, std::string* reason,
                   FileBytes* keptBytes)
{
    FileBytes file;
    FileReadFault fault;
    if (!readSourceFile(source, path, skinMaxFileSize, file, fault)) {
        *reason = fault.text;
        return false;
    }
    const bool decoded = decodeSkinImage(file.bytes.get(), file.size, image, reason) == SkinFault::none;
    if (decoded && keptBytes != nullptr) {
        *keptBytes = std::move(file);
    }
    return decoded;
}

void findViewerFont(ViewerSession& session, const std::string& programFolder, const uint8_t* builtin,
                    size_t builtinSize)
{
    std::vector<std::string> candidates = {"font.tga"};
    if (!programFolder.empty()) {
        candidates.push_back(programFolder + "/font.tga");
        candidates.push_back(programFolder + "/../share/brevant/font.tga");
    }
    session.font = RgbaImage{};
    for (const std::string& path : candidates) {
        FileBytes file;
        FileReadFault readFault;
        if (!readSourceFile(session.source, path, fontMaxFileSize, file, readFault)) {
            // A font that is not there is simply not that candidate; one that is there but unusable is said.
            if (readFault.kind != FileReadFaultKind::cannotOpen || errno != ENOENT) {
                warnAbout(session, path, std::string(readFault.text) + "; font skipped");
            }
            continue;
        }
        const TgaFault fault = decodeTgaImage(file.bytes.get(), file.size, session.font);
        if (fault != TgaFault::none) {
            warnAbout(session, path, std::string(tgaFaultText(fault)) + "; font skipped");
            continue;
        }
        return;
    }
    if (builtin != nullptr && decodeTgaImage(builtin, builtinSize, session.font) != TgaFault::none) {
        session.font = RgbaImage{};
    }
}

void startViewerSession(ViewerSession& session, int32_t width, int32_t height, double now)
{
    session.lastFrameTime = now;
    allocatePose(session.body);
    allocatePose(session.weapon);
    // The picture moves into the body's skin, to be dropped once uploaded: the decoded copy (up to 64 MB) need
    // not live beside the texture.
    prepareSkin(session, session.body, session.chosenSkin ? &session.chosenSkinImage : nullptr,
                session.options.skinPath, now);
    session.chosenSkinImage = SkinImage{};
    prepareSkin(session, session.weapon, nullptr, std::string(), now);
    listBodySkins(session);
    startBodyPlayback(session, now);
    session.state.width = std::max(width, 1);
    session.state.height = std::max(height, 1);
    frameShownRun(session, now);
    ViewerEvent resized;
    resized.kind = ViewerEventKind::resized;
    resized.width = width;
    resized.height = height;
    handleViewerEvent(session.state, resized);
    session.pose = playbackPose(session.clock, now);
}

void handleSessionEvent(ViewerSession& session, const ViewerEvent& event)
{
    handleViewerEvent(session.state, event);
}

void advanceSession(ViewerSession& session, double now)
{
    carryOutRequests(session, now);
    advanceViewer(session.state, now - session.lastFrameTime);
    session.lastFrameTime = now;
    session.pose = playbackPose(session.clock, now);
    session.state.shownReach = keyframeReach(session.body.model.get(), session.weapon.model.get(),
                                             playbackKeyframe(session.pose), session.state.framing);
    blendModel(session.body, session.pose);
    blendModel(session.weapon, session.pose);
    writeStatusLine(session);
}

double sessionNextChange(const ViewerSession& session, double now)
{
    const ViewerRequests& requests = session.state.requests;
    if (session.clock.playing && session.clock.first != session.clock.last) {
        return now;
    }
    for (const ViewerKey key :
         {ViewerKey::up, ViewerKey::down, ViewerKey::left, ViewerKey::right, ViewerKey::a, ViewerKey::z}) {
        if (session.state.held[static_cast<int>(key)]) {
            return now;
        }
    }
    if (requests.quit || requests.screenshot) {
        return now;
    }
    if (sessionNoticeShown(session, now)) {
        return session.noticeTime + viewerNoticeSeconds;
    }
    return HUGE_VAL;
}

bool takeScreenshotRequest(ViewerSession& session)
{
    const bool requested = session.state.requests.screenshot;
    session.state.requests.screenshot = false;
    return requested;
}

void setSessionNotice(ViewerSession& session, const std::string& text, double now)
{
    // Made printable once here rather than on each frame it shows.
    session.notice = printableName(text);
    session.noticeTime = now;
}

bool sessionNoticeShown(const ViewerSession& session, double now)
{
    return !session.notice.empty() && now - session.noticeTime < viewerNoticeSeconds;
}

const Md2Animation* sessionAnimationHolding(const ViewerSession& session, int32_t keyframe)
{
    return animationHolding(session.animations, keyframe);
}

void warnUser(const ViewerSession& session, const std::string& line)
{
    if (session.warnings.write != nullptr) {
        session.warnings.write(session.warnings.context, line.c_str());
    } else {
        std::fputs(line.c_str(), stderr);
    }
}
