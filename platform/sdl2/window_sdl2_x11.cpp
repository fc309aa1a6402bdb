// The X11 side of the SDL2 window back end: the legacy window title.
// SDL writes WM_NAME and WM_ICON_NAME in the program's locale, which is "C"
// unless the program switched it, so a title outside ASCII reached window
// lists that read these properties as mojibake. Written here again through
// Xlib's UTF-8 conversion (STRING or COMPOUND_TEXT, as the ICCCM asks), or
// as UTF8_STRING where that conversion cannot express the title.
// Depends on: SDL2's window-manager info, Xlib.
#include "window_sdl2.h"

#include <SDL.h>
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xutil.h>
#endif

#include <cstring>

namespace platform {

void SetX11LegacyTitle(SDL_Window* window, const char* utf8) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (!window || !utf8) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
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

}  // namespace platform
