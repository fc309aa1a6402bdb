// Searches over directory listings, for the find-first/next/close slots.
#pragma once
#include "engine/files.h"
#include "foundation/paths_internal.h"

#include <string>
#include <vector>

namespace morpotta {

// '*' any run of characters, '?' one character (a double-byte character is
// one); ASCII letters match either case.
bool MatchFilePattern(const char* pattern, const char* name);

// Registers a search over the given entries and fills out with the first;
// 0 when there is none.
FileHandle StartFileSearch(std::vector<FileFindData> entries, FileFindData* out);
int ContinueFileSearch(FileHandle find, FileFindData* out);
int EndFileSearch(FileHandle find);

// Splits an engine search pattern into its absolute directory and the name
// pattern of its last component; false when the pattern is bad.
bool SplitSearchPattern(const char* pattern, EnginePath* directory, std::string* namePattern);
// The refusal of a pattern SplitSearchPattern cannot split: 0.
FileHandle RefuseSearchPattern(const char* pattern);
// Appends the host entries of directory that match namePattern.
void CollectHostEntries(const EnginePath& directory, const std::string& namePattern,
                        std::vector<FileFindData>* out);

// Host directory entries (engine-form names) matching the last component of
// an engine pattern such as "tpa\stage\*.stg".
FileHandle FindFirstHostFile(const char* pattern, FileFindData* out);

}  // namespace morpotta
