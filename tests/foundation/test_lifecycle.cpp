#include "engine/engine.h"
#include "focus_return.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "run_this_program.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

std::vector<std::string> steps;
void RecordStep(const char* step) { steps.push_back(step); }

class EngineLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        platform::UseVirtualClock(true);
        SetLogOutput(1);
        steps.clear();
    }
    void TearDown() override {
        SetEngineStepObserver(nullptr);
        if (IsEngineInitialized()) ShutdownEngine();
        platform::UseVirtualClock(false);
        SetWindowBackend("sdl2");
    }
    ScopedTempDir dir_;
};

TEST_F(EngineLifecycleTest, StartUpAndShutDownRunInTheirFixedOrder) {
    SetEngineStepObserver(RecordStep);
    ASSERT_EQ(InitializeEngine(), 0);
    const std::vector<std::string> startUp = {
        "libraries", "display mode", "movie colour tables", "archive table", "file functions",
        "double-start check", "log",
        "desktop depth", "performance counter", "system information", "stream tables", "window", "input",
        "sound", "graphics", "on-screen log", "draw screens", "models"};
    EXPECT_EQ(steps, startUp);
    steps.clear();
    ASSERT_EQ(ShutdownEngine(), 0);
    const std::vector<std::string> shutDown = {
        "music", "models", "graphics", "movies", "input", "sound", "window teardown", "software images",
        "window destruction", "start directory", "archives", "memory dump", "library lock"};
    EXPECT_EQ(steps, shutDown);
    EXPECT_EQ(ShutdownEngine(), -1);
}

TEST_F(EngineLifecycleTest, StartUpWritesTheSystemInformationLog) {
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_GE(LogicalProcessorCount(), 1);
    ShutdownEngine();
    std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("Engine version " MORPOTTA_ENGINE_VERSION_STRING "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("OS: "), std::string::npos) << log;
    EXPECT_NE(log.find("CPU: "), std::string::npos);
    EXPECT_NE(log.find("Logical processors: "), std::string::npos);
}

// Lines written before start-up stay in the log of the folder they were
// written in: start-up, which makes the log of its own folder anew, writes
// again those of that folder alone.
TEST_F(EngineLifecycleTest, StartUpKeepsTheEarlierLinesOfItsOwnFolderOnly) {
    std::filesystem::create_directory("elsewhere");
    std::filesystem::current_path("elsewhere");
    WriteLogText("a line of another folder");
    std::filesystem::current_path(dir_.path());
    WriteLogText("a line of this folder");
    ASSERT_EQ(InitializeEngine(), 0);
    ShutdownEngine();
    const std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("a line of this folder"), std::string::npos) << log;
    EXPECT_EQ(log.find("a line of another folder"), std::string::npos) << log;
    const std::string other = ScopedTempDir::ReadFile(dir_.path() / "elsewhere" / "Log.txt");
    EXPECT_NE(other.find("a line of another folder"), std::string::npos) << other;
    EXPECT_EQ(other.find("a line of this folder"), std::string::npos) << other;
}

// Two lives of the engine in one process: what is logged after the first
// one's end goes at the end of its log, with its time stamps, and the
// second life's log begins with lines of its own.
TEST_F(EngineLifecycleTest, ALineAfterShutDownStaysInTheFinishedRunsLog) {
    const std::filesystem::path log = dir_.path() / "Log.txt";
    ASSERT_EQ(InitializeEngine(), 0);
    WriteLogText("a line of the first run");
    ASSERT_EQ(ShutdownEngine(), 0);
    platform::AdvanceVirtualClock(5000 * 1000);
    WriteLogText("the first run's last words");
    const std::string first = ScopedTempDir::ReadFile(log);
    const size_t lastWords = first.rfind("the first run's last words\r\n");
    ASSERT_NE(lastWords, std::string::npos) << first;
    const size_t lineStart = first.rfind("\r\n", lastWords) + 2;
    EXPECT_GE(std::stoi(first.substr(lineStart, 9)), 5000) << "the stamps of the finished run go on:\n" << first;

    ASSERT_EQ(InitializeEngine(), 0);
    WriteLogText("a line of the second run");
    ASSERT_EQ(ShutdownEngine(), 0);
    const std::string second = ScopedTempDir::ReadFile(log);
    EXPECT_EQ(second.find("last words"), std::string::npos) << second;
    EXPECT_EQ(second.find("the first run"), std::string::npos) << second;
    EXPECT_NE(second.find("a line of the second run"), std::string::npos) << second;
}

TEST_F(EngineLifecycleTest, FullScreenWithoutSuchModeFallsBackToAWindow) {
    ChangeWindowMode(0);
    SetScreenMode(800, 600, 32, 60);  // the headless host offers 640x480 only
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(GetWindowModeFlag(), 1);
    ShutdownEngine();
    SetScreenMode(640, 480, 32, 60);
}

// The window is made in its mode once: while the engine runs the mode
// stays, and the refusal says why.
TEST_F(EngineLifecycleTest, TheWindowModeStaysWhileRunningAndTheRefusalIsLogged) {
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(ChangeWindowMode(0), -1);
    EXPECT_EQ(GetWindowModeFlag(), 1);
    EXPECT_EQ(SetScreenMode(1280, 960, 32, 60), -1);
    ShutdownEngine();
    const std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("ChangeWindowMode refused: the mode (0) is chosen before start-up"), std::string::npos) << log;
    EXPECT_NE(log.find("SetScreenMode refused: 1280x960, 32 bits, 60 Hz"), std::string::npos) << log;
    int width = 0;
    GetScreenMode(&width, nullptr, nullptr, nullptr);
    EXPECT_EQ(width, 640);
}

TEST_F(EngineLifecycleTest, TitleIsShownInUtf8) {
    SetAppWindowTitle("\x83\x82\x83\x8B\x83\x7C\x83\x62\x83\x5E_v1.00");
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_STREQ(platform::HeadlessTitle(), "\xE3\x83\xA2\xE3\x83\xAB\xE3\x83\x9D\xE3\x83\x83\xE3\x82\xBF_v1.00");
    SetAppWindowTitle("other");
    EXPECT_STREQ(platform::HeadlessTitle(), "other");
    ShutdownEngine();
}

// SIGTERM and SIGINT ask a headless program to end as closing its window
// does: the message processing returns -1. The handlers in place before
// start-up are back after shut-down.
TEST_F(EngineLifecycleTest, SigtermAndSigintEndTheMessageLoop) {
    for (int signal : {SIGTERM, SIGINT}) {
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        ASSERT_EQ(InitializeEngine(), 0);
        ASSERT_EQ(ProcessWindowMessages(), 0);
        raise(signal);
        EXPECT_EQ(ProcessWindowMessages(), -1) << strsignal(signal);
        EXPECT_EQ(ProcessWindowMessages(), -1);
        ShutdownEngine();
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << strsignal(signal);
    }
}

TEST_F(EngineLifecycleTest, LoopPausesWhileInactiveAndResumes) {
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(ProcessWindowMessages(), 0);
    platform::HeadlessPushEvent({platform::EventType::FocusLost});
    // The paused loop sleeps 24 ms a pass on the virtual clock: after ten
    // passes the window comes back.
    FocusReturn focus(240000);
    EXPECT_EQ(ProcessWindowMessages(), 0);
    EXPECT_TRUE(focus.WaitedThroughout());
    EXPECT_EQ(IsWindowActive(), 1);
    ShutdownEngine();
}

TEST_F(EngineLifecycleTest, RunWhileInactiveDoesNotPause) {
    ASSERT_EQ(InitializeEngine(), 0);
    SetRunWhileInactive(1);
    platform::HeadlessPushEvent({platform::EventType::FocusLost});
    EXPECT_EQ(ProcessWindowMessages(), 0);
    EXPECT_EQ(IsWindowActive(), 0);
    SetRunWhileInactive(0);
    platform::HeadlessPushEvent({platform::EventType::FocusGained});
    EXPECT_EQ(ProcessWindowMessages(), 0);
    ShutdownEngine();
}

TEST_F(EngineLifecycleTest, ClosingTheWindowEndsTheLoop) {
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_NE(GetAppWindowHandle(), nullptr);
    platform::HeadlessPushEvent({platform::EventType::CloseRequested});
    EXPECT_EQ(ProcessWindowMessages(), -1);
    EXPECT_EQ(ProcessWindowMessages(), -1);
    EXPECT_EQ(GetAppWindowHandle(), nullptr);
    EXPECT_EQ(ShutdownEngine(), 0);
}

TEST_F(EngineLifecycleTest, AtMostFiveEventsArePassedOnPerPass) {
    ASSERT_EQ(InitializeEngine(), 0);
    for (int i = 0; i < 5; ++i) platform::HeadlessPushEvent({platform::EventType::MouseMove});
    platform::HeadlessPushEvent({platform::EventType::CloseRequested});
    EXPECT_EQ(ProcessWindowMessages(), 0);   // the close waits for the next pass
    EXPECT_EQ(ProcessWindowMessages(), -1);
    ShutdownEngine();
}

TEST_F(EngineLifecycleTest, HundredTwentyFramesLeaveNoLiveBlocks) {
    size_t liveBefore = GetMemoryTotals().liveBlocks;
    ASSERT_EQ(InitializeEngine(), 0);
    for (int frame = 0; frame < 120; ++frame) {
        int start = GetMillisecondCount();
        ASSERT_EQ(ProcessWindowMessages(), 0);
        while (ElapsedMilliseconds(start, GetMillisecondCount()) < 16) SleepMilliseconds(1);
    }
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore);
}

TEST_F(EngineLifecycleTest, WithoutAWindowStartUpFailsSaysWhyAndLeavesNothing) {
    size_t liveBefore = GetMemoryTotals().liveBlocks;
    platform::HeadlessRefuseOpen(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitializeEngine(), -1);
    std::string said = testing::internal::GetCapturedStderr();
    platform::HeadlessRefuseOpen(false);
    EXPECT_EQ(IsEngineInitialized(), 0);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore);
    // On stderr in the program's name, as a command-line program says it.
    EXPECT_EQ(said, std::string(program_invocation_short_name) +
                        ": cannot start: no window could be opened (is a display available?)\n");
    std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("InitializeEngine refused: start-up failed: no window could be opened"), std::string::npos)
        << log;
    // Nothing is left behind that would stop the next start.
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(ShutdownEngine(), 0);
}

// Another copy of the program in this folder: a program of its own (not a
// child of fork, which a process with threads may not start threads in)
// that starts the engine, reports, and on command shuts down or dies
// without a word.
class OtherCopy {
public:
    OtherCopy() {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, down[0], 0);
        posix_spawn_file_actions_adddup2(&actions, up[1], 1);
        posix_spawn_file_actions_addclose(&actions, up[0]);
        posix_spawn_file_actions_addclose(&actions, down[1]);
        char program[] = MORPOTTA_END_WITHOUT_SHUTDOWN, mode[] = "copy";
        char* argv[] = {program, mode, nullptr};
        if (posix_spawn(&pid_, program, &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(up[1]);
        close(down[0]);
        toChild_ = down[1];
        char started = 0;
        started_ = pid_ > 0 && read(up[0], &started, 1) == 1 && started == 'y';
        close(up[0]);
    }
    bool started() const { return started_; }
    // 'e' ends it properly, 'k' kills it as a crash would.
    void End(char how) {
        (void)!write(toChild_, &how, 1);
        close(toChild_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    ~OtherCopy() {
        if (pid_ > 0) End('k');
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    bool started_ = false;
};

TEST_F(EngineLifecycleTest, ASecondCopyIsRefusedWhileTheFirstRunsAndAllowedAfterItEnds) {
    for (char how : {'e', 'k'}) {
        OtherCopy first;
        ASSERT_TRUE(first.started());
        std::string firstLog = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitializeEngine(), -1);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("another copy of this program is running in this folder"), std::string::npos) << said;
        // The refused copy leaves the running copy's log alone.
        EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "Log.txt"), firstLog);
        first.End(how);
        // Ended or crashed, the first copy no longer holds the folder.
        ASSERT_EQ(InitializeEngine(), 0) << "after the first copy ended with '" << how << "'";
        EXPECT_EQ(ShutdownEngine(), 0);
    }
}

// What stands at the lock's name is never followed, nor made through a
// link; a lock that cannot be taken stops the start with a line that says
// why, as a running copy does, since no copy could then tell it runs alone.
TEST_F(EngineLifecycleTest, ALockThatCannotBeTakenStopsTheStartAndNoLinkAtItIsFollowed) {
    namespace fs = std::filesystem;
    const fs::path outside = dir_.path() / "outside";
    fs::create_directory(outside);
    std::ofstream(outside / "kept") << "a user's file";
    fs::create_directory(dir_.path() / "game");
    fs::current_path(dir_.path() / "game");
    struct Form {
        const char* what;
        std::function<void()> put;
        const char* said;
    };
    const Form forms[] = {
        {"a link to nothing", [&] { fs::create_symlink(outside / "made", "Engine.lock"); }, "it is a symbolic link"},
        {"a link to a file", [&] { fs::create_symlink(outside / "kept", "Engine.lock"); }, "it is a symbolic link"},
        {"a folder", [] { fs::create_directory("Engine.lock"); }, "it is a folder"},
        {"a hard link to a file outside", [&] { fs::create_hard_link(outside / "kept", "Engine.lock"); },
         "it has other names (a hard link)"},
    };
    for (const Form& form : forms) {
        form.put();
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitializeEngine(), -1) << form.what;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(std::string(program_invocation_short_name) +
                            ": cannot start: the double-start check cannot take Engine.lock in this folder (" +
                            form.said + ")"),
                  std::string::npos)
            << form.what << ": " << said;
        EXPECT_EQ(IsEngineInitialized(), 0);
        EXPECT_FALSE(fs::exists(outside / "made")) << form.what;
        EXPECT_EQ(ScopedTempDir::ReadFile(outside / "kept"), "a user's file") << form.what;
        fs::remove("Engine.lock");
    }
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(ShutdownEngine(), 0);
}

// A lock needs only to read its file: one another user left in the folder
// (a run as root made it, and the player may only read it) still serves.
TEST_F(EngineLifecycleTest, ALockFileThePlayerMayOnlyReadServes) {
    namespace fs = std::filesystem;
    fs::create_directory(dir_.path() / "game");
    fs::current_path(dir_.path() / "game");
    std::ofstream("Engine.lock").close();
    fs::permissions("Engine.lock", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto starts = [] {
        const bool started = InitializeEngine() == 0;
        if (started) ShutdownEngine();
        return started;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(starts());
        return;
    }
    // Run as root, the start is a player's in a process of its own.
    fs::permissions(dir_.path(), fs::perms::all);
    fs::permissions(dir_.path() / "game", fs::perms::all);
    // The child only drops its rights and becomes another copy: a child of
    // fork may not start threads where its parent ran some.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            char program[] = MORPOTTA_END_WITHOUT_SHUTDOWN, mode[] = "copy";
            char* argv[] = {program, mode, nullptr};
            const int nothing = open("/dev/null", O_RDWR);
            if (nothing >= 0 && dup2(nothing, 0) == 0 && dup2(nothing, 1) == 1) execv(program, argv);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(EngineOnSdlTest, StartsOffscreenAndShutsDown) {
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    for (int frame = 0; frame < 10; ++frame) ASSERT_EQ(ProcessWindowMessages(), 0);
    EXPECT_NE(GetAppWindowHandle(), nullptr);
    EXPECT_EQ(ShutdownEngine(), 0);
}

// What a program that ends without ShutdownEngine leaves (end_without_shutdown):
// its status, what it said, and the log of the folder it ran in. A program
// that hangs is ended after a minute.
struct EndedProgram {
    static inline const std::string kEnd = "Engine ended\r\n";
    int status = -1;
    std::string said, log;
    bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    // The log ends with the engine's end, which it writes once.
    bool LogFinished() const { return EndWrittenOnce() && log.find(kEnd) == log.size() - kEnd.size(); }
    // The engine's end is in the log once (a static's destructor may write
    // after it).
    bool EndWrittenOnce() const {
        const size_t end = log.find(kEnd);
        return end != std::string::npos && log.find(kEnd, end + 1) == std::string::npos;
    }
    bool Said(const std::string& text) const { return said.find(text) != std::string::npos; }
    bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }
    std::string Why() const { return "status " + std::to_string(status) + "\n" + said + "\nlog:\n" + log; }
};

EndedProgram EndProgram(std::vector<std::string> words) {
    ScopedTempDir dir;
    words.insert(words.begin(), {"/usr/bin/timeout", "-k", "5", "60", MORPOTTA_END_WITHOUT_SHUTDOWN});
    const ProgramRun run = RunProgram(words);
    const std::filesystem::path log = dir.path() / "Log.txt";
    return {run.status, run.output, std::filesystem::exists(log) ? ScopedTempDir::ReadFile(log) : ""};
}

// A program that leaves main, or calls exit or quick_exit, without
// ShutdownEngine while its audio output mixes a sound ends with its own
// status, and the engine has ended on the way as ShutdownEngine ends it
// (the last line of its log).
TEST(EngineEndedAtExit, AProgramEndingWithoutShutDownEndsWithItsOwnStatus) {
    for (const auto& [how, status] : {std::pair<const char*, int>{"return", 0}, {"quick_exit", 3}}) {
        const EndedProgram ended = EndProgram({how});
        EXPECT_TRUE(ended.Exited(status) && ended.LogFinished()) << how << ": " << ended.Why();
    }
    // After the end, on GL, a static's destructor asks for a start-up: it
    // is refused, as the process is ending.
    const EndedProgram exited = EndProgram({"exit"});
    EXPECT_TRUE(exited.Exited(1) && exited.EndWrittenOnce()) << exited.Why();
    EXPECT_TRUE(exited.Said("InitializeEngine -1") && exited.Logged("InitializeEngine refused: the program is ending"))
        << exited.Why();
}

// A child of fork that calls exit (a worker, a crash reporter) ends as its
// own program with its own status, touching neither the parent's GL
// context nor its log; the parent goes on and ends its engine itself.
// Under ThreadSanitizer the GL driver's own exit handler hangs such a
// child (its join of a worker thread the child does not have never returns
// in the sanitizer's thread registry): the software path alone runs there.
TEST(EngineEndedAtExit, AForkedChildsExitLeavesTheParentsEngineAlone) {
#if defined(__SANITIZE_THREAD__)
    const std::vector<const char*> paths = {"soft"};
#else
    const std::vector<const char*> paths = {"soft", "gl"};
#endif
    for (const char* path : paths) {
        const EndedProgram ended = EndProgram({"fork", path});
        EXPECT_TRUE(ended.Exited(0) && ended.LogFinished()) << path << ": " << ended.Why();
        const size_t goesOn = ended.log.find("the parent goes on");
        EXPECT_NE(goesOn, std::string::npos) << path << ": " << ended.Why();
        EXPECT_EQ(ended.log.rfind("live blocks", goesOn), std::string::npos) << path << ": " << ended.Why();
    }
}

// An exit from another thread while the engine's thread draws on GL, at
// moments from the first frames (the driver still compiling) on, and from
// an image reader a loader thread runs: one end, in the engine's own
// words, with the program's status; what the engine's thread had made is
// freed (the reader's own call, cut short by the exit, keeps what it held).
TEST(EngineEndedAtExit, AnExitFromAnotherThreadWhileTheEngineDrawsIsOneEnd) {
    for (int run = 0; run < 20; ++run) {
        const EndedProgram ended = EndProgram({"thread-draw", std::to_string(run * 3000)});
        EXPECT_TRUE(ended.Exited(5) && ended.LogFinished()) << "run " << run << ": " << ended.Why();
        EXPECT_EQ(ended.log.find("efused"), std::string::npos) << "run " << run << ": " << ended.Why();
        EXPECT_NE(ended.log.find(" 0 live blocks"), std::string::npos) << "run " << run << ": " << ended.Why();
    }
    for (int run = 0; run < 6; ++run) {
        const EndedProgram ended = EndProgram({"reader-draw", std::to_string(run * 5000)});
        EXPECT_TRUE(ended.Exited(6) && ended.LogFinished()) << "reader run " << run << ": " << ended.Why();
        EXPECT_EQ(ended.log.find("efused"), std::string::npos) << "reader run " << run << ": " << ended.Why();
    }
}

// An exit from another thread while the engine's thread waits for that
// thread: the end is whole and refuses nothing, and a static's destructor
// after it finds the engine ended and its start-up refused. While the
// engine's thread waits inside an engine call (the message processing for
// its inactive window, a sound or a MIDI piece played to its end), the wait
// gives up and the call never returns into the program, whose loop would
// end the process a second time, with a status of its own.
TEST(EngineEndedAtExit, AnExitFromAnotherThreadWhileTheEngineWaitsEndsItWhole) {
    const EndedProgram idle = EndProgram({"thread-idle"});
    EXPECT_TRUE(idle.Exited(4) && idle.EndWrittenOnce()) << idle.Why();
    const std::string ended = idle.log.substr(0, idle.log.find("Engine ended"));
    EXPECT_EQ(ended.find("efused"), std::string::npos) << idle.Why();
    EXPECT_NE(ended.find(" 0 live blocks"), std::string::npos) << idle.Why();
    EXPECT_TRUE(idle.Said("after the end: MakeBlankGraph -1, IsEngineInitialized 0, InitializeEngine -1")) << idle.Why();
    for (const auto& [how, status] :
         {std::pair<const char*, int>{"thread-wait", 4}, {"play-sound", 3}, {"play-midi", 3}}) {
        const EndedProgram waiting = EndProgram({how});
        EXPECT_TRUE(waiting.Exited(status) && waiting.LogFinished()) << how << ": " << waiting.Why();
        EXPECT_FALSE(waiting.Said("returned")) << how << ": " << waiting.Why();
    }
}

// An exit from another thread at any moment of a start-up on GL, every
// 10 ms from its beginning to past its end (spread wider where start-up
// takes longer than 300 ms): the program's status, and a log that start-up
// began finished, never a hang or a crash. Under ThreadSanitizer the
// software path alone: the exit's run of the GL driver's own exit handlers
// while start-up loads the driver, on another thread, is a race of the C
// library's, which no order of the engine's can keep the driver from.
TEST(EngineEndedAtExit, AnExitFromAnotherThreadDuringStartUpEndsWithItsStatus) {
#if defined(__SANITIZE_THREAD__)
    const std::string path = "soft";
#else
    const std::string path = "gl";
#endif
    const EndedProgram timed = EndProgram({"thread-start", "-1", path});
    long startUpMs = 0;
    const size_t said = timed.said.find("started in ");
    ASSERT_TRUE(timed.Exited(0) && said != std::string::npos &&
                std::sscanf(timed.said.c_str() + said, "started in %ld ms", &startUpMs) == 1)
        << timed.Why();
    const long step = std::max(10L, startUpMs / 30);
    for (long ms = 0; ms <= startUpMs + step; ms += step) {
        const EndedProgram ended = EndProgram({"thread-start", std::to_string(ms), path});
        EXPECT_TRUE(ended.Exited(5) && (ended.log.empty() || ended.LogFinished())) << ms << " ms: " << ended.Why();
        EXPECT_FALSE(ended.Logged("efused")) << ms << " ms: " << ended.Why();
    }
}

// An engine started and used on a thread of the program's that then ends
// (joined), and a program that returns without ShutdownEngine: the end
// takes the engine over on the thread that ends the process and ends it as
// ShutdownEngine does, refusing nothing and leaving nothing live.
TEST(EngineEndedAtExit, AnEngineWhoseThreadHasEndedIsEndedWhole) {
    const EndedProgram ended = EndProgram({"joined-thread"});
    EXPECT_TRUE(ended.Exited(0) && ended.LogFinished()) << ended.Why();
    EXPECT_FALSE(ended.Logged("efused")) << ended.Why();
    EXPECT_TRUE(ended.Logged(" 0 live blocks")) << ended.Why();
}

// A signal handler that calls exit while the engine's thread is inside an
// engine call on GL: the call may hold the window system's or the driver's
// locks, so the end enters neither (nor the exit handlers after it, which
// would): it finishes the log, says so, and the process ends with its
// status.
TEST(EngineEndedAtExit, AnExitFromASignalHandlerInsideACallLeavesTheWindowAndTheDriverAlone) {
#if defined(__SANITIZE_THREAD__)
    // exit() in a signal handler is the program's own risk (the C library's
    // exit frees memory), which ThreadSanitizer reports; not this case's.
    const char* options = std::getenv("TSAN_OPTIONS");
    const std::string kept = options ? options : "";
    setenv("TSAN_OPTIONS", (kept + ":report_signal_unsafe=0").c_str(), 1);
    const EndedProgram ended = EndProgram({"signal-call"});
    setenv("TSAN_OPTIONS", kept.c_str(), 1);
#else
    const EndedProgram ended = EndProgram({"signal-call"});
#endif
    EXPECT_TRUE(ended.Exited(9) && ended.LogFinished()) << ended.Why();
    EXPECT_TRUE(ended.Logged("The program ends on the engine's thread inside ProcessWindowMessages")) << ended.Why();
    EXPECT_FALSE(ended.Logged("live blocks")) << ended.Why();
}

// An exit from the start-up observer, at any step of start-up or shut-down:
// the program ends with its status, the observer is not called again, and
// a log that start-up began ends with the engine's end.
TEST(EngineEndedAtExit, AnExitFromTheObserverEndsTheEngineWithoutCallingItAgain) {
    const std::vector<std::string> startUp = {
        "libraries", "display mode", "movie colour tables", "archive table", "file functions",
        "double-start check", "log", "desktop depth", "performance counter", "system information",
        "stream tables", "window", "input", "sound", "graphics", "on-screen log", "draw screens", "models"};
    const std::vector<std::string> shutDown = {
        "music", "models", "graphics", "movies", "input", "sound", "window teardown", "software images",
        "window destruction", "start directory", "archives", "memory dump", "library lock"};
    bool logBegun = false;
    for (const auto* steps : {&startUp, &shutDown}) {
        for (const std::string& step : *steps) {
            const EndedProgram ended = EndProgram({"observer", step});
            const std::string exitLine = "exit at " + step + "\n";
            const size_t exited = ended.said.find(exitLine);
            EXPECT_TRUE(ended.Exited(8) && exited != std::string::npos) << step << ": " << ended.Why();
            EXPECT_EQ(ended.said.find("step ", exited), std::string::npos) << step << ": " << ended.Why();
            EXPECT_TRUE(!logBegun || ended.LogFinished()) << step << ": " << ended.Why();
            logBegun = logBegun || step == "log";
        }
    }
}

}  // namespace
