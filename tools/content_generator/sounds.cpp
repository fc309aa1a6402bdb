// Sound effects: short, distinct, synthesised.
#include "audio.h"
#include "generator.h"

#include <functional>

namespace {

Voice Make(Wave wave, float startHz, float endHz, float volume, float attack, float decay, float sustain, float release) {
    Voice v;
    v.wave = wave;
    v.startHz = startHz;
    v.endHz = endHz;
    v.volume = volume;
    v.attack = attack;
    v.decay = decay;
    v.sustain = sustain;
    v.release = release;
    return v;
}

Audio Effect(const std::function<void(Audio&)>& build) {
    Audio a;
    build(a);
    Normalise(a, 0.7f);
    return a;
}

}  // namespace

void GenerateSounds(OutputTree& out) {
    struct Entry {
        const char* path;
        std::function<void(Audio&)> build;
    };
    const Entry entries[] = {
        {"tpa\\SE\\cursor_move.wav", [](Audio& a) { AddNote(a, Make(Wave::Square, 1320, 1320, 0.3f, 0.002f, 0.03f, 0.2f, 0.02f), 0, 0.035); }},
        {"tpa\\SE\\cursor_cancel.wav",
         [](Audio& a) {
             AddNote(a, Make(Wave::Square, 660, 660, 0.3f, 0.002f, 0.04f, 0.5f, 0.03f), 0, 0.05);
             AddNote(a, Make(Wave::Square, 440, 440, 0.3f, 0.002f, 0.04f, 0.5f, 0.05f), 0.06, 0.07);
         }},
        {"tpa\\SE\\cursor_decide.wav",
         [](Audio& a) {
             AddNote(a, Make(Wave::Square, 880, 880, 0.3f, 0.002f, 0.04f, 0.5f, 0.03f), 0, 0.05);
             AddNote(a, Make(Wave::Square, 1320, 1320, 0.3f, 0.002f, 0.06f, 0.5f, 0.08f), 0.06, 0.09);
         }},
        {"tpa\\SE\\tm2_mind000.wav",
         [](Audio& a) {
             const float notes[] = {72, 76, 79, 84, 88};
             for (int i = 0; i < 5; ++i) {
                 AddNote(a, Make(Wave::Triangle, MidiToHz(notes[i]), MidiToHz(notes[i]), 0.35f, 0.003f, 0.2f, 0.3f, 0.3f), i * 0.07, 0.2);
             }
         }},
        {"tpa\\SE\\tm2_metalhit000.wav",
         [](Audio& a) {
             for (float ratio : {1.0f, 2.76f, 5.4f, 8.93f}) {
                 AddNote(a, Make(Wave::Sine, 1400 * ratio, 1400 * ratio, 0.3f / ratio, 0.001f, 0.25f, 0.0f, 0.05f), 0, 0.3);
             }
         }},
        {"tpa\\SE\\tm2_death000.wav",
         [](Audio& a) {
             Voice v = Make(Wave::Square, 700, 90, 0.35f, 0.005f, 0.1f, 0.8f, 0.1f);
             v.vibratoHz = 12;
             v.vibratoDepth = 1.5f;
             AddNote(a, v, 0, 0.7);
         }},
        {"tpa\\SE\\tm2_death001.wav",
         [](Audio& a) {
             AddNote(a, Make(Wave::Noise, 4000, 300, 0.4f, 0.002f, 0.3f, 0.3f, 0.2f), 0, 0.5, 3);
             AddNote(a, Make(Wave::Triangle, 300, 60, 0.4f, 0.002f, 0.3f, 0.4f, 0.1f), 0, 0.45);
         }},
        {"tpa\\SE\\tm2_power001.wav",
         [](Audio& a) {
             for (int i = 0; i < 6; ++i) {
                 float hz = MidiToHz(60.0f + i * 4);
                 AddNote(a, Make(Wave::Square, hz, hz * 1.05f, 0.25f, 0.002f, 0.04f, 0.6f, 0.04f), i * 0.05, 0.05);
             }
         }},
        {"tpa\\SE\\tm2_slash000.wav", [](Audio& a) { AddNote(a, Make(Wave::Noise, 9000, 1500, 0.45f, 0.01f, 0.12f, 0.1f, 0.05f), 0, 0.18, 5); }},
        {"tpa\\SE\\kitty01.wav",
         [](Audio& a) {
             Voice v = Make(Wave::Saw, 700, 520, 0.3f, 0.03f, 0.1f, 0.8f, 0.12f);
             v.vibratoHz = 7;
             v.vibratoDepth = 0.6f;
             AddNote(a, v, 0, 0.18);
             AddNote(a, Make(Wave::Sine, 1400, 1000, 0.2f, 0.03f, 0.1f, 0.7f, 0.12f), 0, 0.18);
         }},
        {"tpa\\SE\\tm2_power000.wav",
         [](Audio& a) {
             Voice v = Make(Wave::Saw, 110, 440, 0.3f, 0.05f, 0.2f, 0.8f, 0.1f);
             v.vibratoHz = 18;
             v.vibratoDepth = 0.5f;
             AddNote(a, v, 0, 0.6);
         }},
        {"tpa\\SE\\tm2_counter000.wav", [](Audio& a) { AddNote(a, Make(Wave::Square, 2000, 2000, 0.2f, 0.001f, 0.015f, 0.0f, 0.005f), 0, 0.02); }},
        {"tpa\\SE\\tm2_shoot003.wav", [](Audio& a) { AddNote(a, Make(Wave::Square, 400, 900, 0.3f, 0.002f, 0.08f, 0.4f, 0.04f), 0, 0.1); }},
        {"tpa\\SE\\tm2_scratch000.wav",
         [](Audio& a) {
             for (int i = 0; i < 3; ++i) {
                 AddNote(a, Make(Wave::Noise, 6000, 2500, 0.4f, 0.003f, 0.03f, 0.2f, 0.02f), i * 0.06, 0.04, 11 + i);
             }
         }},
    };
    for (const Entry& e : entries) out.WriteBytes(e.path, EncodeWav(Effect(e.build)));
}
