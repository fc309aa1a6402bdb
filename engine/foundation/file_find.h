// Searches over directory listings, for the find-first/next/close slots.
#pragma once
#include "engine/files.h"

#include <string>
#include <vector>

// '*' any run of characters, '?' one character (a double-byte character is
// one); ASCII letters match either case.
bool MatchFilePattern(const char* pattern, const char* name);

// Registers a search over the given entries and fills out with the first;
// 0 when there is none.
FileHandle StartFileSearch(std::vector<FileFindData> entries, FileFindData* out);
int ContinueFileSearch(FileHandle find, FileFindData* out);
int EndFileSearch(FileHandle find);

// Host directory entries (engine-form names) matching the last component of
// an engine pattern such as "tpa\stage\*.stg".
FileHandle FindFirstHostFile(const char* pattern, FileFindData* out);
