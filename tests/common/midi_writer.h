// Standard MIDI Files written by the tests: the byte helpers, a piano run
// and a General MIDI band.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace midiwriter {

inline void PutBig32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(uint8_t(x >> (8 * i)));
}
inline void PutBig16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}
// Element by element: GCC 12 warns falsely on inserting a list at the end.
inline void Append(std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) v.push_back(b);
}
inline void PutVarLen(std::vector<uint8_t>& v, uint32_t x) {
    uint8_t bytes[5];
    int n = 0;
    do {
        bytes[n++] = uint8_t(x & 0x7F);
        x >>= 7;
    } while (x);
    while (n > 1) v.push_back(uint8_t(bytes[--n] | 0x80));
    v.push_back(bytes[0]);
}

// A format-0 Standard MIDI File of one track, 480 ticks a beat.
inline std::vector<uint8_t> FormatZeroFile(const std::vector<uint8_t>& track) {
    std::vector<uint8_t> file;
    Append(file, {'M', 'T', 'h', 'd'});
    PutBig32(file, 6);
    PutBig16(file, 0);
    PutBig16(file, 1);
    PutBig16(file, 480);
    Append(file, {'M', 'T', 'r', 'k'});
    PutBig32(file, uint32_t(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// A format-0 Standard MIDI File: piano, a rising run of quarter notes at
// 120 beats a minute (480 ticks a beat), noteCount notes of 0.25 s each.
inline std::vector<uint8_t> MakeMidi(int noteCount = 4, int program = 0) {
    std::vector<uint8_t> track;
    auto event = [&](uint32_t delta, std::initializer_list<uint8_t> bytes) {
        PutVarLen(track, delta);
        Append(track, bytes);
    };
    event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});  // 500000 us a beat
    event(0, {0xC0, uint8_t(program)});
    for (int i = 0; i < noteCount; ++i) {
        uint8_t note = uint8_t(60 + (i * 2) % 24);
        event(0, {0x90, note, 100});
        event(240, {0x80, note, 0});
    }
    event(0, {0xFF, 0x2F, 0x00});
    return FormatZeroFile(track);
}

// A format-0 file of a General MIDI band, as game music is arranged: a
// square-wave lead in eighth notes (velocity 105), string chords (90), a
// bass (100) and drums (100) over four chords a bar apart, at 120 beats a
// minute (two seconds a bar).
inline std::vector<uint8_t> MakeBandMidi(int bars) {
    std::vector<uint8_t> track;
    auto event = [&](uint32_t delta, std::initializer_list<uint8_t> bytes) {
        PutVarLen(track, delta);
        Append(track, bytes);
    };
    event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    event(0, {0xC0, 80});  // lead
    event(0, {0xC1, 48});  // strings
    event(0, {0xC2, 33});  // bass
    const uint8_t chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {65, 69, 72}, {67, 71, 74}};
    for (int bar = 0; bar < bars; ++bar) {
        const uint8_t* c = chords[bar % 4];
        for (int k = 0; k < 3; ++k) event(0, {0x91, c[k], 90});
        event(0, {0x92, uint8_t(c[0] - 24), 100});
        for (int eighth = 0; eighth < 8; ++eighth) {
            const uint8_t lead = uint8_t(c[eighth % 3] + 12);
            const uint8_t drum = eighth % 4 == 0 ? 36 : eighth % 4 == 2 ? 38 : 42;  // kick, snare, hat
            event(0, {0x90, lead, 105});
            event(0, {0x99, drum, 100});
            event(240, {0x80, lead, 0});
        }
        for (int k = 0; k < 3; ++k) event(0, {0x81, c[k], 0});
        event(0, {0x82, uint8_t(c[0] - 24), 0});
    }
    event(0, {0xFF, 0x2F, 0x00});
    return FormatZeroFile(track);
}

}  // namespace midiwriter
