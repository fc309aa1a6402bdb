// MIDI music through the sequencer on the fake synthesiser: looping on the
// end notification, stopping, the temporary file, and the music handles.
#include "engine/text.h"
#include "foundation/window_internal.h"
#include "music_test_util.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"

#include <cstring>

using namespace morpotta;

using namespace musictest;

namespace {

bool FileExists(const char* path) { return path[0] && std::filesystem::exists(path); }

class MidiMusic : public MusicTest {};

TEST_F(MidiMusic, LoopingMusicRestartsFromTheTopOnEveryEndNotification) {
    ASSERT_EQ(PlayMusicFile(WriteMidi("loop.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    EXPECT_EQ(Music().playedAsSound, 0);
    EXPECT_EQ(GetMusicPlayState(Music().currentMusic), 1);
    EXPECT_EQ(platform::GetFakeMidiStats().plays, 1);
    for (int pass = 2; pass <= 4; ++pass) {
        auto out = RunOutput(520);  // past the 500 ms piece
        EXPECT_GT(Rms(out), 100.0) << "the synthesiser's output is mixed";
        EXPECT_EQ(CountPostedEngineMessages(), 1);
        EXPECT_EQ(platform::GetFakeMidiStats().plays, pass - 1) << "no restart before the notification is handled";
        PumpMessages();
        EXPECT_EQ(CountPostedEngineMessages(), 0);
        auto stats = platform::GetFakeMidiStats();
        EXPECT_EQ(stats.plays, pass);
        EXPECT_EQ(stats.lastFromMs, 0u);
        EXPECT_TRUE(stats.playing);
        EXPECT_EQ(GetMusicPlayState(Music().currentMusic), 1);
    }
    EXPECT_EQ(platform::GetFakeMidiStats().opens, 1) << "looping reuses the open device";
}

TEST_F(MidiMusic, NonLoopingMusicClosesTheDeviceAtTheEndButStaysCurrent) {
    ASSERT_EQ(PlayMusicFile(WriteMidi("once.mid", MakeMidi()).c_str(), kPlayTypeBack), 0);
    int music = Music().currentMusic;
    RunOutput(600);
    PumpMessages();
    auto stats = platform::GetFakeMidiStats();
    EXPECT_EQ(stats.plays, 1);
    EXPECT_FALSE(stats.isOpen);
    EXPECT_EQ(GetMusicPlayState(music), 0);
    EXPECT_EQ(Music().currentMusic, music);
    EXPECT_LT(Rms(RunOutput(200)), 1.0) << "silence after the end";
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(GetMusicPlayState(music), -1);
}

TEST_F(MidiMusic, StopEndsTheLoopClosesTheDeviceAndRemovesTheTemporaryFile) {
    auto midi = MakeMidi();
    ASSERT_EQ(PlayMusicFile(WriteMidi("stop.mid", midi).c_str(), kPlayTypeLoop), 0);
    std::string temp = Music().tempPath;
    ASSERT_TRUE(FileExists(temp.c_str()));
    EXPECT_EQ(ReadWholeFile(temp), midi) << "the sequencer plays a copy of the music's bytes";
    RunOutput(300);
    int music = Music().currentMusic;
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_EQ(Music().currentMusic, 0);
    EXPECT_EQ(GetMusicPlayState(music), -1);
    auto stats = platform::GetFakeMidiStats();
    EXPECT_FALSE(stats.isOpen);
    EXPECT_EQ(stats.closes, 1);
    RunOutput(600);
    PumpMessages(3);
    EXPECT_EQ(platform::GetFakeMidiStats().plays, 1) << "a stopped music never starts again";
    EXPECT_EQ(StopCurrentMusic(), 0);
}

TEST_F(MidiMusic, StopIgnoresAnEndNotificationStillQueued) {
    int music = LoadMusicMem(WriteMidi("queued.mid", MakeMidi()).c_str());
    ASSERT_GE(music, 0);
    ASSERT_EQ(PlayMidiMusic(music, kPlayTypeLoop), 0);
    RunOutput(520);
    ASSERT_EQ(CountPostedEngineMessages(), 1);
    EXPECT_EQ(StopMidiMusic(music), 0);
    EXPECT_EQ(CountPostedEngineMessages(), 0);
    EXPECT_EQ(platform::GetFakeMidiStats().plays, 1);
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
    EXPECT_EQ(GetMusicPlayState(music), 0);
    EXPECT_EQ(DeleteMusicHandle(music), 0);
    EXPECT_EQ(StopMidiMusic(music), -1) << "stale handle";
}

TEST_F(MidiMusic, ALoopThatCannotStartAgainIsNotReportedAsPlaying) {
    int music = LoadMusicMem(WriteMidi("lost.mid", MakeMidi()).c_str());
    ASSERT_EQ(PlayMidiMusic(music, kPlayTypeLoop), 0);
    RunOutput(520);
    ASSERT_EQ(CountPostedEngineMessages(), 1);
    CloseAllMciDevices();  // the device is gone when the notification comes
    PumpMessages();
    EXPECT_EQ(GetMusicPlayState(music), 0);
    EXPECT_EQ(Music().loop, 0);
    EXPECT_EQ(StopMidiMusic(music), 0);
}

TEST_F(MidiMusic, ANewMidiPlayStopsThePreviousOneAndReplacesTheTemporaryFile) {
    int first = LoadMusicMem(WriteMidi("a.mid", MakeMidi(4)).c_str());
    int second = LoadMusicMem(WriteMidi("b.mid", MakeMidi(6)).c_str());
    ASSERT_EQ(PlayMidiMusic(first, kPlayTypeLoop), 0);
    std::string firstTemp = Music().tempPath;
    ASSERT_EQ(PlayMidiMusic(second, kPlayTypeLoop), 0);
    EXPECT_FALSE(firstTemp != Music().tempPath && std::filesystem::exists(firstTemp));
    EXPECT_EQ(ReadWholeFile(Music().tempPath), MakeMidi(6));
    auto stats = platform::GetFakeMidiStats();
    EXPECT_EQ(stats.opens, 2);
    EXPECT_EQ(stats.closes, 1);
    EXPECT_EQ(stats.openedBytes, MakeMidi(6).size());
    EXPECT_EQ(DeleteAllMusic(), 0);
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
}

TEST_F(MidiMusic, PlayTypeNormalWaitsForTheEndAndRemovesTheTemporaryFile) {
    platform::SetFakeMidiLengthMs(200);
    int music = LoadMusicMem(WriteMidi("wait.mid", MakeMidi()).c_str());
    ASSERT_GE(music, 0);
    // The sound card's clock runs on its own thread, as on a desktop.
    std::atomic<bool> stop{false};
    std::thread output([&] {
        while (!stop.load()) {
            platform::AdvanceNullAudio(kRate / 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    EXPECT_EQ(PlayMidiMusic(music, kPlayTypeNormal), 0);
    stop.store(true);
    output.join();
    EXPECT_EQ(GetMusicPlayState(music), 0);
    EXPECT_EQ(Music().tempFileExists, 0);
    EXPECT_FALSE(std::filesystem::exists(Music().tempPath));
    EXPECT_GE(platform::GetFakeMidiStats().renderedFrames, uint64_t(kRate / 5));
}

TEST_F(MidiMusic, SoundShutDownClosesTheDeviceAndRemovesTheTemporaryFile) {
    ASSERT_EQ(PlayMusicFile(WriteMidi("end.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    std::string temp = Music().tempPath;
    ASSERT_TRUE(FileExists(temp.c_str()));
    EXPECT_EQ(TerminateSoundSystem(), 0);
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
    EXPECT_EQ(Music().currentMusic, 0);
    EXPECT_EQ(StopCurrentMusic(), 0);
}

// The music volume reaches MIDI music on the curve of a sound's volume
// (128 is -2.99 dB of power: 0.709 of the level), through its loops, and
// the next piece starts at full volume as a new sound would.
TEST_F(MidiMusic, VolumeReachesMidiMusicUntilTheNextPiece) {
    platform::SetFakeMidiLengthMs(1000);
    ASSERT_EQ(PlayMusicFile(WriteMidi("vol.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    const double full = Rms(RunOutput(150));
    ASSERT_GT(full, 500.0);
    EXPECT_EQ(SetMusicVolume(128), 0);
    EXPECT_NEAR(Rms(RunOutput(150)), full * 0.709, full * 0.01);
    RunOutput(750);
    ASSERT_EQ(CountPostedEngineMessages(), 1);
    PumpMessages();  // the end notification starts the piece again
    EXPECT_NEAR(Rms(RunOutput(150)), full * 0.709, full * 0.01) << "through the loop";
    EXPECT_EQ(SetMusicVolume(0), 0);
    EXPECT_EQ(Rms(RunOutput(100)), 0.0);
    ASSERT_EQ(PlayMusicFile(WriteMidi("next.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    EXPECT_NEAR(Rms(RunOutput(150)), full, 1.0);
}

class MusicHandles : public MusicTest {};

TEST_F(MusicHandles, TheTableHolds256AndRefusesThe257th) {
    SetLogOutput(1);
    std::vector<int> handles;
    for (int i = 0; i < kMusicTableSize; ++i) {
        int h = AddMusicData();
        ASSERT_NE(h, -1) << i;
        EXPECT_EQ(HandleKindOf(h), HANDLE_KIND_MUSIC);
        handles.push_back(h);
    }
    EXPECT_EQ(AddMusicData(), -1);
    SetLogOutput(0);
    std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    // The message music has always given ("... 終了します", the program
    // ends) is kept, with what really happens after it.
    std::string message;
    ASSERT_TRUE(ConvertUtf8ToCp932("ミュージックデータの数が許容量を越えました終了します (the program goes on", &message));
    EXPECT_NE(log.find("AddMusicData refused: " + message), std::string::npos) << "the table-full line is logged";
    EXPECT_EQ(DeleteMusicHandle(handles[10]), 0);
    int again = AddMusicData();
    EXPECT_NE(again, -1);
    EXPECT_NE(again, handles[10]) << "a reused slot gets a new check id";
    EXPECT_EQ(DeleteMusicHandle(handles[10]), -1);
    EXPECT_EQ(DeleteAllMusic(), 0);
    EXPECT_EQ(GetMusicPlayState(again), -1);
}

TEST_F(MusicHandles, AnImageIsCopiedAndForeignHandlesAreRefused) {
    std::vector<uint8_t> bytes = MakeMidi();
    const std::vector<uint8_t> made = bytes;
    int h = CreateMusicFromImage(bytes.data(), int(bytes.size()));
    ASSERT_NE(h, -1);
    bytes[0] = 99;
    MusicEntry* entry = LookupMusic(h);
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->imageSize, int(made.size()));
    EXPECT_EQ(std::memcmp(entry->image, made.data(), made.size()), 0);
    EXPECT_EQ(GetMusicPlayState(h), 0);
    EXPECT_EQ(GetMusicPlayState(-1), -1);
    EXPECT_EQ(GetMusicPlayState(MakeHandle(HANDLE_KIND_SOUND, HandleCheckOf(h), HandleSlotOf(h))), -1);
    EXPECT_EQ(PlayMidiMusic(h + 1, kPlayTypeLoop), -1);
    EXPECT_EQ(DeleteMusicHandle(h), 0);
    EXPECT_EQ(DeleteMusicHandle(h), -1);
}

TEST_F(MusicHandles, MissingFilesAreRefusedWithoutCurrentMusic) {
    EXPECT_EQ(LoadMusicMem("none.mid"), -1);
    EXPECT_EQ(PlayMusicFile("none.mp3", kPlayTypeLoop), -1);
    EXPECT_EQ(Music().currentMusic, 0);
    EXPECT_EQ(StopCurrentMusic(), 0);
}

TEST(MusicClosed, EveryCallFailsOrDoesNothingBeforeSoundStartUp) {
    EXPECT_EQ(IsSoundSystemOpen(), 0);
    EXPECT_EQ(AddMusicData(), -1);
    EXPECT_EQ(LoadMusicMem("x.mid"), -1);
    EXPECT_EQ(PlayMusicFile("x.mid", kPlayTypeLoop), -1);
    EXPECT_EQ(SetMusicVolume(100), -1);
    EXPECT_EQ(PollMidiPlayState(), -1);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_EQ(HandleMidiMciNotify(), 0);
    EXPECT_EQ(DeleteAllMusic(), 0);
}

}  // namespace

namespace {

// On the host output's own thread (SDL's dummy driver runs it at real
// speed) the end of each pass is posted across threads to the main loop.
class MidiMusicOnHostOutput : public MusicTest {
protected:
    void SetUp() override {
        MusicTest::SetUp();
        TerminateSoundSystem();
        SetSoundProcessorCountForTesting(2);  // with the sound worker, as on a desktop
        if (SetSoundDeviceBackend("sdl2") != 0 || InitializeSoundSystem() != 0)
            GTEST_SKIP() << "no host audio output";
        platform::SetFakeMidiLengthMs(150);
    }
};

TEST_F(MidiMusicOnHostOutput, LoopsAcrossThreads) {
    ASSERT_EQ(PlayMusicFile(WriteMidi("host.mid", MakeMidi()).c_str(), kPlayTypeLoop), 0);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);  // a loaded machine's worst
    while (platform::GetFakeMidiStats().plays < 4 && std::chrono::steady_clock::now() < until) {
        ASSERT_EQ(ProcessWindowMessagesCore(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(platform::GetFakeMidiStats().plays, 4);
    EXPECT_EQ(StopCurrentMusic(), 0);
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
}

}  // namespace
