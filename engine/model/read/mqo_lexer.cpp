// MQO tokenizer. Every read is bounded by the data's size; a character
// that starts no token is an error that leaves the position where it was,
// so every caller must stop there.
#include "model/read/mqo_lexer.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/numbers.h"
#include "engine/text.h"

namespace morpotta {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNumberChar(char c) { return c == '-' || c == '.' || IsDigit(c); }
bool IsWordChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

// Copies data[from, to) as the token; false when it does not fit.
bool TakeToken(MqoText* t, size_t from, size_t to) {
    if (to - from >= kMqoTokenMax) return false;
    std::memcpy(t->token, t->data + from, to - from);
    t->token[to - from] = 0;
    t->position = to;
    return true;
}

MqoTokenResult ReadQuotedToken(MqoText* t, size_t start) {
    size_t at = start + 1;
    while (at < t->size && t->data[at] != '"') {
        if (IsMultiByteLeadByte(t->data + at) && at + 1 < t->size) ++at;
        ++at;
    }
    if (at >= t->size) return MQO_TOKEN_ERROR;  // no closing quote
    return TakeToken(t, start, at + 1) ? MQO_TOKEN_OK : MQO_TOKEN_ERROR;
}

template <typename Pred>
MqoTokenResult ReadRun(MqoText* t, size_t start, Pred keep) {
    size_t at = start + 1;
    while (at < t->size && keep(t->data[at])) ++at;
    return TakeToken(t, start, at) ? MQO_TOKEN_OK : MQO_TOKEN_ERROR;
}

}  // namespace

MqoTokenResult NextMqoToken(MqoText* t) {
    size_t at = t->position;
    while (at < t->size && IsSpace(t->data[at])) ++at;
    if (at >= t->size) {
        t->position = at;
        t->token[0] = 0;
        return MQO_TOKEN_END;
    }
    char c = t->data[at];
    MqoTokenResult result = MQO_TOKEN_ERROR;
    if (c == '"') result = ReadQuotedToken(t, at);
    else if (c == '(' || c == ')' || c == '{' || c == '}') result = TakeToken(t, at, at + 1) ? MQO_TOKEN_OK : MQO_TOKEN_ERROR;
    else if (IsNumberChar(c)) result = ReadRun(t, at, [](char k) { return IsNumberChar(k); });
    else if (IsLetter(c)) result = ReadRun(t, at, [](char k) { return IsWordChar(k); });
    if (result == MQO_TOKEN_ERROR) t->token[0] = 0;
    return result;
}

char PeekMqoLine(MqoText* t) {
    while (t->position < t->size && (t->data[t->position] == ' ' || t->data[t->position] == '\t')) ++t->position;
    return t->position < t->size ? t->data[t->position] : 0;
}

bool PeekMqoLineWord(MqoText* t, const char* prefix) {
    PeekMqoLine(t);
    size_t length = std::strlen(prefix);
    return t->size - t->position >= length && std::memcmp(t->data + t->position, prefix, length) == 0;
}

bool IsMqoWordToken(const char* token) { return IsLetter(token[0]); }

bool ExpectMqoToken(MqoText* t, const char* expected) {
    // The expected token read in place when it stands there whole (the
    // common case); anything else takes the tokenizer's road.
    size_t at = t->position;
    while (at < t->size && IsSpace(t->data[at])) ++at;
    size_t length = std::strlen(expected);
    if (length > 0 && length < kMqoTokenMax && t->size - at >= length &&
        std::memcmp(t->data + at, expected, length) == 0) {
        bool word = IsLetter(expected[0]);
        bool whole = !word || at + length == t->size || !IsWordChar(t->data[at + length]);
        if (whole && (word || length == 1)) {
            std::memcpy(t->token, expected, length + 1);
            t->position = at + length;
            return true;
        }
    }
    return NextMqoToken(t) == MQO_TOKEN_OK && std::strcmp(t->token, expected) == 0;
}

namespace {


const double kDecimalPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A number token [p, end) as a double. Up to 15 significant digits and 22
// decimals, digits / 10^k is one correctly rounded division of exact
// values, the same result the general parser gives; other tokens take the
// general parser.
double ParseNumberSpan(const char* p, const char* end) {
    const char* start = p;
    bool negative = p < end && *p == '-';
    if (negative) ++p;
    uint64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (; p < end; ++p) {
        if (*p == '.') {
            if (point) break;
            point = true;
            continue;
        }
        if (*p < '0' || *p > '9') break;
        if (digits == 0 && *p == '0') {
            if (point) ++decimals;
            continue;
        }
        digits = digits * 10 + uint64_t(*p - '0');
        ++count;
        if (point) ++decimals;
    }
    if (p != end || count > 15 || decimals > 22) {
        char copy[kMqoTokenMax];
        size_t length = size_t(end - start) < sizeof(copy) ? size_t(end - start) : sizeof(copy) - 1;
        std::memcpy(copy, start, length);
        copy[length] = 0;
        return ParseDecimalDouble(copy);
    }
    double v = double(digits) / kDecimalPowers[decimals];
    return negative ? -v : v;
}

bool HasDigit(const char* p, const char* end) {
    for (; p < end; ++p)
        if (IsDigit(*p)) return true;
    return false;
}

// The next token when it is a number, read in place: true with its value
// (ok false when it holds no digit); false, with nothing read, for any
// other token. The common token (an optional leading '-', digits and at
// most one '.', within the exact range of ParseNumberSpan, which it matches
// bit for bit) is scanned and valued in one pass; others take the full
// path.
bool ReadNumberInPlace(MqoText* t, double* value, bool* ok) {
    size_t at = t->position;
    while (at < t->size && IsSpace(t->data[at])) ++at;
    if (at >= t->size || !IsNumberChar(t->data[at])) return false;
    const char* p = t->data + at;
    const char* limit = t->data + t->size;
    const bool negative = *p == '-';
    uint64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false, anyDigit = false, plain = true;
    const char* q = p + (negative ? 1 : 0);
    for (; q < limit; ++q) {
        char c = *q;
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (digits == 0 && c == '0') {
                decimals += point;
                continue;
            }
            if (++count > 15) plain = false;
            digits = digits * 10 + uint64_t(c - '0');
            decimals += point;
        } else if (c == '.') {
            if (point) plain = false;
            point = true;
        } else if (c == '-') {
            plain = false;
        } else {
            break;
        }
    }
    size_t end = size_t(q - t->data);
    if (end - at >= kMqoTokenMax) return false;  // the tokenizer reports it
    t->position = end;
    if (plain && decimals <= 22) {
        *ok = anyDigit;
        double v = anyDigit ? double(digits) / kDecimalPowers[decimals] : 0.0;
        *value = negative && anyDigit ? -v : v;
        return true;
    }
    *ok = HasDigit(p, q);
    *value = *ok ? ParseNumberSpan(p, q) : 0.0;
    return true;
}

// The next token as a number; false when it is none or holds no digit.
bool ReadNumber(MqoText* t, double* value) {
    bool ok = false;
    if (ReadNumberInPlace(t, value, &ok)) return ok;
    NextMqoToken(t);  // not a number: taken all the same
    return false;
}

}  // namespace

float ReadMqoFloat(MqoText* t) {
    double v = 0.0;
    if (!ReadNumber(t, &v)) return -1.0f;
    // Beyond the float range counts as a failed number, as a non-finite one would.
    return std::fabs(v) <= double(FLT_MAX) ? float(v) : -1.0f;
}

int ReadMqoInt(MqoText* t) {
    double v = 0.0;
    if (!ReadNumber(t, &v)) return -1;
    if (!(v > -2147483648.0 && v < 2147483647.0)) return -1;  // also refuses NaN
    return int(v);
}

bool ReadMqoColour(MqoText* t, unsigned int* out) {
    double v = 0.0;
    if (!ReadNumber(t, &v)) return false;
    if (!(v >= 0.0)) v = 0.0;
    if (v > 4294967295.0) v = 4294967295.0;
    *out = static_cast<unsigned int>(v);
    return true;
}

bool ReadMqoQuoted(MqoText* t, char* out, size_t capacity) {
    if (NextMqoToken(t) != MQO_TOKEN_OK) return false;
    size_t length = std::strlen(t->token);
    if (length < 2 || t->token[0] != '"' || t->token[length - 1] != '"' || length - 2 >= capacity) return false;
    std::memcpy(out, t->token + 1, length - 2);
    out[length - 2] = 0;
    return true;
}

MqoTokenResult SkipMqoChunk(MqoText* t) {
    for (;;) {
        MqoTokenResult r = NextMqoToken(t);
        if (r != MQO_TOKEN_OK) return r;
        if (std::strcmp(t->token, "{") == 0) break;
    }
    for (int depth = 1; depth > 0;) {
        MqoTokenResult r = NextMqoToken(t);
        if (r != MQO_TOKEN_OK) return r;
        if (std::strcmp(t->token, "{") == 0) ++depth;
        else if (std::strcmp(t->token, "}") == 0) --depth;
    }
    return MQO_TOKEN_OK;
}

}  // namespace morpotta
