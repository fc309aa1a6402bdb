// The movies' entry in the engine's life cycle: the colour tables of the
// YUV to RGB conversion, built first at start-up, the movies left open
// closed at the end, and the message loop's entries while the window is
// inactive. Registering also lets the graph layer open movies as graphs.
#include "foundation/subsystems.h"
#include "movie/movie_graphs.h"
#include "movie/movie_record.h"
#include "movie/movie_subsystem.h"
#include "movie/yuv_to_rgb.h"

namespace morpotta {

namespace {

void BuildMovieColourTables() { BuildYuvToRgbTables(); }
void SuspendMovies() { SuspendAllMovies(); }
void ResumeMovies() { ResumeSuspendedMovies(); }
void WhileInactive() { UpdateMovieOverlays(); }
void EndMovies() { CloseAllMovies(); }

const EngineSubsystem kMovies = {
    .name = "movies",
    .buildMovieColourTables = BuildMovieColourTables,
    .endMovies = EndMovies,
    .suspendMovies = SuspendMovies,
    .resumeMovies = ResumeMovies,
    .whileInactive = WhileInactive,
};

}  // namespace

void RegisterMovieSubsystem() {
    RegisterEngineSubsystem(&kMovies);
    InstallMovieGraphs();
}

}  // namespace morpotta
