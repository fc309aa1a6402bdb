// Threads a game starts beside the engine's own: a loader thread makes and
// deletes pictures, sounds and models while the engine's thread draws
// frames, and every other call made on such a thread is refused with -1
// and a line in the log. Run under ThreadSanitizer by
// scripts/test-threads.sh (the "foundation" label).
#include "engine/engine.h"
#include "engine_temp_folder_fixture.h"
#include "foundation/engine_thread.h"
#include "mqo_writer.h"
#include "model/convert/convert.h"
#include "platform/acm.h"
#include "sound/soundconv.h"
#include "wave_writer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace morpotta;

namespace {

// A square facing the eye.
std::string Square() { return WriteMqo(MakeMqoSquare(100, true)); }

// A read on a loader that waits until the engine's thread lets it go:
// bounded, so that an engine whose thread waits for the read fails the
// case rather than hanging.
class ReadLatch {
public:
    // The reading thread: says it holds the latch, and waits to be let go.
    void Hold() {
        std::unique_lock<std::mutex> guard(lock_);
        held_ = true;
        changed_.notify_all();
        changed_.wait_for(guard, std::chrono::seconds(10), [this] { return released_; });
        held_ = false;
        changed_.notify_all();
    }
    // The engine's thread: true once a read holds the latch.
    bool WaitUntilHeld() {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(10), [this] { return held_; });
    }
    bool Held() {
        std::lock_guard<std::mutex> guard(lock_);
        return held_;
    }
    // Lets the read go and arms the latch again; true when the read still
    // held it (nobody waited it out).
    bool Release() {
        std::unique_lock<std::mutex> guard(lock_);
        const bool stillHeld = held_;
        released_ = true;
        changed_.notify_all();
        changed_.wait_for(guard, std::chrono::seconds(10), [this] { return !held_; });
        released_ = false;
        return stillHeld;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool held_ = false, released_ = false;
};

// Frames of the engine's thread and rounds of a loader taking turns: the
// loader begins each round once a frame has been drawn since the last, so
// that its loads run while frames are drawn, in every build.
class FrameTurns {
public:
    // The engine's thread, after each frame.
    void FrameDrawn() { frames_.fetch_add(1); }
    // The loader, before each round.
    void WaitForAFrame() {
        while (frames_.load() == seen_) std::this_thread::yield();
        seen_ = frames_.load();
    }

private:
    std::atomic<int> frames_{0};
    int seen_ = 0;  // the loader's own
};

class LoaderThreadTest : public EngineInTempFolderTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        EngineInTempFolderTest::SetUp();
        SetLogOutput(1);
        const bool gl = std::string(GetParam()) == "gl";
        ASSERT_EQ(SetWindowBackend(gl ? "sdl2" : "headless"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice(GetParam()), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        ASSERT_EQ(InitializeEngine(), 0);
        ASSERT_EQ(HardwareRenderingActive(), gl ? 1 : 0);
    }
    void TearDown() override {
        ShutdownEngine();
        SetSoundDeviceBackend("sdl2");
        SetWindowBackend("sdl2");
        EngineInTempFolderTest::TearDown();
    }
    // One frame of the engine's thread: messages, a picture drawn, shown.
    static void Frame(int picture) {
        ASSERT_EQ(ProcessWindowMessages(), 0);
        ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        if (picture != -1) {
            ASSERT_EQ(DrawGraphAt(0, 0, picture, 0), 0);
        }
        ASSERT_EQ(PresentFrame(), 0);
    }
    static int PixelsOf(uint32_t colour) {
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        return int(std::count(pixels.begin(), pixels.end(), colour));
    }
    static std::string Log() { return ScopedTempDir::ReadFile("Log.txt"); }
};

// Two threads make and delete pictures as fast as they can while the
// engine's thread draws: no picture is lost or left behind, nor any block.
TEST_P(LoaderThreadTest, TwoThreadsMakingAndDeletingPicturesLeaveNothingBehind) {
    const int own = MakeBlankGraph(16, 16, 0);
    ASSERT_NE(own, -1);
    Frame(own);
    const size_t blocksBefore = GetMemoryTotals().liveBlocks;
    std::atomic<int> running{2}, faults{0};
    auto loader = [&] {
        for (int i = 0; i < 2000; ++i) {
            const int picture = MakeBlankGraph(8 + i % 8, 8, 0);
            int width = 0;
            if (picture == -1 || GetGraphDimensions(picture, &width, nullptr) != 0 || width != 8 + i % 8 ||
                DeleteGraphHandle(picture, 0) != 0)
                ++faults;
        }
        --running;
    };
    std::thread first(loader), second(loader);
    while (running.load() > 0) Frame(own);
    first.join();
    second.join();
    Frame(own);
    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(CountGraphs(), 1);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, blocksBefore);
}

// A loader opens a picture of many pieces while the engine's thread
// deletes every picture, some of them while the loader still enters the
// rest: the picture the pieces share is freed once, after its last piece.
TEST_P(LoaderThreadTest, DeletingPiecesWhileALoaderEntersTheRestFreesTheirPictureOnce) {
    constexpr int kAcross = 64, kDown = 64, kPieces = kAcross * kDown;
    ASSERT_EQ(SaveDrawScreenToPng("screen.png"), 0);
    ASSERT_EQ(DeleteAllGraphs(), 0);
    Frame(-1);
    const size_t blocksBefore = GetMemoryTotals().liveBlocks;
    std::vector<int> handles(kPieces);
    int caught = 0;
    for (int load = 0; load < 100 && caught == 0; ++load) {
        std::atomic<bool> done{false};
        int opened = -1;
        std::thread loader([&] {
            opened = OpenDivGraphFile("screen.png", kPieces, kAcross, kDown, 10, 7, handles.data(), 0);
            done = true;
        });
        while (!done.load()) {
            {
                // The loader enters no piece while this thread holds the lock:
                // a count short of the whole means more pieces are to come.
                ResourceLockGuard entering(ResourceLock());
                const int entered = CountGraphs();
                if (entered > 0 && entered < kPieces && DeleteAllGraphs() == 0) ++caught;
            }
            std::this_thread::yield();
        }
        loader.join();
        EXPECT_EQ(opened, 0);
        ASSERT_EQ(DeleteAllGraphs(), 0);
        Frame(-1);
    }
    EXPECT_GT(caught, 0) << "no deletion came while the loader entered pieces";
    EXPECT_EQ(GetMemoryTotals().liveBlocks, blocksBefore);
    EXPECT_EQ(CheckAllMemoryBlocks(), 0);
    EXPECT_EQ(Log().find("damaged"), std::string::npos) << Log();
}

// A loader's picture, sound and model reach the engine's thread whole (on
// GL, the texture and buffers made on the loader's behalf), and the
// loader deletes them again.
TEST_P(LoaderThreadTest, APictureASoundAndAModelLoadedOnAnotherThreadServeTheEngineThread) {
    const uint32_t red = MakeScreenColor(255, 0, 0), black = MakeScreenColor(0, 0, 0);
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, red, 1), 0);
    ASSERT_EQ(SaveDrawScreenToPng("red.png"), 0);
    std::ofstream("square.mqo", std::ios::binary) << Square();
    const std::vector<uint8_t> sound = wavewriter::SilentWave(250);
    const float eye[3] = {0, 0, -500}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
    // What the first picture and model leave for the next (the graph table,
    // built-in textures, work memory).
    ASSERT_EQ(DeleteGraphHandle(MakeBlankGraph(8, 8, 0), 0), 0);
    const int first = LoadModelFile("square.mqo");
    ASSERT_EQ(DrawModel(first), 0);
    ASSERT_EQ(DeleteModel(first), 0);
    Frame(-1);
    const int graphsBefore = CountGraphs();
    const size_t blocksBefore = GetMemoryTotals().liveBlocks;

    int picture = -1, voice = -1, model = -1;
    std::thread([&] {
        picture = OpenGraphFile("red.png", 0);
        voice = CreateSoundHandleFromImage(sound.data(), int(sound.size()), 1);
        model = LoadModelFile("square.mqo");
    }).join();
    ASSERT_NE(picture, -1);
    ASSERT_NE(voice, -1);
    ASSERT_NE(model, -1) << Log();

    Frame(picture);
    EXPECT_EQ(PixelsOf(red), 640 * 480) << "the picture the loader opened";
    EXPECT_EQ(GetSoundTotalTime(voice), 250);
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    EXPECT_EQ(DrawModel(model), 0);
    if (HardwareRenderingActive()) {
        EXPECT_LT(PixelsOf(black), 640 * 480) << "the model the loader loaded";
    }

    std::thread([&] {
        EXPECT_EQ(DeleteGraphHandle(picture, 0), 0);
        EXPECT_EQ(DeleteSoundHandle(voice), 0);
        EXPECT_EQ(DeleteModel(model), 0);
        EXPECT_EQ(DeleteModel(model), -1) << "the handle goes at once";
    }).join();
    EXPECT_EQ(DrawGraphAt(0, 0, picture, 0), -1);
    EXPECT_EQ(GetModelMaterialCount(model), -1);
    Frame(-1);
    EXPECT_EQ(CountGraphs(), graphsBefore);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, blocksBefore);
}

// A loading screen: the engine's thread draws its frames with a line of
// Japanese text while a loader opens pictures, sounds and models from files
// and lets them go again, each round of loads begun after a frame. Every
// load succeeds, every frame shows the text, and nothing stays behind;
// under ThreadSanitizer the run is clean (text conversions on both threads,
// the log written by both).
TEST_P(LoaderThreadTest, ALoadingScreenDrawsWhileALoaderOpensFiles) {
    constexpr int kRounds = 12;
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeScreenColor(0, 0, 255), 1), 0);
    ASSERT_EQ(SaveDrawScreenToPng("blue.png"), 0);
    std::ofstream("square.mqo", std::ios::binary) << Square();
    const std::vector<uint8_t> sound = wavewriter::SilentWave(100);
    std::ofstream("quiet.wav", std::ios::binary).write(reinterpret_cast<const char*>(sound.data()), sound.size());
    // What the first load of each kind leaves for the next (tables, the
    // default font, built-in textures, work memory).
    DeleteGraphHandle(OpenGraphFile("blue.png", 0), 0);
    DeleteSoundHandle(LoadSoundFile("quiet.wav", 1));
    DeleteModel(LoadModelFile("square.mqo"));
    ASSERT_EQ(DrawTextAt(20, 440, "text", 0xFFFFFFFFu, 0), 0);
    Frame(-1);
    const int graphsBefore = CountGraphs();
    const size_t blocksBefore = GetMemoryTotals().liveBlocks;
    FrameTurns turns;
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    std::thread loader([&] {
        for (int i = 0; i < kRounds; ++i) {
            turns.WaitForAFrame();
            const int picture = OpenGraphFile("blue.png", 0);
            const int voice = LoadSoundFile("quiet.wav", 1);
            const int model = LoadModelFile("square.mqo");
            if (picture == -1 || voice == -1 || model == -1) ++faults;
            DeleteGraphHandle(picture, 0);
            DeleteSoundHandle(voice);
            DeleteModel(model);
        }
        done = true;
    });
    // "Now loading" in code page 932.
    const char* const kLoading = "\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x92\x86";
    const uint32_t white = MakeScreenColor(255, 255, 255);
    int frames = 0, framesWithoutText = 0;
    while (!done.load()) {
        ASSERT_EQ(ProcessWindowMessages(), 0);
        ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        ASSERT_EQ(DrawTextAt(20, 440, kLoading, white, 0), 0);
        if (PixelsOf(white) == 0) ++framesWithoutText;
        ASSERT_EQ(PresentFrame(), 0);
        ++frames;
        turns.FrameDrawn();
    }
    loader.join();
    Frame(-1);
    EXPECT_GE(frames, kRounds);
    EXPECT_EQ(framesWithoutText, 0);
    EXPECT_EQ(faults.load(), 0) << Log();
    EXPECT_EQ(CountGraphs(), graphsBefore);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, blocksBefore);
}

// A picture reader of the user's runs on the thread that reads the picture,
// with no engine lock held: while a loader's reader is still reading, the
// engine's thread makes and deletes its own picture, and what the reader
// calls on the loader is that loader's own call (a draw is refused).
const char kUserPictureTag[8] = {'U', 'S', 'E', 'R', 'P', 'I', 'C', '1'};
ReadLatch pictureLatch;
std::atomic<int> userReaderDraw{0};

int UserPictureReader(StreamData* stream, BASEIMAGE* image) {
    char tag[8] = {};
    if (stream->functions.read(tag, 8, 1, stream->handle) != 1 || std::memcmp(tag, kUserPictureTag, 8) != 0) return -1;
    userReaderDraw = DrawRectangle(0, 0, 8, 8, MakeScreenColor(255, 0, 0), 1);
    pictureLatch.Hold();
    return CreateBaseImageXrgb32(2, 2, image);
}

// The user's picture reader, added for the length of a case.
class UserReaderAdded {
public:
    UserReaderAdded() { EXPECT_EQ(AddImageReader(UserPictureReader), 0); }
    ~UserReaderAdded() {
        auto* readers = GetImageLoaderTable()->readers;
        std::replace(readers, readers + kImageLoaderTableSize, ImageReader(UserPictureReader), ImageReader(nullptr));
    }
};

TEST_P(LoaderThreadTest, TheEngineThreadMakesPicturesWhileALoadersReaderReads) {
    UserReaderAdded added;
    const size_t logBefore = Log().size();
    int picture = -1;
    std::thread loader([&] { picture = MakeGraphFromImageMemory(kUserPictureTag, 8, nullptr, 0, 0, 0); });
    ASSERT_TRUE(pictureLatch.WaitUntilHeld());
    const int own = MakeBlankGraph(8, 8, 0);
    const bool stillReading = pictureLatch.Release();
    loader.join();
    EXPECT_NE(own, -1);
    EXPECT_TRUE(stillReading) << "the engine's thread waited for the loader's read";
    EXPECT_NE(picture, -1);
    EXPECT_EQ(userReaderDraw.load(), -1);
    EXPECT_NE(Log().find("DrawRectangle refused: only the thread that started the engine", logBefore), std::string::npos)
        << Log().substr(logBefore);
    DeleteGraphHandle(picture, 0);
    DeleteGraphHandle(own, 0);
}

// Everything else asked on another thread is refused with -1 and a line
// that names the call; the engine's thread goes on drawing.
TEST_P(LoaderThreadTest, OtherCallsOnAnotherThreadAreRefusedWithALogLine) {
    const int picture = MakeBlankGraph(16, 16, 0);
    std::ofstream("square.mqo", std::ios::binary) << Square();
    const int model = LoadModelFile("square.mqo");
    ASSERT_NE(model, -1);
    const std::vector<uint8_t> sound = wavewriter::SilentWave(100);
    const int voice = CreateSoundHandleFromImage(sound.data(), int(sound.size()), 1);
    Frame(picture);
    const size_t logBefore = Log().size();
    const uint32_t red = MakeScreenColor(255, 0, 0);
    struct Refused {
        const char* name;
        int result;
    };
    std::vector<Refused> calls;
    std::thread([&] {
        calls = {
            {"DrawGraphAt", DrawGraphAt(0, 0, picture, 0)},
            {"DrawRectangle", DrawRectangle(0, 0, 640, 480, red, 1)},
            {"ClearDrawScreenToBackColor", ClearDrawScreenToBackColor(nullptr)},
            {"PresentFrame", PresentFrame()},
            {"DrawTextAt", DrawTextAt(0, 0, "text", 0xFFFFFFFFu, 0)},
            {"DrawModel", DrawModel(model)},
            {"SetModelPosition", SetModelPosition(model, 1, 2, 3)},
            {"PlaySoundHandle", PlaySoundHandle(voice, kPlayTypeBack)},
            {"RefillGraphFromBaseImage", RefillGraphFromBaseImage(nullptr, nullptr, picture)},
            {"ProcessWindowMessages", ProcessWindowMessages()},
            {"QueryKeyState", QueryKeyState(1)},
            {"ShutdownEngine", ShutdownEngine()},
            {"InitializeEngine", InitializeEngine()},
        };
    }).join();
    const std::string lines = Log().substr(logBefore);
    for (const Refused& call : calls) {
        EXPECT_EQ(call.result, -1) << call.name;
        EXPECT_NE(lines.find(std::string(call.name) + " refused: only the thread that started the engine"),
                  std::string::npos)
            << call.name << "\n" << lines;
    }
    EXPECT_EQ(IsEngineInitialized(), 1);
    Frame(picture);
    EXPECT_EQ(PixelsOf(red), 0) << "nothing of the refused draws shows";
    ASSERT_EQ(DrawRectangle(0, 0, 16, 16, red, 1), 0);
    EXPECT_EQ(PixelsOf(red), 16 * 16) << "the engine's thread draws on";
}

// An IMA ADPCM sound of silent blocks (mono, 22050 Hz, 256-byte blocks of
// 505 samples): decoded through the compression layer.
std::vector<uint8_t> ImaAdpcmWave(int blocks) {
    using namespace wavewriter;
    std::vector<uint8_t> w;
    PutId(w, "RIFF");
    Put32(w, uint32_t(4 + 8 + 20 + 8 + 256 * blocks));
    PutId(w, "WAVE");
    PutId(w, "fmt ");
    Put32(w, 20);
    Put16(w, platform::kWaveFormatImaAdpcm);
    Put16(w, 1);
    Put32(w, 22050);
    Put32(w, 22050 * 256 / 505);
    Put16(w, 256);
    Put16(w, 4);
    Put16(w, 2);
    Put16(w, 505);
    PutId(w, "data");
    Put32(w, uint32_t(256 * blocks));
    w.insert(w.end(), size_t(256) * size_t(blocks), 0);
    return w;
}

// The compression layer with a latch in front of the first stream opened
// on the thread that last called HoldSoundOnThisThread.
ReadLatch soundLatch;
std::atomic<std::thread::id> soundHeldOn;
void HoldSoundOnThisThread() { soundHeldOn = std::this_thread::get_id(); }
platform::AcmFunctions HeldAcm() {
    platform::AcmFunctions functions = platform::Acm();
    functions.streamOpen = [](platform::AcmStream* out, const platform::AcmWaveFormat* source, uint32_t sourceBytes,
                              const platform::AcmWaveFormat* dest, uint32_t flags) {
        std::thread::id self = std::this_thread::get_id();
        if (soundHeldOn.compare_exchange_strong(self, std::thread::id())) soundLatch.Hold();
        return platform::Acm().streamOpen(out, source, sourceBytes, dest, flags);
    };
    return functions;
}
class HeldAcmInstalled {
public:
    HeldAcmInstalled() {
        static const platform::AcmFunctions held = HeldAcm();
        SetSoundAcmFunctions(&held);
    }
    ~HeldAcmInstalled() {
        SetSoundAcmFunctions(nullptr);
        soundHeldOn = std::thread::id();
    }
};

// A loading screen's frame goes on while a loader is still reading a model
// (its texture, through the user's reader) or decoding a sound: the engine's
// thread makes a picture, loads a model of its own, plays a sound and draws
// text, and none of it waits for the loader.
TEST_P(LoaderThreadTest, TheEngineThreadGoesOnWhileALoaderIsStillReadingAModelOrASound) {
    std::ofstream("square.mqo", std::ios::binary) << Square();
    MqoDocument textured = MakeMqoSquare(100, true);
    textured.materials[0].texture = "held.usr";
    std::ofstream("held.mqo", std::ios::binary) << WriteMqo(textured);
    std::ofstream("held.usr", std::ios::binary).write(kUserPictureTag, 8);
    const std::vector<uint8_t> held = ImaAdpcmWave(40);
    std::ofstream("held.wav", std::ios::binary).write(reinterpret_cast<const char*>(held.data()), held.size());
    const std::vector<uint8_t> beep = wavewriter::SilentWave(100);
    const int own = CreateSoundHandleFromImage(beep.data(), int(beep.size()), 1);
    ASSERT_NE(own, -1);
    UserReaderAdded added;
    HeldAcmInstalled acm;
    struct Case {
        const char* what;
        ReadLatch& latch;
        int (*load)();
        int (*unload)(int handle);
    };
    const Case cases[] = {
        {"a model", pictureLatch, [] { return LoadModelFile("held.mqo"); }, DeleteModel},
        {"a sound", soundLatch, [] { return LoadSoundFile("held.wav", 1); }, [](int h) { return DeleteSoundHandle(h); }},
    };
    for (const Case& c : cases) {
        int loaded = -1;
        std::thread loader([&] {
            HoldSoundOnThisThread();
            loaded = c.load();
        });
        ASSERT_TRUE(c.latch.WaitUntilHeld()) << c.what;
        ASSERT_EQ(ProcessWindowMessages(), 0);
        const int picture = MakeBlankGraph(8, 8, 0);
        const int model = LoadModelFile("square.mqo");
        const int played = PlaySoundHandle(own, kPlayTypeBack);
        const int text = DrawTextAt(20, 440, "Now loading", 0xFFFFFFFFu, 0);
        const bool stillHeld = c.latch.Release();
        loader.join();
        EXPECT_TRUE(stillHeld) << c.what << ": the engine's thread waited for the loader";
        EXPECT_NE(picture, -1);
        EXPECT_NE(model, -1);
        EXPECT_EQ(played, 0);
        EXPECT_EQ(text, 0);
        EXPECT_NE(loaded, -1) << c.what << "\n" << Log();
        EXPECT_EQ(StopSoundHandle(own), 0);
        EXPECT_EQ(DeleteGraphHandle(picture, 0), 0);
        EXPECT_EQ(DeleteModel(model), 0);
        EXPECT_EQ(c.unload(loaded), 0);
        soundHeldOn = std::thread::id();
    }
    Frame(-1);
}

// Shut-down waits for a model a loader is still reading, which enters the
// engine whole and goes with it; a load begun once the engine is ending is
// refused and said.
TEST_P(LoaderThreadTest, ShutdownWaitsForALoadersModelAndRefusesLoadsBegunAfter) {
    MqoDocument textured = MakeMqoSquare(100, true);
    textured.materials[0].texture = "held.usr";
    std::ofstream("held.mqo", std::ios::binary) << WriteMqo(textured);
    std::ofstream("held.usr", std::ios::binary).write(kUserPictureTag, 8);
    const std::vector<uint8_t> sound = wavewriter::SilentWave(100);
    std::ofstream("quiet.wav", std::ios::binary).write(reinterpret_cast<const char*>(sound.data()), sound.size());
    UserReaderAdded added;
    int model = -1, refused = 0;
    bool stillHeld = false;
    std::thread loader([&] { model = LoadModelFile("held.mqo"); });
    ASSERT_TRUE(pictureLatch.WaitUntilHeld());
    // Another loader keeps loading sounds until one is refused, then lets
    // the model's read go.
    std::thread late([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (refused == 0 && std::chrono::steady_clock::now() < give_up) {
            const int voice = LoadSoundFile("quiet.wav", 1);
            if (voice == -1) refused = 1;
            else DeleteSoundHandle(voice);
        }
        stillHeld = pictureLatch.Release();
    });
    ASSERT_EQ(ShutdownEngine(), 0);
    loader.join();
    late.join();
    EXPECT_TRUE(stillHeld) << "shut-down went on without refusing the late load";
    EXPECT_NE(model, -1) << "the model the loader was reading as the engine ended";
    EXPECT_EQ(refused, 1);
    EXPECT_NE(Log().find("LoadSoundFile refused: the engine is ending"), std::string::npos) << Log();
    EXPECT_EQ(IsEngineInitialized(), 0);
}

// The engine's thread changes the readers and the settings loads read
// between its frames while a loader loads pictures, models and sounds, a
// round after each frame: the loader meets the changed reader, and every
// load succeeds (ThreadSanitizer sees no race).
std::atomic<int> refusingReaderCalls{0};
int RefusingReader(StreamData*, BASEIMAGE*) {
    ++refusingReaderCalls;
    return -1;
}

TEST_P(LoaderThreadTest, TheEngineThreadChangesReadersAndSettingsWhileALoaderLoads) {
    constexpr int kRounds = 20;
    std::ofstream("square.mqo", std::ios::binary) << Square();
    const std::vector<uint8_t> sound = wavewriter::SilentWave(50);
    ASSERT_EQ(DrawRectangle(0, 0, 16, 16, MakeScreenColor(0, 255, 0), 1), 0);
    ASSERT_EQ(SaveDrawScreenToPng("green.png"), 0);
    std::ifstream file("green.png", std::ios::binary);
    const std::vector<char> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    FrameTurns turns;
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    refusingReaderCalls = 0;
    std::thread loader([&] {
        for (int i = 0; i < kRounds; ++i) {
            turns.WaitForAFrame();
            const int picture = MakeGraphFromImageMemory(png.data(), png.size(), nullptr, 0, 1, 0);
            const int model = LoadModelFile("square.mqo");
            const int voice = CreateSoundHandleFromImage(sound.data(), int(sound.size()), 1);
            if (picture == -1 || model == -1 || voice == -1) ++faults;
            DeleteGraphHandle(picture, 0);
            DeleteModel(model);
            DeleteSoundHandle(voice);
        }
        done = true;
    });
    auto& slot = GetImageLoaderTable()->readers[0];
    int frames = 0;
    for (; !done.load(); ++frames) {
        slot = frames % 2 ? RefusingReader : nullptr;
        SetTransColorEnabled(frames % 2);
        SetTransparentColorRGB(frames % 256, 0, 0);
        SetModelLoadGravity(frames % 2, -9.8f);
        Frame(-1);
        turns.FrameDrawn();
    }
    loader.join();
    slot = nullptr;
    SetTransColorEnabled(1);
    SetModelLoadGravity(0, 0);
    EXPECT_GE(frames, kRounds);
    EXPECT_GT(refusingReaderCalls.load(), 0) << "no load met the reader the engine's thread put in";
    EXPECT_EQ(faults.load(), 0) << Log();
}

INSTANTIATE_TEST_SUITE_P(Devices, LoaderThreadTest, ::testing::Values("none", "gl"));

class EngineLifeTest : public EngineInTempFolderTest {
protected:
    void SetUp() override {
        EngineInTempFolderTest::SetUp();
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("recording"), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    }
    void TearDown() override {
        SetSoundDeviceBackend("sdl2");
        SetWindowBackend("sdl2");
        EngineInTempFolderTest::TearDown();
    }
};

// What any thread may ask at any time, asked over and over through starts
// and ends of the engine on another thread, which waits for the poller to
// see each start and each end: the poller sees every one, and while the
// engine runs its device and the processors start-up counted
// (ThreadSanitizer sees no race).
TEST_F(EngineLifeTest, AnyThreadPollsTheEnginesStateThroughItsStartAndEnd) {
    constexpr int kLives = 3;
    std::atomic<bool> stop{false};
    std::atomic<int> startsSeen{0}, endsSeen{0}, devicesSeen{0}, processorsWhileRunning{0};
    std::thread poller([&] {
        bool wasRunning = false, deviceSeen = false;
        while (!stop.load()) {
            const bool running = IsEngineInitialized() == 1;
            const bool device = HardwareRenderingActive() == 1;
            const int processors = LogicalProcessorCount();
            if (running && !wasRunning) ++startsSeen;
            if (!running && wasRunning) ++endsSeen;
            if (running) processorsWhileRunning = processors;
            if (running && device && !deviceSeen) ++devicesSeen;
            deviceSeen = running && (device || deviceSeen);
            wasRunning = running;
        }
    });
    auto waitUntil = [](const std::atomic<int>& count, int value) {
        while (count.load() < value) std::this_thread::yield();
    };
    for (int life = 1; life <= kLives; ++life) {
        ASSERT_EQ(InitializeEngine(), 0);
        waitUntil(startsSeen, life);
        waitUntil(devicesSeen, life);
        EXPECT_EQ(processorsWhileRunning.load(), LogicalProcessorCount());
        ASSERT_EQ(ProcessWindowMessages(), 0);
        ASSERT_EQ(ShutdownEngine(), 0);
        waitUntil(endsSeen, life);
    }
    stop = true;
    poller.join();
    EXPECT_EQ(startsSeen.load(), kLives);
    EXPECT_EQ(endsSeen.load(), kLives);
    EXPECT_GE(LogicalProcessorCount(), 1);
    EXPECT_EQ(IsEngineInitialized(), 0);
}

// A load a loader begins while the engine is still starting counts as any
// other: shut-down waits for it, and its picture goes with the engine.
std::thread startUpLoader;
std::atomic<int> startUpLoad{-1};
std::atomic<bool> startUpLoadReturned{false};

void LoadAtTheModelsStep(const char* step) {
    if (std::strcmp(step, "models") != 0) return;
    startUpLoader = std::thread([] {
        startUpLoad = MakeGraphFromImageMemory(kUserPictureTag, 8, nullptr, 0, 0, 0);
        startUpLoadReturned = true;
    });
    // The pictures are up by now: start-up goes on once the load is in the
    // user's reader (or returned).
    while (!startUpLoadReturned.load() && !pictureLatch.Held()) std::this_thread::yield();
}

TEST_F(EngineLifeTest, ALoadBegunWhileTheEngineStartsIsWaitedForAtItsEnd) {
    SetLogOutput(1);
    UserReaderAdded added;
    SetEngineStepObserver(LoadAtTheModelsStep);
    ASSERT_EQ(InitializeEngine(), 0);
    SetEngineStepObserver(nullptr);
    ASSERT_TRUE(pictureLatch.Held());
    // Another loader loads until one load is refused, then lets the first
    // load's read go.
    bool stillHeld = false;
    std::thread late([&] {
        for (int picture; (picture = MakeBlankGraph(8, 8, 0)) != -1;) DeleteGraphHandle(picture, 0);
        stillHeld = pictureLatch.Release();
    });
    ASSERT_EQ(ShutdownEngine(), 0);
    late.join();
    startUpLoader.join();
    EXPECT_TRUE(stillHeld) << "shut-down went on without waiting for the load";
    EXPECT_NE(startUpLoad.load(), -1);
    EXPECT_EQ(CountGraphs(), 0) << "a picture was made after the engine ended";
}

// SDL frees its storage for a thread by itself only for the threads it
// starts: a thread of the game's that ran an engine life gets it back at
// the engine's end.
TEST_F(EngineLifeTest, AThreadThatRanAnEngineLifeHasSdlsStorageFreedAtItsEnd) {
    static std::atomic<int> freed{0};
    std::thread([&] {
        ASSERT_EQ(InitializeEngine(), 0);
        SDL_TLSSet(SDL_TLSCreate(), &freed, [](void* count) { ++*static_cast<std::atomic<int>*>(count); });
        ASSERT_EQ(ShutdownEngine(), 0);
        EXPECT_EQ(freed.load(), 1);
    }).join();
}

// A loader whose picture reader ends the process with a fatal error ends
// the engine on the way as the engine's thread would: its own call does not
// keep the engine from ending, nor does that of another loader meeting the
// same end meanwhile. A process that still runs after a few minutes has
// hung.
int GivingUpReader(StreamData*, BASEIMAGE*) { ExitOnFatalError("A loader's reader gives up"); }

using LoaderFatalDeathTest = EngineLifeTest;

TEST_F(LoaderFatalDeathTest, ALoadersFatalErrorEndsTheEngineAndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (InitializeEngine() != 0 || AddImageReader(GivingUpReader) != 0) std::_Exit(2);
            for (int i = 0; i < 2; ++i) std::thread([] {
                    for (;;) MakeGraphFromImageMemory(kUserPictureTag, 8, nullptr, 0, 0, 0);
                }).detach();
            std::this_thread::sleep_for(std::chrono::seconds(200));
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "A loader's reader gives up");
}

}  // namespace
