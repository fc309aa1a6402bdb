// The sequencer device behind MciSendCommandEntry, the MIDI file check and
// the posted-message queue that carries its notification.
#include "fifo_without_writer.h"
#include "foundation/posted_messages.h"
#include "music_test_util.h"
#include "sound/sound_internal.h"

using namespace morpotta;

using namespace musictest;

namespace {

class Sequencer : public MusicTest {
protected:
    uint32_t OpenOn(const std::string& name, uint32_t* error = nullptr) {
        path_ = (dir_.path() / name).string();
        MciOpenParams open{};
        open.deviceType = "sequencer";
        open.elementName = path_.c_str();
        uint32_t result = MciSendCommandEntry(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open);
        if (error) *error = result;
        return result == 0 ? open.deviceId : 0;
    }
    std::string path_;
};

TEST_F(Sequencer, OpensOnlyMidiFilesOneAtATime) {
    WriteMidi("a.mid", MakeMidi());
    WriteFile(dir_.path() / "a.wav", MakeToneWave(100));
    uint32_t error = 0;
    EXPECT_EQ(OpenOn("a.wav", &error), 0u);
    EXPECT_EQ(error, kMciErrorInvalidFile);
    EXPECT_EQ(OpenOn("missing.mid", &error), 0u);
    EXPECT_EQ(error, kMciErrorFileNotFound);
    // A FIFO is no file: refused at once, not waited on for a writer.
    EXPECT_TRUE(ReturnsWithoutAWriter((dir_.path() / "pipe.mid").string(), [&] {
        EXPECT_EQ(OpenOn("pipe.mid", &error), 0u);
        EXPECT_EQ(error, kMciErrorFileNotFound);
    }));
    uint32_t id = OpenOn("a.mid");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(OpenOn("a.mid", &error), 0u);
    EXPECT_EQ(error, kMciErrorDeviceBusy);
    MciOpenParams other{};
    other.deviceType = "waveaudio";
    other.elementName = path_.c_str();
    EXPECT_EQ(MciSendCommandEntry(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &other), kMciErrorUnknownDeviceType);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr), 0u);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr), kMciErrorInvalidDeviceId);
    uint32_t next = OpenOn("a.mid");
    EXPECT_NE(next, 0u);
    EXPECT_NE(next, id) << "device ids are not reused at once";
    CloseAllMciDevices();
    EXPECT_FALSE(platform::GetFakeMidiStats().isOpen);
}

TEST_F(Sequencer, AnswersThePortAndModeAndRefusesWhatItCannotServe) {
    WriteMidi("a.mid", MakeMidi());
    uint32_t id = OpenOn("a.mid");
    ASSERT_NE(id, 0u);
    MciStatusParams status{};
    status.item = MCI_SEQ_STATUS_PORT;
    EXPECT_EQ(MciSendCommandEntry(id, MCI_STATUS, MCI_STATUS_ITEM, &status), 0u);
    EXPECT_EQ(status.returnValue & 0xFFFF, MCI_SEQ_MAPPER);
    status.item = MCI_STATUS_MODE;
    EXPECT_EQ(MciSendCommandEntry(id, MCI_STATUS, MCI_STATUS_ITEM, &status), 0u);
    EXPECT_EQ(status.returnValue, MCI_MODE_STOP);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_STATUS, 0, &status), kMciErrorMissingParameter);
    status.item = 77;
    EXPECT_EQ(MciSendCommandEntry(id, MCI_STATUS, MCI_STATUS_ITEM, &status), kMciErrorUnsupportedFunction);
    EXPECT_EQ(MciSendCommandEntry(id + 1, MCI_STATUS, MCI_STATUS_ITEM, &status), kMciErrorInvalidDeviceId);
    MciPlayParams play{};
    play.from = 100;
    EXPECT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_FROM, &play), kMciErrorUnsupportedFunction);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_WAIT, &play), kMciErrorUnsupportedFunction);
    EXPECT_EQ(MciSendCommandEntry(id, 99, 0, &play), kMciErrorUnsupportedFunction);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_PLAY, 0, nullptr), kMciErrorMissingParameter);
    EXPECT_EQ(platform::GetFakeMidiStats().plays, 0);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr), 0u);
}

TEST_F(Sequencer, NotifiesTheCallbackWindowOnceAtTheEnd) {
    WriteMidi("a.mid", MakeMidi());
    uint32_t id = OpenOn("a.mid");
    MciPlayParams play{};
    play.callback = GetAppWindowHandle();
    ASSERT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_NOTIFY, &play), 0u);
    MciStatusParams status{0, 0, MCI_STATUS_MODE};
    MciSendCommandEntry(id, MCI_STATUS, MCI_STATUS_ITEM, &status);
    EXPECT_EQ(status.returnValue, MCI_MODE_PLAY);
    RunOutput(400);
    EXPECT_EQ(CountPostedEngineMessages(), 0);
    RunOutput(200);
    EXPECT_EQ(CountPostedEngineMessages(), 1);
    RunOutput(500);
    EXPECT_EQ(CountPostedEngineMessages(), 1) << "one notification per play";
    // Played on without a start point at the end: nothing is left, so the
    // notification comes at once.
    ASSERT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_NOTIFY, &play), 0u);
    EXPECT_EQ(CountPostedEngineMessages(), 2);
    EXPECT_EQ(platform::GetFakeMidiStats().plays, 1);
    // Nobody is told of a play without notify.
    PumpMessages();
    play.from = 0;
    ASSERT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_FROM, &play), 0u);
    RunOutput(600);
    EXPECT_EQ(CountPostedEngineMessages(), 0);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr), 0u);
}

TEST_F(Sequencer, CloseDropsAPendingNotification) {
    WriteMidi("a.mid", MakeMidi());
    uint32_t id = OpenOn("a.mid");
    MciPlayParams play{};
    play.callback = GetAppWindowHandle();
    ASSERT_EQ(MciSendCommandEntry(id, MCI_PLAY, MCI_NOTIFY, &play), 0u);
    RunOutput(100);
    EXPECT_EQ(MciSendCommandEntry(id, MCI_CLOSE, 0, nullptr), 0u);
    RunOutput(600);
    EXPECT_EQ(CountPostedEngineMessages(), 0);
    EXPECT_LT(Rms(RunOutput(100)), 1.0) << "a closed device is off the mix";
}

TEST_F(Sequencer, NeedsTheSoundOutput) {
    WriteMidi("a.mid", MakeMidi());
    TerminateSoundSystem();
    uint32_t error = 0;
    EXPECT_EQ(OpenOn("a.mid", &error), 0u);
    EXPECT_EQ(error, kMciErrorNoOutput);
}

TEST(MidiFileCheck, AcceptsWellFormedFilesAndRefusesTheRest) {
    auto good = MakeMidi();
    EXPECT_EQ(IsPlayableMidiImage(good.data(), good.size()), 1);
    EXPECT_EQ(IsPlayableMidiImage(nullptr, 100), 0);
    EXPECT_EQ(IsPlayableMidiImage(good.data(), 13), 0);
    auto bad = good;
    bad[0] = 'X';
    EXPECT_EQ(IsPlayableMidiImage(bad.data(), bad.size()), 0);
    bad = good;
    bad[11] = 0;  // no tracks
    EXPECT_EQ(IsPlayableMidiImage(bad.data(), bad.size()), 0);
    bad = good;
    bad[13] = 0;
    bad[12] = 0;  // division 0
    EXPECT_EQ(IsPlayableMidiImage(bad.data(), bad.size()), 0);
    bad = good;
    for (int i = 18; i < 22; ++i) bad[size_t(i)] = 0xFF;  // track length far past the end
    EXPECT_EQ(IsPlayableMidiImage(bad.data(), bad.size()), 0);
    bad = good;
    for (int i = 4; i < 8; ++i) bad[size_t(i)] = 0xFF;  // header length past the end
    EXPECT_EQ(IsPlayableMidiImage(bad.data(), bad.size()), 0);
    // A header without any track chunk.
    std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 14);
    EXPECT_EQ(IsPlayableMidiImage(headerOnly.data(), headerOnly.size()), 0);
    // Trailing bytes too short for a chunk are tolerated.
    auto trailing = good;
    trailing.insert(trailing.end(), {0, 0, 0});
    EXPECT_EQ(IsPlayableMidiImage(trailing.data(), trailing.size()), 1);
}

class PostedMessages : public MusicTest {};

TEST_F(PostedMessages, AreHandledOnTheNextPassAndDroppedForAnotherWindow) {
    int dummy = 0;
    EXPECT_EQ(PostEngineMessage(nullptr, MM_MCINOTIFY, 1, 0), -1);
    EXPECT_EQ(PostEngineMessage(&dummy, MM_MCINOTIFY, 1, 0), 0);  // not the main window
    EXPECT_EQ(CountPostedEngineMessages(), 1);
    int music = LoadMusicMem(WriteMidi("a.mid", MakeMidi()).c_str());
    ASSERT_EQ(PlayMidiMusic(music, kPlayTypeBack), 0);
    PumpMessages();
    EXPECT_EQ(CountPostedEngineMessages(), 0);
    EXPECT_EQ(GetMusicPlayState(music), 1) << "a message for another window reaches nobody";
    EXPECT_EQ(PostEngineMessage(GetAppWindowHandle(), MM_MCINOTIFY, 1, 0), 0);
    PumpMessages();
    EXPECT_EQ(GetMusicPlayState(music), 0);
}

TEST_F(PostedMessages, ComeFromManyThreadsWithoutLoss) {
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> threads;
    int other = 0;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) PostEngineMessage(&other, 0x400, uintptr_t(i), 0);
        });
    int seen = 0;
    while (seen < kThreads * kEach) {
        int drained = DrainPostedEngineMessages([](const PostedEngineMessage&) {});
        seen += drained;
        if (drained == 0) std::this_thread::yield();
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(seen, kThreads * kEach);
    EXPECT_EQ(CountPostedEngineMessages(), 0);
}

}  // namespace
