// Threads a game starts beside the engine's own: a loader thread makes and
// deletes pictures, sounds and models while the engine's thread draws
// frames, and every other call made on such a thread is refused with -1
// and a line in the log. Run under ThreadSanitizer by
// scripts/test-threads.sh (the "foundation" label).
#include "engine/engine.h"
#include "engine_temp_folder_fixture.h"
#include "mqo_writer.h"
#include "wave_writer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A square facing the eye.
std::string Square() { return WriteMqo(MakeMqoSquare(100, true)); }

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
// and lets them go again. Every load succeeds and nothing stays behind;
// under ThreadSanitizer the run is clean (text conversions on both threads,
// the log written by both).
TEST_P(LoaderThreadTest, ALoadingScreenDrawsWhileALoaderOpensFiles) {
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeScreenColor(0, 0, 255), 1), 0);
    ASSERT_EQ(SaveDrawScreenToPng("blue.png"), 0);
    std::ofstream("square.mqo", std::ios::binary) << Square();
    const std::vector<uint8_t> sound = wavewriter::SilentWave(100);
    std::ofstream("quiet.wav", std::ios::binary).write(reinterpret_cast<const char*>(sound.data()), sound.size());
    Frame(-1);
    const int graphsBefore = CountGraphs();
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    std::thread loader([&] {
        for (int i = 0; i < 12; ++i) {
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
    while (!done.load()) {
        ASSERT_EQ(ProcessWindowMessages(), 0);
        ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        ASSERT_EQ(DrawTextAt(20, 440, kLoading, 0xFFFFFFFFu, 0), 0);
        ASSERT_EQ(PresentFrame(), 0);
    }
    loader.join();
    Frame(-1);
    EXPECT_EQ(faults.load(), 0) << Log();
    EXPECT_EQ(CountGraphs(), graphsBefore);
}

// A picture reader of the user's runs on the thread that reads the picture,
// with no engine lock held: while a loader's reader is still reading, the
// engine's thread makes and deletes its own picture, and what the reader
// calls on the loader is that loader's own call (a draw is refused).
const char kUserPictureTag[8] = {'U', 'S', 'E', 'R', 'P', 'I', 'C', '1'};
struct UserReaderState {
    std::mutex lock;
    std::condition_variable changed;
    bool reading = false, engineDone = false;
    int draw = 0;
};
UserReaderState userReader;

int UserPictureReader(StreamData* stream, BASEIMAGE* image) {
    char tag[8] = {};
    if (stream->functions.read(tag, 8, 1, stream->handle) != 1 || std::memcmp(tag, kUserPictureTag, 8) != 0) return -1;
    const int draw = DrawRectangle(0, 0, 8, 8, MakeScreenColor(255, 0, 0), 1);
    std::unique_lock<std::mutex> guard(userReader.lock);
    userReader.draw = draw;
    userReader.reading = true;
    userReader.changed.notify_all();
    // Bounded, so that an engine whose thread waits for this read fails
    // the case rather than hanging.
    userReader.changed.wait_for(guard, std::chrono::seconds(10), [] { return userReader.engineDone; });
    userReader.reading = false;
    return CreateBaseImageXrgb32(2, 2, image);
}

TEST_P(LoaderThreadTest, TheEngineThreadMakesPicturesWhileALoadersReaderReads) {
    ASSERT_EQ(AddImageReader(UserPictureReader), 0);
    const size_t logBefore = Log().size();
    int picture = -1;
    std::thread loader([&] { picture = MakeGraphFromImageMemory(kUserPictureTag, 8, nullptr, 0, 0, 0); });
    {
        std::unique_lock<std::mutex> guard(userReader.lock);
        userReader.changed.wait_for(guard, std::chrono::seconds(10), [] { return userReader.reading; });
    }
    const int own = MakeBlankGraph(8, 8, 0);
    bool stillReading = false;
    {
        std::lock_guard<std::mutex> guard(userReader.lock);
        stillReading = userReader.reading;
        userReader.engineDone = true;
        userReader.changed.notify_all();
    }
    loader.join();
    std::atomic<ImageReader>* readers = GetImageLoaderTable()->readers;
    std::replace(readers, readers + kImageLoaderTableSize, ImageReader(UserPictureReader), ImageReader(nullptr));
    userReader.engineDone = false;
    EXPECT_NE(own, -1);
    EXPECT_TRUE(stillReading) << "the engine's thread waited for the loader's read";
    EXPECT_NE(picture, -1);
    EXPECT_EQ(userReader.draw, -1);
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
// and ends of the engine on another thread (ThreadSanitizer sees no race).
TEST_F(EngineLifeTest, AnyThreadPollsTheEnginesStateThroughItsStartAndEnd) {
    std::atomic<bool> stop{false};
    std::atomic<int> seenRunning{0}, wrong{0};
    std::thread poller([&] {
        while (!stop.load()) {
            const int running = IsEngineInitialized(), device = HardwareRenderingActive();
            if (LogicalProcessorCount() < 1) ++wrong;
            if (running && device) ++seenRunning;
        }
    });
    for (int life = 0; life < 3; ++life) {
        ASSERT_EQ(InitializeEngine(), 0);
        while (seenRunning.load() == 0) std::this_thread::yield();
        ASSERT_EQ(ProcessWindowMessages(), 0);
        ASSERT_EQ(ShutdownEngine(), 0);
    }
    stop = true;
    poller.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(IsEngineInitialized(), 0);
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

}  // namespace
