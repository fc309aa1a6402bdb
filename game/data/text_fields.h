// Fields of the game's hand-written text files (map sets, scenario scripts):
// every read is bounded by the range it is given, never by a terminator.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace textfields {

// The C library's decimal conversion over `text`: leading white space, an
// optional sign, then digits up to the first other byte. No digits give 0;
// a value beyond 32 bits saturates. The bytes used (white space included)
// go to *used when asked for.
int32_t ReadDecimal(std::string_view text, size_t* used = nullptr);

// `text` cut at its first line feed (the line feed left out).
std::string_view LineOf(std::string_view text);

// The `count` bytes of `source` from `position`: fewer where the source
// ends first, none from past its end.
std::string MakeSubstring(std::string_view source, size_t position, size_t count);
// 0 when the first n bytes of a and b are the same; nonzero otherwise,
// and when either holds fewer than n bytes.
int CompareBytes(std::string_view a, std::string_view b, size_t n);

}  // namespace textfields
