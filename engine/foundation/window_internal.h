// The main window as the life cycle sees it.
#pragma once

// The double-start check: a lock on kDoubleStartLockName in the working
// directory (where the program keeps its log and saved files), held until
// ResetWindowState or ReleaseDoubleStartLock. 0 when this copy holds it (or
// the program switched the check off), 1
// when the folder takes no lock file (this copy runs: nothing could be
// saved there either), -1 when another copy holds it.
int LockAgainstSecondCopy();
void ReleaseDoubleStartLock();
constexpr const char* kDoubleStartLockName = "Engine.lock";
// Opens the window from the stored settings (title, icon, mode), reseeds
// the random generator and switches the screen saver off. 0 or -1.
int CreateMainWindow();
void TeardownMainWindow();   // screen saver and cursor back as they were
void DestroyMainWindow();    // safe when there is none
// The stored full-screen choice falls back to a window when the screen
// mode is no display mode of the host.
void FallBackToWindowIfModeUnavailable();
int DesktopBitsPerPixel();
void ResetWindowState();     // after shut-down: the next start-up begins afresh; drops the lock
void DestroyEngineApiLock();

// ProcessWindowMessages without the library lock.
int ProcessWindowMessagesCore();
