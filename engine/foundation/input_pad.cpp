// Joypads: the host's joysticks read as direction and button bits.
#include "engine/input.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"

using namespace morpotta;

namespace {

// Past half deflection of the host's -32768..32767 range.
constexpr int kHalfDeflection = 16384;

int PadBits(const platform::JoystickReading& r) {
    int bits = 0;
    if (r.hat & platform::kHatDown) bits |= PAD_DOWN;
    if (r.hat & platform::kHatLeft) bits |= PAD_LEFT;
    if (r.hat & platform::kHatRight) bits |= PAD_RIGHT;
    if (r.hat & platform::kHatUp) bits |= PAD_UP;
    int x = r.axisCount > 0 ? r.axes[0] : 0;
    int y = r.axisCount > 1 ? r.axes[1] : 0;
    if (x <= -kHalfDeflection) bits |= PAD_LEFT;
    if (x >= kHalfDeflection) bits |= PAD_RIGHT;
    if (y <= -kHalfDeflection) bits |= PAD_UP;
    if (y >= kHalfDeflection) bits |= PAD_DOWN;
    for (int i = 0; i < kPadButtonCount; ++i)
        if (r.buttons & (1u << i)) bits |= PadButtonBit(i);
    return bits;
}

}  // namespace

int CountJoypads() {
    const PublicCall call("CountJoypads");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!InputModuleState().started) return 0;
    return platform::Input().joystickSlots();
}

int QueryPadButtons(int padNumber) {
    const PublicCall call("QueryPadButtons");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (padNumber < 1 || padNumber > platform::kMaxJoysticks) {
        Refuse("pad number %d, not 1 to %d", padNumber, platform::kMaxJoysticks);
        return 0;
    }
    platform::JoystickReading reading;
    if (!InputModuleState().started || !platform::Input().readJoystick(padNumber - 1, &reading)) return 0;
    return PadBits(reading);
}
