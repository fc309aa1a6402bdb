// Game texts are code page 932 bytes (what the engine draws and the files
// hold); the sources spell them in UTF-8 and convert them once.
#pragma once
#include <string>

// The code page 932 form of a UTF-8 text; a text with no such form (a
// programming error) comes back unchanged.
std::string GameText(const char* utf8);
