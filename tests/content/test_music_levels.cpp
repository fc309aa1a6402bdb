// MIDI music sounds as loud as the game's own sampled music: a General MIDI
// band through the synthesiser at full volume sits within 6 dB (RMS) of
// the generated music tracks played at full volume, and does not clip.
#include "engine/log.h"
#include "engine/music.h"
#include "engine/sound.h"
#include "generated_tree.h"
#include "manifest.h"
#include "midi_writer.h"
#include "platform/audio.h"
#include "platform/midi.h"
#include "scoped_temp_dir.h"
#include "sound/sound_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

struct Level {
    double sumOfSquares = 0;
    size_t samples = 0;
    int peak = 0;
    void Add(const std::vector<int16_t>& out) {
        for (int16_t s : out) {
            sumOfSquares += double(s) * s;
            peak = std::max(peak, std::abs(int(s)));
        }
        samples += out.size();
    }
    double Rms() const { return samples ? std::sqrt(sumOfSquares / double(samples)) : 0.0; }
};

class MusicLevels : public ::testing::Test {
protected:
    void SetUp() override {
        if (platform::FindMidiSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
        SetLogOutput(0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        SetSoundProcessorCountForTesting(1);  // the test refills stream sounds itself
        ASSERT_EQ(InitializeSoundSystem(), 0);
        platform::SetNullAudioCapture(true);
        previous_ = fs::current_path();
        fs::current_path(ContentTreeRoot());
    }
    void TearDown() override {
        if (previous_.empty()) return;
        fs::current_path(previous_);
        TerminateSoundSystem();
        platform::SetNullAudioCapture(false);
        SetSoundProcessorCountForTesting(0);
        SetSoundDeviceBackend("sdl2");
        SetLogOutput(1);
    }
    // The output of ms milliseconds, in 10 ms steps.
    static std::vector<int16_t> Run(int ms) {
        for (int t = 0; t < ms; t += 10) {
            platform::AdvanceNullAudio(kRate / 100);
            RefillStreamSounds();
        }
        return platform::TakeNullAudioCapture();
    }
    // The level of a piece at full volume from its second second on.
    static Level LevelOf(const std::string& path, int ms) {
        Level level;
        EXPECT_EQ(PlayMusicFile(path.c_str(), 3), 0) << path;
        Run(1000);
        level.Add(Run(ms));
        EXPECT_EQ(StopCurrentMusic(), 0);
        Run(1000);  // the last notes' release
        return level;
    }
    fs::path previous_;
    ScopedTempDir dir_;
};

TEST_F(MusicLevels, MidiMusicAtFullVolumeSitsWithinSixDecibelsOfTheSampledMusic) {
    Level sampled;
    for (const MusicSpec& spec : MusicFiles()) {
        const Level piece = LevelOf(spec.path, 3000);
        sampled.sumOfSquares += piece.sumOfSquares;
        sampled.samples += piece.samples;
    }
    const fs::path band = dir_.path() / "band.mid";
    const std::vector<uint8_t> bytes = midiwriter::MakeBandMidi(4);
    std::ofstream(band, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const Level midi = LevelOf(band.string(), 6000);
    const double db = 20.0 * std::log10(midi.Rms() / sampled.Rms());
    std::printf("sampled music RMS %.0f, MIDI band RMS %.0f (peak %d): %+.1f dB\n", sampled.Rms(), midi.Rms(), midi.peak,
                db);
    EXPECT_LE(std::abs(db), 6.0);
    EXPECT_LT(midi.peak, 32767) << "the band clips";
}

}  // namespace
