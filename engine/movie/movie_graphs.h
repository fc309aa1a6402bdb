// Movies as graphs: lets the graph layer open files that are no picture as
// movies.
#pragma once

namespace morpotta {

void InstallMovieGraphs();

}  // namespace morpotta
