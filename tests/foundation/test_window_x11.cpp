// The window on a real X server (Xvfb, started here): window lists that
// read the legacy title properties see the same title as the newer ones.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// An Xvfb of its own, on the first free display number.
class PrivateXServer {
public:
    PrivateXServer() {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(pipeFds[0]);
            std::string fd = std::to_string(pipeFds[1]);
            // -noreset: the server would start over (and write to the
            // pipe again) each time its last client leaves.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp", "-screen", "0",
                   "640x480x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        char digits[16] = {};
        ssize_t n = pid_ > 0 ? read(pipeFds[0], digits, sizeof digits - 1) : 0;
        fromServer_ = pipeFds[0];  // open while the server runs
        if (n > 0) std::snprintf(display_, sizeof display_, ":%d", std::atoi(digits));
    }
    ~PrivateXServer() {
        if (fromServer_ >= 0) close(fromServer_);
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const char* display() const { return display_; }

private:
    pid_t pid_ = -1;
    int fromServer_ = -1;
    char display_[24] = {};
};

std::string ReadTitle(Display* display, ::Window window, bool legacy) {
    XTextProperty property{};
    Atom name = legacy ? XA_WM_NAME : XInternAtom(display, "_NET_WM_NAME", False);
    if (!XGetTextProperty(display, window, &property, name) || !property.value) return {};
    char** list = nullptr;
    int count = 0;
    std::string title;
    if (Xutf8TextPropertyToTextList(display, &property, &list, &count) == Success && count > 0) title = list[0];
    if (list) XFreeStringList(list);
    XFree(property.value);
    return title;
}

// The legacy titles of the top-level windows whose new title is the given one.
std::vector<std::string> LegacyTitlesOfWindowsTitled(Display* display, const std::string& title) {
    ::Window root, parent, *children = nullptr;
    unsigned count = 0;
    std::vector<std::string> legacy;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return legacy;
    for (unsigned i = 0; i < count; ++i)
        if (ReadTitle(display, children[i], false) == title) legacy.push_back(ReadTitle(display, children[i], true));
    if (children) XFree(children);
    return legacy;
}

// The window's own connection may not have flushed its property change when
// this connection asks, so the expected titles are awaited for a while.
std::vector<std::string> AwaitLegacyTitles(Display* display, const std::string& title) {
    std::vector<std::string> legacy;
    for (int attempt = 0; attempt < 200; ++attempt) {
        XSync(display, False);
        legacy = LegacyTitlesOfWindowsTitled(display, title);
        if (!legacy.empty()) break;
        usleep(10000);
    }
    return legacy;
}

TEST(WindowOnX11, LegacyAndNewTitlePropertiesReadTheSame) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "video already runs on another driver in this process";
    PrivateXServer server;
    if (!*server.display()) GTEST_SKIP() << "no Xvfb to run an X server";
    setenv("DISPLAY", server.display(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_TRUE(platform::SelectWindowBackend("sdl2"));
    const std::string title = "\xE3\x83\xA2\xE3\x83\xAB\xE3\x83\x9D\xE3\x83\x83\xE3\x82\xBF_v1.00";  // モルポッタ_v1.00
    platform::WindowDesc desc;
    desc.titleUtf8 = title.c_str();
    ASSERT_EQ(platform::Window().open(desc), 0);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");

    Display* display = XOpenDisplay(server.display());
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(AwaitLegacyTitles(display, title), std::vector<std::string>{title});
    // A title set later reaches both as well.
    const std::string later = "\xE3\x82\xBF\xE3\x82\xA4\xE3\x83\x88\xE3\x83\xAB 2";  // タイトル 2
    platform::Window().setTitle(later.c_str());
    EXPECT_EQ(AwaitLegacyTitles(display, later), std::vector<std::string>{later});
    XCloseDisplay(display);
    platform::Window().close();
}

}  // namespace

// SDL's X11 driver starts D-Bus (input methods, screen saver) for the life
// of the process; the D-Bus library drops one buffer of its own on exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
