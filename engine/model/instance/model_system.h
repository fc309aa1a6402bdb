// The model system as the engine's life cycle sees it.
#pragma once

namespace morpotta {

// Life cycle: engine start-up and end call these; every other model
// operation returns -1 while the system is not started. Both return 0.
int InitializeModelSystem();
int TerminateModelSystem();

// Adds the model system's start-up and end to the engine's life cycle, with
// its part in rebuilding a lost device and the graphics its textures use.
void RegisterModelSubsystem();

}  // namespace morpotta
