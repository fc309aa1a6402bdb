// Cost of MIDI music: one output period (1024 frames) mixed with the
// FluidSynth sequencer playing a dense generated piece, and the time to
// open the sequencer on a file (soundfont load included).
#include "engine/log.h"
#include "engine/sound.h"
#include "platform/audio.h"
#include "platform/midi.h"
#include "sound/mci/mci.h"
#include "sound/sound_internal.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

constexpr int kRate = 44100;
constexpr int kPeriodFrames = 1024;

void PutBig32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(uint8_t(x >> (8 * i)));
}

// Eight-note chords on eight channels every eighth note, for over a quarter of an hour, longer than any run.
std::vector<uint8_t> MakeDenseMidi() {
    std::vector<uint8_t> t;
    for (int c = 0; c < 8; ++c) t.insert(t.end(), {0x00, uint8_t(0xC0 | c), uint8_t(c * 8)});
    for (int beat = 0; beat < 4000; ++beat) {
        for (int c = 0; c < 8; ++c) t.insert(t.end(), {0x00, uint8_t(0x90 | c), uint8_t(48 + c * 4 + beat % 12), 90});
        for (int c = 0; c < 8; ++c) {
            if (c == 0)
                t.insert(t.end(), {0x81, 0x70});  // 240 ticks later
            else
                t.push_back(0x00);
            t.insert(t.end(), {uint8_t(0x80 | c), uint8_t(48 + c * 4 + beat % 12), 0});
        }
    }
    t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    PutBig32(f, uint32_t(t.size()));
    f.insert(f.end(), t.begin(), t.end());
    return f;
}

std::string WriteTempMidi() {
    std::string path = "/tmp/bench_music_dense.mid";
    auto bytes = MakeDenseMidi();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

bool StartSound() {
    SetLogOutput(0);
    SetSoundDeviceBackend("null");
    platform::UseManualNullAudioClock(true);  // the benchmark advances the output itself
    platform::SelectMidiBackend("fluidsynth");
    return InitializeSoundSystem() == 0;
}

uint32_t OpenSequencer(const std::string& path) {
    MciOpenParams open{};
    open.deviceType = "sequencer";
    open.elementName = path.c_str();
    return MciSendCommandEntry(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open) == 0 ? open.deviceId : 0;
}

void BM_MixPeriodWithDenseMidi(benchmark::State& state) {
    if (platform::FindMidiSoundFont().empty() || !StartSound()) {
        state.SkipWithError("no soundfont or no sound system");
        return;
    }
    std::string path = WriteTempMidi();
    uint32_t id = OpenSequencer(path);
    MciPlayParams play{};
    if (!id || MciSendCommandEntry(id, MCI_PLAY, 0, &play) != 0) state.SkipWithError("sequencer refused the piece");
    for (auto _ : state) platform::AdvanceNullAudio(kPeriodFrames);
    // What the last period sounded like: proof that the synthesiser played.
    platform::SetNullAudioCapture(true);
    platform::AdvanceNullAudio(kPeriodFrames);
    double sum = 0;
    auto out = platform::TakeNullAudioCapture();
    for (int16_t v : out) sum += double(v) * v;
    platform::SetNullAudioCapture(false);
    state.counters["output_rms"] = out.empty() ? 0.0 : std::sqrt(sum / double(out.size()));
    state.counters["cpu_share_of_playtime"] = benchmark::Counter(
        double(kPeriodFrames) / kRate, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr);
    TerminateSoundSystem();
    std::remove(path.c_str());
}
BENCHMARK(BM_MixPeriodWithDenseMidi)->Unit(benchmark::kMicrosecond);

void BM_MixPeriodWithoutMusic(benchmark::State& state) {
    if (!StartSound()) {
        state.SkipWithError("no sound system");
        return;
    }
    for (auto _ : state) platform::AdvanceNullAudio(kPeriodFrames);
    TerminateSoundSystem();
}
BENCHMARK(BM_MixPeriodWithoutMusic)->Unit(benchmark::kMicrosecond);

void BM_OpenSequencer(benchmark::State& state) {
    if (platform::FindMidiSoundFont().empty() || !StartSound()) {
        state.SkipWithError("no soundfont or no sound system");
        return;
    }
    std::string path = WriteTempMidi();
    for (auto _ : state) {
        uint32_t id = OpenSequencer(path);
        if (!id) state.SkipWithError("sequencer refused the piece");
        MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr);
    }
    TerminateSoundSystem();
    std::remove(path.c_str());
}
BENCHMARK(BM_OpenSequencer)->Unit(benchmark::kMillisecond);

}  // namespace
