// WAVE files written by the tests: the byte helpers, PCM of any layout
// with the chunks around it as asked, and a silent sound.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

namespace wavewriter {

struct WaveOptions {
    int formatChunkBytes = 16;
    bool bextFirst = false;
    bool listFirst = false;
    int oddChunkBeforeData = 0;  // bytes of a chunk between "fmt " and "data" (0: none)
    int statedDataBytes = -1;    // what the header claims (-1: the real size)
    int bitsField = -1;          // bits per sample written in "fmt " (-1: the real one)
};

inline void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
inline void PutId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(id[i]));
}

inline std::vector<uint8_t> MakeWave(const std::vector<uint8_t>& pcm, int rate, int channels, int bits,
                                     const WaveOptions& o = {}) {
    std::vector<uint8_t> w;
    PutId(w, "RIFF");
    Put32(w, 0);
    PutId(w, "WAVE");
    if (o.bextFirst) {
        PutId(w, "bext");
        Put32(w, 6);
        w.insert(w.end(), 6, 0);
    }
    if (o.listFirst) {
        PutId(w, "LIST");
        Put32(w, 4);
        PutId(w, "INFO");
    }
    PutId(w, "fmt ");
    Put32(w, uint32_t(o.formatChunkBytes));
    int align = channels * bits / 8;
    Put16(w, 1);
    Put16(w, uint16_t(channels));
    Put32(w, uint32_t(rate));
    Put32(w, uint32_t(rate * align));
    Put16(w, uint16_t(align));
    Put16(w, uint16_t(o.bitsField >= 0 ? o.bitsField : bits));
    for (int i = 16; i < o.formatChunkBytes; ++i) w.push_back(0);
    if (o.oddChunkBeforeData) {
        PutId(w, "junk");
        Put32(w, uint32_t(o.oddChunkBeforeData));
        w.insert(w.end(), size_t(o.oddChunkBeforeData + (o.oddChunkBeforeData & 1)), 0xAB);
    }
    PutId(w, "data");
    Put32(w, uint32_t(o.statedDataBytes >= 0 ? o.statedDataBytes : int(pcm.size())));
    w.insert(w.end(), pcm.begin(), pcm.end());
    uint32_t riff = uint32_t(w.size() - 8);
    std::memcpy(&w[4], &riff, 4);
    return w;
}

// Silence: mono, 16 bits, 8000 Hz, of a given length.
inline std::vector<uint8_t> SilentWave(int milliseconds) {
    constexpr uint32_t kRate = 8000;
    return MakeWave(std::vector<uint8_t>(kRate * 2 * uint32_t(milliseconds) / 1000, 0), int(kRate), 1, 16);
}

}  // namespace wavewriter
