// The mixing kernels of the software sound device: one voice at a time is
// added into a 32-bit stereo accumulator, which is then saturated to 16
// bits. Positions are 32.32 fixed-point frames; at a step of exactly one
// frame and full gain a voice is copied sample for sample.
#pragma once
#include <cstdint>

namespace morpotta {

struct MixVoice {
    const uint8_t* data;
    uint32_t frames;       // frames in the ring
    int channels;          // 1 or 2
    int bits;              // 8 (unsigned) or 16 (signed)
    uint64_t position;     // 32.32 frames
    uint64_t step;         // 32.32 frames per output frame
    int32_t gainLeft;      // Q16, 65536 = unity
    int32_t gainRight;
    bool looping;
    bool playing;          // cleared when a one-shot voice runs off its end
};

constexpr uint64_t kMixUnityStep = uint64_t(1) << 32;
constexpr int32_t kMixUnityGain = 65536;  // Q16

// Q16 gains of a volume (hundredths of dB, -10000..0) and pan (-10000 left
// .. 10000 right): the side opposite the pan is attenuated by its amount.
void ComputeMixGains(int volume, int pan, int32_t* left, int32_t* right);
// step for a voice at hz mixed into rate.
uint64_t ComputeMixStep(uint32_t hz, uint32_t rate);
// Adds frames output frames of the voice into accumulator (2 x frames).
void MixVoiceInto(MixVoice* voice, int32_t* accumulator, int frames);
void SaturateMix(const int32_t* accumulator, int16_t* out, int samples);

}  // namespace morpotta
