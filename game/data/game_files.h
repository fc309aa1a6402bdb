// Reading the game's text files (stage lists, stages, map sets, scripts,
// replays, the time table) whole through the engine's file functions, so
// they may come from a resource archive as well as from a plain file.
#pragma once
#include <cstdint>
#include <string>

// The largest file read whole. The generated tree's files are a few
// kilobytes at most; a replay stream grows with the run it recorded, by
// some 50 bytes a frame for a nunchuk tilted every frame, so this holds
// hours of play (the recorder stops before a stream outgrows it). A larger
// file is refused rather than read into memory.
constexpr int64_t kMaxGameFileBytes = int64_t(64) << 20;

// The file's bytes in *text; false (text empty) when it cannot be opened,
// or, with a log line, when it is larger than kMaxGameFileBytes.
bool ReadGameFile(const char* path, std::string* text);

// Whether the file opens through the engine's file functions (a plain file
// or a member of a resource archive): tells a missing file from one that is
// there but cannot be read as what it should be.
bool GameFileExists(const char* path);
// Says once that a content file could not be used: "<file> is missing" or
// "<file> cannot be read as <what>", then what the game does instead.
void ReportUnusableContent(const char* path, const char* what, const char* instead);
