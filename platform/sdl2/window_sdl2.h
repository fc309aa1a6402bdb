#pragma once
#include "platform/window.h"

struct SDL_Window;

namespace platform {
extern const WindowBackend kSdl2WindowBackend;
// On X11, writes the title into the legacy WM_NAME and WM_ICON_NAME in an
// encoding any reader can decode; elsewhere it does nothing.
void SetX11LegacyTitle(SDL_Window* window, const char* utf8);
}
