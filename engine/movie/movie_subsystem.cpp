// The movies' entry in the engine's life cycle: the colour tables of the
// YUV to RGB conversion, built first at start-up.
#include "foundation/subsystems.h"
#include "movie/movie_subsystem.h"
#include "movie/yuv_to_rgb.h"

namespace {

void BuildMovieColourTables() { BuildYuvToRgbTables(); }

const EngineSubsystem kMovies = {
    .name = "movies",
    .buildMovieColourTables = BuildMovieColourTables,
};

}  // namespace

void RegisterMovieSubsystem() { RegisterEngineSubsystem(&kMovies); }
