// The primary software screen: what the software path draws on, shown in
// the window through the platform layer's picture presentation.
#include <cstring>

#include "engine/log.h"
#include "foundation/public_call.h"
#include "graphics/device/device.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "platform/lasting_state.h"
#include "platform/window.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {
struct SoftwareScreenModule {
    MEMIMG screen{};
    bool screenMade = false;
};

SoftwareScreenModule& SoftwareScreenState() {
    return platform::LastingState<SoftwareScreenModule>();
}
}  // namespace

int CreateSoftwareScreen() {
    if (SoftwareScreenState().screenMade) return 0;
    if (CreateMemImg(&SoftwareScreenState().screen, kDeviceTargetWidth, kDeviceTargetHeight, MEMIMG_KIND_32BIT, 0, 0, 0) != 0)
        return Refuse("the software screen could not be made");
    SoftwareScreenState().screenMade = true;
    BuildBlendTables();
    SetSoftwareDrawTarget(&SoftwareScreenState().screen);
    ResetSoftwareDrawState();
    return 0;
}

int ReleaseSoftwareScreen() {
    if (!SoftwareScreenState().screenMade) return -1;
    if (DrawTargetMemImg == &SoftwareScreenState().screen) SetSoftwareDrawTarget(nullptr);
    ReleaseMemImg(&SoftwareScreenState().screen);
    std::memset(&SoftwareScreenState().screen, 0, sizeof SoftwareScreenState().screen);
    SoftwareScreenState().screenMade = false;
    return 0;
}

MEMIMG* GetSoftwareScreen() { return SoftwareScreenState().screenMade ? &SoftwareScreenState().screen : nullptr; }

int PresentSoftwareScreen() {
    if (!SoftwareScreenState().screenMade) return Refuse("no software screen to present");
    const platform::WindowBackend& window = platform::Window();
    if (!window.presentPixels) return Refuse("the window cannot show software pictures");
    if (window.presentPixels(reinterpret_cast<const uint32_t*>(SoftwareScreenState().screen.pixels), SoftwareScreenState().screen.width, SoftwareScreenState().screen.height,
                             SoftwareScreenState().screen.base->pitch) != 0)
        return Refuse("the software screen could not be shown");
    return 0;
}

}  // namespace morpotta
