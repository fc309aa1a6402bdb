// Shared by the graphics files (and the model textures that draw through them).
#pragma once
#include "engine/baseimage.h"

#include <cstddef>

namespace morpotta {

// The largest texture side any device here accepts.
constexpr int kMaxDeviceTextureSide = 8192;

// Adds graphics start-up and end to the engine's life cycle.
void RegisterGraphicsSubsystem();

// True while there is something to draw on: the device, or the software
// screen without one (from graphics start-up to shut-down). A picture or a
// font made at another time could never be drawn, so the functions that
// make them ask first: false comes with a log line naming the function.
bool CheckGraphicsRunning();

// A file's picture, read by the program's readers and the built-in ones:
// 0; -1 after the refusal of the file (missing, a folder) or of a reader
// that knew the data and found it broken; -1 with nothing said when no
// reader knows the data.
int ReadPictureFile(const char* fileName, BASEIMAGE* out);
// ReadImageToBaseImage from memory, taking the fourth byte of 32-bit BMP
// pixels as alpha (1) or not (0) for this read alone, whatever
// SetBmp32AlphaUse says (a model's texture says it for itself).
int ReadImageFromMemoryWithBmp32Alpha(const void* data, size_t size, int bmp32Alpha, BASEIMAGE* out);

}  // namespace morpotta
