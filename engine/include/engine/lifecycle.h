// Engine start-up and shut-down.
#pragma once

// Runs the whole start-up once: 0, or -1 (the engine has ended itself again).
// A start-up that fails says why in the log and, for the user who has no
// log, on standard error as "<program>: cannot start: <why>" (the name the
// program was started by).
int InitializeEngine();
// Ends the engine when started; 0, or -1 when it was not started.
int ShutdownEngine();
int IsEngineInitialized();
// The number of logical processors start-up detected (1 before).
int LogicalProcessorCount();

// Diagnostics: called with the name of each start-up and shut-down step as
// it runs (null to stop).
using EngineStepObserver = void (*)(const char* step);
void SetEngineStepObserver(EngineStepObserver observer);
// Back end of the window layer ("sdl2" or "headless"); before start-up.
int SetWindowBackend(const char* name);
