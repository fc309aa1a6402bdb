// Reading one of the game's text files (stages, map sets, scripts, replays)
// whole through the engine's file functions, so it may come from a
// resource archive.
#pragma once
#include <cstddef>
#include <string>

// False when the file cannot be opened or read, or is larger than
// maxBytes (logged); out is then empty.
bool ReadGameTextFile(const char* path, std::string* out, size_t maxBytes = size_t(16) << 20);
