#pragma once
#include "platform/window.h"

struct SDL_Window;
union SDL_Event;

namespace morpotta::platform {
extern const WindowBackend kSdl2WindowBackend;
// On X11, writes the title into the legacy WM_NAME and WM_ICON_NAME in an
// encoding any reader can decode; elsewhere it does nothing.
void SetX11LegacyTitle(SDL_Window* window, const char* utf8);
// On X11, watches the window for its destruction by someone else (and
// installs the process's X error and I/O-error handlers); elsewhere it does
// nothing.
void WatchX11Window(SDL_Window* window);
// On X11, watches the X window that now shows the window instead of the one
// watched so far, where SDL replaced it (it does to give the window another
// kind of drawing); elsewhere it does nothing.
void FollowX11Window(SDL_Window* window);
// True for a window-manager event, which the back end does not pass on;
// the watched window's DestroyNotify marks it gone.
bool NoteX11WindowEvent(const SDL_Event& event);
// True once after the watched window was found gone.
bool TakeX11WindowGone();
// On X11, has the errors of every request made so far reach the back end's
// handler, before video stops: SDL then puts back the handler it found at
// its start (Xlib's own, which ends the process at the first error) and
// closes the connection, which reports what is still pending. Elsewhere it
// does nothing.
void SettleX11Errors();
// Closes the window and stops SDL's video, which otherwise stays up for the
// life of the process, so that nothing stays connected to the display it
// ran on; the next open starts it again, on the driver and display the
// environment names then. For tests whose X server ends before the process.
void StopSdl2Video();
}
