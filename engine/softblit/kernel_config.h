// What a kernel is specialised on, and its place in a kernel table. Every
// table orders its kernels by source class, then blend mode, then the
// switches it is specialised on, each one bit, in the order blend image,
// tint, transparency, special form, scaling (the last one lowest). The
// plain and scaled blits use all five switches; the rotated blits and the
// textured triangle loops the first three.
#pragma once

namespace morpotta {

enum SourceClass { SourcePalette = 0, SourcePlain = 1, SourceAlpha = 2 };

// Modes in kernel-table order.
enum KernelMode { KernelCopy, KernelAlpha, KernelAdd, KernelSub, KernelMul, KernelInvert, KernelMulAlpha };
constexpr int kKernelModeCount = 7;

// Everything a kernel is specialised on.
struct KernelConfig {
    int kind;      // 0 = 16-bit, 1 = 32-bit
    int source;    // SourceClass
    int mode;      // KernelMode
    bool blend;    // blend image given
    bool tint;     // tint not white
    bool trans;    // transparent flag on
    bool special;  // plain blit, untinted, no blend image, no alpha: p = 128 halving
                   // (BlendAlpha) or p = 255 lossy/paired forms (BlendAdd, BlendSub)
    bool scaled;   // scaled loop and its rules
};

constexpr int kKernelSwitchesAll = 5;    // blend, tint, trans, special, scaled
constexpr int kKernelSwitchesBasic = 3;  // blend, tint, trans

// Kernels per pixel kind in a table with the given number of switches.
constexpr int KernelTableSize(int switches) { return 3 * kKernelModeCount << switches; }

// The configuration's place in a table with the given number of switches
// (its other switches are not read).
constexpr int KernelIndex(const KernelConfig& c, int switches) {
    const bool bits[kKernelSwitchesAll] = {c.blend, c.tint, c.trans, c.special, c.scaled};
    int i = c.source * kKernelModeCount + c.mode;
    for (int b = 0; b < switches; ++b) i = i * 2 + (bits[b] ? 1 : 0);
    return i;
}

// The configuration at a place of such a table (switches it has not: off).
constexpr KernelConfig KernelConfigOf(int kind, int index, int switches) {
    bool bits[kKernelSwitchesAll] = {};
    for (int b = switches - 1; b >= 0; --b) {
        bits[b] = (index & 1) != 0;
        index >>= 1;
    }
    KernelConfig c{};
    c.kind = kind;
    c.source = index / kKernelModeCount;
    c.mode = index % kKernelModeCount;
    c.blend = bits[0];
    c.tint = bits[1];
    c.trans = bits[2];
    c.special = bits[3];
    c.scaled = bits[4];
    return c;
}

static_assert(KernelIndex(KernelConfigOf(1, 671, kKernelSwitchesAll), kKernelSwitchesAll) == 671);
static_assert(KernelIndex(KernelConfigOf(0, 83, kKernelSwitchesBasic), kKernelSwitchesBasic) == 83);

}  // namespace morpotta
