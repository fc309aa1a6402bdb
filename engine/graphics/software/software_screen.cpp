// The primary software screen: what the software path draws on, shown in
// the window through the platform layer's picture presentation.
#include <cstring>

#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "platform/window.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {
struct SoftwareScreenModule {
    MEMIMG screen{};
    bool screenMade = false;
};

SoftwareScreenModule& State() {
    static SoftwareScreenModule state;
    return state;
}
}  // namespace

int CreateSoftwareScreen() {
    if (State().screenMade) return 0;
    if (CreateMemImg(&State().screen, kDeviceTargetWidth, kDeviceTargetHeight, MEMIMG_KIND_32BIT, 0, 0, 0) != 0)
        return WriteLogText("The software screen could not be made");
    State().screenMade = true;
    BuildBlendTables();
    SetSoftwareDrawTarget(&State().screen);
    ResetSoftwareDrawState();
    return 0;
}

int ReleaseSoftwareScreen() {
    if (!State().screenMade) return -1;
    if (DrawTargetMemImg == &State().screen) SetSoftwareDrawTarget(nullptr);
    ReleaseMemImg(&State().screen);
    std::memset(&State().screen, 0, sizeof State().screen);
    State().screenMade = false;
    return 0;
}

MEMIMG* GetSoftwareScreen() { return State().screenMade ? &State().screen : nullptr; }

int PresentSoftwareScreen() {
    if (!State().screenMade) return WriteLogText("No software screen to present");
    const platform::WindowBackend& window = platform::Window();
    if (!window.presentPixels) return WriteLogText("The window cannot show software pictures");
    if (window.presentPixels(reinterpret_cast<const uint32_t*>(State().screen.pixels), State().screen.width, State().screen.height,
                             State().screen.base->pitch) != 0)
        return WriteLogText("The software screen could not be shown");
    return 0;
}

}  // namespace morpotta
