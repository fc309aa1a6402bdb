// Generated MIDI and WAVE files and a fixture that runs the main window
// (headless), the sound system on the null output and the chosen MIDI back
// end, with the working directory in a temporary folder.
#pragma once
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/music.h"
#include "engine/sound.h"
#include "engine/window.h"
#include "foundation/posted_messages.h"
#include "foundation/subsystems.h"
#include "foundation/window_internal.h"
#include "held_null_audio_clock.h"
#include "midi_writer.h"
#include "platform/audio.h"
#include "platform/midi.h"
#include "scoped_temp_dir.h"
#include "sound/mci/mci.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"
#include "wave_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include <atomic>
#include <chrono>
#include <thread>

using namespace morpotta;

namespace musictest {

using namespace midiwriter;

constexpr int kRate = 44100;

// A 16-bit stereo PCM WAVE file of a sine tone.
inline std::vector<uint8_t> MakeToneWave(int frames, double hz = 440.0) {
    std::vector<uint8_t> pcm;
    for (int i = 0; i < frames; ++i) {
        auto s = int16_t(std::lround(8000.0 * std::sin(2.0 * M_PI * hz * i / kRate)));
        wavewriter::Put16(pcm, uint16_t(s));
        wavewriter::Put16(pcm, uint16_t(s));
    }
    return wavewriter::MakeWave(pcm, kRate, 2, 16);
}

// An MPEG-1 Layer III stream of silent frames (128 kbit/s, 44.1 kHz,
// stereo): headers and zeroed side information, so every frame decodes to
// silence. 38 frames last about a second.
inline std::vector<uint8_t> MakeSilentMp3(int frames) {
    constexpr size_t kFrameBytes = 417;  // 144 * 128000 / 44100, no padding
    std::vector<uint8_t> mp3;
    for (int i = 0; i < frames; ++i) {
        size_t at = mp3.size();
        mp3.resize(at + kFrameBytes, 0);
        mp3[at] = 0xFF;
        mp3[at + 1] = 0xFB;
        mp3[at + 2] = 0x90;
        mp3[at + 3] = 0x00;
    }
    return mp3;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs the null output for ms milliseconds in 10 ms steps, refilling stream
// sounds after each; returns what was mixed.
inline std::vector<int16_t> RunOutput(int ms) {
    for (int t = 0; t < ms; t += 10) {
        platform::AdvanceNullAudio(kRate / 100);
        RefillStreamSounds();
    }
    return platform::TakeNullAudioCapture();
}

inline double Rms(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX) {
    if (to > s.size()) to = s.size();
    if (from >= to) return 0.0;
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

class MusicTest : public ::testing::Test {
protected:
    virtual const char* MidiBackend() const { return "fake"; }

    void SetUp() override {
        SetLogOutput(0);
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(CreateMainWindow(), 0);
        // Message processing reaches music through the sound subsystem's entries.
        RegisterSoundSubsystem();
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        ASSERT_TRUE(platform::SelectMidiBackend(MidiBackend()));
        SetSoundProcessorCountForTesting(1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
        platform::SetNullAudioCapture(true);
        platform::SetFakeMidiLengthMs(500);
        platform::ResetFakeMidiStats();
    }
    void TearDown() override {
        TerminateSoundSystem();
        platform::SetNullAudioCapture(false);
        DestroyMainWindow();
        ResetWindowState();
        ClearEngineSubsystems();
        SetSoundProcessorCountForTesting(0);
        SetSoundDeviceBackend("sdl2");
        SetWindowBackend("sdl2");
        platform::SelectMidiBackend("fluidsynth");
    }
    std::string WriteMidi(const char* name, const std::vector<uint8_t>& bytes) {
        WriteFile(dir_.path() / name, bytes);
        return name;
    }
    static int PumpMessages(int passes = 1) {
        int result = 0;
        for (int i = 0; i < passes; ++i) result = ProcessWindowMessagesCore();
        return result;
    }

    ScopedTempDir dir_;
    HeldNullAudioClock heldClock_;
};

}  // namespace musictest
