// Fields of the game's hand-written text files (map sets, scenario scripts):
// every read is bounded by the range it is given, never by a terminator.
#pragma once
#include <cstdint>
#include <string_view>

namespace textfields {

// The C library's decimal conversion over `text`: leading white space, an
// optional sign, then digits up to the first other byte. No digits give 0;
// a value beyond 32 bits saturates. The bytes used (white space included)
// go to *used when asked for.
int32_t ReadDecimal(std::string_view text, size_t* used = nullptr);

// `text` cut at its first line feed (the line feed left out).
std::string_view LineOf(std::string_view text);

}  // namespace textfields
