// The movies as the engine's life cycle sees them.
#pragma once

// Adds the movies' start-up work to the engine's life cycle.
void RegisterMovieSubsystem();
