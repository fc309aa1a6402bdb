// Shared by the graphics files (and the model textures that draw through them).
#pragma once

// The largest texture side any device here accepts.
constexpr int kMaxDeviceTextureSide = 8192;

// Adds graphics start-up and end to the engine's life cycle.
void RegisterGraphicsSubsystem();
