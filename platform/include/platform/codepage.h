// Text conversion at the platform boundary. The engine keeps its strings as
// code page 932 (Shift-JIS) bytes; the host speaks UTF-8, FreeType and some
// entry points UTF-16.
#pragma once
#include <string>

namespace morpotta::platform {

// Each returns false (and leaves out empty) when the input is not valid in
// its source encoding.
bool Cp932ToUtf8(const std::string& in, std::string& out);
bool Utf8ToCp932(const std::string& in, std::string& out);
bool Cp932ToUtf16(const std::string& in, std::u16string& out);
bool Utf16ToCp932(const std::u16string& in, std::string& out);
// Host paths and names (UTF-8) for entry points that take UTF-16.
bool Utf8ToUtf16(const std::string& in, std::u16string& out);
bool Utf16ToUtf8(const std::u16string& in, std::string& out);
// The converters are opened at first use and kept, shared by every thread;
// this closes them (the engine's end). A later conversion opens them again.
void CloseCodePageConverters();

}  // namespace morpotta::platform
