// What the game's screens share: the 640x480 frame they draw on, the plain
// text colours, the opacity of the band behind captions, and the boot
// picture that scrolls behind the boot and closing screens.
#pragma once

#include <cstdint>

#include "engine/draw2d.h"

constexpr int kScreenWidth = 640, kScreenHeight = 480;
constexpr float kPi = 3.14159265358979f;
constexpr int kBandAlpha = 128;
constexpr int kBootScrollRows = 2693;  // the boot picture scrolls up and starts over

inline uint32_t White() { return MakeScreenColor(255, 255, 255); }
inline uint32_t Yellow() { return MakeScreenColor(255, 255, 0); }
