// Shared by the graphics files (and the model textures that draw through them).
#pragma once

// The largest texture side any device here accepts.
constexpr int kMaxDeviceTextureSide = 8192;

// Adds graphics start-up and end to the engine's life cycle.
void RegisterGraphicsSubsystem();

// True while there is something to draw on: the device, or the software
// screen without one (from graphics start-up to shut-down). A picture or a
// font made at another time could never be drawn, so the functions that
// make them ask first: false comes with a log line naming the function.
bool CheckGraphicsRunning(const char* function);
