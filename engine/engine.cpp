// The engine as one library: each subsystem above the foundation registers
// its entries with the foundation's life cycle (foundation/subsystems.h),
// which then starts the engine in its fixed order.
#include "engine/lifecycle.h"
#include "foundation/engine_thread.h"
#include "foundation/subsystems.h"
#include "graphics/graphics_internal.h"
#include "model/instance/model_system.h"
#include "movie/movie_subsystem.h"
#include "sound/sound_internal.h"

using namespace morpotta;

int InitializeEngine() {
    const PublicCall call("InitializeEngine");
    if (!AllowOnlyOnEngineThread()) return -1;
    RegisterMovieSubsystem();
    RegisterSoundSubsystem();
    RegisterGraphicsSubsystem();
    RegisterModelSubsystem();
    return StartEngine();
}
