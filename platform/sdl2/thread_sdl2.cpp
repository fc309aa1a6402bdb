// SDL2's share of a thread's life: SDL keeps a block of per-thread storage
// (its error text among it) for every thread that calls it, and frees it by
// itself only for threads it started.
// Depends on: SDL2 (SDL_TLSCleanup).
#include "platform/thread.h"

#include <SDL.h>

namespace morpotta::platform {

void ReleaseCurrentThreadStorage() { SDL_TLSCleanup(); }

}  // namespace morpotta::platform
