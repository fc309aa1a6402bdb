// Engine paths inside the file code: code page 932 (or UTF-16) text split
// into a prefix and components. Both '\' and '/' separate; a double-byte
// character never does, even when its trail byte is 0x5C.
#pragma once
#include <string>
#include <vector>

namespace morpotta {

template <typename C>
struct BasicEnginePath {
    std::basic_string<C> prefix;  // "" (the host root), "X:" or "\\server\share"
    std::vector<std::basic_string<C>> parts;
    bool trailingSeparator = false;
};
using EnginePath = BasicEnginePath<char>;

// The absolute, normalised form of path against base (the current directory
// when null). -1 with a log line when it climbs above its root or the
// current directory cannot be had.
int ParseFullPath(const char* path, const char* base, EnginePath* out);
int ParseFullPath(const char16_t* path, const char16_t* base, BasicEnginePath<char16_t>* out);

// prefix + '\' + parts joined by '\' (+ '\' when it had one at the end).
std::string JoinEnginePath(const EnginePath& path);
std::u16string JoinEnginePath(const BasicEnginePath<char16_t>& path);

// Equal ignoring the case of single-byte ASCII letters only.
bool EqualNamesIgnoreCase(const std::string& a, const std::string& b);

// The host's current directory as an engine path ("\home\user\game").
int GetEngineCurrentDirectory(std::string* out);

}  // namespace morpotta
