// Where the engine's life cycle and message loop reach into the other
// subsystems. Each subsystem defines its entries in its own folder; the
// ones not built yet are defined in subsystems.cpp and do nothing.
#pragma once
#include "platform/window.h"

namespace subsystems {

// Start-up, in the order the life cycle calls them.
void BuildMovieColourTables();
void ResetArchives();
void InstallFileFunctions();
void FillStreamTables();
int InitializeInput();      // 0 or -1: a failure ends start-up
void InitializeSound();     // its result is ignored
int InitializeGraphics();   // 0 or -1, with the font system
void StartOnScreenLog();
void SelectDrawScreens();
void InitializeModels();

// Shut-down, in order.
void StopMusic();
void TerminateModels();
void TerminateGraphics();
void TerminateInput();
void TerminateSound();
void ReleaseSoftwareImages();
void RestoreStartDirectory();
void CloseArchives();

// Message processing.
void HandleInputEvent(const platform::Event& event);  // keys, mouse, devices
void UpdateInput();            // keyboard and mouse, every pass
void PollMusic();              // music status, every pass
void HandleMusicNotify();      // the MIDI device's notification reached the window
void RefillStreamSounds();     // only on one logical processor
void UpdateSoftSoundPlayers();
void SuspendMovies();          // window deactivated
void ResumeMovies();           // window activated again
void WhileInactive();          // movie overlays and the pause picture

}  // namespace subsystems
