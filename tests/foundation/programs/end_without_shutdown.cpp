// A program that starts the engine in its working folder and ends without
// ShutdownEngine, in one of the ways programs end. Run by the lifecycle
// tests in a process of its own:
//   return | exit        with a sound playing, main returns 0, or exit(1)
//                        as a program does after a load error;
//   quick_exit           quick_exit(3);
//   fork soft|gl         a child of fork calls exit(7); the parent goes on,
//                        shuts down and returns 0 when the child ended so;
//   thread-draw US       the engine's thread draws on GL while another
//                        thread calls exit(5) US microseconds in;
//   reader-draw US       the same, from an image reader a loader thread
//                        runs: exit(6);
//   thread-idle          the engine's thread waits for another thread that
//                        calls exit(4); a static's destructor then asks for
//                        a picture and says what it got on stderr;
//   thread-wait          the engine's thread waits in the message processing
//                        for its inactive window while another thread calls
//                        exit(4);
//   observer STEP        the start-up observer names each step on stderr
//                        and calls exit(8) at STEP (of start-up or
//                        shut-down).
#include "engine/engine.h"
#include "platform/window.h"
#include "wave_writer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool askAfterTheEnd = false;

// Made before the engine arranges its end, so destroyed after it.
struct AskAfterTheEnd {
    ~AskAfterTheEnd() {
        if (!askAfterTheEnd) return;
        const int graph = MakeBlankGraph(8, 8, 0);
        std::fprintf(stderr, "after the end: MakeBlankGraph %d, IsEngineInitialized %d\n", graph,
                     IsEngineInitialized());
    }
} askAfterTheEndOnce;

int Start(const char* backend) {
    SetDoubleStartCheck(0);
    if (SetWindowBackend(backend) != 0 || InitializeEngine() != 0) return 3;
    return 0;
}

void DrawFrame(int graph) {
    ClearDrawScreenToBackColor(nullptr);
    for (int i = 0; i < 40; ++i) DrawGraphAt(i * 12, i * 9, graph, 1);
    DrawRectangle(10, 10, 300, 200, 0xFF8040, 1);
    PresentFrame();
    ProcessWindowMessages();
}

[[noreturn]] void DrawUntilTheEnd() {
    const int graph = MakeBlankGraph(64, 64, 0);
    for (;;) DrawFrame(graph);
}

void ExitAfter(long microseconds, int status) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    std::exit(status);
}

int PlaySoundAndEnd(bool byExit) {
    if (Start("sdl2") != 0) return 3;
    const std::vector<uint8_t> wave = wavewriter::MakeWave(std::vector<uint8_t>(44100 * 4, 0x40), 44100, 2, 16);
    const int sound = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    if (sound == -1 || PlaySoundHandle(sound, kPlayTypeLoop) != 0) return 4;
    if (byExit) std::exit(1);
    return 0;
}

int ForkAChildThatExits(bool gl) {
    if (Start(gl ? "sdl2" : "headless") != 0) return 3;
    if (HardwareRenderingActive() != (gl ? 1 : 0)) return 11;
    const int graph = MakeBlankGraph(64, 64, 0);
    DrawFrame(graph);
    const pid_t child = fork();
    if (child == 0) std::exit(7);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 7) {
        std::fprintf(stderr, "the child ended with status %d\n", status);
        return 10;
    }
    WriteLogText("the parent goes on");
    DrawFrame(graph);
    return ShutdownEngine() == 0 ? 0 : 12;
}

int ExitFromAnotherThreadWhileDrawing(long microseconds) {
    if (Start("sdl2") != 0) return 3;
    std::thread(ExitAfter, microseconds, 5).detach();
    DrawUntilTheEnd();
}

int ExitingReader(StreamData*, BASEIMAGE*) { std::exit(6); }

int ExitFromAReaderWhileDrawing(long microseconds) {
    if (Start("sdl2") != 0 || AddImageReader(ExitingReader) != 0) return 3;
    std::thread([microseconds] {
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
        const unsigned char bytes[16] = {};
        MakeGraphFromImageMemory(bytes, sizeof bytes, nullptr, 0, 1, 0);
    }).detach();
    DrawUntilTheEnd();
}

int ExitFromAnotherThreadWhileIdle() {
    askAfterTheEnd = true;
    if (Start("headless") != 0) return 3;
    for (int i = 0; i < 8; ++i) MakeBlankGraph(32, 32, 0);
    DrawTextAt(0, 0, "idle", 0xFFFFFF, 0);
    std::thread(ExitAfter, 20000, 4).join();
    return 0;
}

int ExitFromAnotherThreadWhileWaitingForKeys() {
    if (Start("headless") != 0) return 3;
    morpotta::platform::Event lost;
    lost.type = morpotta::platform::EventType::FocusLost;
    morpotta::platform::HeadlessPushEvent(lost);
    std::thread(ExitAfter, 50000, 4).detach();
    // The message processing takes the focus loss and waits for the window.
    ProcessWindowMessages();
    for (;;) QueryKeyState(1);
}

std::string exitStep;

void ExitAtStep(const char* step) {
    std::fprintf(stderr, "step %s\n", step);
    if (exitStep != step) return;
    std::fprintf(stderr, "exit at %s\n", step);
    std::exit(8);
}

int ExitFromTheObserver(const char* step) {
    exitStep = step;
    SetEngineStepObserver(ExitAtStep);
    if (Start("headless") != 0) return 3;
    ShutdownEngine();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string how = argv[1];
    const char* detail = argc > 2 ? argv[2] : "";
    if (how == "return" || how == "exit") return PlaySoundAndEnd(how == "exit");
    if (how == "quick_exit") {
        if (Start("headless") != 0) return 3;
        std::quick_exit(3);
    }
    if (how == "fork") return ForkAChildThatExits(std::strcmp(detail, "gl") == 0);
    if (how == "thread-draw") return ExitFromAnotherThreadWhileDrawing(std::atol(detail));
    if (how == "reader-draw") return ExitFromAReaderWhileDrawing(std::atol(detail));
    if (how == "thread-idle") return ExitFromAnotherThreadWhileIdle();
    if (how == "thread-wait") return ExitFromAnotherThreadWhileWaitingForKeys();
    if (how == "observer") return ExitFromTheObserver(detail);
    return 2;
}
