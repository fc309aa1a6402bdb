// Where the engine's life cycle and message processing reach the parts of
// the engine. The foundation's own parts (archives, file functions, streams,
// input) are called directly. The subsystems above it (sound, graphics,
// models) are never called by name: each registers a table of entries
// before start-up (RegisterEngineSubsystem), and the foundation calls the
// registered entries at its fixed steps, in the order the tables were
// registered. A null entry is skipped.
#pragma once
#include <cstdint>

#include "platform/window.h"

namespace morpotta {

struct EngineSubsystem {
    const char* name = nullptr;
    // Before the main window opens: whether the drawing will need a GL
    // context in it (false: the window is made without one).
    bool (*wantsGlWindow)() = nullptr;
    // Start-up, in the order the life cycle calls them.
    void (*buildMovieColourTables)() = nullptr;
    void (*startSound)() = nullptr;      // its result is ignored
    int (*startGraphics)() = nullptr;    // 0 or -1: a failure ends start-up
    void (*startOnScreenLog)() = nullptr;
    void (*selectDrawScreens)() = nullptr;
    void (*startModels)() = nullptr;
    // Shut-down, in order (input ends between graphics and sound).
    void (*stopMusic)() = nullptr;
    void (*endModels)() = nullptr;
    void (*endGraphics)() = nullptr;
    void (*endMovies)() = nullptr;      // the movies still open: their threads joined, their copies deleted
    void (*endSound)() = nullptr;
    void (*releaseSoftwareImages)() = nullptr;
    // Message processing.
    // A message posted to the main window (PostEngineMessage).
    void (*handlePostedMessage)(uint32_t message, uintptr_t wParam, intptr_t lParam) = nullptr;
    void (*pollMusic)() = nullptr;               // music status, every pass
    void (*refillStreamSounds)() = nullptr;      // every pass, only on one logical processor
    void (*updateSoftSoundPlayers)() = nullptr;  // every pass
    void (*suspendMovies)() = nullptr;           // the window was deactivated
    void (*resumeMovies)() = nullptr;            // the window is active again
    void (*whileInactive)() = nullptr;           // every pass while paused: movie overlays, the pause picture
    // The process ends now without shut-down (its window system went away):
    // threads and outputs that must not run into its end stop.
    void (*stopBeforeProcessEnd)() = nullptr;
};

constexpr int kMaxEngineSubsystems = 8;

// Adds a table (kept by pointer; it must outlive the engine). Registering
// the same table again does nothing. 0, or -1 for null or a full list.
int RegisterEngineSubsystem(const EngineSubsystem* subsystem);
// Drops every registered table (tests).
void ClearEngineSubsystems();
// Calls entry of every registered table that has it, in registration order.
void CallEngineSubsystems(void (*EngineSubsystem::*entry)());
// Whether the main window gets a GL context: the answer of the first table
// that has wantsGlWindow; yes when none has it.
bool EngineSubsystemsWantGlWindow();
// The graphics start-up of every table that has one: 0, or the first -1.
int StartEngineGraphics();
void PostToEngineSubsystems(uint32_t message, uintptr_t wParam, intptr_t lParam);

// The whole start-up once, under the library lock, with the tables
// registered so far (InitializeEngine registers the engine's own first).
int StartEngine();
// The whole shut-down, under the library lock, on the thread that calls it
// (ShutdownEngine admits the engine's thread alone): 0, or -1 when the
// engine is not running.
int EndEngine();
// The end of a running engine as the process ends (exit, quick_exit, a
// fatal error), on whichever thread ends it, once, in the process that
// started the engine; a call of that thread's that the exit cuts short is
// not waited for. status is the one the process ends with, or
// platform::kStatusNotTold.
void EndEngineForExit(int status);
// Arranges that end once more in the process at each stage at which the GL
// driver registers exit handlers of its own: as a window's GL context loads
// it, as its compiler first runs (the device's warm-up draw) and as the
// first frame's programs are compiled (the first present). Exit handlers
// run in the reverse order of their registration, and the driver's would
// pull its state away from under the engine's thread, still drawing, while
// another thread ends the process. The driver stays loaded for the
// process's life: each stage arranges it once a process, later calls do
// nothing.
enum class DriverStage { kLoaded, kCompilerRun, kFirstFrameDrawn, kCount };
void ArrangeEndAtExitAfterTheDriver(DriverStage stage);

namespace subsystems {

// The foundation's own parts, in start-up order.
void ResetArchives();
void InstallFileFunctions();
void FillStreamTables();
int InitializeInput();      // 0 or -1: a failure ends start-up

// Shut-down.
void TerminateInput();
void RestoreStartDirectory();
void CloseArchives();

// Message processing.
void HandleInputEvent(const platform::Event& event);  // keys, mouse, devices
void UpdateInput();            // keyboard and mouse, every pass

}  // namespace subsystems

}  // namespace morpotta
