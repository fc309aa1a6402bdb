// Shared inside the graphics folder.
#pragma once

// The largest texture side any device here accepts.
constexpr int kMaxDeviceTextureSide = 8192;

// Gives the model system the graphics functions its textures need.
void InstallModelGraphicsServices();
