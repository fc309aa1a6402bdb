// The main window as the life cycle sees it.
#pragma once

// Opens the window from the stored settings (title, icon, mode), reseeds
// the random generator and switches the screen saver off. 0 or -1.
int CreateMainWindow();
void TeardownMainWindow();   // screen saver and cursor back as they were
void DestroyMainWindow();    // safe when there is none
// The stored full-screen choice falls back to a window when the screen
// mode is no display mode of the host.
void FallBackToWindowIfModeUnavailable();
int DesktopBitsPerPixel();
void ResetWindowState();     // after shut-down: the next start-up begins afresh
void DestroyEngineApiLock();

// ProcessWindowMessages without the library lock.
int ProcessWindowMessagesCore();
