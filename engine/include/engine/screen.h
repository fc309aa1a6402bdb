// The draw screen: which target drawing goes to, clearing it, presenting
// the frame with the emulated vertical-sync wait, copying it into a graph
// or a PNG file, and the rebuild after a lost device.
#pragma once
#include <cstdint>

constexpr int kDrawScreenBack = -2;

// The graphics device for the next start-up: "auto" (GL when the window has
// a GL context, else none), "gl", "recording" (records every call, for
// tests) or "none" (the software path). -1 for an unknown name.
int SetGraphicsDeviceChoice(const char* name);
// 1 while a device is present (GL or recording), 0 on the software path,
// where 3-D models are not drawn.
int HardwareRenderingActive();
// Models draw through programmable shaders where the device runs them (1,
// the default) or always take the fixed-function road (0), for comparison
// and for drivers that fail. Set it before models load: skinned lists get
// device buffers only while shaders are in use. 0.
int SetProgrammableShaderUse(int use);
int GetProgrammableShaderUse();

struct DrawRect {
    int left, top, right, bottom;
};

// kDrawScreenBack (the 640x480 back buffer) is the one screen; 0 or -1.
int SelectDrawTargetScreen(int screen);
int GetDrawTargetScreen();
// Clears the area (null: the whole screen and the Z buffer) to black. 0.
int ClearDrawScreenToBackColor(const DrawRect* area);
// Draws what is pending, presents the back buffer and waits for the next
// 1/60 s tick after the previous present. 0, or -1 when presenting failed.
int PresentFrame();
// Copies (x1, y1)-(x2, y2) of the draw screen into graph at (0, 0). 0, or
// -1 when the area leaves the screen or its size differs from the graph's.
int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag);
// Masks are not drawn on this engine, so masking is never on: 0.
int BeginMaskedDraw(DrawRect area);
// Saves the current 640x480 draw screen as an RGB PNG file (host path),
// stored as WriteFileDurably stores a file: 0, or -1 and a log line naming
// this function and why. What stands at the path is replaced only by the
// whole picture, and only when it is a regular file: a FIFO, a device, a
// folder or a symbolic link (to a regular file as well: a stored file is
// never written through a link, nor the link replaced) is refused before
// anything is written, and a failed write (a full disk) leaves the
// previous file as it was.
int SaveDrawScreenToPng(const char* path);
// Reads the current draw screen as 0xFFRRGGBB rows (640 x 480). 0 or -1.
int ReadDrawScreenPixels(uint32_t* out);

// ---- Device loss ----
// The game's callback after the device was lost and rebuilt.
using GraphRestoreHandler = void (*)();
int SetGraphRestoreHandler(GraphRestoreHandler handler);
