// The main window as the life cycle sees it.
#pragma once
#include <string>

namespace morpotta {

// The double-start check: a lock on kDoubleStartLockName in the working
// directory (where the program keeps its log and saved files), held until
// ResetWindowState or ReleaseDoubleStartLock; the file is opened where it
// stands, never through a link. 0 when this copy holds it (or the program
// switched the check off), -1 when another copy holds it, 1 when it cannot
// be taken (why says why: a folder or a link at its name, a folder that
// takes no file): the copy cannot tell that it runs alone, so it does not
// start.
int LockAgainstSecondCopy(std::string* why);
void ReleaseDoubleStartLock();
constexpr const char* kDoubleStartLockName = "Engine.lock";
// Opens the window from the stored settings (title, icon, mode), reseeds
// the random generator and switches the screen saver off. 0 or -1.
int CreateMainWindow();
void TeardownMainWindow();   // screen saver and cursor back as they were
void DestroyMainWindow();    // safe when there is none
// True while the window is open and inactive and the program does not run
// while it is: the message processing then waits until it is active again.
bool MessagesWaitWhileInactive();
// The stored full-screen choice falls back to a window when the screen
// mode is no display mode of the host.
void FallBackToWindowIfModeUnavailable();
int DesktopBitsPerPixel();
void ResetWindowState();     // after shut-down: the next start-up begins afresh; drops the lock
void DestroyEngineApiLock();

// ProcessWindowMessages without the library lock.
int ProcessWindowMessagesCore();

}  // namespace morpotta
