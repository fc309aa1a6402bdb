#include "game/data/text_fields.h"

#include <cstring>

namespace textfields {

int32_t ReadDecimal(std::string_view text, size_t* used) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const size_t digits = i;
    // One past INT32_MAX is the largest magnitude either sign can hold.
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (i == digits) {  // no number: nothing is used
        if (used) *used = 0;
        return 0;
    }
    if (used) *used = i;
    return int32_t(negative ? -value : value);
}

std::string_view LineOf(std::string_view text) {
    const size_t end = text.find('\n');
    return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string MakeSubstring(std::string_view source, size_t position, size_t count) {
    if (position >= source.size()) return std::string();
    return std::string(source.substr(position, count));
}

int CompareBytes(std::string_view a, std::string_view b, size_t n) {
    if (a.size() < n || b.size() < n) return 1;
    return n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
}

}  // namespace textfields
