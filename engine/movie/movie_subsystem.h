// The movies as the engine's life cycle sees them.
#pragma once

namespace morpotta {

// Adds the movies' start-up work to the engine's life cycle.
void RegisterMovieSubsystem();

}  // namespace morpotta
