// MIDI music sounds as loud as the game's own: a General MIDI band through
// the synthesiser at full volume sits within 6 dB (RMS) of the generated
// music tracks at full volume, and does not clip.
#include "engine/log.h"
#include "engine/music.h"
#include "engine/sound.h"
#include "generated_tree.h"
#include "held_null_audio_clock.h"
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
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace morpotta;

namespace {

// Squares summed, samples counted and the peak of a piece at full volume
// from its second second on, for ms milliseconds.
void Measure(const std::string& path, int ms, double* squares, double* samples, int* peak) {
    EXPECT_EQ(PlayMusicFile(path.c_str(), 3), 0) << path;
    for (int t = 0; t < ms + 1000; t += 10) {
        if (t == 1000) platform::TakeNullAudioCapture();
        platform::AdvanceNullAudio(441);
        RefillStreamSounds();
    }
    for (int16_t s : platform::TakeNullAudioCapture()) {
        *squares += double(s) * s;
        *samples += 1;
        *peak = std::max(*peak, std::abs(int(s)));
    }
    EXPECT_EQ(StopCurrentMusic(), 0);
}

TEST(MusicLevels, MidiMusicAtFullVolumeSitsWithinSixDecibelsOfTheSampledMusic) {
    if (platform::FindMidiSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    ScopedTempDir dir;
    HeldNullAudioClock held;  // the measure advances the output itself
    const std::vector<uint8_t> band = midiwriter::MakeBandMidi(4);
    std::ofstream("band.mid", std::ios::binary).write(reinterpret_cast<const char*>(band.data()), std::streamsize(band.size()));
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(1);  // the test refills stream sounds itself
    ASSERT_EQ(InitializeSoundSystem(), 0);
    platform::SetNullAudioCapture(true);
    double sampled = 0, sampledCount = 0, midi = 0, midiCount = 0;
    int sampledPeak = 0, midiPeak = 0;
    Measure((dir.path() / "band.mid").string(), 6000, &midi, &midiCount, &midiPeak);
    std::filesystem::current_path(ContentTreeRoot());
    for (const MusicSpec& spec : MusicFiles()) Measure(spec.path, 3000, &sampled, &sampledCount, &sampledPeak);
    std::filesystem::current_path(dir.path());
    TerminateSoundSystem();
    platform::SetNullAudioCapture(false);
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
    SetLogOutput(1);
    const double db = 10.0 * std::log10((midi / midiCount) / (sampled / sampledCount));
    std::printf("MIDI band RMS %.0f (peak %d) against sampled music RMS %.0f: %+.1f dB\n", std::sqrt(midi / midiCount),
                midiPeak, std::sqrt(sampled / sampledCount), db);
    EXPECT_LE(std::abs(db), 6.0);
    EXPECT_LT(midiPeak, 32767) << "the band clips";
}

}  // namespace
