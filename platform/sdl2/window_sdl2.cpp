// SDL2 window back end: stands in for the Win32 window, its message queue and
// the display-settings queries. Under SDL_VIDEODRIVER=offscreen it gives a
// real OpenGL context on Mesa with no display at all.
// Without SDL_VIDEODRIVER it uses only drivers that show a window: with no
// display, opening fails instead of running unseen.
// Limits: one window; icon and cursor calls are ignored when SDL refuses them.
// A window destroyed by someone else is reported as Destroyed (on X11, see
// window_sdl2_x11.cpp); it stays open here until closed.
// Pictures drawn without GL go to the window's own surface, scaled by SDL.
// Depends on: SDL2.
#include "platform/window.h"
#include "platform/warning.h"
#include "window_sdl2.h"

#include <SDL.h>
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>

namespace morpotta::platform {
namespace {

SDL_Window* window = nullptr;
SDL_GLContext glContext = nullptr;
bool videoStarted = false;

// SDL's drivers that show a window to someone. Left to itself SDL falls
// back to its off-screen driver when no display answers, and the program
// would run with a window nobody sees; that driver serves only when asked
// for by name (SDL_VIDEODRIVER, as the tests do). Wayland is tried only
// where a compositor can be found, since its library complains on stderr
// otherwise.
std::string DisplayDrivers() {
    const char* runtimeDir = SDL_getenv("XDG_RUNTIME_DIR");
    const char* waylandDisplay = SDL_getenv("WAYLAND_DISPLAY");
    bool waylandReachable = (runtimeDir && *runtimeDir) || (waylandDisplay && waylandDisplay[0] == '/');
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || !std::strcmp(name, "offscreen") || !std::strcmp(name, "dummy") || !std::strcmp(name, "evdev"))
            continue;
        if (!std::strcmp(name, "wayland") && !waylandReachable) continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

// Video starts once and stays up for the life of the process: stopping it
// unloads the GL driver, which loses the driver's own allocations and makes
// every later start pay for the load again.
bool StartVideo() {
    if (videoStarted) return true;
    const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (!chosen || !*chosen) {
        std::string drivers = DisplayDrivers();
        if (drivers.empty()) {
            Warn("no display driver to open a window with");
            return false;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
    // A picture shown without GL goes to the window as it is. Left to
    // itself SDL would show it through a GL renderer of its own, and on X11
    // it replaces the window to give it one (even on a display that then
    // turns out to have no GL): the player sees the window vanish and come
    // back. The environment's SDL_FRAMEBUFFER_ACCELERATION still wins.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // Said once: start-up asks for video several times before it gives up.
        static bool reported = false;
        if (reported) return false;
        reported = true;
        const char* display = SDL_getenv("DISPLAY");
        Warn("no display to open a window on (%s; DISPLAY is %s)", SDL_GetError(),
                     display && *display ? display : "not set");
        return false;
    }
    videoStarted = true;
    return true;
}

// Keeps the GL driver loaded so far in memory for the life of the process
// (after each context, and before video stops, for a driver SDL's own
// renderer loaded). Unloading it with the last context would make every
// new context pay for the load again, and would drop the driver's own
// global allocations on the floor, where leak checkers cannot tell them
// from ours.
void PinGlDriver() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const char* path = info->dlpi_name;
            if (path && (std::strstr(path, "/dri/") || std::strstr(path, "libgallium") ||
                         std::strstr(path, "libEGL") || std::strstr(path, "libGL") || std::strstr(path, "libglapi")))
                dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

// The X11 back end reads the window class when video starts.
void SetClassName(const char* name) {
    if (!videoStarted && name && *name) SDL_setenv("SDL_VIDEO_X11_WMCLASS", name, 1);
}

int OpenWindow(const WindowDesc& desc) {
    if (window) {
        Warn("a second window was asked for; one window is open already");
        return -1;
    }
    SetClassName(desc.className);
    if (!StartVideo()) return -1;
    Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI;
    if (desc.fullscreen) flags |= SDL_WINDOW_FULLSCREEN;
    if (!desc.visible) flags |= SDL_WINDOW_HIDDEN;
    if (desc.withGl) {
        flags |= SDL_WINDOW_OPENGL;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    }
    window = SDL_CreateWindow(desc.titleUtf8, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              desc.width, desc.height, flags);
    if (!window) {
        Warn("SDL window creation failed: %s", SDL_GetError());
        return -1;
    }
    SetX11LegacyTitle(window, desc.titleUtf8);
    WatchX11Window(window);
    if (desc.withGl) {
        glContext = SDL_GL_CreateContext(window);
        if (!glContext) {
            Warn("GL context creation failed: %s", SDL_GetError());
            SDL_DestroyWindow(window);
            window = nullptr;
            return -1;
        }
        SDL_GL_SetSwapInterval(0);
        PinGlDriver();
    }
    return 0;
}

void CloseWindow() {
    if (glContext) SDL_GL_DeleteContext(glContext);
    glContext = nullptr;
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
}

bool IsOpen() { return window != nullptr; }

void SetTitle(const char* utf8) {
    if (!window) return;
    SDL_SetWindowTitle(window, utf8);
    SetX11LegacyTitle(window, utf8);
}

void SetIcon(const uint32_t* argb, int width, int height) {
    if (!window || !argb || width <= 0 || height <= 0) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), width, height, 32,
                                                        width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!s) return;
    SDL_SetWindowIcon(window, s);
    SDL_FreeSurface(s);
}

bool NextEventIsMouseMotion() {
    SDL_Event next;
    return SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 && next.type == SDL_MOUSEMOTION;
}

bool PollEvent(Event* out) {
    if (!videoStarted) return false;
    // Before the events are read: a DestroyNotify of the X window SDL has
    // put another in place of since is no news of the window shown.
    if (window) FollowX11Window(window);
    SDL_Event e;
    for (;;) {
        // Found gone by an X error or by its DestroyNotify: said once, first.
        if (window && TakeX11WindowGone()) {
            *out = Event{};
            out->type = EventType::Destroyed;
            return true;
        }
        if (!SDL_PollEvent(&e)) return false;
        if (NoteX11WindowEvent(e)) continue;
        Event ev;
        switch (e.type) {
        case SDL_QUIT: ev.type = EventType::CloseRequested; break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE: ev.type = EventType::CloseRequested; break;
            case SDL_WINDOWEVENT_FOCUS_GAINED: ev.type = EventType::FocusGained; break;
            case SDL_WINDOWEVENT_FOCUS_LOST: ev.type = EventType::FocusLost; break;
            case SDL_WINDOWEVENT_EXPOSED: ev.type = EventType::Exposed; break;
            default: ev.type = EventType::Other; break;
            }
            break;
        case SDL_KEYDOWN:
            if (e.key.repeat) continue;
            ev.type = EventType::KeyDown;
            ev.code = e.key.keysym.scancode;
            break;
        case SDL_KEYUP:
            ev.type = EventType::KeyUp;
            ev.code = e.key.keysym.scancode;
            break;
        case SDL_MOUSEMOTION:
            // A run of moves counts as its last one: a fast mouse would
            // otherwise fill the few events drained per pass.
            while (NextEventIsMouseMotion()) SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION);
            ev.type = EventType::MouseMove;
            ev.x = e.motion.x;
            ev.y = e.motion.y;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            ev.type = e.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseButtonDown : EventType::MouseButtonUp;
            ev.code = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_RIGHT ? 2 : 3;
            ev.x = e.button.x;
            ev.y = e.button.y;
            break;
        case SDL_MOUSEWHEEL:
            ev.type = EventType::MouseWheel;
            ev.y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            break;
        case SDL_JOYDEVICEADDED: ev.type = EventType::DeviceAdded; ev.code = e.jdevice.which; break;
        case SDL_JOYDEVICEREMOVED: ev.type = EventType::DeviceRemoved; ev.code = e.jdevice.which; break;
        default: ev.type = EventType::Other; break;
        }
        *out = ev;
        return true;
    }
}

void SetCursorVisible(bool visible) {
    if (videoStarted) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool IsDisplayModeAvailable(int width, int height, int bitsPerPixel, int refreshHz) {
    if (!StartVideo()) return false;
    bool found = false;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && !found; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        int bpp = SDL_BITSPERPIXEL(m.format);
        if (bpp == 24 && SDL_BYTESPERPIXEL(m.format) == 4) bpp = 32;
        found = m.w == width && m.h == height && bpp == bitsPerPixel &&
                (refreshHz == 0 || m.refresh_rate == 0 || m.refresh_rate == refreshHz);
    }
    return found;
}

int DesktopBitsPerPixel() {
    if (!StartVideo()) return 32;
    SDL_DisplayMode m;
    int bits = 32;
    // X servers report depth 24 for 32-bit pixels.
    if (SDL_GetDesktopDisplayMode(0, &m) == 0) bits = SDL_BYTESPERPIXEL(m.format) == 4 ? 32 : SDL_BITSPERPIXEL(m.format);
    return bits;
}

void SetScreenSaverEnabled(bool enabled) {
    if (!videoStarted) return;
    if (enabled) SDL_EnableScreenSaver();
    else SDL_DisableScreenSaver();
}

void* NativeHandle() { return window; }

void* GlGetProcAddress(const char* name) { return glContext ? SDL_GL_GetProcAddress(name) : nullptr; }

void GlSwapBuffers() {
    if (window && glContext) SDL_GL_SwapWindow(window);
}

void GlDrawableSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (window) SDL_GL_GetDrawableSize(window, width, height);
}

void WindowSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (window) SDL_GetWindowSize(window, width, height);
}

int PresentPixels(const uint32_t* xrgb, int width, int height, int pitch) {
    if (!window || !xrgb || width <= 0 || height <= 0 || pitch < width * 4) {
        Warn("a picture of %dx%d (pitch %d) cannot be presented%s", width, height, pitch, window ? "" : ": no window");
        return -1;
    }
    SDL_Surface* screen = SDL_GetWindowSurface(window);
    SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(xrgb), width, height, 32, pitch,
                                                              SDL_PIXELFORMAT_XRGB8888);
    int result = -1;
    if (screen && picture) {
        SDL_SetSurfaceBlendMode(picture, SDL_BLENDMODE_NONE);
        if (SDL_BlitScaled(picture, nullptr, screen, nullptr) == 0 && SDL_UpdateWindowSurface(window) == 0) result = 0;
    }
    if (picture) SDL_FreeSurface(picture);
    if (result != 0) Warn("presenting a picture failed: %s", SDL_GetError());
    return result;
}

}  // namespace

const WindowBackend kSdl2WindowBackend = {
    "sdl2", SetClassName, OpenWindow, CloseWindow, IsOpen, SetTitle, SetIcon, PollEvent, SetCursorVisible,
    IsDisplayModeAvailable, DesktopBitsPerPixel, SetScreenSaverEnabled, NativeHandle,
    GlGetProcAddress, GlSwapBuffers, GlDrawableSize, WindowSize, PresentPixels,
};

void StopSdl2Video() {
    CloseWindow();
    SettleX11Errors();
    PinGlDriver();
    if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = false;
}

}  // namespace morpotta::platform
