// Mixing kernels, one loop per source layout so that the inner loop does no
// per-sample format decisions.
#include "sound/device/sound_mixer.h"

#include <cmath>
#include <cstring>

namespace morpotta {

namespace {

template <int Bits>
inline int32_t Sample(const uint8_t* data, uint32_t index) {
    if constexpr (Bits == 8) {
        return (int32_t(data[index]) - 128) << 8;
    } else {
        int16_t s;
        std::memcpy(&s, data + size_t(index) * 2, 2);
        return s;
    }
}

// The frame after frame i for interpolation: wraps when looping, holds the
// last frame otherwise.
inline uint32_t NextFrame(uint32_t i, uint32_t frames, bool looping) {
    uint32_t n = i + 1;
    if (n < frames) return n;
    return looping ? 0 : i;
}

inline int32_t Lerp(int32_t a, int32_t b, uint32_t fraction) {
    return a + int32_t((int64_t(b - a) * int64_t(fraction >> 16)) >> 16);
}

// At or past the ring's end: back to the start, or stopped for a one-shot
// voice. False when the voice stopped.
inline bool WrapAtEnd(MixVoice* v, uint64_t end) {
    if (v->position < end) return true;
    if (!v->looping) {
        v->playing = false;
        v->position = 0;
        return false;
    }
    v->position %= end;
    return true;
}

template <int Channels, int Bits>
void MixLayout(MixVoice* v, int32_t* acc, int frames) {
    const uint64_t end = uint64_t(v->frames) << 32;
    const int32_t gl = v->gainLeft, gr = v->gainRight;
    int f = 0;
    while (f < frames) {
        if (!WrapAtEnd(v, end)) return;
        uint32_t i = uint32_t(v->position >> 32);
        uint32_t fraction = uint32_t(v->position);
        if (v->step == kMixUnityStep && fraction == 0) {
            // Exact copy: as many whole frames as remain before the ring's end.
            int run = int(v->frames - i);
            if (run > frames - f) run = frames - f;
            if (gl == kMixUnityGain && gr == kMixUnityGain) {
                // Full volume, centred: plain addition, which vectorises.
                int32_t* a = acc + f * 2;
                for (int k = 0; k < run; ++k) {
                    if constexpr (Channels == 1) {
                        int32_t x = Sample<Bits>(v->data, i + uint32_t(k));
                        a[k * 2] += x;
                        a[k * 2 + 1] += x;
                    } else {
                        a[k * 2] += Sample<Bits>(v->data, (i + uint32_t(k)) * 2);
                        a[k * 2 + 1] += Sample<Bits>(v->data, (i + uint32_t(k)) * 2 + 1);
                    }
                }
                f += run;
                v->position += uint64_t(run) << 32;
                continue;
            }
            for (int k = 0; k < run; ++k, ++i, ++f) {
                int32_t l, r;
                if constexpr (Channels == 1) {
                    l = r = Sample<Bits>(v->data, i);
                } else {
                    l = Sample<Bits>(v->data, i * 2);
                    r = Sample<Bits>(v->data, i * 2 + 1);
                }
                acc[f * 2] += int32_t((int64_t(l) * gl) >> 16);
                acc[f * 2 + 1] += int32_t((int64_t(r) * gr) >> 16);
            }
            v->position += uint64_t(run) << 32;
            continue;
        }
        uint32_t n = NextFrame(i, v->frames, v->looping);
        int32_t l, r;
        if constexpr (Channels == 1) {
            l = r = Lerp(Sample<Bits>(v->data, i), Sample<Bits>(v->data, n), fraction);
        } else {
            l = Lerp(Sample<Bits>(v->data, i * 2), Sample<Bits>(v->data, n * 2), fraction);
            r = Lerp(Sample<Bits>(v->data, i * 2 + 1), Sample<Bits>(v->data, n * 2 + 1), fraction);
        }
        acc[f * 2] += int32_t((int64_t(l) * gl) >> 16);
        acc[f * 2 + 1] += int32_t((int64_t(r) * gr) >> 16);
        ++f;
        v->position += v->step;
    }
    WrapAtEnd(v, end);
}

int32_t GainOf(int hundredthsDb) {
    if (hundredthsDb <= -10000) return 0;
    if (hundredthsDb >= 0) return 65536;
    return int32_t(std::lround(65536.0 * std::pow(10.0, hundredthsDb / 2000.0)));
}

}  // namespace

void ComputeMixGains(int volume, int pan, int32_t* left, int32_t* right) {
    int l = volume, r = volume;
    if (pan < 0) r += pan;
    if (pan > 0) l -= pan;
    *left = GainOf(l);
    *right = GainOf(r);
}

uint64_t ComputeMixStep(uint32_t hz, uint32_t rate) {
    if (rate == 0) return kMixUnityStep;
    return (uint64_t(hz) << 32) / rate;
}

void MixVoiceInto(MixVoice* v, int32_t* accumulator, int frames) {
    if (!v->playing || !v->data || v->frames == 0 || frames <= 0) return;
    bool stereo = v->channels == 2;
    if (v->bits == 8) {
        stereo ? MixLayout<2, 8>(v, accumulator, frames) : MixLayout<1, 8>(v, accumulator, frames);
    } else {
        stereo ? MixLayout<2, 16>(v, accumulator, frames) : MixLayout<1, 16>(v, accumulator, frames);
    }
}

void SaturateMix(const int32_t* accumulator, int16_t* out, int samples) {
    for (int i = 0; i < samples; ++i) {
        int32_t s = accumulator[i];
        out[i] = int16_t(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
    }
}

}  // namespace morpotta
