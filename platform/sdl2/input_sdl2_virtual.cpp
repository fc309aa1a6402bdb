// Virtual devices inside SDL's joystick service: they stand in for
// plugged-in joysticks and game controllers in tests of the SDL input back
// end, going through the same discovery, hot-plug and reading as hardware.
// Limits: the joystick service must be started (the back end is open).
// Depends on: SDL2.
#include "sdl2/input_sdl2.h"

#include <SDL.h>

namespace morpotta::platform {
namespace {

int DeviceIndexOf(int64_t id) {
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
    return -1;
}

SDL_Joystick* OpenedJoystick(int64_t id) { return SDL_JoystickFromInstanceID(SDL_JoystickID(id)); }

}  // namespace

int64_t Sdl2AttachVirtualDevice(bool gameController, int axes, int buttons, int hats) {
    int index = SDL_JoystickAttachVirtual(gameController ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN,
                                          axes, buttons, hats);
    return index < 0 ? -1 : SDL_JoystickGetDeviceInstanceID(index);
}

bool Sdl2DetachVirtualDevice(int64_t id) {
    int index = DeviceIndexOf(id);
    return index >= 0 && SDL_JoystickDetachVirtual(index) == 0;
}

bool Sdl2SetVirtualAxis(int64_t id, int axis, int value) {
    SDL_Joystick* j = OpenedJoystick(id);
    return j && SDL_JoystickSetVirtualAxis(j, axis, Sint16(value)) == 0;
}

bool Sdl2SetVirtualButton(int64_t id, int button, bool down) {
    SDL_Joystick* j = OpenedJoystick(id);
    return j && SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0) == 0;
}

bool Sdl2SetVirtualHat(int64_t id, int hat, int bits) {
    SDL_Joystick* j = OpenedJoystick(id);
    return j && SDL_JoystickSetVirtualHat(j, hat, Uint8(bits)) == 0;
}

}  // namespace morpotta::platform
