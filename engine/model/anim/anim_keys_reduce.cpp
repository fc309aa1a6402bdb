// Reduction of one key track: keys that the interpolation of their
// neighbours reproduces are dropped, and evenly spaced explicit times are
// replaced by a start and a step when that is smaller.
#include <cmath>
#include <cstring>

#include "model/anim/anim_keys.h"

namespace morpotta {

namespace {

constexpr float kKeyTolerance = 0.00001f;
// A key is kept at least every this many keys: the test for a dropped run
// looks at every key of it, and long sampled tracks (a motion sampled at
// every half frame) would otherwise take time in the square of their keys.
constexpr int kLongestDroppedRun = 128;

float KeyTime(const ReadModelAnimKeySet* ks, int i) {
    return ks->explicitTimes ? ks->times[i] : ks->startTime + float(i) * ks->timeStep;
}

bool EvenlySpaced(const ReadModelAnimKeySet* ks) {
    if (!ks->explicitTimes) return true;
    if (ks->keyCount <= 2) return false;
    float gap = ks->times[1] - ks->times[0];
    for (int i = 2; i < ks->keyCount; ++i)
        if (std::fabs(ks->times[i] - ks->times[i - 1] - gap) > 0.000001f) return false;
    return true;
}

// Where key i lies between the kept key and key next, as a fraction. For
// tracks without explicit times this is the key-count fraction, not a
// fixed half, since keys between may have been dropped already.
float Fraction(const ReadModelAnimKeySet* ks, int kept, int i, int next) {
    if (!ks->explicitTimes) return float(i - kept) / float(next - kept);
    float span = ks->times[next] - ks->times[kept];
    return span != 0.0f ? (ks->times[i] - ks->times[kept]) / span : 0.0f;
}

bool OnLine(const ReadModelAnimKeySet* ks, int width, int kept, int i, int next) {
    float f = Fraction(ks, kept, i, next);
    const float* a = ks->values + size_t(kept) * width;
    const float* b = ks->values + size_t(next) * width;
    const float* v = ks->values + size_t(i) * width;
    for (int c = 0; c < width; ++c)
        if (std::fabs(a[c] + (b[c] - a[c]) * f - v[c]) > kKeyTolerance) return false;
    return true;
}

// Key i may go when every key after the last kept one up to i stays on
// the line from the kept key to key i + 1, so the error of dropped keys
// never adds up.
bool Droppable(const ReadModelAnimKeySet* ks, int width, int kept, int i) {
    if (i - kept >= kLongestDroppedRun) return false;
    for (int j = kept + 1; j <= i; ++j)
        if (!OnLine(ks, width, kept, j, i + 1)) return false;
    return true;
}

// Every key holds the first key's values.
bool Constant(const ReadModelAnimKeySet* ks, int valueBytes) {
    for (int i = 1; i < ks->keyCount; ++i)
        if (std::memcmp(ks->values, ks->values + size_t(i) * size_t(valueBytes / 4), size_t(valueBytes)) != 0)
            return false;
    return true;
}

}  // namespace

uint32_t KeyTrackBytes(const ReadModelAnimKeySet* ks) {
    uint32_t size = uint32_t(ReadKeyValueBytes(ks->valueType));
    return (ks->explicitTimes ? size + 4 : size) * uint32_t(ks->keyCount);
}

void ReduceReadModelKeySet(ReadModel* model, ReadModelAnimKeySet* ks, int flag) {
    int n = ks->keyCount;
    int valueBytes = ReadKeyValueBytes(ks->valueType);
    int width = valueBytes / 4;
    if (n <= 0 || width == 0 || !ks->values) return;
    bool even = EvenlySpaced(ks);
    auto* values = AllocReadModelArray<float>(model, size_t(n) * width);
    auto* times = AllocReadModelArray<float>(model, size_t(n));
    if (!values || !times) return;

    int keptCount = 0, lastKept = 0;
    auto keep = [&](int i) {
        std::memcpy(values + size_t(keptCount) * width, ks->values + size_t(i) * width, size_t(valueBytes));
        times[keptCount++] = KeyTime(ks, i);
        lastKept = i;
    };
    keep(0);
    const bool constant = Constant(ks, valueBytes);  // every key drops, however long the track
    for (int i = 1; i < n - 1 && !constant; ++i)
        if (!Droppable(ks, width, lastKept, i)) keep(i);
    if (n > 1) {
        bool sameAsFirst = keptCount == 1 && std::memcmp(ks->values, ks->values + size_t(n - 1) * width,
                                                         size_t(valueBytes)) == 0;
        if (!sameAsFirst) keep(n - 1);
    }

    bool pays = keptCount == 1 ||
                (keptCount < n && (!even || (valueBytes + 4) * keptCount < n * valueBytes));
    uint32_t before = KeyTrackBytes(ks);
    if (pays && (flag == 0 || keptCount == 1)) {
        ks->values = values;
        ks->times = times;
        ks->keyCount = keptCount;
        ks->explicitTimes = 1;
        if (keptCount == 1) {
            ks->explicitTimes = 0;
            ks->startTime = 0.0f;
            ks->timeStep = ks->totalTime;
        }
    } else if (!pays && ks->explicitTimes && even) {
        ks->startTime = ks->times[0];
        ks->timeStep = ks->times[1] - ks->times[0];
        ks->explicitTimes = 0;
    }
    model->keyDataBytes = model->keyDataBytes - before + KeyTrackBytes(ks);
}

}  // namespace morpotta
