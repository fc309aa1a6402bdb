// Byte strings in the engine's code page (932, Shift-JIS) and UTF-16 text.
#pragma once
#include <cstddef>
#include <string>

constexpr int EngineCodePage = 932;

int CompareText(const char* a, const char* b);            // 0 equal, 1 otherwise
int CompareTextIgnoreCase(const char* a, const char* b);  // ASCII letters only
int CopyText(char* destination, const char* source);
// Copies at most capacity - 1 bytes and always terminates (capacity > 0).
// A double-byte character that does not fit whole is left out.
int CopyTextLimited(char* destination, const char* source, size_t capacity);
int CopyWideText(char16_t* destination, const char16_t* source);
int AppendWideText(char16_t* destination, const char16_t* source);
size_t WideTextLength(const char16_t* text);

// 1 when the byte starts a double-byte character of the character set
// (0 = Shift-JIS: 0x81-0x9F, 0xE0-0xFC), else 0.
int IsMultiByteLeadByte(const void* byte, int charSet = 0);
// The next character after p: two bytes on for a lead byte followed by a
// trail, one otherwise, never past the terminating NUL.
const char* NextCharInText(const char* p);
// First single-byte occurrence of ch, stepping over double-byte characters.
const char* FindCharInText(const char* text, int ch);
const char* FindSubText(const char* text, const char* part);

// sprintf into a buffer of the given capacity; the result is cut to fit and
// always terminated. Returns the length written, or -1 on a bad argument.
int FormatString(char* out, size_t capacity, const char* format, ...) __attribute__((format(printf, 3, 4)));
template <size_t N, typename... Args>
int FormatStringInto(char (&out)[N], const char* format, Args... args) {
    return FormatString(out, N, format, args...);
}

// Code page 932 <-> UTF-8 / UTF-16; false when the input is not valid.
bool ConvertCp932ToUtf8(const std::string& in, std::string* out);
bool ConvertUtf8ToCp932(const std::string& in, std::string* out);
bool ConvertCp932ToUtf16(const std::string& in, std::u16string* out);
bool ConvertUtf16ToCp932(const std::u16string& in, std::string* out);
