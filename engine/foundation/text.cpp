// Byte strings in code page 932 and UTF-16 text. Every scan steps over
// double-byte characters whole, since a trail byte can look like ASCII
// ('\\', '|', letters), and stops at a NUL even right after a lead byte.
#include "engine/text.h"

#include "foundation/ascii_fold.h"
#include "platform/codepage.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

using namespace morpotta;

namespace {

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Bytes in the character starting at p: 2 for a lead byte with a trail
// behind it, 0 at the end, else 1.
size_t CharBytes(const char* p) {
    auto c = static_cast<unsigned char>(p[0]);
    if (c == 0) return 0;
    if (IsLead(c) && IsTrail(static_cast<unsigned char>(p[1]))) return 2;
    return 1;
}

}  // namespace

int CompareText(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : 1;
    return std::strcmp(a, b) == 0 ? 0 : 1;
}

int CompareTextIgnoreCase(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : 1;
    for (;;) {
        size_t n = CharBytes(a);
        if (n == 0) return *b == 0 ? 0 : 1;
        if (n == 2) {
            // Trail bytes are compared exactly: folding them would merge
            // different characters.
            if (a[0] != b[0] || a[1] != b[1]) return 1;
        } else if (FoldAscii(static_cast<unsigned char>(*a)) != FoldAscii(static_cast<unsigned char>(*b))) {
            return 1;
        }
        a += n;
        b += n;
    }
}

int CopyText(char* destination, const char* source) {
    if (!destination || !source) return -1;
    size_t n = std::strlen(source);
    std::memmove(destination, source, n + 1);
    return static_cast<int>(n);
}

int CopyTextLimited(char* destination, const char* source, size_t capacity) {
    if (!destination || capacity == 0) return -1;
    if (!source) {
        destination[0] = 0;
        return -1;
    }
    size_t used = 0;
    for (const char* p = source;;) {
        size_t n = CharBytes(p);
        if (n == 0 || used + n > capacity - 1) break;
        std::memcpy(destination + used, p, n);
        used += n;
        p += n;
    }
    destination[used] = 0;
    return static_cast<int>(used);
}

size_t WideTextLength(const char16_t* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

int CopyWideText(char16_t* destination, const char16_t* source) {
    if (!destination || !source) return -1;
    size_t n = WideTextLength(source);
    std::memmove(destination, source, (n + 1) * sizeof(char16_t));
    return static_cast<int>(n);
}

int AppendWideText(char16_t* destination, const char16_t* source) {
    if (!destination || !source) return -1;
    size_t start = WideTextLength(destination);
    size_t n = WideTextLength(source);
    std::memmove(destination + start, source, (n + 1) * sizeof(char16_t));
    return static_cast<int>(start + n);
}

int IsMultiByteLeadByte(const void* byte, int charSet) {
    if (!byte || charSet != 0) return 0;
    return IsLead(*static_cast<const unsigned char*>(byte)) ? 1 : 0;
}

const char* NextCharInText(const char* p) {
    if (!p) return nullptr;
    return p + CharBytes(p);
}

const char* FindCharInText(const char* text, int ch) {
    if (!text) return nullptr;
    auto want = static_cast<unsigned char>(ch);
    for (const char* p = text;; p += CharBytes(p)) {
        size_t n = CharBytes(p);
        if (n < 2 && static_cast<unsigned char>(*p) == want) return p;
        if (n == 0) return nullptr;
    }
}

const char* FindSubText(const char* text, const char* part) {
    if (!text || !part) return nullptr;
    size_t length = std::strlen(part);
    if (length == 0) return text;
    // Matches only at character starts, so a trail byte never begins one.
    for (const char* p = text; *p; p += CharBytes(p))
        if (std::strncmp(p, part, length) == 0) return p;
    return nullptr;
}

int FormatString(char* out, size_t capacity, const char* format, ...) {
    if (!out || capacity == 0) return -1;
    if (!format) {
        out[0] = 0;
        return -1;
    }
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out, capacity, format, args);
    va_end(args);
    if (n < 0) {
        out[0] = 0;
        return -1;
    }
    return static_cast<size_t>(n) < capacity ? n : static_cast<int>(capacity - 1);
}

bool ConvertCp932ToUtf8(const std::string& in, std::string* out) {
    return out && platform::Cp932ToUtf8(in, *out);
}

bool ConvertUtf8ToCp932(const std::string& in, std::string* out) {
    return out && platform::Utf8ToCp932(in, *out);
}

bool ConvertCp932ToUtf16(const std::string& in, std::u16string* out) {
    return out && platform::Cp932ToUtf16(in, *out);
}

bool ConvertUtf16ToCp932(const std::u16string& in, std::string* out) {
    return out && platform::Utf16ToCp932(in, *out);
}
