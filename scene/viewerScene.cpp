// Viewer mode's scene: GL state, projection and camera from the viewer's state record, the blended pose of the
// body and the weapon, skins, the overlay texts, and saving the window's picture. Pairs with app/viewerMain.cpp.
#include "scene/viewerScene.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/info.h"
#include "app/platform.h"
#include "app/shell.h"
#include "base/fileBytes.h"
#include "base/glApi.h"
#include "model/md2Blend.h"
#include "model/md2Prepare.h"
#include "model/skinImage.h"
#include "model/skinLookup.h"
#include "scene/scene.h"
#include "text/builtinFont.h"
#include "text/font.h"
#include "text/tga.h"

ViewerSession viewer;

namespace {

// A notice (a bad drop, a saved picture) stays on screen this long.
constexpr double noticeSeconds = 6.0;
// Larger than any image the viewer takes could be: 4096 x 4096 pixels of four bytes, with room for headers.
constexpr uint64_t skinMaxFileSize = uint64_t{maxSkinSide} * maxSkinSide * 4 + (uint64_t{1} << 20);
// The font loader takes 2048 x 2048 at most.
constexpr uint64_t fontMaxFileSize = uint64_t{2048} * 2048 * 4 + (uint64_t{1} << 20);

double lastFrameTime = 0.0;
// The status line is rewritten in place each frame, so drawing it allocates nothing once it has grown.
std::string statusText;
const std::string noText;
const std::string skinOffText = "skin off";
double noticeTime = 0.0;

double nowSeconds()
{
    return static_cast<double>(readPerformanceCounter()) / static_cast<double>(readPerformanceFrequency());
}

void loadViewerFont();

void writeToFile(void* file, void* data, int size)
{
    std::fwrite(data, 1, static_cast<size_t>(size), static_cast<FILE*>(file));
}

// The window's opaque RGBA rows, top first, in the format the name asks for; PNG for a name that asks for none.
int encodePicture(PictureFormat format, FILE* file, int32_t width, int32_t height, const uint8_t* rows)
{
    switch (format) {
    case PictureFormat::jpeg:
        return stbi_write_jpg_to_func(writeToFile, file, width, height, 4, rows, 90);
    case PictureFormat::bmp:
        return stbi_write_bmp_to_func(writeToFile, file, width, height, 4, rows);
    case PictureFormat::tga:
        return stbi_write_tga_to_func(writeToFile, file, width, height, 4, rows);
    case PictureFormat::png:
    case PictureFormat::none:
        break;
    }
    return stbi_write_png_to_func(writeToFile, file, width, height, 4, rows, width * 4);
}

// Warnings go where every other text for the user goes: a Windows program without a console has no stderr.
void warn(const std::string& path, const std::string& reason)
{
    writeUserText(UserStream::error, ("brevant: " + path + ": " + reason + "\n").c_str());
}

void setNotice(const std::string& text)
{
    // Made printable once here rather than on each frame it shows.
    viewer.notice = printableName(text);
    noticeTime = nowSeconds();
}

void releaseSkin(ViewerModel& target)
{
    if (target.skinTexture != 0) {
        const GLuint name = target.skinTexture;
        glDeleteTextures(1, &name);
    }
    target.skinTexture = 0;
    target.skinWidth = 0;
    target.skinHeight = 0;
    target.skinPath.clear();
}

// The header's skin size divides the texture coordinates; where it says 0 or less, the image's own size does.
void setSkin(ViewerModel& target, const SkinImage& image, const std::string& path)
{
    releaseSkin(target);
    // The rows come top row first, which is where the model's t = 0 lies, so they go up as they come.
    target.skinTexture =
        uploadTexture(image.pixels.get(), image.width, image.height, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR);
    target.skinWidth = target.model->skinWidth > 0 ? target.model->skinWidth : image.width;
    target.skinHeight = target.model->skinHeight > 0 ? target.model->skinHeight : image.height;
    target.skinPath = path;
    target.skinNote.clear();
}

// The skin the lookup finds beside the model; a faulty one is a warning and an untextured model.
void findAndSetSkin(ViewerModel& target)
{
    releaseSkin(target);
    const SkinSearch search = findSkinFile(target.path, md2SkinName(*target.model, viewer.options.skinIndex));
    if (search.path.empty()) {
        target.skinNote = "no skin";
        warn(target.path, describeSkinSearch(search));
        // The window's line holds the names alone; the places and the pictures passed over go to stderr.
        if (&target == &viewer.body) {
            std::string names;
            for (const std::string& name : search.tried) {
                names += (names.empty() ? "" : ", ") + name;
            }
            setNotice("no skin: tried " + names);
        }
        return;
    }
    SkinImage image;
    std::string reason;
    if (!readSkinImage(search.path, image, &reason)) {
        target.skinNote = "bad skin " + fileNameOf(search.path);
        warn(search.path, reason);
        setNotice("bad skin " + fileNameOf(search.path) + ": " + reason);
        return;
    }
    setSkin(target, image, search.path);
}

void prepareSkin(ViewerModel& target, const SkinImage* chosen, const std::string& chosenPath)
{
    if (!target.model) {
        return;
    }
    if (viewer.options.noSkin) {
        target.skinNote = "no skin";
    } else if (chosen != nullptr) {
        setSkin(target, *chosen, chosenPath);
    } else {
        findAndSetSkin(target);
    }
}

void allocatePose(ViewerModel& target)
{
    const int32_t count = target.model && target.model->numVertices > 0 ? target.model->numVertices : 0;
    target.pose.reset(new ModelVertex[count > 0 ? count : 1]);
}

// The run the clock plays, and where the status line finds the name of the keyframe shown.
const Md2Animation* animationHolding(int32_t keyframe)
{
    return animationHolding(viewer.animations, keyframe);
}

void startBodyPlayback(double now)
{
    const Md2Model* body = viewer.body.model.get();
    viewer.animations = findAnimations(*body);
    viewer.animation = 0;
    const int32_t frames = body->numFrames > 0 ? body->numFrames : 0;
    if (frames == 0) {
        startPlayback(viewer.clock, 0, 0, viewer.options.fps, now);
        pausePlayback(viewer.clock, now);
        return;
    }
    if (viewer.options.hasFrame) {
        // A fixed keyframe blends with its neighbour whatever run either belongs to, so the clock spans them all.
        startPlayback(viewer.clock, 0, frames - 1, viewer.options.fps, now);
        showKeyframe(viewer.clock, viewer.options.frame, now);
        return;
    }
    if (!viewer.options.animation.empty()) {
        viewer.animation = std::max(findAnimationNamed(viewer.animations, viewer.options.animation), int32_t{0});
    }
    const Md2Animation& run = viewer.animations[viewer.animation];
    startPlayback(viewer.clock, run.first, run.last, viewer.options.fps, now);
    if (run.first == run.last) {
        pausePlayback(viewer.clock, now);
    }
}

void changeAnimation(int32_t step, double now)
{
    if (viewer.animations.empty()) {
        return;
    }
    const Md2Animation* shown = animationHolding(playbackKeyframe(playbackPose(viewer.clock, now)));
    int32_t index = shown != nullptr ? static_cast<int32_t>(shown - viewer.animations.data()) : viewer.animation;
    const int32_t count = static_cast<int32_t>(viewer.animations.size());
    index = ((index + step) % count + count) % count;
    viewer.animation = index;
    const bool playing = viewer.clock.playing;
    setPlaybackRun(viewer.clock, viewer.animations[index].first, viewer.animations[index].last, now);
    if (playing && viewer.animations[index].first != viewer.animations[index].last) {
        resumePlayback(viewer.clock, now);
    }
}

bool looksLikeMd2(const std::string& path)
{
    FILE* file = openFileForReading(path.c_str());
    if (file == nullptr) {
        return false;
    }
    char ident[4] = {};
    const bool isMd2 =
        std::fread(ident, 1, 4, file) == 4 && ident[0] == 'I' && ident[1] == 'D' && ident[2] == 'P' && ident[3] == '2';
    std::fclose(file);
    return isMd2;
}

// A dropped MD2 replaces the body; a dropped image becomes its skin. A bad one leaves everything as it was.
void openDropped(const std::string& path, double now)
{
    std::string reason;
    if (looksLikeMd2(path)) {
        ModelHandle model = openViewerModel(path, &reason);
        if (!model) {
            warn(path, reason);
            setNotice("cannot open " + fileNameOf(path) + ": " + reason);
            return;
        }
        releaseSkin(viewer.body);
        viewer.body.model = std::move(model);
        viewer.body.path = path;
        viewer.body.skinNote.clear();
        allocatePose(viewer.body);
        viewer.options.hasFrame = false;
        viewer.options.animation.clear();
        startBodyPlayback(now);
        if (!viewer.options.noSkin) {
            findAndSetSkin(viewer.body);
        }
        setViewerModels(viewer.state, viewer.body.model.get(), viewer.weapon.model.get());
        setNotice("opened " + fileNameOf(path));
        return;
    }
    SkinImage image;
    if (!readSkinImage(path, image, &reason)) {
        warn(path, reason);
        setNotice("cannot open " + fileNameOf(path) + ": " + reason);
        return;
    }
    setSkin(viewer.body, image, path);
    viewer.skinShown = true;
    setNotice("skin " + fileNameOf(path));
}

void carryOutRequests(double now)
{
    ViewerRequests& requests = viewer.state.requests;
    if (requests.togglePlay && viewer.clock.first != viewer.clock.last) {
        togglePlayback(viewer.clock, now);
    }
    if (requests.frameStep != 0) {
        stepPlayback(viewer.clock, requests.frameStep, now);
    }
    if (requests.animationStep != 0) {
        changeAnimation(requests.animationStep, now);
    }
    if (requests.toggleSkin) {
        viewer.skinShown = !viewer.skinShown;
    }
    if (requests.toggleWireframe) {
        viewer.wireframe = !viewer.wireframe;
    }
    for (const std::string& path : requests.droppedPaths) {
        openDropped(path, now);
    }
    const bool quit = requests.quit;
    const bool screenshot = requests.screenshot;
    clearViewerRequests(viewer.state);
    requests.quit = quit;
    requests.screenshot = screenshot;
}

void drawViewerModel(ViewerModel& target, const PlaybackPose& pose)
{
    const Md2Model* model = target.model.get();
    if (model == nullptr || model->numFrames <= 0) {
        return;
    }
    const int32_t from = clampKeyframe(pose.from, model->numFrames);
    const int32_t to = clampKeyframe(pose.to, model->numFrames);
    blendFrames(*model, from, to, pose.blend, target.pose.get());
    const bool textured = viewer.skinShown && target.skinTexture != 0;
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, target.skinTexture);
    }
    drawModelVertices(*model, target.pose.get(), static_cast<float>(target.skinWidth),
                      static_cast<float>(target.skinHeight));
    if (textured) {
        glDisable(GL_TEXTURE_2D);
    }
}

// Written every frame into storage kept from frame to frame, so drawing the status line allocates nothing.
const std::string& statusLine(const PlaybackPose& pose)
{
    const Md2Model* body = viewer.body.model.get();
    const std::string* animation = &noText;
    int32_t keyframe = 0;
    int32_t length = 0;
    if (body != nullptr && body->numFrames > 0) {
        const int32_t shown = playbackKeyframe(pose);
        const Md2Animation* run = animationHolding(shown);
        if (run != nullptr) {
            animation = &run->name;
            keyframe = shown - run->first + 1;
            length = run->last - run->first + 1;
        }
    }
    const std::string* skin = &noText;
    if (!viewer.skinShown && viewer.body.skinTexture != 0) {
        skin = &skinOffText;
    } else if (viewer.body.skinTexture != 0) {
        skin = &viewer.body.skinPath;
    } else {
        skin = &viewer.body.skinNote;
    }
    formatStatusLine(statusText, viewer.body.path, *animation, keyframe, length, *skin);
    return statusText;
}

void drawOverlay(const PlaybackPose& pose, double now)
{
    const int32_t height = viewer.state.height;
    beginOverlay(viewer.state.width, height);
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (viewer.showReadout) {
        printText(0, 0, fpsText, viewer.fontListBase, viewer.fontTexture);
    }
    glPopMatrix();
    glPushMatrix();
    glColor4f(0.75f, 0.85f, 1.0f, 1.0f);
    printText(0, 16, statusLine(pose).c_str(), viewer.fontListBase, viewer.fontTexture);
    glPopMatrix();
    if (!viewer.notice.empty() && now - noticeTime < noticeSeconds) {
        glPushMatrix();
        glColor4f(1.0f, 0.9f, 0.4f, 1.0f);
        printText(0, 32, viewer.notice.c_str(), viewer.fontListBase, viewer.fontTexture);
        glPopMatrix();
    }
    glPushMatrix();
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    printText(0, height - 42, "Brevant", viewer.fontListBase, viewer.fontTexture);
    glPopMatrix();
    endOverlay();
}

}  // namespace

ModelHandle openViewerModel(const std::string& path, std::string* reason)
{
    Md2Fault fault;
    ModelHandle model(loadMd2Model(path.c_str(), &fault));
    if (!model) {
        *reason = fault.text;
        return model;
    }
    flipWinding(model.get());
    computeVertexNormals(model.get());
    return model;
}

void initViewerScene(int32_t width, int32_t height)
{
    setSceneState();

    loadViewerFont();
    viewer.fontListBase = buildFont();

    const double now = nowSeconds();
    lastFrameTime = now;
    allocatePose(viewer.body);
    allocatePose(viewer.weapon);
    prepareSkin(viewer.body, viewer.chosenSkin ? &viewer.chosenSkinImage : nullptr, viewer.options.skinPath);
    // The texture holds the picture from here on; the decoded copy (up to 64 MB) need not live with it.
    viewer.chosenSkinImage = SkinImage{};
    prepareSkin(viewer.weapon, nullptr, std::string());
    startBodyPlayback(now);
    initViewerState(viewer.state, width, height, viewer.body.model.get(), viewer.weapon.model.get());
    resizeViewerView(width, height);
}

void resizeViewerView(int32_t width, int32_t height)
{
    ViewerEvent resized;
    resized.kind = ViewerEventKind::resized;
    resized.width = width;
    resized.height = height;
    handleViewerEvent(viewer.state, resized);
    glViewport(0, 0, viewer.state.width, viewer.state.height);
}

void handleViewerInput(const ViewerEvent& event)
{
    if (event.kind == ViewerEventKind::resized) {
        resizeViewerView(event.width, event.height);
        return;
    }
    handleViewerEvent(viewer.state, event);
}

void renderViewerFrame()
{
    const double now = nowSeconds();
    carryOutRequests(now);
    advanceViewer(viewer.state, now - lastFrameTime);
    lastFrameTime = now;
    const PlaybackPose pose = playbackPose(viewer.clock, now);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const ViewerProjection projection = viewerProjection(viewer.state);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(projection.fovY, projection.aspect, projection.zNear, projection.zFar);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    float modelview[16];
    viewerModelview(viewer.state.camera, viewer.state.framing, modelview);
    glLoadMatrixf(modelview);
    if (viewer.wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    drawViewerModel(viewer.body, pose);
    drawViewerModel(viewer.weapon, pose);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glPopMatrix();

    // F12 saves the picture as the window shows it, less the readout, which changes from frame to frame.
    const bool capture = viewer.state.requests.screenshot;
    viewer.state.requests.screenshot = false;
    if (capture) {
        viewer.showReadout = false;
    }
    drawOverlay(pose, now);
    if (capture) {
        viewer.showReadout = true;
        const std::string name = nextScreenshotName();
        std::string reason;
        if (name.empty()) {
            setNotice("no free screenshot name");
        } else if (saveViewerPicture(name, &reason)) {
            setNotice("saved " + name);
        } else {
            warn(name, reason);
            setNotice(name + ": " + reason);
        }
    }
}

std::string nextScreenshotName()
{
    for (int number = 1; number < 10000; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "brevant-%04d.png", number);
        std::error_code error;
        if (!std::filesystem::exists(name, error) && !error) {
            return name;
        }
    }
    return std::string();
}

bool readSkinImage(const std::string& path, SkinImage& image, std::string* reason)
{
    FileBytes file;
    FileReadFault fault;
    if (!readFileBytes(path.c_str(), skinMaxFileSize, file, &fault)) {
        *reason = fault.text;
        return false;
    }
    return decodeSkinImage(file.bytes.get(), file.size, image, reason) == SkinFault::none;
}

bool saveViewerPicture(const std::string& path, std::string* reason)
{
    const int32_t width = viewer.state.width;
    const int32_t height = viewer.state.height;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[rowBytes * static_cast<size_t>(height)]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.get());
    // GL reads bottom row first and the window has no alpha worth keeping: PNG rows go top first, opaque.
    std::unique_ptr<uint8_t[]> rows(new uint8_t[rowBytes * static_cast<size_t>(height)]);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = rows.get() + rowBytes * static_cast<size_t>(y);
        std::memcpy(out, pixels.get() + rowBytes * static_cast<size_t>(height - 1 - y), rowBytes);
        for (size_t x = 3; x < rowBytes; x += 4) {
            out[x] = 255;
        }
    }
    // Written under a temporary name and renamed, so a failed write never leaves half a picture under the name.
    const std::string temporary = path + ".part";
    FILE* file = openFileForWriting(temporary.c_str());
    if (file == nullptr) {
        *reason = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    const int encoded = encodePicture(pictureFormatFor(path), file, width, height, rows.get());
    const bool written = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (encoded == 0 || !written || !closed) {
        *reason =
            std::string("cannot write: ") + (encoded == 0 ? "the picture could not be encoded" : std::strerror(errno));
        removeFile(temporary.c_str());
        return false;
    }
    if (!replaceFile(temporary.c_str(), path.c_str())) {
        *reason = std::string("cannot write: ") + std::strerror(errno);
        removeFile(temporary.c_str());
        return false;
    }
    return true;
}

bool saveViewerScreenshot(const std::string& path, std::string* reason)
{
    viewer.showReadout = false;
    renderViewerFrame();
    const bool saved = saveViewerPicture(path, reason);
    viewer.showReadout = true;
    return saved;
}

namespace {

// Viewer mode's font: font.tga from the working folder, beside the program or in the installed data folder,
// else the built-in copy. A faulty file is passed over with a line on stderr; the notice box is the fixed
// program's alone.
void loadViewerFont()
{
    std::vector<std::string> candidates = {"font.tga"};
    const std::string programFolder = executableFolder();
    if (!programFolder.empty()) {
        candidates.push_back(programFolder + "/font.tga");
        candidates.push_back(programFolder + "/../share/brevant/font.tga");
    }
    for (const std::string& path : candidates) {
        FileBytes file;
        FileReadFault readFault;
        if (!readFileBytes(path.c_str(), fontMaxFileSize, file, &readFault)) {
            // A font that is not there is simply not that candidate; one that is there but unusable is said.
            if (readFault.kind != FileReadFaultKind::cannotOpen || errno != ENOENT) {
                warn(path, std::string(readFault.text) + "; font skipped");
            }
            continue;
        }
        TgaImage image;
        const TgaFault fault = decodeTgaImage(file.bytes.get(), file.size, image);
        if (fault != TgaFault::none) {
            warn(path, std::string(tgaFaultText(fault)) + "; font skipped");
            continue;
        }
        viewer.fontTexture = uploadTexture(image.pixels.get(), image.width, image.height, GL_LINEAR_MIPMAP_NEAREST,
                                           GL_LINEAR_MIPMAP_NEAREST);
        return;
    }
    TgaImage image;
    if (decodeTgaImage(builtinFont, builtinFontSize, image) == TgaFault::none) {
        viewer.fontTexture = uploadTexture(image.pixels.get(), image.width, image.height, GL_LINEAR_MIPMAP_NEAREST,
                                           GL_LINEAR_MIPMAP_NEAREST);
    }
}

}  // namespace
