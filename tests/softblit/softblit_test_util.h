// Shared helpers of the software-blit tests: images filled from a seed,
// the engine's draw state set from the reference model's, byte comparison.
#pragma once
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "softblit/kernel_paths.h"
#include "softblit/softblit.h"
#include "softblit_reference.h"

using namespace morpotta;

namespace softtest {

// An image released at the end of the scope.
struct Image {
    MEMIMG m{};
    Image() = default;
    Image(int w, int h, int kind, int palette, int alpha, uint32_t trans = 0) {
        if (CreateMemImg(&m, w, h, kind, palette, alpha, trans) != 0) std::abort();
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image() {
        if (m.magic == kMemImgMagic) ReleaseMemImg(&m);
    }
    size_t Bytes() const { return static_cast<size_t>(m.base->pitch) * m.base->height; }
};

inline void CopyPixels(const Image& from, Image& to) { std::memcpy(to.m.base->pixelMemory, from.m.base->pixelMemory, from.Bytes()); }

// Pixels with the values that matter to the rules: channel extremes, the
// transparent colour, alpha 0 and 255, and random values.
inline void FillSource(Image& img, std::mt19937& rng) {
    MEMIMG_BASE* b = img.m.base;
    std::uniform_int_distribution<uint32_t> any(0, 0xFFFFFFFFu);
    auto pick = [&](uint32_t random, uint32_t extreme1, uint32_t extreme2, uint32_t trans) {
        switch (any(rng) % 8) {
        case 0: return extreme1;
        case 1: return extreme2;
        case 2: return trans;
        default: return random;
        }
    };
    for (int y = 0; y < b->height; ++y) {
        uint8_t* row = b->pixelMemory + static_cast<size_t>(y) * b->pitch;
        for (int x = 0; x < b->width; ++x) {
            if (b->usePalette) {
                row[x] = static_cast<uint8_t>(pick(any(rng), b->transColor, b->transColor ^ 1, b->transColor));
            } else if (b->pixelKind == MEMIMG_KIND_32BIT) {
                uint32_t v = pick(any(rng), 0xFFFFFFFFu, 0x00000000u, b->transColor);
                if (b->useAlpha) {
                    const uint32_t a = any(rng) % 4 == 0 ? 0 : any(rng) % 3 == 0 ? 255 : any(rng) & 0xFF;
                    v = (v & 0xFFFFFF) | (a << 24);
                }
                std::memcpy(row + 4 * x, &v, 4);
            } else if (b->useAlpha) {
                const uint16_t v = static_cast<uint16_t>(pick(any(rng), 0xFFFF, 0, b->transColor));
                std::memcpy(row + 4 * x, &v, 2);
                row[4 * x + 2] = static_cast<uint8_t>(any(rng) % 4 == 0 ? 0 : any(rng) % 3 == 0 ? 255 : any(rng) & 0xFF);
                row[4 * x + 3] = static_cast<uint8_t>(any(rng));
            } else {
                const uint16_t v = static_cast<uint16_t>(pick(any(rng), 0xFFFF, 0, b->transColor));
                std::memcpy(row + 2 * x, &v, 2);
            }
        }
    }
    for (int i = 0; i < 256; ++i) {
        b->palette32[i] = any(rng) & 0xFFFFFF;
        b->palette16[i] = static_cast<uint16_t>(any(rng));
    }
    if (b->usePalette && b->pixelKind == MEMIMG_KIND_32BIT) {
        for (int i = 0; i < 256; ++i) b->palette32[i] = any(rng) & 0xFFFFFF;
        b->palette32[3] = 0xFFFFFF;
    } else if (b->usePalette) {
        for (int i = 0; i < 256; ++i) b->palette16[i] = static_cast<uint16_t>(any(rng));
    }
}

inline void FillBytes(Image& img, std::mt19937& rng) {
    for (size_t i = 0; i < img.Bytes(); ++i) img.m.base->pixelMemory[i] = static_cast<uint8_t>(rng());
}

// Makes the engine's draw state match the model's.
inline void ApplyState(const softref::State& st) {
    SetBlendModeParam(st.mode, st.param);
    SetDrawTint(st.tintRed, st.tintGreen, st.tintBlue);
    DrawArea[0] = st.area[0];
    DrawArea[1] = st.area[1];
    DrawArea[2] = st.area[2];
    DrawArea[3] = st.area[3];
    std::memcpy(BlendLevelTable, st.level, 256);
}

// The kernel forms the comparisons with the model run under.
inline constexpr KernelPath kKernelPaths[] = {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2};
inline std::string PathLabel(KernelPath path) {
    switch (path) {
    case KernelPath::Scalar: return "Scalar";
    case KernelPath::Sse2: return "Sse2";
    case KernelPath::Avx2: return "Avx2";
    }
    return "";
}

// Makes a kernel form the active one for the scope, the best one after.
class ActivePath {
public:
    explicit ActivePath(KernelPath path) : ok_(SetKernelPath(path)) {}
    ~ActivePath() { SetKernelPath(BestKernelPath()); }
    ActivePath(const ActivePath&) = delete;
    ActivePath& operator=(const ActivePath&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Index of the first differing byte, or -1.
inline long FirstDifference(const Image& a, const Image& b) {
    const size_t n = a.Bytes();
    for (size_t i = 0; i < n; ++i)
        if (a.m.base->pixelMemory[i] != b.m.base->pixelMemory[i]) return static_cast<long>(i);
    return -1;
}

// The combination tests' source classes (palette, plain, alpha) by number,
// named for their case names.
inline const char* const kClassNames[] = {"Palette", "Plain", "Alpha"};

}  // namespace softtest
