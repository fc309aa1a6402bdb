#pragma once
#include "platform/input.h"

#include <cstdint>

namespace morpotta::platform {

extern const InputBackend kSdl2InputBackend;

// The key number of an SDL scancode (by physical position; 0 when the key
// has none).
int KeyNumberFromSdlScancode(int scancode);

// Devices made inside SDL's own joystick service, for tests of this back
// end without hardware. Attach gives the device's id (or -1); the setters
// take effect with the next update of the back end.
int64_t Sdl2AttachVirtualDevice(bool gameController, int axes, int buttons, int hats);
bool Sdl2DetachVirtualDevice(int64_t id);
bool Sdl2SetVirtualAxis(int64_t id, int axis, int value);
bool Sdl2SetVirtualButton(int64_t id, int button, bool down);
bool Sdl2SetVirtualHat(int64_t id, int hat, int bits);

}  // namespace morpotta::platform
