// Software skinning of triangle-list vertices: one blended 3x4 matrix per
// vertex, with the single-bone fast path for a first weight of exactly 1.
#include "model/draw/model_skinning.h"

#include <cstdint>
#include <cstring>

namespace morpotta {

namespace {

struct SkinWeight {
    const Matrix34* matrix;
    float weight;
};

void Accumulate(Matrix34* sum, const Matrix34* m, float w) {
    for (int i = 0; i < 12; ++i) sum->m[i] += m->m[i] * w;
}

// Blends the weights into one matrix; the first weight always counts,
// later zero weights are skipped. Null when no matrix was usable.
const Matrix34* BlendWeights(const SkinWeight* weights, int count, Matrix34* scratch) {
    if (count <= 0) return nullptr;
    if (weights[0].matrix && weights[0].weight == 1.0f) return weights[0].matrix;
    std::memset(scratch, 0, sizeof(*scratch));
    bool any = false;
    for (int i = 0; i < count; ++i) {
        if (!weights[i].matrix || (i > 0 && weights[i].weight == 0.0f)) continue;
        Accumulate(scratch, weights[i].matrix, weights[i].weight);
        any = true;
    }
    return any ? scratch : nullptr;
}

void WriteSkinned(const Matrix34* m, const float p[3], const float n[3], unsigned char* out) {
    float r[6];
    if (!m) {
        std::memset(r, 0, sizeof(r));
    } else {
        const float* a = m->m;
        r[0] = a[0] * p[0] + a[1] * p[1] + a[2] * p[2] + a[3];
        r[1] = a[4] * p[0] + a[5] * p[1] + a[6] * p[2] + a[7];
        r[2] = a[8] * p[0] + a[9] * p[1] + a[10] * p[2] + a[11];
        r[3] = a[0] * n[0] + a[1] * n[1] + a[2] * n[2];
        r[4] = a[4] * n[0] + a[5] * n[1] + a[6] * n[2];
        r[5] = a[8] * n[0] + a[9] * n[1] + a[10] * n[2];
    }
    std::memcpy(out, r, sizeof(r));
}

const Matrix34* PaletteEntry(const Matrix34* const* palette, int paletteCount, uint8_t slot) {
    return slot < paletteCount ? palette[slot] : nullptr;
}

// Kinds 1 and 2 share everything but the byte offsets of their fields.
struct PaletteLayout {
    int stride, weightCount, positionAt, normalAt, slotsAt, moreSlotsAt;
};

void SkinPaletteKind(const PaletteLayout& l, const void* source, int vertexCount, const Matrix34* const* palette,
                     int paletteCount, void* out, int outStride) {
    const unsigned char* in = static_cast<const unsigned char*>(source);
    unsigned char* o = static_cast<unsigned char*>(out);
    for (int v = 0; v < vertexCount; ++v, in += l.stride, o += outStride) {
        float w[8];
        float p[3], n[3];
        uint8_t slots[8];
        std::memcpy(w, in, sizeof(float) * l.weightCount);
        std::memcpy(p, in + l.positionAt, sizeof(p));
        std::memcpy(n, in + l.normalAt, sizeof(n));
        std::memcpy(slots, in + l.slotsAt, 4);
        if (l.weightCount > 4) std::memcpy(slots + 4, in + l.moreSlotsAt, 4);
        SkinWeight weights[8];
        for (int i = 0; i < l.weightCount; ++i) weights[i] = {PaletteEntry(palette, paletteCount, slots[i]), w[i]};
        Matrix34 scratch;
        WriteSkinned(BlendWeights(weights, l.weightCount, &scratch), p, n, o);
    }
}

}  // namespace

void SkinVerticesKind1(const void* source, int vertexCount, const Matrix34* const* palette, int paletteCount,
                       void* out, int outStride) {
    SkinPaletteKind({48, 4, 16, 32, 44, 0}, source, vertexCount, palette, paletteCount, out, outStride);
}

void SkinVerticesKind2(const void* source, int vertexCount, const Matrix34* const* palette, int paletteCount,
                       void* out, int outStride) {
    SkinPaletteKind({64, 8, 48, 32, 44, 60}, source, vertexCount, palette, paletteCount, out, outStride);
}

void SkinVerticesKind3(const void* source, int vertexCount, int sourceStride, int maxWeights,
                       const Matrix34* const* refs, int refCount, void* out, int outStride) {
    const unsigned char* in = static_cast<const unsigned char*>(source);
    unsigned char* o = static_cast<unsigned char*>(out);
    for (int v = 0; v < vertexCount; ++v, in += sourceStride, o += outStride) {
        float p[3], n[3];
        std::memcpy(p, in, sizeof(p));
        std::memcpy(n, in + 16, sizeof(n));
        Matrix34 sum;
        std::memset(&sum, 0, sizeof(sum));
        const Matrix34* m = nullptr;
        const unsigned char* pair = in + 32;
        for (int i = 0; i < maxWeights; ++i, pair += 8) {
            int32_t bone;
            float weight;
            std::memcpy(&bone, pair, 4);
            std::memcpy(&weight, pair + 4, 4);
            if (bone == -1) break;
            if (bone < 0 || bone >= refCount || !refs[bone]) continue;
            if (i == 0 && weight == 1.0f) {
                m = refs[bone];
                break;
            }
            if (i > 0 && weight == 0.0f) continue;
            Accumulate(&sum, refs[bone], weight);
            m = &sum;
        }
        WriteSkinned(m, p, n, o);
    }
}

int MatrixNeedsRenormalise(const Matrix34* m) {
    // The axis images are the first three columns of a 3x4 matrix.
    for (int axis = 0; axis < 3; ++axis) {
        const float* a = m->m + axis;
        float len = a[0] * a[0] + a[4] * a[4] + a[8] * a[8];
        if (len < 0.999f || len > 1.001f) return 1;
    }
    return 0;
}

}  // namespace morpotta
