// Music the sequencer refuses plays as a looping stream sound.
#include "music_test_util.h"

using namespace musictest;

namespace {

class MusicFallback : public MusicTest {};

TEST_F(MusicFallback, AWaveFilePlaysAsALoopingStreamSound) {
    WriteFile(dir_.path() / "bgm.wav", MakeToneWave(kRate * 3 / 10));  // 0.3 s
    ASSERT_EQ(PlayMusicFile("bgm.wav", kPlayTypeLoop), 0);
    EXPECT_EQ(Music().playedAsSound, 1);
    int sound = Music().currentMusic;
    EXPECT_EQ(HandleKindOf(sound), HANDLE_KIND_SOUND);
    EXPECT_EQ(platform::GetFakeMidiStats().opens, 0) << "refused before it reaches the synthesiser";
    EXPECT_FALSE(std::filesystem::exists(Music().tempPath)) << "the refused copy is removed";
    EXPECT_EQ(GetSoundCreateType(), 0) << "the creation type is restored";
    SoundEntry* entry = LookupSound(sound);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->kind, kSoundStream);
    EXPECT_EQ(entry->stream.pieces[0].createType, 2) << "the encoded bytes stay in memory";
    auto out = RunOutput(1500);
    EXPECT_EQ(IsSoundPlaying(sound), 1);
    // Well past the tone's end it still sounds: it loops.
    size_t samplesPerSecond = size_t(kRate) * 2;
    EXPECT_GT(Rms(out, samplesPerSecond, samplesPerSecond * 3 / 2), 3000.0);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(IsSoundPlaying(sound), -1);
    EXPECT_EQ(Music().currentMusic, 0);
}

TEST_F(MusicFallback, AnMp3FilePlaysAsALoopingStreamSound) {
    auto mp3 = MakeSilentMp3(20);  // about half a second
    int probe = CreateSoundHandleFromImage(mp3.data(), int(mp3.size()), 1);
    if (probe == -1) GTEST_SKIP() << "the converter reads no MP3 in this build";
    DeleteSoundHandle(probe);
    WriteFile(dir_.path() / "bgm.mp3", mp3);
    ASSERT_EQ(PlayMusicFile("bgm.mp3", kPlayTypeLoop), 0);
    EXPECT_EQ(Music().playedAsSound, 1);
    EXPECT_EQ(platform::GetFakeMidiStats().opens, 0);
    int sound = Music().currentMusic;
    RunOutput(1500);
    EXPECT_EQ(IsSoundPlaying(sound), 1) << "still playing three times past its end: it loops";
    ASSERT_EQ(PlayMusicFile("bgm.mp3", kPlayTypeLoop), 0);
    EXPECT_EQ(IsSoundPlaying(sound), -1) << "the next music deletes the sound first";
}

TEST_F(MusicFallback, TheNextMusicDeletesTheSoundFirst) {
    WriteFile(dir_.path() / "one.wav", MakeToneWave(kRate / 2));
    ASSERT_EQ(PlayMusicFile("one.wav", kPlayTypeLoop), 0);
    int first = Music().currentMusic;
    ASSERT_EQ(PlayMusicFile(WriteMidi("two.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    EXPECT_EQ(IsSoundPlaying(first), -1);
    EXPECT_EQ(Music().playedAsSound, 0);
    EXPECT_EQ(GetMusicPlayState(Music().currentMusic), 1);
    // And back: the MIDI music is stopped and deleted.
    int midi = Music().currentMusic;
    ASSERT_EQ(PlayMusicFile("one.wav", kPlayTypeLoop), 0);
    EXPECT_EQ(GetMusicPlayState(midi), -1);
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
    EXPECT_EQ(Music().playedAsSound, 1);
}

TEST_F(MusicFallback, VolumeReachesMusicPlayedAsASound) {
    WriteFile(dir_.path() / "vol.wav", MakeToneWave(kRate));
    ASSERT_EQ(PlayMusicFile("vol.wav", kPlayTypeLoop), 0);
    RunOutput(300);
    double full = Rms(RunOutput(300));
    EXPECT_EQ(SetMusicVolume(128), 0);
    SoundEntry* entry = LookupSound(Music().currentMusic);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->volume, -299);
    double half = Rms(RunOutput(300));
    EXPECT_NEAR(half / full, std::pow(10.0, -2.99 / 20.0), 0.02);
    EXPECT_EQ(SetMusicVolume(0), 0);
    EXPECT_EQ(LookupSound(Music().currentMusic)->volume, -10000);
}

TEST_F(MusicFallback, AFileNoReaderAcceptsLeavesNoCurrentMusic) {
    std::vector<uint8_t> junk(4000, 0x5A);
    WriteFile(dir_.path() / "junk.mp3", junk);
    EXPECT_EQ(PlayMusicFile("junk.mp3", kPlayTypeLoop), -1);
    EXPECT_EQ(Music().currentMusic, 0);
    EXPECT_EQ(Sound().table.count, 0);
    EXPECT_EQ(Music().table.count, 0);
}

TEST_F(MusicFallback, ATruncatedMidiFileFallsBackAndFails) {
    auto midi = MakeMidi();
    midi.resize(midi.size() - 5);  // the track's stated length runs past the end
    WriteFile(dir_.path() / "cut.mid", midi);
    EXPECT_EQ(PlayMusicFile("cut.mid", kPlayTypeLoop), -1);
    EXPECT_EQ(platform::GetFakeMidiStats().opens, 0);
    EXPECT_EQ(Music().currentMusic, 0);
}

}  // namespace
