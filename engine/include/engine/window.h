// The main window, its settings and the message loop.
#pragma once

// 1: windowed, 0: full screen, stored for start-up; -1 (and a log line)
// while the engine runs, whose window keeps its mode.
int ChangeWindowMode(int windowed);
int GetWindowModeFlag();
// Screen size, colour bits and refresh rate used at start-up: the window's
// size (the draw screen stays 640x480, stretched over it). -1 (and a log
// line) while the engine runs, and for a size below 1 or colour bits other
// than 16 and 32.
int SetScreenMode(int width, int height, int colorBits, int refreshRate);
int GetScreenMode(int* width, int* height, int* colorBits, int* refreshRate);
// Caption in code page 932; shown on the window when it exists.
int SetAppWindowTitle(const char* text);
// Icon by resource id (see RegisterIconResource); set when the window exists.
int SetAppWindowIcon(int resourceId);
// The program's embedded icons: pixels in 0xAARRGGBB, rows top down. The
// pixels must stay valid for the life of the program.
int RegisterIconResource(int resourceId, const unsigned int* argb, int width, int height);
void* GetAppWindowHandle();  // null before the window exists
// The double-start check (on by default): start-up takes a lock on
// "Engine.lock" in the working directory, where the program keeps its log
// and saved files, and ends with -1 while another copy holds it, or when
// it cannot be taken (a folder or a symbolic link at that name, which is
// never followed, a folder that takes no file), saying why on standard
// error. Tools and tests that save nothing and share a folder switch it
// off (0) before start-up.
int SetDoubleStartCheck(int flag);

// Handles pending window events (at most five per pass), updates input and
// sound polling; while the window is inactive it does not return until the
// window is active again or destroyed. 0 while the application runs, -1
// once the window has been destroyed. Holds the library lock.
int ProcessWindowMessages();
// 1: deactivating the window pauses nothing.
int SetRunWhileInactive(int flag);
int IsRunWhileInactive();
int IsWindowActive();
int SetMouseCursorVisible(int visible);
