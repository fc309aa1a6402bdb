// The camera (view and projection of 3-D drawing), screen projection of
// world points, camera-facing pictures, and the lights of 3-D drawing.
#pragma once
#include "engine/vecmath.h"

// Keeps eye and target, turns up square to the view direction and
// normalises it, and makes the left-handed look-at matrix the view. 0, or
// -1 when eye and target coincide or up runs along the view direction.
int SetCameraEyeTargetUp(const float eye[3], const float target[3], const float up[3]);
// 16 floats, row-major, translation in elements 12-14. 0.
int ApplyUserViewMatrix(const float matrix[16]);
int CopyViewMatrix(float out[16]);
// The perspective projection: vertical field of view (radians) and the near
// and far planes; the aspect follows the 640x480 screen. 0, or -1 for values
// that give no projection.
int SetCameraPerspective(float fieldOfView, float nearZ, float farZ);
int CopyProjectionMatrix(float out[16]);
// The world point through view, projection and the full-screen viewport,
// divided by w: x, y in pixels, z the depth value 0..1. A null position
// gives (0, 0, 0) and a log line.
Vector3 WorldToScreenPos(const float position[3]);

// A picture as a camera-facing rectangle at position: size wide (height by
// the picture's aspect), (centreX, centreY) the fractions of the picture
// that sit on position, turned by angle (radians) in the screen plane and
// mirrored when turn is set. Lit by the lights when lighting is on. With
// transparent set, texels of alpha 0 write neither colour nor depth and
// see-through texels write no depth, so a model behind the picture drawn
// after it shows wherever the picture is not opaque. A picture drawn in a
// blend mode that adds, subtracts or multiplies writes no depth at all: it
// hides nothing behind it. Without
// a device the projected corners go to the software path, unlit and without
// a depth test, and a billboard not wholly inside the depth range is left
// out. 0 or -1.
int DrawGraphBillboard3D(const float position[3], float centreX, float centreY, float size, float angle, int graph,
                         int transparent, int turn);

// ---- Lights ----
// The default light is directional; (x, y, z) is normalised. 0, or -1 for a
// zero vector or without a live default light.
int SetDefaultLightDirection(float x, float y, float z);
int GetDefaultLightDirection(float out[3]);
// The global ambient light, each 0..1. 0.
int SetAmbientLightFloat(float r, float g, float b, float a);
