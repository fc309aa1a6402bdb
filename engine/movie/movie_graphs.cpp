// Movies as graphs: the graph layer opens a file that is no picture here.
// The graph is made from the movie's current frame (blank for a movie of
// the movie graph, which never delivers one) and bound to the movie; its
// frame callback refills it whenever the decoder converts a frame it had
// not converted before.
#include "graphics/graph_internal.h"
#include "movie/movie_graphs.h"
#include "movie/movie_record.h"
#include "movie/theora_decoder.h"

namespace morpotta {

namespace {

int RefillGraphFromMovie(MovieRecord* record, uint32_t graph) {
    if (!record->theora || ConvertTheoraFrame(record->decoder, 1, 0) != 1) return 0;
    return RefillGraphFromBaseImage(record->currentFrame, nullptr, int(graph));
}

int OpenMovieGraph(const char* fileName, int noTransparency) {
    int width = 0, height = 0;
    const int movie = OpenMovie(fileName, &width, &height, 0);
    if (movie == -1) return -1;
    const MovieRecord* record = GetMovieRecord(movie);
    const int graph = record->currentFrame->pixels
                          ? MakeGraphFromBaseImage(record->currentFrame, nullptr, noTransparency ? 0 : 1)
                          : MakeBlankGraph(width, height, 0);
    if (graph == -1) {
        CloseMovie(movie);
        return -1;
    }
    BindGraphMovie(graph, movie);
    SetMovieFrameCallback(movie, RefillGraphFromMovie, uint32_t(graph));
    return graph;
}

int UpdateGraphMovie(int movie) { return UpdateMovieFrame(movie, 0); }

const GraphMovieHooks kHooks = {
    .openGraph = OpenMovieGraph,
    .updateFrame = UpdateGraphMovie,
    .close = CloseMovie,
};

}  // namespace

void InstallMovieGraphs() { SetGraphMovieHooks(&kHooks); }

}  // namespace morpotta
