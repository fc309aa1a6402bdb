// Byte strings in code page 932 and UTF-16 text. Every scan steps over
// double-byte characters whole, since a trail byte can look like ASCII
// ('\\', '|', letters), and stops at a NUL even right after a lead byte.
#include "engine/text.h"

#include "foundation/ascii_fold.h"
#include "foundation/public_call.h"
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
    const PublicCall call("CopyText");
    if (!destination || !source) return RefuseNull(destination ? "source" : "destination");
    size_t n = std::strlen(source);
    std::memmove(destination, source, n + 1);
    return static_cast<int>(n);
}

int CopyTextLimited(char* destination, const char* source, size_t capacity) {
    const PublicCall call("CopyTextLimited");
    if (!destination) return RefuseNull("destination");
    if (capacity == 0) return Refuse("a destination of 0 bytes");
    if (!source) {
        destination[0] = 0;
        return RefuseNull("source");
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
    if (!text) return RefuseNullIn("WideTextLength", "text"), 0;
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

int CopyWideText(char16_t* destination, const char16_t* source) {
    const PublicCall call("CopyWideText");
    if (!destination || !source) return RefuseNull(destination ? "source" : "destination");
    size_t n = WideTextLength(source);
    std::memmove(destination, source, (n + 1) * sizeof(char16_t));
    return static_cast<int>(n);
}

int AppendWideText(char16_t* destination, const char16_t* source) {
    const PublicCall call("AppendWideText");
    if (!destination || !source) return RefuseNull(destination ? "source" : "destination");
    size_t start = WideTextLength(destination);
    size_t n = WideTextLength(source);
    std::memmove(destination + start, source, (n + 1) * sizeof(char16_t));
    return static_cast<int>(start + n);
}

int IsMultiByteLeadByte(const void* byte, int charSet) {
    if (!byte) return RefuseNullIn("IsMultiByteLeadByte", "byte"), 0;
    if (charSet != 0) return 0;
    return IsLead(*static_cast<const unsigned char*>(byte)) ? 1 : 0;
}

const char* NextCharInText(const char* p) {
    if (!p) return RefuseNullIn("NextCharInText", "text"), nullptr;
    return p + CharBytes(p);
}

const char* FindCharInText(const char* text, int ch) {
    if (!text) return RefuseNullIn("FindCharInText", "text"), nullptr;
    auto want = static_cast<unsigned char>(ch);
    for (const char* p = text;; p += CharBytes(p)) {
        size_t n = CharBytes(p);
        if (n < 2 && static_cast<unsigned char>(*p) == want) return p;
        if (n == 0) return nullptr;
    }
}

const char* FindSubText(const char* text, const char* part) {
    if (!text || !part) return RefuseNullIn("FindSubText", text ? "part to find" : "text"), nullptr;
    size_t length = std::strlen(part);
    if (length == 0) return text;
    // Matches only at character starts, so a trail byte never begins one.
    for (const char* p = text; *p; p += CharBytes(p))
        if (std::strncmp(p, part, length) == 0) return p;
    return nullptr;
}

int FormatString(char* out, size_t capacity, const char* format, ...) {
    const PublicCall call("FormatString");
    if (!out) return RefuseNull("buffer");
    if (capacity == 0) return Refuse("a buffer of 0 bytes");
    if (!format) {
        out[0] = 0;
        return RefuseNull("format");
    }
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out, capacity, format, args);
    va_end(args);
    if (n < 0) {
        out[0] = 0;
        return Refuse("the format \"%s\" cannot be written", format);
    }
    return static_cast<size_t>(n) < capacity ? n : static_cast<int>(capacity - 1);
}

// Text that is not valid gives false without a line: callers ask to learn
// whether it is.
bool ConvertCp932ToUtf8(const std::string& in, std::string* out) {
    if (!out) return RefuseNullIn("ConvertCp932ToUtf8", "place for the result"), false;
    return platform::Cp932ToUtf8(in, *out);
}

bool ConvertUtf8ToCp932(const std::string& in, std::string* out) {
    if (!out) return RefuseNullIn("ConvertUtf8ToCp932", "place for the result"), false;
    return platform::Utf8ToCp932(in, *out);
}

bool ConvertCp932ToUtf16(const std::string& in, std::u16string* out) {
    if (!out) return RefuseNullIn("ConvertCp932ToUtf16", "place for the result"), false;
    return platform::Cp932ToUtf16(in, *out);
}

bool ConvertUtf16ToCp932(const std::u16string& in, std::string* out) {
    if (!out) return RefuseNullIn("ConvertUtf16ToCp932", "place for the result"), false;
    return platform::Utf16ToCp932(in, *out);
}
