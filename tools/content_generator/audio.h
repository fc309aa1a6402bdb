// Synthesised audio: a float sample buffer, a few oscillators and
// envelopes, and the two file forms (16-bit PCM WAV, MP3 through LAME).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int kSampleRate = 22050;

struct Audio {
    std::vector<float> samples;  // mono, -1..1
    void EnsureLength(size_t n) {
        if (samples.size() < n) samples.resize(n, 0.0f);
    }
};

enum class Wave { Sine, Square, Triangle, Saw, Noise };

struct Voice {
    Wave wave = Wave::Square;
    float startHz = 440, endHz = 440;  // exponential glide over the note
    float duty = 0.5f;                 // square only
    float attack = 0.005f, decay = 0.05f, sustain = 0.7f, release = 0.05f;  // seconds / level
    float volume = 0.3f;
    float vibratoHz = 0, vibratoDepth = 0;  // depth in semitones
};

// Adds one note of the voice, seconds long, starting at 'at' seconds.
void AddNote(Audio& audio, const Voice& voice, double at, double seconds, uint32_t noiseSeed = 1);
// Scales so that the loudest sample reaches peak, with gentle saturation.
void Normalise(Audio& audio, float peak);
float MidiToHz(float note);

std::vector<uint8_t> EncodeWav(const Audio& audio);
// False when the encoder fails.
bool EncodeMp3(const Audio& audio, std::vector<uint8_t>* out);
