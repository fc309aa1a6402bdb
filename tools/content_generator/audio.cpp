#include "audio.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

int16_t ToPcm(float v) { return int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)); }

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

}  // namespace

float MidiToHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

void AddNote(Audio& audio, const Voice& v, double at, double seconds, uint32_t noiseSeed) {
    size_t start = size_t(at * kSampleRate);
    size_t held = size_t(seconds * kSampleRate);
    size_t releaseSamples = size_t(v.release * kSampleRate);
    audio.EnsureLength(start + held + releaseSamples + 1);
    double phase = 0;
    uint32_t noise = noiseSeed * 747796405u + 2891336453u;
    float noiseValue = 0;
    for (size_t i = 0; i < held + releaseSamples; ++i) {
        double t = double(i) / kSampleRate;
        double progress = held ? std::min(1.0, double(i) / double(held)) : 1.0;
        double hz = v.startHz * std::pow(double(v.endHz) / v.startHz, progress);
        if (v.vibratoHz > 0) hz *= std::pow(2.0, v.vibratoDepth * std::sin(kTwoPi * v.vibratoHz * t) / 12.0);
        phase += hz / kSampleRate;
        phase -= std::floor(phase);
        float s = 0;
        switch (v.wave) {
            case Wave::Sine: s = float(std::sin(kTwoPi * phase)); break;
            case Wave::Square: s = phase < v.duty ? 1.0f : -1.0f; break;
            case Wave::Triangle: s = float(phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase); break;
            case Wave::Saw: s = float(2 * phase - 1); break;
            case Wave::Noise:
                // new random value at the note's rate, so pitch colours the noise
                if (i == 0 || phase < hz / kSampleRate) {
                    noise = noise * 1664525u + 1013904223u;
                    noiseValue = float(noise >> 8) / float(1 << 23) - 1.0f;
                }
                s = noiseValue;
                break;
        }
        float env;
        if (t < v.attack) {
            env = float(t / v.attack);
        } else if (t < v.attack + v.decay) {
            env = 1.0f - (1.0f - v.sustain) * float((t - v.attack) / v.decay);
        } else {
            env = v.sustain;
        }
        if (i >= held) env *= 1.0f - float(i - held) / float(std::max<size_t>(1, releaseSamples));
        audio.samples[start + i] += s * env * v.volume;
    }
}

void Normalise(Audio& audio, float peak) {
    float loudest = 0;
    for (float s : audio.samples) loudest = std::max(loudest, std::fabs(s));
    if (loudest <= 0) return;
    float gain = peak / loudest;
    for (float& s : audio.samples) s = std::tanh(s * gain * 1.1f) / std::tanh(1.1f);
}

std::vector<uint8_t> EncodeWav(const Audio& audio) {
    std::vector<uint8_t> b;
    b.reserve(44 + audio.samples.size() * 2);
    uint32_t dataBytes = uint32_t(audio.samples.size() * 2);
    PutTag(b, "RIFF");
    Put32(b, 36 + dataBytes);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 1);  // mono
    Put32(b, kSampleRate);
    Put32(b, kSampleRate * 2);
    Put16(b, 2);
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, dataBytes);
    for (float s : audio.samples) Put16(b, uint16_t(ToPcm(s)));
    return b;
}

bool EncodeMp3(const Audio& audio, std::vector<uint8_t>* out) {
    lame_global_flags* gf = lame_init();
    if (!gf) return false;
    lame_set_num_channels(gf, 1);
    lame_set_mode(gf, MONO);
    lame_set_in_samplerate(gf, kSampleRate);
    lame_set_out_samplerate(gf, kSampleRate);
    lame_set_brate(gf, 64);
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, 0);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    std::vector<short> pcm(audio.samples.size());
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = ToPcm(audio.samples[i]);
    std::vector<unsigned char> buffer(pcm.size() * 5 / 4 + 7200 + 8192);
    int n = lame_encode_buffer(gf, pcm.data(), pcm.data(), int(pcm.size()), buffer.data(), int(buffer.size()));
    if (n < 0) {
        lame_close(gf);
        return false;
    }
    int m = lame_encode_flush(gf, buffer.data() + n, int(buffer.size()) - n);
    lame_close(gf);
    if (m < 0) return false;
    out->assign(buffer.begin(), buffer.begin() + n + m);
    return true;
}
