// The camera and lights as the rest of the engine's drawing uses them:
// shared by the camera, light and billboard files, with what graphics
// start-up, the device rebuild and model drawing call.
#pragma once
#include "engine/vecmath.h"

namespace morpotta {

// The view matrix the camera keeps (the engine's thread's): its columns
// are the camera's axes in world space.
const Matrix44& CurrentViewMatrix();

void ReapplyCamera();
void ResetCamera();
void ReapplyLights();
void ResetLights();

// Sends the lighting switch and every changed light to the device, enabled
// lights in the order directional, spot, point; the device state cache then
// holds the lights' records and light x material products. 0.
int CommitLightsToDevice();
// After a rebuild: camera transforms and every light sent again.
void ReapplyCameraAndLights();
// Back to the state after graphics start-up: identity view, the default
// projection, the default light alone.
void ResetCameraAndLights();

}  // namespace morpotta
