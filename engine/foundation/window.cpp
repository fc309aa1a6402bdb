// The main window: its settings, creation and the message loop. The window
// starts active; losing the focus pauses the loop unless the program asked
// to run while inactive.
#include "engine/window.h"

#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/random.h"
#include "engine/text.h"
#include "engine/timer.h"
#include "foundation/apilock.h"
#include "foundation/engine_thread.h"
#include "foundation/posted_messages.h"
#include "foundation/subsystems.h"
#include "foundation/window_internal.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/lasting_state.h"
#include "platform/window.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

using namespace morpotta;

namespace {

constexpr const char* kWindowClassName = "KvLib";
constexpr int kEventsPerPass = 5;
constexpr int kInactiveSleepMs = 24;

struct IconResource {
    const unsigned int* argb;
    int width;
    int height;
};

// Made at load (the key queries ask it whether to wait, at every call).
struct WindowState {
    int windowed = 1;
    int width = 640;
    int height = 480;
    int colorBits = 32;
    int refreshRate = 60;
    int iconId = -1;
    int runWhileInactive = 0;
    int cursorVisible = 1;
    bool created = false;
    bool destroyed = false;
    bool active = true;
    int doubleStartCheck = 1;
    int doubleStartLock = -1;  // descriptor of the held lock file
};

WindowState& MainWindow() {
    return platform::LastingState<WindowState>();
}

// The title (code page 932) and the icons the program registered.
struct WindowLooks {
    std::string title;
    std::map<int, IconResource> icons;
};

WindowLooks& Looks() {
    return platform::LastingState<WindowLooks>();
}

std::string TitleUtf8(const std::string& cp932) {
    std::string utf8;
    if (ConvertCp932ToUtf8(cp932, &utf8)) return utf8;
    return cp932;
}

void ApplyIcon() {
    WindowState& w = MainWindow();
    auto it = Looks().icons.find(w.iconId);
    if (!w.created || it == Looks().icons.end()) return;
    platform::Window().setIcon(reinterpret_cast<const uint32_t*>(it->second.argb), it->second.width,
                               it->second.height);
}

void HandleEvent(const platform::Event& e) {
    WindowState& w = MainWindow();
    switch (e.type) {
    case platform::EventType::CloseRequested:
        DestroyMainWindow();
        break;
    case platform::EventType::Destroyed:
        w.destroyed = true;
        break;
    case platform::EventType::FocusLost:
        if (w.active) {
            w.active = false;
            if (!w.runWhileInactive) CallEngineSubsystems(&EngineSubsystem::suspendMovies);
        }
        break;
    case platform::EventType::FocusGained:
        if (!w.active) {
            w.active = true;
            if (!w.runWhileInactive) CallEngineSubsystems(&EngineSubsystem::resumeMovies);
        }
        break;
    default:
        subsystems::HandleInputEvent(e);
        break;
    }
}

// The window system went away under the program: the platform ends the
// process as soon as this returns, so nothing is stored; only what would
// run into the end of the process is stopped.
void StopBeforeProcessEnd() {
    WriteLogText("The window system went away: the program ends without shut-down");
    CallEngineSubsystems(&EngineSubsystem::stopBeforeProcessEnd);
}

// A posted message for a window that has gone since is dropped.
void HandlePostedMessage(const PostedEngineMessage& m) {
    if (m.window != GetAppWindowHandle()) return;
    PostToEngineSubsystems(m.message, m.wParam, m.lParam);
}

}  // namespace

int ChangeWindowMode(int windowed) {
    const PublicCall call("ChangeWindowMode");
    if (!AllowOnlyOnEngineThread()) return -1;
    WindowState& w = MainWindow();
    // The window is made in its mode once: a live window is never switched.
    if (w.created)
        return Refuse("the mode (%d) is chosen before start-up and the window stays %s while the engine runs", windowed,
                      w.windowed ? "windowed" : "full screen");
    w.windowed = windowed ? 1 : 0;
    return 0;
}

int GetWindowModeFlag() {
    const PublicCall call("GetWindowModeFlag");
    if (!AllowOnlyOnEngineThread()) return -1;
    return MainWindow().windowed;
}

int SetScreenMode(int width, int height, int colorBits, int refreshRate) {
    const PublicCall call("SetScreenMode");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (width <= 0 || height <= 0 || (colorBits != 16 && colorBits != 32))
        return Refuse("%dx%d, %d bits, %d Hz: the size must be positive and the colour bits 16 or 32", width, height,
                      colorBits, refreshRate);
    WindowState& w = MainWindow();
    if (w.created)
        return Refuse("%dx%d, %d bits, %d Hz: the mode is chosen before start-up and the window keeps %dx%d while the "
                      "engine runs",
                      width, height, colorBits, refreshRate, w.width, w.height);
    w.width = width;
    w.height = height;
    w.colorBits = colorBits;
    w.refreshRate = refreshRate;
    return 0;
}

int GetScreenMode(int* width, int* height, int* colorBits, int* refreshRate) {
    const PublicCall call("GetScreenMode");
    if (!AllowOnlyOnEngineThread()) return -1;
    const WindowState& w = MainWindow();
    if (width) *width = w.width;
    if (height) *height = w.height;
    if (colorBits) *colorBits = w.colorBits;
    if (refreshRate) *refreshRate = w.refreshRate;
    return 0;
}

int SetAppWindowTitle(const char* text) {
    const PublicCall call("SetAppWindowTitle");
    if (!AllowOnlyOnEngineThread()) return -1;
    WindowState& w = MainWindow();
    Looks().title = text ? text : "";
    if (w.created && !w.destroyed) platform::Window().setTitle(TitleUtf8(Looks().title).c_str());
    return 0;
}

int SetAppWindowIcon(int resourceId) {
    const PublicCall call("SetAppWindowIcon");
    if (!AllowOnlyOnEngineThread()) return -1;
    MainWindow().iconId = resourceId;
    ApplyIcon();
    return 0;
}

int RegisterIconResource(int resourceId, const unsigned int* argb, int width, int height) {
    const PublicCall call("RegisterIconResource");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!argb) return RefuseNull("pixels");
    if (width <= 0 || height <= 0) return Refuse("an icon of %dx%d", width, height);
    Looks().icons[resourceId] = IconResource{argb, width, height};
    return 0;
}

void* GetAppWindowHandle() {
    const PublicCall call("GetAppWindowHandle");
    if (!AllowOnlyOnEngineThread()) return nullptr;
    const WindowState& w = MainWindow();
    return w.created && !w.destroyed ? platform::Window().nativeHandle() : nullptr;
}

int SetRunWhileInactive(int flag) {
    const PublicCall call("SetRunWhileInactive");
    if (!AllowOnlyOnEngineThread()) return -1;
    MainWindow().runWhileInactive = flag ? 1 : 0;
    return 0;
}

int IsRunWhileInactive() {
    const PublicCall call("IsRunWhileInactive");
    if (!AllowOnlyOnEngineThread()) return -1;
    return MainWindow().runWhileInactive;
}
int IsWindowActive() {
    const PublicCall call("IsWindowActive");
    if (!AllowOnlyOnEngineThread()) return -1;
    return MainWindow().active ? 1 : 0;
}

int SetMouseCursorVisible(int visible) {
    const PublicCall call("SetMouseCursorVisible");
    if (!AllowOnlyOnEngineThread()) return -1;
    WindowState& w = MainWindow();
    w.cursorVisible = visible ? 1 : 0;
    if (w.created && !w.destroyed) platform::Window().setCursorVisible(visible != 0);
    return 0;
}

namespace morpotta {

bool MessagesWaitWhileInactive() {
    const WindowState& w = MainWindow();
    return w.created && !w.destroyed && !w.active && !w.runWhileInactive;
}

int ProcessWindowMessagesCore() {
    WindowState& w = MainWindow();
    for (;;) {
        // The process is ending on another thread: a wait (for the window
        // to come back, a sound or a piece played to its end) ends as if
        // the window were gone, and the call it is in holds as it returns.
        if (!w.created || w.destroyed || EngineEnding()) return -1;
        for (int i = 0; i < kEventsPerPass; ++i) {
            platform::Event e;
            if (!platform::Window().pollEvent(&e)) break;
            HandleEvent(e);
            if (w.destroyed) return -1;
        }
        DrainPostedEngineMessages(HandlePostedMessage);
        if (w.destroyed) return -1;
        subsystems::UpdateInput();
        CallEngineSubsystems(&EngineSubsystem::pollMusic);
        if (LogicalProcessorCount() == 1) CallEngineSubsystems(&EngineSubsystem::refillStreamSounds);
        CallEngineSubsystems(&EngineSubsystem::updateSoftSoundPlayers);
        if (w.active || w.runWhileInactive) return 0;
        CallEngineSubsystems(&EngineSubsystem::whileInactive);
        platform::SleepMilliseconds(kInactiveSleepMs);
    }
}

}  // namespace morpotta

int ProcessWindowMessages() {
    const PublicCall call("ProcessWindowMessages");
    if (!AllowOnlyOnEngineThread() || !CheckEngineRunning()) return -1;
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    RunEngineThreadQueue();
    int result = ProcessWindowMessagesCore();
    ReleaseApiLock(lock);
    return result;
}

int SetDoubleStartCheck(int flag) {
    const PublicCall call("SetDoubleStartCheck");
    if (!AllowOnlyOnEngineThread()) return -1;
    MainWindow().doubleStartCheck = flag ? 1 : 0;
    return 0;
}

namespace morpotta {

int LockAgainstSecondCopy(std::string* why) {
    WindowState& w = MainWindow();
    if (w.doubleStartLock >= 0 || !w.doubleStartCheck) return 0;
    int lock = platform::Files().lockExclusive(kDoubleStartLockName);
    if (lock == platform::kFileLockHeld) return -1;
    if (lock >= 0) {
        w.doubleStartLock = lock;
        return 0;
    }
    switch (errno) {
    case ELOOP: *why = "it is a symbolic link"; break;
    case EISDIR: *why = "it is a folder"; break;
    case EINVAL: *why = "it is no regular file"; break;
    case EMLINK: *why = "it has other names (a hard link)"; break;
    default: *why = std::strerror(errno); break;
    }
    return 1;
}

void ReleaseDoubleStartLock() {
    WindowState& w = MainWindow();
    if (w.doubleStartLock >= 0) platform::Files().close(w.doubleStartLock);
    w.doubleStartLock = -1;
}

int CreateMainWindow() {
    WindowState& w = MainWindow();
    if (w.created && !w.destroyed) return 0;
    // The class name becomes the X11 window class, as the window class does
    // on other hosts.
    std::string title = TitleUtf8(Looks().title);
    platform::WindowDesc desc;
    desc.titleUtf8 = title.c_str();
    desc.className = kWindowClassName;
    desc.width = w.width;
    desc.height = w.height;
    desc.fullscreen = !w.windowed;
    // Drawing that needs no GL gets a window made without it.
    desc.withGl = EngineSubsystemsWantGlWindow();
    int opened = platform::Window().open(desc);
    if (opened == 0 && desc.withGl) ArrangeEndAtExitAfterTheDriver(DriverStage::kLoaded);
    if (opened != 0 && desc.withGl) {
        // A host without GL still gets its window; graphics decides later.
        desc.withGl = false;
        opened = platform::Window().open(desc);
    }
    if (opened != 0) return WriteLogText("Main window creation failed in CreateMainWindow");
    w.created = true;
    w.destroyed = false;
    w.active = true;
    platform::SetWindowSystemLostHandler(StopBeforeProcessEnd);
    ApplyIcon();
    platform::Window().setCursorVisible(w.cursorVisible != 0);
    platform::Window().setScreenSaverEnabled(false);
    SeedRandom(uint32_t(GetMillisecondCount()));
    return 0;
}

void TeardownMainWindow() {
    WindowState& w = MainWindow();
    if (!w.created || w.destroyed) return;
    platform::Window().setScreenSaverEnabled(true);
    platform::Window().setCursorVisible(true);
}

void DestroyMainWindow() {
    WindowState& w = MainWindow();
    // A window destroyed by someone else is still closed here, so the host
    // lets go of what it kept for it.
    if (w.created && platform::Window().isOpen()) platform::Window().close();
    if (w.created) w.destroyed = true;
}

void FallBackToWindowIfModeUnavailable() {
    WindowState& w = MainWindow();
    platform::Window().setClassName(kWindowClassName);
    if (w.windowed) return;
    if (platform::Window().isDisplayModeAvailable(w.width, w.height, w.colorBits, w.refreshRate)) return;
    WriteLogFormat("Screen mode %dx%dx%d %dHz is not available: running in a window", w.width, w.height,
                   w.colorBits, w.refreshRate);
    w.windowed = 1;
}

int DesktopBitsPerPixel() { return platform::Window().desktopBitsPerPixel(); }

void ResetWindowState() {
    platform::SetWindowSystemLostHandler(nullptr);
    WindowState& w = MainWindow();
    w.created = false;
    w.destroyed = false;
    w.active = true;
    ReleaseDoubleStartLock();
    ClearPostedEngineMessages();
}

}  // namespace morpotta
