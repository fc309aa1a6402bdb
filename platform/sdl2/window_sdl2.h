#pragma once
#include "platform/window.h"

struct SDL_Window;
union SDL_Event;

namespace platform {
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
}
