#pragma once

// The program's window icon, resource 107: a 32x32 cat face.
constexpr int kIconResourceId = 107;
constexpr int kIconSize = 32;
const unsigned int* ProgramIconPixels();
