// The host window: one main window with its event queue and, on request,
// an OpenGL 3.3 core context. Back ends: sdl2 (a real window, or an
// off-screen one under SDL_VIDEODRIVER=offscreen) and headless (no window
// system at all; events come from the test that pushes them).
#pragma once
#include <cstdint>

namespace morpotta::platform {

struct WindowDesc {
    const char* titleUtf8 = "";
    const char* className = "";  // the X11 window class where the host has one
    int width = 640;
    int height = 480;
    bool fullscreen = false;
    bool withGl = false;    // create an OpenGL 3.3 core context for the window
    bool visible = true;
};

enum class EventType : int {
    None,
    CloseRequested,   // the user asked to close the window
    Destroyed,        // the window is gone (destroyed by someone else)
    FocusGained,
    FocusLost,
    KeyDown,          // code: host scancode
    KeyUp,
    MouseMove,        // x, y: client coordinates
    MouseButtonDown,  // code: 1 left, 2 right, 3 middle
    MouseButtonUp,
    MouseWheel,       // y: notches, + forward
    Exposed,
    DeviceAdded,      // a joystick or controller was plugged in (code: host index)
    DeviceRemoved,
    Other
};

struct Event {
    EventType type = EventType::None;
    int code = 0;
    int x = 0;
    int y = 0;
};

// One back end: a table of functions registered in one place (backends.cpp).
struct WindowBackend {
    const char* name;
    void (*setClassName)(const char* name);              // before any other call
    int (*open)(const WindowDesc& desc);                 // 0 or -1
    void (*close)();
    bool (*isOpen)();
    void (*setTitle)(const char* utf8);
    void (*setIcon)(const uint32_t* argb, int width, int height);
    bool (*pollEvent)(Event* out);                       // false when the queue is empty
    void (*setCursorVisible)(bool visible);
    bool (*isDisplayModeAvailable)(int width, int height, int bitsPerPixel, int refreshHz);
    int (*desktopBitsPerPixel)();
    void (*setScreenSaverEnabled)(bool enabled);
    void* (*nativeHandle)();                             // non-null while open
    void* (*glGetProcAddress)(const char* name);         // null without a GL context
    void (*glSwapBuffers)();
    void (*glDrawableSize)(int* width, int* height);
    void (*windowSize)(int* width, int* height);          // client area in window coordinates; 0 when closed
    // Shows a picture of 0x00RRGGBB words (pitch in bytes) scaled to the
    // client area, for windows drawn without GL; 0, or -1 when it cannot.
    int (*presentPixels)(const uint32_t* xrgb, int width, int height, int pitch);
};

// Called when the window system is lost for good (the X server went away
// or its connection broke): the process then ends at once with status 0,
// without returning to the program, so the handler stops what must not run
// into the end of the process (threads, the audio output). Null: none.
using WindowSystemLostHandler = void (*)();
void SetWindowSystemLostHandler(WindowSystemLostHandler handler);

// Selects the back end by name ("sdl2", "headless"); returns false for an
// unknown name. The default is "sdl2".
bool SelectWindowBackend(const char* name);
const WindowBackend& Window();

// Headless back end: events a test scripts. They are delivered by
// pollEvent in the order pushed. Pushing Destroyed also closes the window.
void HeadlessPushEvent(const Event& event);
// Number of times the headless window was opened since the program started.
int HeadlessOpenCount();
// While refused, opening the headless window fails, as on a host without a
// display.
void HeadlessRefuseOpen(bool refuse);
// While refused, presenting a picture fails, as in a window that cannot
// show one.
void HeadlessRefusePresent(bool refuse);
const char* HeadlessTitle();
// The headless window's client size, as if the user had resized it (until
// the next open, which takes the size asked for).
void HeadlessSetWindowSize(int width, int height);
// The last picture shown through presentPixels (0x00RRGGBB, width * height
// words, row by row), and its size; false when none was shown since open.
bool HeadlessPresentedPixels(const uint32_t** pixels, int* width, int* height);

}  // namespace morpotta::platform
