// A program that starts the engine in its working folder and ends without
// ShutdownEngine, in one of the ways programs end. Run by the lifecycle
// tests in a process of its own:
//   return | exit        with a sound playing, main returns 0, or exit(1)
//                        as a program does after a load error; after the
//                        exit a static's destructor asks for a picture and
//                        a start-up, and says on stderr what it got;
//   quick_exit           quick_exit(3);
//   fork soft|gl         a child of fork calls exit(7); the parent goes on,
//                        shuts down and returns 0 when the child ended so;
//   thread-draw US       the engine's thread draws on GL while another
//                        thread calls exit(5) US microseconds in;
//   reader-draw US       the same, from an image reader a loader thread
//                        runs: exit(6);
//   thread-start MS soft|gl
//                        another thread calls exit(5) MS milliseconds after
//                        the engine's thread begins a start-up (on GL or
//                        the software path), which then draws; with MS -1
//                        nothing exits, and the program says how long
//                        start-up took and returns;
//   thread-idle          the engine's thread waits for another thread that
//                        calls exit(4); a static's destructor then asks as
//                        after exit;
//   thread-wait          the engine's thread waits in the message processing
//                        for its inactive window, as another thread calls
//                        exit(4) once it is waiting; main returns 0 when
//                        the processing returns;
//   play-sound           the same as a sound of 6 s plays to its end
//                        (PlaySoundHandle, kPlayTypeNormal): exit(3);
//   play-midi            the same as a MIDI piece of 6 s plays to its end
//                        (PlayMusicFile, kPlayTypeNormal): exit(3);
//   joined-thread        a thread starts the engine, makes pictures, a
//                        sound and text, and ends; main joins it and
//                        returns 0;
//   signal-call          the engine's thread draws on GL; a SIGTERM handler
//                        calls exit(9), the signal raised inside the
//                        third frame's message processing;
//   observer STEP        the start-up observer names each step on stderr
//                        and calls exit(8) at STEP (of start-up or
//                        shut-down);
//   copy                 another copy of a program in this folder, its
//                        double-start check on: it starts on the software
//                        path and says 'y' (started) or 'n' on stdout, then
//                        reads a command on stdin: 'k' dies as a crash
//                        would, anything else or stdin's end shuts down;
//                        the status is 0 when it started.
#include "engine/engine.h"
#include "foundation/subsystems.h"
#include "midi_writer.h"
#include "platform/midi.h"
#include "platform/window.h"
#include "wave_writer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool askAfterTheEnd = false;

// The cases that play nothing to its end run on the null audio output,
// whose close waits for no mixer thread's pass: they are run many times.

// Made before the engine arranges its end, so destroyed after it.
struct AskAfterTheEnd {
    ~AskAfterTheEnd() {
        if (!askAfterTheEnd) return;
        const int graph = MakeBlankGraph(8, 8, 0);
        const int initialized = IsEngineInitialized();
        std::fprintf(stderr, "after the end: MakeBlankGraph %d, IsEngineInitialized %d, InitializeEngine %d\n", graph,
                     initialized, InitializeEngine());
    }
} askAfterTheEndOnce;

// Whether the engine's thread waits inside an engine call: an engine
// subsystem of the program's own is called at every pass of the message
// processing (and at every pass of its wait for an inactive window), so
// that another thread can exit once the engine's thread waits, never
// before.
std::atomic<bool> waitBegins{false}, waiting{false};
const morpotta::EngineSubsystem kWaitWatch = [] {
    morpotta::EngineSubsystem watch;
    watch.name = "wait watch";
    watch.pollMusic = [] {
        if (waitBegins.load()) waiting = true;
    };
    watch.whileInactive = [] { waiting = true; };
    return watch;
}();

void ExitOnceWaiting(int status) {
    while (!waiting.load()) std::this_thread::yield();
    std::exit(status);
}

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
    askAfterTheEnd = byExit;
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
    if (SetSoundDeviceBackend("null") != 0 || Start("headless") != 0) return 3;
    for (int i = 0; i < 8; ++i) MakeBlankGraph(32, 32, 0);
    DrawTextAt(0, 0, "idle", 0xFFFFFF, 0);
    std::thread(ExitAfter, 20000, 4).join();
    return 0;
}

int ExitFromAnotherThreadDuringStartUp(long milliseconds, bool gl) {
    if (milliseconds >= 0) std::thread(ExitAfter, milliseconds * 1000, 5).detach();
    const auto begun = std::chrono::steady_clock::now();
    if (Start(gl ? "sdl2" : "headless") != 0) return 3;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun);
    std::fprintf(stderr, "started in %lld ms\n", static_cast<long long>(took.count()));
    if (milliseconds < 0) return 0;
    DrawUntilTheEnd();
}

// A program's own loop: it ends as the message processing fails.
int ExitFromAnotherThreadWhileWaitingForTheWindow() {
    if (morpotta::RegisterEngineSubsystem(&kWaitWatch) != 0 || SetSoundDeviceBackend("null") != 0 ||
        Start("headless") != 0)
        return 3;
    morpotta::platform::Event lost;
    lost.type = morpotta::platform::EventType::FocusLost;
    morpotta::platform::HeadlessPushEvent(lost);
    std::thread(ExitOnceWaiting, 4).detach();
    while (ProcessWindowMessages() == 0) {
    }
    std::fprintf(stderr, "the message processing returned\n");
    return 0;
}

int ExitFromAnotherThreadWhilePlaying(bool midi) {
    if (morpotta::RegisterEngineSubsystem(&kWaitWatch) != 0 || Start("headless") != 0) return 3;
    int sound = -1;
    if (midi) {
        morpotta::platform::SelectMidiBackend("fake");
        morpotta::platform::SetFakeMidiLengthMs(6000);
        const std::vector<uint8_t> piece = midiwriter::MakeMidi(24);
        std::ofstream("piece.mid", std::ios::binary).write(reinterpret_cast<const char*>(piece.data()), piece.size());
    } else {
        const std::vector<uint8_t> wave = wavewriter::MakeWave(std::vector<uint8_t>(8000 * 6, 0x80), 8000, 1, 8);
        sound = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
        if (sound == -1) return 4;
    }
    std::thread(ExitOnceWaiting, 3).detach();
    waitBegins = true;
    const int played = midi ? PlayMusicFile("piece.mid", kPlayTypeNormal) : PlaySoundHandle(sound, kPlayTypeNormal);
    std::fprintf(stderr, "the play returned %d\n", played);
    return 0;
}

int EndAfterTheEngineThreadWasJoined() {
    std::thread([] {
        if (SetSoundDeviceBackend("null") != 0 || Start("headless") != 0) return;
        for (int i = 0; i < 4; ++i) MakeBlankGraph(32, 32, 0);
        const std::vector<uint8_t> wave = wavewriter::MakeWave(std::vector<uint8_t>(8000, 0x80), 8000, 1, 8);
        CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
        DrawTextAt(0, 0, "joined", 0xFFFFFF, 0);
        ProcessWindowMessages();
    }).join();
    return 0;
}

void ExitOnSignal(int) { std::exit(9); }

// The program's handler runs as the signal comes, wherever the engine's
// thread is; here it comes at a known moment inside an engine call (the
// message processing of the third frame), never inside an allocation,
// where the C library's own exit would wait for ever.
int ExitFromASignalHandlerInsideACall() {
    static int passes = 0;
    static const morpotta::EngineSubsystem kSignalAtThirdPass = [] {
        morpotta::EngineSubsystem signal;
        signal.name = "signal";
        signal.pollMusic = [] {
            if (++passes == 3) std::raise(SIGTERM);
        };
        return signal;
    }();
    std::signal(SIGTERM, ExitOnSignal);
    if (morpotta::RegisterEngineSubsystem(&kSignalAtThirdPass) != 0 || Start("sdl2") != 0) return 3;
    const int graph = MakeBlankGraph(64, 64, 0);
    for (;;) DrawFrame(graph);
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
    if (SetSoundDeviceBackend("null") != 0 || Start("headless") != 0) return 3;
    ShutdownEngine();
    return 0;
}

}  // namespace

int RunAsAnotherCopy() {
    const bool started = SetWindowBackend("headless") == 0 && InitializeEngine() == 0;
    const char said = started ? 'y' : 'n';
    (void)!write(1, &said, 1);
    char command = 0;
    if (read(0, &command, 1) == 1 && command == 'k') raise(SIGKILL);
    if (started) ShutdownEngine();
    return started ? 0 : 1;
}

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
    if (how == "thread-start")
        return ExitFromAnotherThreadDuringStartUp(std::atol(detail), argc > 3 && std::strcmp(argv[3], "gl") == 0);
    if (how == "thread-idle") return ExitFromAnotherThreadWhileIdle();
    if (how == "thread-wait") return ExitFromAnotherThreadWhileWaitingForTheWindow();
    if (how == "play-sound" || how == "play-midi") return ExitFromAnotherThreadWhilePlaying(how == "play-midi");
    if (how == "joined-thread") return EndAfterTheEngineThreadWasJoined();
    if (how == "signal-call") return ExitFromASignalHandlerInsideACall();
    if (how == "observer") return ExitFromTheObserver(detail);
    if (how == "copy") return RunAsAnotherCopy();
    return 2;
}
