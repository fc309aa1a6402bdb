// Number routines. Parsing and conversion saturate instead of overflowing:
// their input comes from data files and must never reach undefined
// behaviour.
#include "engine/numbers.h"
#include "foundation/public_call.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace morpotta;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int TruncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0) return INT_MAX;
    if (v <= -2147483649.0) return INT_MIN;
    return static_cast<int>(v);
}

uint64_t JoinHalves(uint32_t low, uint32_t high) { return (uint64_t(high) << 32) | low; }

}  // namespace

int ParseDecimalInt(const char* text) {
    if (!text) return RefuseNullIn("ParseDecimalInt", "text");
    const char* p = text;
    while (*p && !IsDigit(*p) && *p != '-') ++p;
    if (!*p) return -1;
    bool negative = *p == '-';
    if (negative) ++p;
    // One past INT_MAX is the largest magnitude either sign can hold.
    const uint64_t limit = negative ? uint64_t(INT_MAX) + 1 : uint64_t(INT_MAX);
    uint64_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + uint64_t(*p - '0');
        if (value > limit) value = limit;
    }
    if (negative) return value == limit ? INT_MIN : -static_cast<int>(value);
    return static_cast<int>(value);
}

double ParseDecimalDouble(const char* text) {
    if (!text) return RefuseNullIn("ParseDecimalDouble", "text"), 0.0;
    const char* p = text;
    if (*p == '-') ++p;
    const char* digits = p;
    while (IsDigit(*p)) ++p;
    bool any = p != digits;
    if (*p == '.') {
        const char* fraction = ++p;
        while (IsDigit(*p)) ++p;
        any = any || p != fraction;
    }
    if (!any) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            while (IsDigit(*q)) ++q;
            p = q;
        }
    }
    // Only the span checked above reaches strtod, so none of its other
    // forms (hex, "inf", leading blanks) can slip in. The program never
    // changes the locale, so '.' is the decimal point.
    std::string span(text, size_t(p - text));
    return std::strtod(span.c_str(), nullptr);
}

int TruncateFloatToInt(float v) { return TruncateToInt(static_cast<double>(v)); }

int TruncateDoubleToInt(double v) { return TruncateToInt(v); }

int ComputeAbsInt(int v) {
    if (v >= 0) return v;
    return static_cast<int>(0u - static_cast<unsigned>(v));
}

void MultiplyTo128Bits(const uint32_t a[2], const uint32_t b[2], uint32_t product[4]) {
    if (!a || !b || !product) {
        RefuseNullIn("MultiplyTo128Bits", product ? "factor" : "product");
        return;
    }
    unsigned __int128 p = static_cast<unsigned __int128>(JoinHalves(a[0], a[1])) * JoinHalves(b[0], b[1]);
    for (int i = 0; i < 4; ++i) product[i] = static_cast<uint32_t>(p >> (32 * i));
}

void DivideFrom128Bits(const uint32_t dividend[4], const uint32_t divisor[2], uint32_t quotient[2]) {
    if (!dividend || !divisor || !quotient) {
        RefuseNullIn("DivideFrom128Bits", !quotient ? "quotient" : !divisor ? "divisor" : "dividend");
        return;
    }
    uint64_t d = JoinHalves(divisor[0], divisor[1]);
    if (d == 0) {
        quotient[0] = quotient[1] = 0xFFFFFFFFu;
        return;
    }
    unsigned __int128 n = (static_cast<unsigned __int128>(JoinHalves(dividend[2], dividend[3])) << 64) |
                          JoinHalves(dividend[0], dividend[1]);
    auto q = static_cast<uint64_t>(n / d);
    quotient[0] = static_cast<uint32_t>(q);
    quotient[1] = static_cast<uint32_t>(q >> 32);
}

int ClipRectangle(int rect[4], const int clip[4]) {
    if (!rect || !clip) return RefuseNullIn("ClipRectangle", rect ? "clip" : "rectangle");
    auto clamp = [](int& v, int low, int high) {
        if (v < low) v = low;
        if (v > high) v = high;
    };
    if (rect[2] < rect[0]) rect[2] = rect[0];
    if (rect[3] < rect[1]) rect[3] = rect[1];
    clamp(rect[3], clip[1], clip[3]);
    clamp(rect[1], clip[1], clip[3]);
    clamp(rect[2], clip[0], clip[2]);
    clamp(rect[0], clip[0], clip[2]);
    return 0;
}
