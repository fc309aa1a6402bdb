// Key-track normalisation passes over every animation of a read model.
#include <cmath>
#include <cstring>

#include "model/anim/anim_keys.h"

namespace morpotta {

namespace {

// A new track in the same animation with the same times. Its arrays are
// taken first, so a failure never leaves a half-made track linked.
ReadModelAnimKeySet* AddSiblingTrack(ReadModel* model, ReadModelAnimKeySet* from, uint8_t valueType, uint8_t kind) {
    float* times = nullptr;
    if (from->explicitTimes) {
        times = AllocReadModelArray<float>(model, size_t(from->keyCount));
        if (!times) return nullptr;
        std::memcpy(times, from->times, sizeof(float) * size_t(from->keyCount));
    }
    auto* values =
        AllocReadModelArray<float>(model, size_t(from->keyCount) * size_t(ReadKeyValueBytes(valueType) / 4));
    if (!values) return nullptr;
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(model, from->anim);
    if (!ks) return nullptr;
    ks->valueType = valueType;
    ks->keyKind = kind;
    ks->explicitTimes = from->explicitTimes;
    ks->shapeIndex = -1;
    ks->totalTime = from->totalTime;
    ks->keyCount = from->keyCount;
    ks->timeStep = from->timeStep;
    ks->startTime = from->startTime;
    ks->times = times;
    ks->values = values;
    model->keyDataBytes += KeyTrackBytes(ks);
    return ks;
}


void SplitMatrixTrack(ReadModel* model, ReadModelAnimKeySet* ks) {
    int n = ks->keyCount;
    auto* translations = AllocReadModelArray<float>(model, size_t(n) * 3);
    if (!translations) return;
    ReadModelAnimKeySet* rs = AddSiblingTrack(model, ks, READ_KEY_MATRIX3X3, READ_KIND_ROTATION_SCALE);
    if (!rs) return;
    for (int i = 0; i < n; ++i) {
        const float* m = ks->values + size_t(i) * 12;
        std::memcpy(rs->values + size_t(i) * 9, m, sizeof(float) * 9);
        std::memcpy(translations + size_t(i) * 3, m + 9, sizeof(float) * 3);
    }
    uint32_t before = KeyTrackBytes(ks);
    ks->values = translations;
    ks->valueType = READ_KEY_VECTOR;
    ks->keyKind = READ_KIND_TRANSLATION;
    model->keyDataBytes = model->keyDataBytes - before + KeyTrackBytes(ks);
}

float ColumnLength(const float* m, int c) {
    return std::sqrt(m[c] * m[c] + m[3 + c] * m[3 + c] + m[6 + c] * m[6 + c]);
}

void SplitRotationScaleTrack(ReadModel* model, ReadModelAnimKeySet* ks) {
    int n = ks->keyCount;
    auto* quaternions = AllocReadModelArray<float>(model, size_t(n) * 4);
    auto* scales = AllocReadModelArray<float>(model, size_t(n) * 3);
    if (!quaternions || !scales) return;
    bool scaled = false;
    for (int i = 0; i < n; ++i) {
        float m[9];
        std::memcpy(m, ks->values + size_t(i) * 9, sizeof(m));
        for (int c = 0; c < 3; ++c) {
            float length = ColumnLength(m, c);
            scales[i * 3 + c] = length;
            if (length < 0.999f || length > 1.0001f) scaled = true;
            if (length > 0.0f)
                for (int r = 0; r < 3; ++r) m[r * 3 + c] /= length;
        }
        QuaternionFromRotationRows(m, quaternions + size_t(i) * 4);
    }
    if (scaled) {
        ReadModelAnimKeySet* ss = AddSiblingTrack(model, ks, READ_KEY_VECTOR, READ_KIND_SCALE);
        if (!ss) return;  // keep the track whole rather than lose its scale
        std::memcpy(ss->values, scales, sizeof(float) * 3 * size_t(n));
    }
    uint32_t before = KeyTrackBytes(ks);
    ks->values = quaternions;
    ks->valueType = READ_KEY_QUATERNION_INTERNAL;
    ks->keyKind = READ_KIND_ROTATION;
    model->keyDataBytes = model->keyDataBytes - before + KeyTrackBytes(ks);
}

bool IsVectorQuantity(int kind) {
    return kind == READ_KIND_ROTATION || kind == READ_KIND_SCALE || kind == READ_KIND_TRANSLATION;
}

bool SomeAxisStill(const ReadModelAnimKeySet* ks) {
    for (int c = 0; c < 3; ++c) {
        bool still = true;
        for (int i = 1; i < ks->keyCount && still; ++i)
            still = std::fabs(ks->values[i * 3 + c] - ks->values[c]) <= 0.000001f;
        if (still) return true;
    }
    return false;
}

void SplitVectorTrack(ReadModel* model, ReadModelAnimKeySet* ks) {
    int n = ks->keyCount;
    uint8_t first = uint8_t(ks->keyKind + 1);
    ReadModelAnimKeySet* axes[3] = {ks, nullptr, nullptr};
    auto* xs = AllocReadModelArray<float>(model, size_t(n));
    if (!xs) return;
    for (int a = 1; a < 3; ++a) {
        axes[a] = AddSiblingTrack(model, ks, READ_KEY_FLOAT, uint8_t(first + a));
        if (!axes[a]) {
            if (a == 2) UnlinkReadModelKeySet(model, axes[1]);  // the vector track stays whole
            return;
        }
    }
    for (int i = 0; i < n; ++i) {
        xs[i] = ks->values[i * 3];
        axes[1]->values[i] = ks->values[i * 3 + 1];
        axes[2]->values[i] = ks->values[i * 3 + 2];
    }
    uint32_t before = KeyTrackBytes(ks);
    ks->values = xs;
    ks->valueType = READ_KEY_FLOAT;
    ks->keyKind = first;
    model->keyDataBytes = model->keyDataBytes - before + KeyTrackBytes(ks);
    for (ReadModelAnimKeySet* axis : axes) ReduceReadModelKeySet(model, axis, 0);
}

bool SameTimes(const ReadModelAnimKeySet* a, const ReadModelAnimKeySet* b) {
    if (a->keyCount != b->keyCount || a->explicitTimes != b->explicitTimes) return false;
    if (!a->explicitTimes)
        return a->timeStep == b->timeStep && std::fabs(a->startTime - b->startTime) <= 0.0000001f;
    for (int i = 0; i < a->keyCount; ++i)
        if (a->times[i] != b->times[i]) return false;
    return true;
}

ReadModelAnimKeySet* FindTrack(ReadModelAnim* anim, int kind, int valueType) {
    for (ReadModelAnimKeySet* ks = anim->keySets.first; ks; ks = ks->nextInAnim)
        if (ks->keyKind == kind && ks->valueType == valueType) return ks;
    return nullptr;
}

}  // namespace

void UnlinkReadModelKeySet(ReadModel* model, ReadModelAnimKeySet* ks) {
    ReadModelAnim* anim = ks->anim;
    if (ks->prevInAnim) ks->prevInAnim->nextInAnim = ks->nextInAnim;
    else anim->keySets.first = ks->nextInAnim;
    if (ks->nextInAnim) ks->nextInAnim->prevInAnim = ks->prevInAnim;
    else anim->keySets.last = ks->prevInAnim;
    --anim->keySets.count;
    if (ks->prev) ks->prev->next = ks->next;
    else model->keySets.first = ks->next;
    if (ks->next) ks->next->prev = ks->prev;
    else model->keySets.last = ks->prev;
    --model->keySets.count;
    model->keyDataBytes -= KeyTrackBytes(ks);
}

namespace {

void MergeAxisTracks(ReadModel* model, ReadModelAnim* anim, int vectorKind) {
    ReadModelAnimKeySet* axes[3];
    for (int a = 0; a < 3; ++a)
        if (!(axes[a] = FindTrack(anim, vectorKind + 1 + a, READ_KEY_FLOAT))) return;
    if (!SameTimes(axes[0], axes[1]) || !SameTimes(axes[0], axes[2])) return;
    int n = axes[0]->keyCount;
    auto* values = AllocReadModelArray<float>(model, size_t(n) * 3);
    if (!values) return;
    for (int i = 0; i < n; ++i)
        for (int a = 0; a < 3; ++a) values[i * 3 + a] = axes[a]->values[i];
    uint32_t before = KeyTrackBytes(axes[0]);
    axes[0]->values = values;
    axes[0]->valueType = READ_KEY_VECTOR;
    axes[0]->keyKind = uint8_t(vectorKind);
    model->keyDataBytes = model->keyDataBytes - before + KeyTrackBytes(axes[0]);
    UnlinkReadModelKeySet(model, axes[1]);
    UnlinkReadModelKeySet(model, axes[2]);
}

template <typename Pass>
void ForEachTrack(ReadModelAnim* anim, Pass pass) {
    // Passes may append tracks; those are visited too, which is harmless
    // because each pass only rewrites tracks of its own kind.
    for (ReadModelAnimKeySet* ks = anim->keySets.first; ks; ks = ks->nextInAnim) pass(ks);
}

}  // namespace

void QuaternionFromRotationRows(const float m[9], float q[4]) {
    // m is row-vector: the column-vector matrix is its transpose.
    auto r = [&](int row, int col) { return m[col * 3 + row]; };
    float trace = r(0, 0) + r(1, 1) + r(2, 2);
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        q[3] = 0.25f * s;
        q[0] = (r(2, 1) - r(1, 2)) / s;
        q[1] = (r(0, 2) - r(2, 0)) / s;
        q[2] = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        float s = std::sqrt(1.0f + r(0, 0) - r(1, 1) - r(2, 2)) * 2.0f;
        q[3] = (r(2, 1) - r(1, 2)) / s;
        q[0] = 0.25f * s;
        q[1] = (r(0, 1) + r(1, 0)) / s;
        q[2] = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        float s = std::sqrt(1.0f + r(1, 1) - r(0, 0) - r(2, 2)) * 2.0f;
        q[3] = (r(0, 2) - r(2, 0)) / s;
        q[0] = (r(0, 1) + r(1, 0)) / s;
        q[1] = 0.25f * s;
        q[2] = (r(1, 2) + r(2, 1)) / s;
    } else {
        float s = std::sqrt(1.0f + r(2, 2) - r(0, 0) - r(1, 1)) * 2.0f;
        q[3] = (r(1, 0) - r(0, 1)) / s;
        q[0] = (r(0, 2) + r(2, 0)) / s;
        q[1] = (r(1, 2) + r(2, 1)) / s;
        q[2] = 0.25f * s;
    }
}

int NormalizeReadModelAnimKeys(ReadModel* model) {
    // A track whose arrays are missing holds no keys.
    for (ReadModelAnimKeySet* ks = model->keySets.first; ks; ks = ks->next)
        if (ks->keyCount < 0 || (ks->keyCount > 0 && (!ks->values || (ks->explicitTimes && !ks->times))))
            ks->keyCount = 0;
    for (ReadModelAnim* anim = model->anims.first; anim; anim = anim->next) {
        ForEachTrack(anim, [&](ReadModelAnimKeySet* ks) {
            if (ks->keyKind == READ_KIND_MATRIX && ks->valueType == READ_KEY_MATRIX4X3) SplitMatrixTrack(model, ks);
        });
        ForEachTrack(anim, [&](ReadModelAnimKeySet* ks) {
            if (ks->keyKind == READ_KIND_ROTATION_SCALE && ks->valueType == READ_KEY_MATRIX3X3)
                SplitRotationScaleTrack(model, ks);
        });
        ForEachTrack(anim, [&](ReadModelAnimKeySet* ks) { ReduceReadModelKeySet(model, ks, 1); });
        if (!anim->set || anim->set->words[1] == 0) {
            ForEachTrack(anim, [&](ReadModelAnimKeySet* ks) {
                if (ks->valueType == READ_KEY_VECTOR && IsVectorQuantity(ks->keyKind) && ks->keyCount >= 2 &&
                    SomeAxisStill(ks))
                    SplitVectorTrack(model, ks);
            });
        }
        MergeAxisTracks(model, anim, READ_KIND_TRANSLATION);
        MergeAxisTracks(model, anim, READ_KIND_SCALE);
        MergeAxisTracks(model, anim, READ_KIND_ROTATION);
    }
    return 0;
}

}  // namespace morpotta
