// The rotated blit in the reference model: the mapping worked out per pixel
// from the set-up values (no incremental stepping), and the keying and
// blend rules of the textured triangle (softblit_reference_triangle.h),
// which the direct path shares.
#pragma once
#include <cmath>
#include <cstdint>
#include <optional>

#include "softblit_reference.h"
#include "softblit_reference_triangle.h"

namespace softref {

// The direct path's set-up: box (left, top, right, bottom) and the texel
// position of a box pixel, u = uStart + j * rowU + i * du (mod 2^32).
struct RotateMap {
    int box[4];
    int64_t uStart, vStart, du, dv, rowU, rowV;
    int corner[4][2];  // top-left, bottom-left, bottom-right, top-right (Fixed18)
};

inline std::optional<int64_t> Trunc(float v) {
    if (!(std::fabs(v) < 2147483648.0f)) return std::nullopt;
    return static_cast<int64_t>(std::trunc(v));
}

inline bool InInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// nullopt when the draw is refused or its box is empty.
inline std::optional<RotateMap> MapRotation(const MEMIMG* target, const MEMIMG* source, int x, int y, float angle,
                                            float scale, const State& st, bool boxOnly = false) {
    if (!std::isfinite(angle) || !std::isfinite(scale) || scale <= 0) return std::nullopt;
    if (x < -8192 || x > 8191 || y < -8192 || y > 8191) return std::nullopt;
    if (source->width > 8192 || source->height > 8192) return std::nullopt;
    const float one = 262144.0f;
    const auto C = Trunc(static_cast<float>(std::cos(static_cast<double>(angle))) * one);
    const auto S = Trunc(static_cast<float>(std::sin(static_cast<double>(angle))) * one);
    const auto Ci = Trunc(static_cast<float>(std::cos(-static_cast<double>(angle))) * one);
    const auto Si = Trunc(static_cast<float>(std::sin(-static_cast<double>(angle))) * one);
    if (!C || !S || !Ci || !Si) return std::nullopt;
    const float hw = static_cast<float>(source->width) * scale * 0.5f;
    const float hh = static_cast<float>(source->height) * scale * 0.5f;
    const float A1 = static_cast<float>(*C) * hw, B1 = static_cast<float>(*S) * hw;
    const float A2 = static_cast<float>(*C) * hh, B2 = static_cast<float>(*S) * hh;
    const float off[4][2] = {{-A1 + B2, -A2 - B1}, {-A1 - B2, A2 - B1}, {A1 - B2, A2 + B1}, {A1 + B2, -A2 + B1}};
    RotateMap m{};
    int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
    for (int i = 0; i < 4; ++i) {
        const auto ox = Trunc(off[i][0]), oy = Trunc(off[i][1]);
        if (!ox || !oy) return std::nullopt;
        const int64_t px = int64_t{x} * 262144 + *ox, py = int64_t{y} * 262144 + *oy;
        if (!InInt(px) || !InInt(py)) return std::nullopt;
        m.corner[i][0] = static_cast<int>(px);
        m.corner[i][1] = static_cast<int>(py);
        minX = std::min(minX, px / 262144);
        maxX = std::max(maxX, px / 262144);
        minY = std::min(minY, py / 262144);
        maxY = std::max(maxY, py / 262144);
    }
    if (boxOnly) return m;
    int64_t c[4];
    Clip(target, st, c);
    const int64_t left = std::clamp(minX - 2, c[0], c[2]), right = std::clamp(maxX + 4, c[0], c[2]);
    const int64_t top = std::clamp(minY - 2, c[1], c[3]), bottom = std::clamp(maxY + 4, c[1], c[3]);
    if (right <= left || bottom <= top) return std::nullopt;
    m.box[0] = static_cast<int>(left);
    m.box[1] = static_cast<int>(top);
    m.box[2] = static_cast<int>(right);
    m.box[3] = static_cast<int>(bottom);
    const auto du = Trunc(static_cast<float>(*C) / scale), dv = Trunc(static_cast<float>(*Si) / scale);
    if (!du || !dv) return std::nullopt;
    auto texel = [&](int64_t px, int64_t py, int64_t& u, int64_t& v) {
        const int64_t nu = (px - x) * *Ci - (py - y) * *Si, nv = (py - y) * *Ci + (px - x) * *Si;
        if (!InInt(nu) || !InInt(nv)) return false;
        const auto tu = Trunc(static_cast<float>(nu) / scale), tv = Trunc(static_cast<float>(nv) / scale);
        if (!tu || !tv) return false;
        u = *tu + int64_t{source->width / 2} * 262144;
        v = *tv + int64_t{source->height / 2} * 262144;
        return InInt(u) && InInt(v);
    };
    int64_t uB, vB;
    if (!texel(left, top, m.uStart, m.vStart) || !texel(left, bottom, uB, vB)) return std::nullopt;
    if (!InInt(uB - m.uStart) || !InInt(vB - m.vStart)) return std::nullopt;
    m.du = *du;
    m.dv = *dv;
    m.rowU = (uB - m.uStart) / (bottom - top);
    m.rowV = (vB - m.vStart) / (bottom - top);
    return m;
}

// The mapped draws' pixel: keying and blend rules of the textured triangle.
inline std::optional<uint32_t> MappedPixel(const Draw& g, const Source& s, int b, uint32_t d) {
    const auto useA = TriangleAlphaFactor(g, s);
    if (!useA) return std::nullopt;
    return g.kind == 1 ? TrianglePixel32(g, s, *useA, b, d) : TrianglePixel16(g, s, *useA, b, d);
}

// The rotated blit's direct path (turn flag 0).
inline void RotateBlit(MEMIMG* target, const MEMIMG* source, int x, int y, float angle, float scale, int transparent,
                       const MEMIMG* blendImage, const State& st) {
    if (blendImage && (blendImage->width < source->width || blendImage->height < source->height)) return;
    const auto prepared = Prepare(target, source, blendImage != nullptr, transparent, false, st);
    if (!prepared) return;
    const auto m = MapRotation(target, source, x, y, angle, scale, st);
    if (!m) return;
    const int tb = prepared->kind == 1 ? 4 : 2;
    const uint32_t uLimit = static_cast<uint32_t>(source->width) << 18;
    const uint32_t vLimit = static_cast<uint32_t>(source->height) << 18;
    for (int ty = m->box[1]; ty < m->box[3]; ++ty) {
        const int64_t j = ty - m->box[1];
        for (int tx = m->box[0]; tx < m->box[2]; ++tx) {
            const int64_t i = tx - m->box[0];
            const uint32_t u = static_cast<uint32_t>(m->uStart + j * m->rowU + i * m->du);
            const uint32_t v = static_cast<uint32_t>(m->vStart + j * m->rowV + i * m->dv);
            if (u >= uLimit || v >= vLimit) continue;
            const int col = static_cast<int>(u >> 18), row = static_cast<int>(v >> 18);
            uint8_t* dp = PixelAt(target, tx, ty);
            const int b = blendImage ? st.level[*PixelAt(blendImage, col, row)] : 0;
            const auto out = MappedPixel(*prepared, ReadSource(source, col, row), b, ReadBytes(dp, tb));
            if (out) WriteBytes(dp, *out, tb);
        }
    }
}

}  // namespace softref
