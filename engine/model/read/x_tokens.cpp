// Tokens and values of X files in both encodings. Every read is bounded by
// the data's end; binary values are little-endian at any alignment.
//
// Text: separators (by default space, CR, LF, tab, ',' and ';') and
// comments ("//" or "#" to the end of the line) lie between tokens; a
// double-byte character is never split, so its trail byte is never taken
// for a brace or a separator.
//
// Binary: each token starts with a 16-bit code; NAME is followed by a
// 32-bit length and the characters, STRING by a length, the characters and
// a two-byte terminator token, INTEGER by one 32-bit value, GUID by 16
// bytes, INTEGER_LIST and FLOAT_LIST by a 32-bit count and the values
// (floats of 4 bytes, or 8 in a file of 64-bit floats); every other token
// is its code alone.
#include <charconv>
#include <cstdint>
#include <cstring>

#include "engine/text.h"
#include "model/read/x_file.h"

namespace morpotta {

namespace {

uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t ReadU64(const uint8_t* p) { return uint64_t(ReadU32(p)) | (uint64_t(ReadU32(p + 4)) << 32); }

float FloatAt(const uint8_t* p, bool doubles) {
    if (doubles) {
        uint64_t bits = ReadU64(p);
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        return float(d);
    }
    uint32_t bits = ReadU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

bool Has(const XTokenStream* s, uint64_t bytes) { return bytes <= s->end - s->position; }

// Skips separators and comments.
void SkipTextSpace(XTokenStream* s) {
    const uint8_t* d = s->data;
    size_t at = s->position, end = s->end;
    while (at < end) {
        uint8_t c = d[at];
        if (s->isSeparator[c]) {
            ++at;
        } else if (c == '#' || (c == '/' && at + 1 < end && d[at + 1] == '/')) {
            while (at < end && d[at] != '\n') ++at;
        } else {
            break;
        }
    }
    s->position = at;
}

bool EndsTextToken(const XTokenStream* s, size_t at) {
    uint8_t c = s->data[at];
    return s->isSeparator[c] || c == '{' || c == '}' || c == '#' ||
           (c == '/' && at + 1 < s->end && s->data[at + 1] == '/');
}

// From the position to the end of the token (double-byte aware).
size_t TextTokenEnd(const XTokenStream* s) {
    size_t at = s->position;
    while (at < s->end && !EndsTextToken(s, at)) at += IsMultiByteLeadByte(s->data + at) && at + 1 < s->end ? 2 : 1;
    return at;
}

// The byte size of the binary token at the position, or 0 when its bytes
// run past the data.
uint64_t BinaryTokenSize(const XTokenStream* s) {
    if (!Has(s, 2)) return 0;
    const uint8_t* p = s->data + s->position;
    uint64_t size = 2;
    switch (ReadU16(p)) {
    case X_TOKEN_NAME:
    case X_TOKEN_STRING:
        if (!Has(s, 6)) return 0;
        size = 6 + uint64_t(ReadU32(p + 2)) + (ReadU16(p) == X_TOKEN_STRING ? 2 : 0);
        break;
    case X_TOKEN_INTEGER: size = 6; break;
    case X_TOKEN_GUID: size = 18; break;
    case X_TOKEN_INTEGER_LIST:
    case X_TOKEN_FLOAT_LIST: {
        if (!Has(s, 6)) return 0;
        uint64_t width = ReadU16(p) == X_TOKEN_FLOAT_LIST && s->doubles ? 8 : 4;
        size = 6 + uint64_t(ReadU32(p + 2)) * width;
        break;
    }
    default: break;
    }
    return Has(s, size) ? size : 0;
}

// Moves the binary cursor to a list of the wanted type with values left.
XValueResult OpenBinaryList(XTokenStream* s, int wanted) {
    if (s->listLeft > 0) return s->listType == wanted ? X_VALUE_OK : X_VALUE_LEFT_OVER;
    s->listType = 0;
    for (;;) {
        int code = PeekXBinaryToken(s);
        if (code != wanted) return X_VALUE_WRONG_TOKEN;
        if (BinaryTokenSize(s) == 0) return X_VALUE_WRONG_TOKEN;
        uint32_t count = ReadU32(s->data + s->position + 2);
        s->position += 6;
        if (count == 0) continue;  // an empty list holds nothing: on to the next
        s->listType = wanted;
        s->listCount = s->listLeft = count;
        return X_VALUE_OK;
    }
}

struct NumberChars {
    bool is[256];
    constexpr NumberChars() : is() {
        for (int c = '0'; c <= '9'; ++c) is[c] = true;
        for (char c : {'.', '-', '+', 'e', 'E'}) is[uint8_t(c)] = true;
    }
};
constexpr NumberChars kNumberChars;

// A decimal integer with an optional sign; false for anything else or a
// value beyond 64 bits.
bool ParseInteger(const char* first, const char* last, int64_t* out) {
    bool negative = first < last && *first == '-';
    if (negative) ++first;
    if (first == last) return false;
    uint64_t value = 0;
    for (; first < last; ++first) {
        unsigned digit = unsigned(*first) - '0';
        if (digit > 9 || value > (uint64_t(INT64_MAX) - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *out = negative ? -int64_t(value) : int64_t(value);
    return true;
}

XValueResult ReadTextNumber(XTokenStream* s, const char** first, const char** last) {
    SkipTextSpace(s);
    if (s->position >= s->end) return X_VALUE_BAD;
    // Numbers are plain ASCII: most end at the first other character.
    size_t end = s->position;
    while (end < s->end && kNumberChars.is[s->data[end]]) ++end;
    if (end < s->end && !EndsTextToken(s, end)) end = TextTokenEnd(s);
    if (end == s->position) return X_VALUE_BAD;
    *first = reinterpret_cast<const char*>(s->data + s->position);
    *last = reinterpret_cast<const char*>(s->data + end);
    if (**first == '+') ++*first;
    s->position = end;
    return X_VALUE_OK;
}

}  // namespace

void InitXTokenStream(XTokenStream* s, const void* data, size_t size, size_t start, bool binary, bool doubles) {
    std::memset(s, 0, sizeof(*s));
    s->data = static_cast<const uint8_t*>(data);
    s->end = size;
    s->position = start < size ? start : size;
    s->binary = binary;
    s->doubles = doubles;
    static const char kDefault[] = " \r\n\t,;";
    std::memcpy(s->separators, kDefault, sizeof(kDefault) - 1);
    s->separatorCount = int(sizeof(kDefault) - 1);
    for (int i = 0; i < s->separatorCount; ++i) s->isSeparator[uint8_t(s->separators[i])] = true;
}

size_t XBytesLeft(const XTokenStream* s) { return s->end - s->position; }
uint32_t XListLeft(const XTokenStream* s) { return s->binary ? s->listLeft : 0; }

int ReadXTextToken(XTokenStream* s, char* out, size_t capacity) {
    SkipTextSpace(s);
    if (s->position >= s->end) {
        if (capacity) out[0] = 0;
        return 0;
    }
    uint8_t c = s->data[s->position];
    size_t end = c == '{' || c == '}' ? s->position + 1 : TextTokenEnd(s);
    size_t length = end - s->position;
    if (length + 1 > capacity) return -1;
    std::memcpy(out, s->data + s->position, length);
    out[length] = 0;
    s->position = end;
    return int(length);
}

int SkipXTextBlock(XTokenStream* s) {
    int depth = 0;
    for (;;) {
        SkipTextSpace(s);
        if (s->position >= s->end) return depth == 0 ? 0 : -1;
        uint8_t c = s->data[s->position];
        if (c == '}') {
            if (depth == 0) return 0;  // a stray token before the object's end
            ++s->position;
            if (--depth == 0) return 0;
        } else if (c == '{') {
            ++s->position;
            ++depth;
        } else if (c == '"') {
            // Braces in a string are text.
            size_t at = s->position + 1;
            while (at < s->end && s->data[at] != '"') at += IsMultiByteLeadByte(s->data + at) && at + 1 < s->end ? 2 : 1;
            s->position = at < s->end ? at + 1 : at;
        } else {
            size_t end = TextTokenEnd(s);
            s->position = end > s->position ? end : s->position + 1;
        }
    }
}

int PeekXBinaryToken(const XTokenStream* s) { return Has(s, 2) ? ReadU16(s->data + s->position) : -1; }

int SkipXBinaryToken(XTokenStream* s) {
    uint64_t size = BinaryTokenSize(s);
    if (size == 0) return -1;
    s->position += size_t(size);
    return 0;
}

int ReadXBinaryName(XTokenStream* s, char* out, size_t capacity) {
    if (PeekXBinaryToken(s) != X_TOKEN_NAME || BinaryTokenSize(s) == 0) return -1;
    uint32_t length = ReadU32(s->data + s->position + 2);
    if (uint64_t(length) + 1 > capacity) return -1;
    std::memcpy(out, s->data + s->position + 6, length);
    out[length] = 0;
    s->position += 6 + size_t(length);
    return int(length);
}

int SkipXBinaryBlock(XTokenStream* s) {
    int depth = 0;
    for (;;) {
        int code = PeekXBinaryToken(s);
        if (code < 0) return depth == 0 ? 0 : -1;
        if (code == X_TOKEN_CLOSE_BRACE && depth == 0) return 0;
        if (SkipXBinaryToken(s) != 0) return -1;
        if (code == X_TOKEN_OPEN_BRACE) ++depth;
        else if (code == X_TOKEN_CLOSE_BRACE && --depth == 0) return 0;
    }
}

XValueResult ReadXInteger(XTokenStream* s, int64_t* out) {
    if (s->binary) {
        if (s->listLeft == 0 && PeekXBinaryToken(s) == X_TOKEN_INTEGER) {
            if (BinaryTokenSize(s) == 0) return X_VALUE_WRONG_TOKEN;
            *out = ReadU32(s->data + s->position + 2);
            s->position += 6;
            return X_VALUE_OK;
        }
        XValueResult r = OpenBinaryList(s, X_TOKEN_INTEGER_LIST);
        if (r != X_VALUE_OK) return r;
        *out = ReadU32(s->data + s->position);
        s->position += 4;
        --s->listLeft;
        return X_VALUE_OK;
    }
    const char *first, *last;
    if (ReadTextNumber(s, &first, &last) != X_VALUE_OK) return X_VALUE_BAD;
    return ParseInteger(first, last, out) ? X_VALUE_OK : X_VALUE_BAD;
}

XValueResult ReadXFloat(XTokenStream* s, float* out) {
    if (s->binary) {
        XValueResult r = OpenBinaryList(s, X_TOKEN_FLOAT_LIST);
        if (r != X_VALUE_OK) return r;
        *out = FloatAt(s->data + s->position, s->doubles);
        s->position += s->doubles ? 8 : 4;
        --s->listLeft;
        return X_VALUE_OK;
    }
    const char *first, *last;
    if (ReadTextNumber(s, &first, &last) != X_VALUE_OK) return X_VALUE_BAD;
    double value = 0.0;
    auto [end, error] = std::from_chars(first, last, value);
    // Out of range: the nearest representable value, as the C library gives.
    if (error == std::errc::result_out_of_range) error = std::errc();
    if (error != std::errc() || end != last) return X_VALUE_BAD;
    *out = float(value);
    return X_VALUE_OK;
}

XValueResult ReadXString(XTokenStream* s, char* out, size_t capacity) {
    if (s->binary) {
        if (s->listLeft > 0) return X_VALUE_LEFT_OVER;
        if (PeekXBinaryToken(s) != X_TOKEN_STRING || BinaryTokenSize(s) == 0) return X_VALUE_WRONG_TOKEN;
        uint32_t length = ReadU32(s->data + s->position + 2);
        if (uint64_t(length) + 1 > capacity) return X_VALUE_BAD;
        std::memcpy(out, s->data + s->position + 6, length);
        out[length] = 0;
        s->position += 8 + size_t(length);
        return X_VALUE_OK;
    }
    SkipTextSpace(s);
    if (s->position >= s->end || s->data[s->position] != '"') return X_VALUE_BAD;
    size_t at = s->position + 1;
    while (at < s->end && s->data[at] != '"') at += IsMultiByteLeadByte(s->data + at) && at + 1 < s->end ? 2 : 1;
    if (at >= s->end) return X_VALUE_BAD;
    size_t length = at - s->position - 1;
    if (length + 1 > capacity) return X_VALUE_BAD;
    std::memcpy(out, s->data + s->position + 1, length);
    out[length] = 0;
    s->position = at + 1;
    return X_VALUE_OK;
}

}  // namespace morpotta
