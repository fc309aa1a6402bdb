// Decoding speed, in multiples of real time, of a three-minute MP3 and Ogg
// Vorbis file through the sound converter (the MP3 also through the media
// graph, its last reader, which decodes the whole stream at set-up) and
// through the decoder libraries called directly on the same bytes. The files are encoded from
// our own tone by lame and oggenc when the benchmark starts.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "engine/stream.h"
#include "engine/window.h"
#include "foundation/window_internal.h"
#include "sound/soundconv.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

constexpr int kDecodeRate = 44100;
constexpr int kSeconds = 180;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The tone as a stereo 16-bit WAV, then encoded by each tool.
struct Files {
    std::vector<uint8_t> mp3;
    std::vector<uint8_t> ogg;

    Files() {
        std::string dir = (std::filesystem::temp_directory_path() / "morpotta-bench-decode").string();
        std::filesystem::create_directories(dir);
        std::string wav = dir + "/tone.wav", mp3Path = dir + "/tone.mp3", oggPath = dir + "/tone.ogg";
        if (!std::filesystem::exists(mp3Path) || !std::filesystem::exists(oggPath)) {
            WriteTone(wav);
            std::system(("lame --quiet -b 192 " + wav + " " + mp3Path).c_str());
            std::system(("oggenc -Q -s 1 -q 5 -o " + oggPath + " " + wav).c_str());
            std::filesystem::remove(wav);
        }
        mp3 = ReadAll(mp3Path);
        ogg = ReadAll(oggPath);
    }

    static void WriteTone(const std::string& path) {
        const uint32_t frames = uint32_t(kDecodeRate) * kSeconds, bytes = frames * 4;
        std::vector<uint8_t> w(44 + size_t(bytes));
        auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&w[at], &v, 4); };
        auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&w[at], &v, 2); };
        std::memcpy(&w[0], "RIFF", 4);
        put32(4, 36 + bytes);
        std::memcpy(&w[8], "WAVEfmt ", 8);
        put32(16, 16);
        put16(20, 1);
        put16(22, 2);
        put32(24, kDecodeRate);
        put32(28, kDecodeRate * 4);
        put16(32, 4);
        put16(34, 16);
        std::memcpy(&w[36], "data", 4);
        put32(40, bytes);
        for (uint32_t i = 0; i < frames; ++i) {
            double t = double(i) / kDecodeRate;
            for (int c = 0; c < 2; ++c) {
                auto s = int16_t(std::lround(8000 * std::sin(2 * M_PI * (220.0 * (c + 1) + 50 * std::sin(t)) * t) +
                                             3000 * std::sin(2 * M_PI * 3300.0 * t)));
                std::memcpy(&w[44 + (size_t(i) * 2 + size_t(c)) * 2], &s, 2);
            }
        }
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
    }
};

const Files& TheFiles() {
    static Files files;
    return files;
}

void ReportRealTime(benchmark::State& state, int64_t pcmBytes) {
    state.counters["x_realtime"] =
        benchmark::Counter(double(pcmBytes) / (kDecodeRate * 4.0), benchmark::Counter::kIsIterationInvariantRate);
}

int64_t DecodeThroughConverter(const std::vector<uint8_t>& file) {
    MemStream* mem = OpenMemStream(file.data(), file.size());
    StreamData stream = MakeMemStreamData(mem);
    SOUNDCONV conv;
    int64_t total = 0;
    if (SetupSoundConverter(&stream, &conv) == 0) {
        std::vector<uint8_t> out(kDecodeRate / 8 * 4);  // what a stream sound asks for at a time
        for (int n; (n = RunSoundConverter(&conv, out.data(), int(out.size()))) > 0;) total += n;
        TerminateSoundConverter(&conv);
    }
    CloseMemStream(mem);
    return total;
}

void BM_Mp3ThroughConverter(benchmark::State& state) {
    SetLogOutput(0);
    int64_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = DecodeThroughConverter(TheFiles().mp3));
    ReportRealTime(state, bytes);
}

// The graph decode keeps the window's messages flowing: a headless window.
void BM_Mp3ThroughGraph(benchmark::State& state) {
    SetLogOutput(0);
    SetWindowBackend("headless");
    CreateMainWindow();
    SetSoundReaderMask(1 << 3);  // past the compression reader
    int64_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = DecodeThroughConverter(TheFiles().mp3));
    ReportRealTime(state, bytes);
    SetSoundReaderMask(0);
    DestroyMainWindow();
    ResetWindowState();
    SetWindowBackend("sdl2");
}

void BM_Mp3Direct(benchmark::State& state) {
    const std::vector<uint8_t>& file = TheFiles().mp3;
    int64_t bytes = 0;
    std::vector<unsigned char> out(kDecodeRate / 8 * 4);
    for (auto _ : state) {
        mpg123_handle* m = mpg123_new(nullptr, nullptr);
        mpg123_param(m, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        mpg123_open_feed(m);
        mpg123_feed(m, file.data(), file.size());
        bytes = 0;
        for (;;) {
            size_t done = 0;
            int r = mpg123_read(m, out.data(), out.size(), &done);
            bytes += int64_t(done);
            if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
        }
        mpg123_delete(m);
    }
    ReportRealTime(state, bytes);
}

struct MemorySource {
    const std::vector<uint8_t>* data;
    size_t position;
};

size_t ReadMemory(void* buffer, size_t size, size_t count, void* source) {
    auto* s = static_cast<MemorySource*>(source);
    size_t n = std::min(size * count, s->data->size() - s->position);
    std::memcpy(buffer, s->data->data() + s->position, n);
    s->position += n;
    return size ? n / size : 0;
}
int SeekMemory(void* source, ogg_int64_t offset, int origin) {
    auto* s = static_cast<MemorySource*>(source);
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(s->position) : int64_t(s->data->size());
    int64_t to = base + offset;
    if (to < 0 || to > int64_t(s->data->size())) return -1;
    s->position = size_t(to);
    return 0;
}
long TellMemory(void* source) { return long(static_cast<MemorySource*>(source)->position); }

void BM_OggThroughConverter(benchmark::State& state) {
    SetLogOutput(0);
    int64_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = DecodeThroughConverter(TheFiles().ogg));
    ReportRealTime(state, bytes);
}

void BM_OggDirect(benchmark::State& state) {
    int64_t bytes = 0;
    std::vector<char> out(4096);
    for (auto _ : state) {
        MemorySource source{&TheFiles().ogg, 0};
        OggVorbis_File file;
        ov_open_callbacks(&source, &file, nullptr, 0, {ReadMemory, SeekMemory, nullptr, TellMemory});
        bytes = 0;
        int section;
        for (long n; (n = ov_read(&file, out.data(), int(out.size()), 0, 2, 1, &section)) > 0;) bytes += n;
        ov_clear(&file);
    }
    ReportRealTime(state, bytes);
}

BENCHMARK(BM_Mp3ThroughConverter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3ThroughGraph)->Unit(benchmark::kMillisecond)->UseRealTime();  // it decodes on the graph's threads
BENCHMARK(BM_Mp3Direct)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggThroughConverter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggDirect)->Unit(benchmark::kMillisecond);

}  // namespace
