// MIDI music on the FluidSynth back end with the General MIDI soundfont:
// a generated piece sounds and loops. Skipped where no soundfont exists.
#include "music_test_util.h"

using namespace musictest;

namespace {

class FluidSynthMusic : public MusicTest {
protected:
    const char* MidiBackend() const override { return "fluidsynth"; }
    void SetUp() override {
        if (platform::FindMidiSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
        MusicTest::SetUp();
    }
};

TEST_F(FluidSynthMusic, AGeneratedPieceSoundsAndLoops) {
    // Four quarter notes at 120 beats a minute: one second.
    ASSERT_EQ(PlayMusicFile(WriteMidi("tune.mid", MakeMidi(4)).c_str(), kPlayTypeLoop), 0);
    ASSERT_EQ(Music().playedAsSound, 0) << "played by the synthesiser, not as a sound";
    auto first = RunOutput(800);
    EXPECT_GT(Rms(first), 200.0) << "the piano is heard";
    EXPECT_EQ(CountPostedEngineMessages(), 0) << "not at the end yet";
    RunOutput(400);
    EXPECT_EQ(CountPostedEngineMessages(), 1) << "the end of the piece is notified";
    PumpMessages();
    EXPECT_EQ(GetMusicPlayState(Music().currentMusic), 1);
    auto second = RunOutput(500);
    EXPECT_GT(Rms(second), 200.0) << "the piece starts again";
    EXPECT_EQ(StopCurrentMusic(), 0);
    RunOutput(500);  // the last notes' release
    EXPECT_LT(Rms(RunOutput(200)), 1.0) << "silent once stopped";
}

TEST_F(FluidSynthMusic, AWaveFileIsRefusedAndPlaysAsASound) {
    WriteFile(dir_.path() / "bgm.wav", MakeToneWave(kRate / 4));
    ASSERT_EQ(PlayMusicFile("bgm.wav", kPlayTypeLoop), 0);
    EXPECT_EQ(Music().playedAsSound, 1);
    EXPECT_GT(Rms(RunOutput(600)), 3000.0);
}

}  // namespace
