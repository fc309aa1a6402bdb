// The X11 side of the SDL2 window back end.
//
// The legacy window title: SDL writes WM_NAME and WM_ICON_NAME in the
// program's locale, which is "C" unless the program switched it, so a title
// outside ASCII reached window lists that read these properties as mojibake.
// Written here again through Xlib's UTF-8 conversion (STRING or
// COMPOUND_TEXT, as the ICCCM asks), or as UTF8_STRING where that
// conversion cannot express the title.
//
// A window destroyed by someone else: SDL reports no event for it, and
// Xlib's default error handler ends the process inside whatever call met
// the missing window, with the program's threads still running. Its
// DestroyNotify and the errors of calls on the missing window mark it
// gone instead, and the back end reports it as a Destroyed event. Other
// protocol errors are warned about and the call goes on, as a failed call
// would on other hosts. A broken connection to the server (it went away)
// cannot be survived: Xlib ends the process after its I/O error handler,
// so that handler runs the program's window-system-lost handler and ends
// the process itself with status 0, the status of a program whose window
// was destroyed.
// SDL may put a new X window in place of the one it opened (it does to
// give the window another kind of drawing); the watch follows the X window
// that shows the window, so the old one's DestroyNotify is no loss.
// Limits: the handlers are process-wide and stay installed once the first
// window opened (until video stops, when SDL puts back the error handler it
// found); only the last window opened is watched.
// Depends on: SDL2's window-manager info and its window-manager events,
// Xlib.
#include "platform/warning.h"
#include "platform/window.h"
#include "window_sdl2.h"

#include <SDL.h>
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xutil.h>
#endif
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace morpotta::platform {
namespace {

std::atomic<WindowSystemLostHandler> lostHandler{nullptr};

#if defined(SDL_VIDEO_DRIVER_X11)
// The X window last opened. It stays watched after it closes, so that the
// errors of closing a window that was already gone are taken as its own.
std::atomic<unsigned long> watchedWindow{0};
std::atomic<Display*> watchedDisplay{nullptr};  // the connection it was opened on, until video stops
std::atomic<bool> watchedWindowGone{false};
std::atomic<bool> goneReported{false};

bool X11InfoOf(SDL_Window* window, SDL_SysWMinfo* info) {
    SDL_VERSION(&info->version);
    return window && SDL_GetWindowWMInfo(window, info) && info->subsystem == SDL_SYSWM_X11;
}

int OnXError(Display* display, XErrorEvent* e) {
    const unsigned long ours = watchedWindow.load();
    const bool onOurs = ours != 0 && e->resourceid == ours;
    if (onOurs && (e->error_code == BadWindow || e->error_code == BadDrawable || watchedWindowGone.load())) {
        watchedWindowGone.store(true);
        return 0;
    }
    char text[160] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    Warn("X error ignored: %s (request %d.%d on resource 0x%lx)", text, int(e->request_code), int(e->minor_code),
         e->resourceid);
    return 0;
}

[[noreturn]] void EndProcessForLostServer(Display* display) {
    Warn("the connection to the X server %s broke: the program ends", display ? DisplayString(display) : "");
    if (WindowSystemLostHandler handler = lostHandler.load()) handler();
    _exit(0);
}

int OnXIOError(Display* display) { EndProcessForLostServer(display); }
#endif

}  // namespace

void SetWindowSystemLostHandler(WindowSystemLostHandler handler) { lostHandler.store(handler); }

void SetX11LegacyTitle(SDL_Window* window, const char* utf8) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!utf8 || !X11InfoOf(window, &info)) return;
    Display* display = info.info.x11.display;
    ::Window xwindow = info.info.x11.window;
    char* list[1] = {const_cast<char*>(utf8)};
    XTextProperty text{};
    bool converted = Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &text) == Success;
    if (!converted) {
        if (text.value) XFree(text.value);
        text.value = reinterpret_cast<unsigned char*>(const_cast<char*>(utf8));
        text.encoding = XInternAtom(display, "UTF8_STRING", False);
        text.format = 8;
        text.nitems = std::strlen(utf8);
    }
    XSetWMName(display, xwindow, &text);
    XSetWMIconName(display, xwindow, &text);
    if (converted) XFree(text.value);
    XFlush(display);
#else
    (void)window;
    (void)utf8;
#endif
}

void WatchX11Window(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11InfoOf(window, &info)) return;
    // Set at every open: SDL puts its own error handler in place when its
    // video starts, and restores ours after the calls it guards itself.
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    watchedWindow.store(info.info.x11.window);
    watchedDisplay.store(info.info.x11.display);
    watchedWindowGone.store(false);
    goneReported.store(false);
    // The window's DestroyNotify arrives only among SDL's window-manager events.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
#else
    (void)window;
#endif
}

void SettleX11Errors() {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (Display* display = watchedDisplay.exchange(nullptr)) XSync(display, False);
#endif
}

void FollowX11Window(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (X11InfoOf(window, &info)) watchedWindow.store(info.info.x11.window);
#else
    (void)window;
#endif
}

bool NoteX11WindowEvent(const SDL_Event& event) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type == DestroyNotify && x.xdestroywindow.window == watchedWindow.load()) watchedWindowGone.store(true);
    return true;
#else
    (void)event;
    return false;
#endif
}

bool TakeX11WindowGone() {
#if defined(SDL_VIDEO_DRIVER_X11)
    return watchedWindowGone.load() && !goneReported.exchange(true);
#else
    return false;
#endif
}

}  // namespace morpotta::platform
