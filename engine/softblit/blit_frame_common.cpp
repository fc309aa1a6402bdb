// The frames' shared refusal message.
#include "softblit/blit_frame_common.h"

#include "engine/log.h"
#include "graphics/softimage/drawstate.h"

namespace morpotta::softblit {

bool RefuseInvalidImage(const char* caller) {
    WriteLogFormat("invalid software image in %s", caller);
    return false;
}

}  // namespace morpotta::softblit
