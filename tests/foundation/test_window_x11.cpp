// The window on a real X server (Xvfb, started here): window lists that
// read the legacy title properties see the same title as the newer ones,
// and a window destroyed by another client is reported as destroyed
// instead of ending the process.
#include "platform/window.h"
#include "private_x_server.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

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

// SDL's video on the test's own X server. It starts once per process, so
// a case that finds it started on another driver is skipped.
class WindowOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "video already runs on another driver in this process";
        if (!*server.display()) GTEST_SKIP() << "no Xvfb to run an X server";
        setenv("DISPLAY", server.display(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        ASSERT_TRUE(platform::SelectWindowBackend("sdl2"));
    }
    PrivateXServer server;
};

TEST_F(WindowOnX11, LegacyAndNewTitlePropertiesReadTheSame) {
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

TEST_F(WindowOnX11, AWindowDestroyedByAnotherClientIsReportedOnceAndTheProcessGoesOn) {
    platform::WindowDesc desc;
    ASSERT_EQ(platform::Window().open(desc), 0);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(static_cast<SDL_Window*>(platform::Window().nativeHandle()), &info));

    Display* other = XOpenDisplay(server.display());
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, info.info.x11.window);
    XSync(other, False);
    XCloseDisplay(other);
    // Calls on the missing window meet X errors meanwhile; Xlib's default
    // handler would end the process on the first.
    int destroyed = 0;
    for (int pass = 0; pass < 200 && destroyed == 0; ++pass) {
        platform::Window().setTitle("still here?");
        platform::Event e;
        while (platform::Window().pollEvent(&e)) destroyed += e.type == platform::EventType::Destroyed;
        usleep(10000);
    }
    EXPECT_EQ(destroyed, 1);
    platform::Event e;
    while (platform::Window().pollEvent(&e)) EXPECT_NE(e.type, platform::EventType::Destroyed) << "reported again";
    platform::Window().close();

    // The next window is watched afresh.
    ASSERT_EQ(platform::Window().open(desc), 0);
    while (platform::Window().pollEvent(&e)) EXPECT_NE(e.type, platform::EventType::Destroyed);
    platform::Window().close();
}

}  // namespace

// SDL's X11 driver starts D-Bus (input methods, screen saver) for the life
// of the process; the D-Bus library drops one buffer of its own on exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
