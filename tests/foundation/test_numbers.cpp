// Number parsing, truncation, 128-bit arithmetic and rectangle clipping.
#include "engine/numbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

TEST(Numbers, ParseDecimalInt) {
    EXPECT_EQ(ParseDecimalInt("123"), 123);
    EXPECT_EQ(ParseDecimalInt("width = 640;"), 640);
    EXPECT_EQ(ParseDecimalInt("x=-42y"), -42);
    EXPECT_EQ(ParseDecimalInt("12.9"), 12);
    EXPECT_EQ(ParseDecimalInt("no digits here"), -1);
    EXPECT_EQ(ParseDecimalInt(""), -1);
    EXPECT_EQ(ParseDecimalInt(nullptr), -1);
    EXPECT_EQ(ParseDecimalInt("- 5"), 0);  // the '-' is found first, then no digits
    EXPECT_EQ(ParseDecimalInt("--5"), 0);
    EXPECT_EQ(ParseDecimalInt("007"), 7);
    EXPECT_EQ(ParseDecimalInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseDecimalInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseDecimalInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseDecimalInt("-2147483649"), INT_MIN);
    EXPECT_EQ(ParseDecimalInt("99999999999999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseDecimalInt("-99999999999999999999999999999999999999"), INT_MIN);
}

TEST(Numbers, ParseDecimalDouble) {
    EXPECT_EQ(ParseDecimalDouble("1.5"), 1.5);
    EXPECT_EQ(ParseDecimalDouble("-0.25"), -0.25);
    EXPECT_EQ(ParseDecimalDouble("12"), 12.0);
    EXPECT_EQ(ParseDecimalDouble("3."), 3.0);
    EXPECT_EQ(ParseDecimalDouble(".5"), 0.5);
    EXPECT_EQ(ParseDecimalDouble("2.5e3"), 2500.0);
    EXPECT_EQ(ParseDecimalDouble("2.5E-2"), 0.025);
    EXPECT_EQ(ParseDecimalDouble("1e+2"), 100.0);
    EXPECT_EQ(ParseDecimalDouble("0.1"), 0.1);  // correctly rounded
    // The scan ends at anything else; a dangling exponent is not consumed.
    EXPECT_EQ(ParseDecimalDouble("7.25px"), 7.25);
    EXPECT_EQ(ParseDecimalDouble("4e"), 4.0);
    EXPECT_EQ(ParseDecimalDouble("4e-x"), 4.0);
    EXPECT_EQ(ParseDecimalDouble("1,5"), 1.0);
    // No digits, or forms that only a general parser knows.
    EXPECT_EQ(ParseDecimalDouble(""), 0.0);
    EXPECT_EQ(ParseDecimalDouble("-"), 0.0);
    EXPECT_EQ(ParseDecimalDouble("-.e5"), 0.0);
    EXPECT_EQ(ParseDecimalDouble("abc"), 0.0);
    EXPECT_EQ(ParseDecimalDouble("inf"), 0.0);
    EXPECT_EQ(ParseDecimalDouble("0x10"), 0.0);
    EXPECT_EQ(ParseDecimalDouble("+1"), 0.0);
    EXPECT_EQ(ParseDecimalDouble(nullptr), 0.0);
    EXPECT_TRUE(std::isinf(ParseDecimalDouble("1e999999999999999999")));
}

TEST(Numbers, TruncationSaturates) {
    EXPECT_EQ(TruncateFloatToInt(2.9f), 2);
    EXPECT_EQ(TruncateFloatToInt(-2.9f), -2);
    EXPECT_EQ(TruncateDoubleToInt(-0.5), 0);
    EXPECT_EQ(TruncateDoubleToInt(2147483647.9), INT_MAX);
    EXPECT_EQ(TruncateDoubleToInt(-2147483648.9), INT_MIN);
    EXPECT_EQ(TruncateDoubleToInt(3e9), INT_MAX);
    EXPECT_EQ(TruncateDoubleToInt(-3e9), INT_MIN);
    EXPECT_EQ(TruncateFloatToInt(3e9f), INT_MAX);
    EXPECT_EQ(TruncateFloatToInt(-3e9f), INT_MIN);
    EXPECT_EQ(TruncateFloatToInt(2147483648.0f), INT_MAX);
    EXPECT_EQ(TruncateDoubleToInt(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(TruncateDoubleToInt(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(TruncateDoubleToInt(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(TruncateFloatToInt(std::numeric_limits<float>::quiet_NaN()), 0);

    EXPECT_EQ(ComputeAbsInt(-5), 5);
    EXPECT_EQ(ComputeAbsInt(5), 5);
    EXPECT_EQ(ComputeAbsInt(0), 0);
    EXPECT_EQ(ComputeAbsInt(INT_MIN + 1), INT_MAX);
    EXPECT_EQ(ComputeAbsInt(INT_MIN), INT_MIN);
}

namespace {

void Split64(uint64_t v, uint32_t out[2]) {
    out[0] = uint32_t(v);
    out[1] = uint32_t(v >> 32);
}

unsigned __int128 Join128(const uint32_t w[4]) {
    unsigned __int128 v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 32) | w[i];
    return v;
}

}  // namespace

TEST(Numbers, MultiplyAndDivide128AgainstNative) {
    const uint64_t values[] = {0, 1, 2, 0xFFFFFFFFull, 0x100000000ull, 0x123456789ABCDEFull,
                               0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull, 1000000007ull};
    for (uint64_t x : values) {
        for (uint64_t y : values) {
            uint32_t a[2], b[2], product[4];
            Split64(x, a);
            Split64(y, b);
            MultiplyTo128Bits(a, b, product);
            unsigned __int128 want = static_cast<unsigned __int128>(x) * y;
            ASSERT_TRUE(Join128(product) == want) << x << " * " << y;

            // Divide the product (plus a remainder below the divisor) back.
            if (y == 0) continue;
            unsigned __int128 n = want + (y - 1);
            uint32_t dividend[4], quotient[2];
            for (int i = 0; i < 4; ++i) dividend[i] = uint32_t(n >> (32 * i));
            DivideFrom128Bits(dividend, b, quotient);
            EXPECT_EQ(quotient[0] | (uint64_t(quotient[1]) << 32), uint64_t(n / y)) << x << " / " << y;
        }
    }
    // A quotient wider than 64 bits keeps its low half.
    uint32_t dividend[4] = {5, 0, 7, 3}, divisor[2] = {2, 0}, quotient[2];
    DivideFrom128Bits(dividend, divisor, quotient);
    uint64_t want = uint64_t(Join128(dividend) / 2);
    EXPECT_EQ(quotient[0] | (uint64_t(quotient[1]) << 32), want);

    uint32_t zero[2] = {0, 0};
    DivideFrom128Bits(dividend, zero, quotient);
    EXPECT_EQ(quotient[0], 0xFFFFFFFFu);
    EXPECT_EQ(quotient[1], 0xFFFFFFFFu);
}

namespace {

struct Rect {
    int v[4];
};

Rect Clip(Rect r, const Rect& clip) {
    EXPECT_EQ(ClipRectangle(r.v, clip.v), 0);
    return r;
}

void ExpectRect(const Rect& r, int l, int t, int rt, int b) {
    EXPECT_EQ(r.v[0], l);
    EXPECT_EQ(r.v[1], t);
    EXPECT_EQ(r.v[2], rt);
    EXPECT_EQ(r.v[3], b);
}

}  // namespace

TEST(Clip, InsideAndPartlyOutside) {
    const Rect screen{{0, 0, 640, 480}};
    ExpectRect(Clip({{10, 20, 30, 40}}, screen), 10, 20, 30, 40);
    ExpectRect(Clip({{0, 0, 640, 480}}, screen), 0, 0, 640, 480);
    ExpectRect(Clip({{-10, 20, 30, 40}}, screen), 0, 20, 30, 40);
    ExpectRect(Clip({{600, 20, 700, 40}}, screen), 600, 20, 640, 40);
    ExpectRect(Clip({{10, -5, 30, 40}}, screen), 10, 0, 30, 40);
    ExpectRect(Clip({{10, 470, 30, 500}}, screen), 10, 470, 30, 480);
    ExpectRect(Clip({{-100, -100, 1000, 1000}}, screen), 0, 0, 640, 480);
    const Rect window{{100, 50, 200, 150}};
    ExpectRect(Clip({{90, 40, 110, 60}}, window), 100, 50, 110, 60);
}

TEST(Clip, WhollyOutsideEachSideIsEmpty) {
    const Rect clip{{100, 50, 200, 150}};
    ExpectRect(Clip({{10, 60, 50, 70}}, clip), 100, 60, 100, 70);     // left
    ExpectRect(Clip({{250, 60, 300, 70}}, clip), 200, 60, 200, 70);   // right
    ExpectRect(Clip({{120, 0, 130, 10}}, clip), 120, 50, 130, 50);    // above
    ExpectRect(Clip({{120, 300, 130, 310}}, clip), 120, 150, 130, 150);  // below
    ExpectRect(Clip({{0, 0, 10, 10}}, clip), 100, 50, 100, 50);       // corner
}

TEST(Clip, InvertedRectIsRaisedFirst) {
    const Rect clip{{0, 0, 100, 100}};
    // right < left and bottom < top become empty at left/top.
    ExpectRect(Clip({{50, 60, 10, 20}}, clip), 50, 60, 50, 60);
    // Raised first, then clamped: the empty rect lands on the clip edge.
    ExpectRect(Clip({{150, -20, 120, -40}}, clip), 100, 0, 100, 0);
    Rect r{{1, 2, 3, 4}};
    EXPECT_EQ(ClipRectangle(r.v, nullptr), -1) << "no clip: refused, the rectangle left as it was";
    ExpectRect(r, 1, 2, 3, 4);
}
