// Path algebra on engine paths: absolute forms, relative forms and the
// split into directory and name, in code page 932 bytes and in UTF-16.
// Everything here is text work; only the current directory comes from the
// host.
#include "foundation/paths_internal.h"

#include "engine/files.h"
#include "engine/log.h"
#include "engine/text.h"
#include "foundation/ascii_fold.h"
#include "foundation/public_call.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

namespace {

template <typename C>
bool IsSeparator(C c) {
    return c == C('\\') || c == C('/');
}

// Bytes of the character at p: 2 for a lead byte with its trail, else 1.
size_t CharLength(const char* p) {
    return (IsMultiByteLeadByte(p) && p[1] != 0) ? 2 : 1;
}
size_t CharLength(const char16_t*) { return 1; }

template <typename C>
bool EqualIgnoreCase(const std::basic_string<C>& a, const std::basic_string<C>& b) {
    if (a.size() != b.size()) return false;
    size_t i = 0;
    while (i < a.size()) {
        size_t n = CharLength(a.c_str() + i);
        if (n == 1) {
            if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
        } else if (a.compare(i, n, b, i, n) != 0) {
            return false;  // a double-byte character compares exactly
        }
        i += n;
    }
    return true;
}

// Splits text into components at separators, stepping over double-byte
// characters whole.
template <typename C>
void SplitComponents(const C* text, std::vector<std::basic_string<C>>* parts, bool* trailing) {
    std::basic_string<C> current;
    bool lastWasSeparator = false;
    for (const C* p = text; *p;) {
        size_t n = CharLength(p);
        if (n == 1 && IsSeparator(*p)) {
            if (!current.empty()) parts->push_back(current);
            current.clear();
            lastWasSeparator = true;
        } else {
            current.append(p, n);
            lastWasSeparator = false;
        }
        p += n;
    }
    if (!current.empty()) parts->push_back(current);
    *trailing = lastWasSeparator;
}

enum class PathKind { Relative, Rooted, DriveRelative, Absolute };

template <typename C>
bool IsAsciiLetter(C c) {
    return (c >= C('A') && c <= C('Z')) || (c >= C('a') && c <= C('z'));
}

// Reads the prefix of text; rest points after it.
template <typename C>
PathKind Classify(const C* text, std::basic_string<C>* prefix, const C** rest) {
    prefix->clear();
    if (IsSeparator(text[0]) && IsSeparator(text[1])) {
        // \\server\share: both names belong to the prefix.
        const C* p = text + 2;
        *prefix = {C('\\'), C('\\')};
        for (int name = 0; name < 2; ++name) {
            std::basic_string<C> part;
            while (*p && !IsSeparator(*p)) {
                size_t n = CharLength(p);
                part.append(p, n);
                p += n;
            }
            if (IsSeparator(*p)) ++p;
            if (part.empty()) break;
            if (name == 1) prefix->push_back(C('\\'));
            *prefix += part;
        }
        *rest = p;
        return PathKind::Absolute;
    }
    if (IsAsciiLetter(text[0]) && text[1] == C(':')) {
        *prefix = {text[0], C(':')};
        *rest = text + 2;
        return IsSeparator(text[2]) ? PathKind::Absolute : PathKind::DriveRelative;
    }
    *rest = text;
    return IsSeparator(text[0]) ? PathKind::Rooted : PathKind::Relative;
}

template <typename C>
int Normalize(const std::vector<std::basic_string<C>>& in, std::vector<std::basic_string<C>>* out) {
    static const C dot[] = {C('.'), 0};
    static const C dotDot[] = {C('.'), C('.'), 0};
    for (const auto& part : in) {
        if (part == dot) continue;
        if (part == dotDot) {
            if (out->empty()) return Refuse("the path climbs above its root");
            out->pop_back();
            continue;
        }
        out->push_back(part);
    }
    return 0;
}

int CurrentDirectory(std::string* out) { return GetEngineCurrentDirectory(out); }
int CurrentDirectory(std::u16string* out) {
    std::string dir;
    if (GetEngineCurrentDirectory(&dir) != 0) return -1;
    if (!ConvertCp932ToUtf16(dir, out)) return Refuse("the current folder's name is not in code page 932");
    return 0;
}

template <typename C>
int ParseAbsoluteBase(const C* base, BasicEnginePath<C>* out);

template <typename C>
int ParseFull(const C* path, const C* base, BasicEnginePath<C>* out) {
    if (!path) return RefuseNull("path");
    *out = {};
    std::basic_string<C> prefix;
    const C* rest = nullptr;
    PathKind kind = Classify(path, &prefix, &rest);
    std::vector<std::basic_string<C>> parts;
    bool trailing = false;
    SplitComponents(rest, &parts, &trailing);

    std::vector<std::basic_string<C>> joined;
    if (kind == PathKind::Absolute) {
        out->prefix = prefix;
    } else {
        BasicEnginePath<C> start;
        if (ParseAbsoluteBase(base, &start) != 0) return -1;
        if (kind == PathKind::Rooted) {
            out->prefix = start.prefix;
        } else if (kind == PathKind::DriveRelative && !EqualIgnoreCase(prefix, start.prefix)) {
            out->prefix = prefix;
        } else {
            out->prefix = start.prefix;
            joined = start.parts;
        }
    }
    joined.insert(joined.end(), parts.begin(), parts.end());
    if (Normalize(joined, &out->parts) != 0) return -1;
    out->trailingSeparator = trailing && !out->parts.empty();
    return 0;
}

// The base directory made absolute: the current directory when null, a
// relative base counting from the current directory.
template <typename C>
int ParseAbsoluteBase(const C* base, BasicEnginePath<C>* out) {
    if (base) return ParseFull(base, static_cast<const C*>(nullptr), out);
    std::basic_string<C> current;
    if (CurrentDirectory(&current) != 0) return -1;
    *out = {};
    const C* rest = nullptr;
    Classify(current.c_str(), &out->prefix, &rest);
    std::vector<std::basic_string<C>> parts;
    bool trailing = false;
    SplitComponents(rest, &parts, &trailing);
    return Normalize(parts, &out->parts);
}

template <typename C>
std::basic_string<C> Join(const BasicEnginePath<C>& path) {
    std::basic_string<C> text = path.prefix;
    text.push_back(C('\\'));
    for (size_t i = 0; i < path.parts.size(); ++i) {
        if (i > 0) text.push_back(C('\\'));
        text += path.parts[i];
    }
    if (path.trailingSeparator) text.push_back(C('\\'));
    return text;
}

template <typename C>
int WriteOut(const std::basic_string<C>& text, C* out, size_t capacity) {
    if (!out) return RefuseNull("buffer");
    if (text.size() + 1 > capacity) {
        if (capacity > 0) out[0] = 0;
        return Refuse("the result of %zu characters does not fit the buffer of %zu", text.size() + 1, capacity);
    }
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(C));
    return 0;
}

template <typename C>
int FullPath(const C* path, C* out, size_t capacity, const C* base) {
    if (out && capacity > 0) out[0] = 0;
    BasicEnginePath<C> full;
    if (ParseFull(path, base, &full) != 0) return -1;
    return WriteOut(Join(full), out, capacity);
}

template <typename C>
int RelativePath(const C* filePath, const C* baseDirectory, C* out, size_t capacity) {
    if (out && capacity > 0) out[0] = 0;
    BasicEnginePath<C> file, base;
    if (!baseDirectory) return RefuseNull("base folder");
    if (ParseFull(filePath, static_cast<const C*>(nullptr), &file) != 0 ||
        ParseFull(baseDirectory, static_cast<const C*>(nullptr), &base) != 0)
        return -1;
    // On another drive or share no relative form exists.
    if (!EqualIgnoreCase(file.prefix, base.prefix)) return WriteOut(Join(file), out, capacity);
    size_t common = 0;
    while (common < file.parts.size() && common < base.parts.size() &&
           EqualIgnoreCase(file.parts[common], base.parts[common]))
        ++common;
    std::basic_string<C> text;
    for (size_t i = common; i < base.parts.size(); ++i) text += {C('.'), C('.'), C('\\')};
    for (size_t i = common; i < file.parts.size(); ++i) {
        text += file.parts[i];
        if (i + 1 < file.parts.size() || file.trailingSeparator) text.push_back(C('\\'));
    }
    if (text.empty()) text.push_back(C('.'));
    return WriteOut(text, out, capacity);
}

template <typename C>
int SplitNameAndDir(const C* path, C* nameOut, size_t nameCapacity, C* dirOut, size_t dirCapacity) {
    if (nameOut && nameCapacity > 0) nameOut[0] = 0;
    if (dirOut && dirCapacity > 0) dirOut[0] = 0;
    if (!path) return RefuseNull("path");
    size_t split = 0;  // length of the directory part, separator included
    for (const C* p = path; *p;) {
        size_t n = CharLength(p);
        if (n == 1 && (IsSeparator(*p) || *p == C(':'))) split = size_t(p - path) + 1;
        p += n;
    }
    std::basic_string<C> all(path);
    if (nameOut && WriteOut(all.substr(split), nameOut, nameCapacity) != 0) return -1;
    if (dirOut && WriteOut(all.substr(0, split), dirOut, dirCapacity) != 0) {
        if (nameOut) nameOut[0] = 0;
        return -1;
    }
    return 0;
}

}  // namespace

int ParseFullPath(const char* path, const char* base, EnginePath* out) { return ParseFull(path, base, out); }
int ParseFullPath(const char16_t* path, const char16_t* base, BasicEnginePath<char16_t>* out) {
    return ParseFull(path, base, out);
}
std::string JoinEnginePath(const EnginePath& path) { return Join(path); }
std::u16string JoinEnginePath(const BasicEnginePath<char16_t>& path) { return Join(path); }
bool EqualNamesIgnoreCase(const std::string& a, const std::string& b) { return EqualIgnoreCase(a, b); }

}  // namespace morpotta

int BuildFullPath(const char* path, char* out, size_t capacity, const char* baseDirectory) {
    const PublicCall call("BuildFullPath");
    return FullPath(path, out, capacity, baseDirectory);
}
int BuildFullPathW(const char16_t* path, char16_t* out, size_t capacity, const char16_t* baseDirectory) {
    const PublicCall call("BuildFullPathW");
    return FullPath(path, out, capacity, baseDirectory);
}
int BuildRelativePath(const char* filePath, const char* baseDirectory, char* out, size_t capacity) {
    const PublicCall call("BuildRelativePath");
    return RelativePath(filePath, baseDirectory, out, capacity);
}
int BuildRelativePathW(const char16_t* filePath, const char16_t* baseDirectory, char16_t* out, size_t capacity) {
    const PublicCall call("BuildRelativePathW");
    return RelativePath(filePath, baseDirectory, out, capacity);
}
int SplitPathNameAndDir(const char* path, char* nameOut, size_t nameCapacity, char* dirOut, size_t dirCapacity) {
    const PublicCall call("SplitPathNameAndDir");
    return SplitNameAndDir(path, nameOut, nameCapacity, dirOut, dirCapacity);
}
int SplitPathNameAndDirW(const char16_t* path, char16_t* nameOut, size_t nameCapacity, char16_t* dirOut,
                         size_t dirCapacity) {
    const PublicCall call("SplitPathNameAndDirW");
    return SplitNameAndDir(path, nameOut, nameCapacity, dirOut, dirCapacity);
}
