// Reading the game's text files (stage lists, stages, map sets, scripts,
// replays, the time table) whole through the engine's file functions, so
// they may come from a resource archive as well as from a plain file.
#pragma once
#include <string>

// The file's bytes in *text; false (text empty) when it cannot be opened.
bool ReadGameFile(const char* path, std::string* text);
