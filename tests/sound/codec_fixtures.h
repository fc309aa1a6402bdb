// Compressed sound fixtures, made at test time: a source WAV written by our
// own code, encoded by the Debian tools (sox, lame, oggenc) inside the
// test's temporary folder, plus helpers to read them back and to run a
// converter over a byte image.
#pragma once
#include "scoped_temp_dir.h"
#include "sound_test_util.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

namespace soundtest {

inline bool HasTool(const char* name) {
    std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

inline bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::string s = ScopedTempDir::ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A chord of two tones with a slow sweep: every codec has work to do and
// no two blocks are alike.
inline std::vector<uint8_t> MakeTonePcm16(int frames, int channels, int rate) {
    std::vector<uint8_t> pcm(size_t(frames) * size_t(channels) * 2);
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        for (int c = 0; c < channels; ++c) {
            double v = 9000.0 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t) +
                       4000.0 * std::sin(2 * M_PI * (1200.0 + 800.0 * t) * t);
            auto s = int16_t(std::lround(v));
            std::memcpy(&pcm[(size_t(i) * channels + c) * 2], &s, 2);
        }
    }
    return pcm;
}

// The data chunk of a WAV file (empty when there is none).
inline std::vector<uint8_t> WaveData(const std::vector<uint8_t>& w) {
    size_t p = 12;
    while (p + 8 <= w.size()) {
        uint32_t length;
        std::memcpy(&length, &w[p + 4], 4);
        if (std::memcmp(&w[p], "data", 4) == 0) {
            size_t end = std::min(w.size(), p + 8 + length);
            return std::vector<uint8_t>(w.begin() + long(p + 8), w.begin() + long(end));
        }
        p += 8 + length + (length & 1);
    }
    return {};
}

// A converter over a byte image held by the caller's object.
class ImageConverter {
public:
    explicit ImageConverter(std::vector<uint8_t> image) : image_(std::move(image)) {
        mem_ = OpenMemStream(image_.data(), image_.size());
        stream_ = MakeMemStreamData(mem_);
        result_ = SetupSoundConverter(&stream_, &conv_);
    }
    ~ImageConverter() {
        if (conv_.initialized) TerminateSoundConverter(&conv_);
        CloseMemStream(mem_);
    }
    ImageConverter(const ImageConverter&) = delete;
    ImageConverter& operator=(const ImageConverter&) = delete;

    bool ok() const { return result_ == 0; }
    SOUNDCONV* conv() { return &conv_; }

    // Everything from the current position, in runs of the given size.
    std::vector<uint8_t> RunAll(int chunk = 3001) {
        std::vector<uint8_t> out;
        std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
        for (int n; (n = RunSoundConverter(&conv_, buffer.data(), chunk)) > 0;)
            out.insert(out.end(), buffer.begin(), buffer.begin() + n);
        return out;
    }
    std::vector<uint8_t> Whole() {
        WAVEFORMATEX format;
        void* data = nullptr;
        int size = 0;
        if (ConvertWholeSound(&conv_, &format, &data, &size) != 0) return {};
        std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        FreeMemory(data);
        return out;
    }

private:
    std::vector<uint8_t> image_;
    MemStream* mem_ = nullptr;
    StreamData stream_{};
    SOUNDCONV conv_{};
    int result_ = -1;
};

}  // namespace soundtest
