// The options and draw state of the worked blend examples, each drawn on one
// pixel, and the colour words they are written in.
#pragma once
#include <cstdint>

#include "softblit_test_util.h"

struct Opts {
    bool alphaSource = false;
    uint32_t alpha = 255;   // 16-bit alpha source: the alpha byte
    bool palette = false;
    int trans = 0;
    int level = -1;         // blend-image weight, -1: no blend image
    bool scaled = false;    // through the scaled path (a mirrored 1:1 draw)
    int tint[3] = {255, 255, 255};  // red, green, blue
    uint32_t transColor = 0;
};

inline void SetState(int mode, int p, const Opts& o) {
    BuildBlendTables();
    SetBlendModeParam(mode, p);
    SetDrawTint(o.tint[0], o.tint[1], o.tint[2]);
    DrawArea[0] = DrawArea[1] = 0;
    DrawArea[2] = DrawArea[3] = 64;
    if (o.level >= 0) BlendLevelTable[77] = static_cast<uint8_t>(o.level);
}

inline uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) { return (top << 24) | (r << 16) | (g << 8) | b; }
inline uint32_t Grey(uint32_t v, uint32_t top = 0) { return Rgb(v, v, v, top); }
inline uint32_t Rgb16(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }
