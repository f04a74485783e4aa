// The scene: fixed GL state, the perspective and overlay projections, start-up loading and per-frame drawing.
// The shell calls resizeView and initScene once, then renderFrame once per frame.
#pragma once

#include <cstdint>

struct Md2Model;

extern float angleX;
extern float angleY;
extern float zoom;
extern Md2Model* model;
extern unsigned fontTexture;
extern unsigned fontListBase;

inline constexpr int32_t sceneFrame = 30;

void resizeView(int32_t width, int32_t height);
void initScene();
// The fixed GL state both modes draw with: culling, depth test, blending, and the default light.
void setSceneState();
void renderFrame();
void beginOverlay(int32_t width, int32_t height);
void endOverlay();

// The keyframe the scene draws: 30, or the last one when the model has fewer than 31.
int32_t sceneFrameIndex(const Md2Model* model);

// Moves the camera by the keys' steps for one frame; renderFrame feeds it the polled keys.
void stepCamera(bool up, bool down, bool left, bool right, bool a, bool z);
