// A WAVE file image of silence: mono, 16 bits, 8000 Hz, of a given length.
#pragma once
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> SilentWave(int milliseconds) {
    constexpr uint32_t kRate = 8000;
    const uint32_t bytes = kRate * 2 * uint32_t(milliseconds) / 1000;
    std::vector<uint8_t> w;
    auto put = [&w](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) w.push_back(uint8_t(v >> (8 * i)));
    };
    auto id = [&w](const char* s) { w.insert(w.end(), s, s + 4); };
    id("RIFF");
    put(36 + bytes, 4);
    id("WAVE");
    id("fmt ");
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // mono
    put(kRate, 4);
    put(kRate * 2, 4);
    put(2, 2);
    put(16, 2);
    id("data");
    put(bytes, 4);
    w.resize(w.size() + bytes, 0);
    return w;
}
