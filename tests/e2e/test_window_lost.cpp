// The game's own program in a real X11 window, on an X server the test
// starts for itself (Xvfb): once the game runs its frames, its window is
// destroyed from outside by an X call, or the X server is killed. Either
// way the game must end by itself within seconds with status 0, not by a
// signal and without "terminate called" on its standard error, and store
// nothing on the way. On a server without GL the game runs its frames in
// the same window, drawn in 2-D, until it is destroyed.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game_process.h"
#include "generated_tree.h"
#include "private_x_server.h"
#include "scoped_temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = GameClock;

constexpr auto kStartUpLimit = std::chrono::seconds(120);  // loading every resource, under sanitizers too
// Ending takes a moment, but under a sanitizer its leak check at exit scans
// the whole heap, which on a loaded machine has taken more than 10 s.
constexpr auto kEndLimit = std::chrono::seconds(30);
constexpr auto kEndCheck = std::chrono::milliseconds(200);  // how often a wait for frames asks whether the game ended
constexpr int kFramesBeforeTheBlow = 10;  // presents seen: the game is in its frame loop

class WindowLost : public ::testing::Test {
protected:
    explicit WindowLost(PrivateXServer::Gl gl = PrivateXServer::Gl::On) : server_(gl) {}
    void SetUp() override {
        if (!*server_.display())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it), or did not start";
        LinkContentTreeInto(dir_.path());
        x_ = XOpenDisplay(server_.display());
        ASSERT_NE(x_, nullptr);
        int error = 0;
        ASSERT_TRUE(XDamageQueryExtension(x_, &damageEvent_, &error));
        XSelectInput(x_, DefaultRootWindow(x_), SubstructureNotifyMask);
        XSync(x_, False);
    }
    void TearDown() override {
        if (x_) XCloseDisplay(x_);
        if (game_ > 0) WaitForEnd(game_, Clock::now());
        server_.Kill();
    }

    // The real game in the test's folder, on the test's server, silent.
    void StartGame() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "game.stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Under the leak checker: SDL's X11 driver starts D-Bus for the life
        // of the process, and the D-Bus library drops one buffer of its own
        // on exit.
        const fs::path suppressions = dir_.path() / "lsan.supp";
        std::ofstream(suppressions) << "leak:libdbus-1.so\n";
        const std::string display = std::string("DISPLAY=") + server_.display();
        const std::string leaks = "LSAN_OPTIONS=suppressions=" + suppressions.string();
        std::vector<char*> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0 &&
                std::strncmp(*e, "LSAN_OPTIONS=", 13) != 0)
                env.push_back(*e);
        env.push_back(const_cast<char*>(display.c_str()));
        env.push_back(const_cast<char*>(leaks.c_str()));
        env.push_back(const_cast<char*>("SDL_VIDEODRIVER=x11"));
        env.push_back(nullptr);
        char* argv[] = {const_cast<char*>(MORPOTTA_GAME_EXE), nullptr};
        if (posix_spawn(&game_, argv[0], &actions, nullptr, argv, env.data()) != 0) game_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_GT(game_, 0) << "the game could not be started";
    }

    // The game's window once it shows, and once the game has presented
    // frames into it: it then runs its frame loop.
    Window WaitUntilTheGameRunsItsFrames(int wanted = kFramesBeforeTheBlow) {
        const auto deadline = Clock::now() + kStartUpLimit;
        Window window = 0;
        int frames = 0;
        while (frames < wanted) {
            if (!XPending(x_) && !Readable(ConnectionNumber(x_), std::min(deadline, Clock::now() + kEndCheck))) {
                if (GameHasEnded() || Clock::now() >= deadline) break;
                continue;
            }
            XEvent e;
            XNextEvent(x_, &e);
            if (e.type == MapNotify && !window && PidOf(e.xmap.window) == game_) {
                window = e.xmap.window;
                XDamageCreate(x_, window, XDamageReportRawRectangles);
                XFlush(x_);
            } else if (window && e.type == damageEvent_ + XDamageNotify) {
                ++frames;
            }
        }
        EXPECT_NE(window, 0u) << "no window of the game showed";
        EXPECT_GE(frames, wanted) << "the game drew too few frames into its window; its stderr:\n" << GameStderr();
        return window;
    }

    // Left for the test to collect (waitid's WNOWAIT).
    bool GameHasEnded() {
        siginfo_t info{};
        return waitid(P_PID, id_t(game_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == game_;
    }

    std::string GameStderr() { return ScopedTempDir::ReadFile(dir_.path() / "game.stderr"); }

    long PidOf(Window window) {
        const Atom pidAtom = XInternAtom(x_, "_NET_WM_PID", False);
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(x_, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
                Success &&
            data && count == 1 && format == 32)
            pid = *reinterpret_cast<long*>(data);
        if (data) XFree(data);
        return pid;
    }

    void ExpectTheGameEndsByItselfWithStatusZero() {
        const int status = WaitForEnd(game_, Clock::now() + kEndLimit);
        game_ = -1;
        const std::string stderrText = GameStderr();
        ASSERT_NE(status, -1) << "the game still ran " << kEndLimit.count() << " s later; its stderr:\n" << stderrText;
        if (WIFSIGNALED(status)) ADD_FAILURE() << "ended by signal " << WTERMSIG(status) << "; its stderr:\n" << stderrText;
        else EXPECT_EQ(WEXITSTATUS(status), 0) << "exit status; its stderr:\n" << stderrText;
        EXPECT_EQ(stderrText.find("terminate called"), std::string::npos) << stderrText;
        EXPECT_FALSE(fs::exists(dir_.path() / "morpoCatSave.dat")) << "a save was stored on the way out";
        EXPECT_FALSE(fs::exists(dir_.path() / "replay")) << "replays were stored on the way out";
    }

    PrivateXServer server_;
    ScopedTempDir dir_;
    Display* x_ = nullptr;
    int damageEvent_ = 0;
    pid_t game_ = -1;
};

TEST_F(WindowLost, AWindowDestroyedFromOutsideEndsTheGameWithStatusZero) {
    StartGame();
    const Window window = WaitUntilTheGameRunsItsFrames();
    ASSERT_NE(window, 0u);
    XDestroyWindow(x_, window);
    XSync(x_, False);
    ExpectTheGameEndsByItselfWithStatusZero();
}

TEST_F(WindowLost, TheXServerGoingAwayEndsTheGameWithStatusZero) {
    StartGame();
    ASSERT_NE(WaitUntilTheGameRunsItsFrames(), 0u);
    // The test's own connection goes first: Xlib would end this process too.
    XCloseDisplay(x_);
    x_ = nullptr;
    server_.Kill();
    ExpectTheGameEndsByItselfWithStatusZero();
}

// The game on a display without GL.
class GameWithoutGl : public WindowLost {
protected:
    GameWithoutGl() : WindowLost(PrivateXServer::Gl::Off) {}
};

TEST_F(GameWithoutGl, RunsItsFramesIn2DInItsWindowUntilTheWindowIsDestroyed) {
    StartGame();
    constexpr int kTwoSecondsOfFrames = 120;
    const Window window = WaitUntilTheGameRunsItsFrames(kTwoSecondsOfFrames);
    ASSERT_NE(window, 0u);
    ASSERT_FALSE(GameHasEnded()) << "its stderr:\n" << GameStderr();
    EXPECT_EQ(GameStderr(),
              "morpotta: No GL device on this display: the game plays in 2-D, and its 3-D models are not drawn\n");
    XDestroyWindow(x_, window);
    XSync(x_, False);
    ExpectTheGameEndsByItselfWithStatusZero();
}

}  // namespace
