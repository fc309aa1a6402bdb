// The engine's entry to object creation: (class id, outer object, class
// context, interface id, out) → result. It starts as the platform's media
// objects; tests put in their own to see a creation fail.
#pragma once
#include "platform/mediagraph.h"

namespace morpotta {

using CreateInstanceFunction = platform::media::Result (*)(const platform::media::Guid& classId,
                                                           platform::media::Unknown* outer, uint32_t context,
                                                           const platform::media::Guid& iid, void** out);

extern CreateInstanceFunction CoCreateInstanceEntry;

}  // namespace morpotta
