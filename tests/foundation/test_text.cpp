// Code page 932 byte strings: double-byte scanning, limited copies,
// formatting and conversion.
#include "engine/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// "モルポッタ_v1.00" in both encodings. The trail of "ポ" is '|' and the
// trail of "タ" is '^'.
const std::string kTitleCp932 = "\x83\x82\x83\x8B\x83\x7C\x83\x62\x83\x5E_v1.00";
const std::string kTitleUtf8 = "\xE3\x83\xA2\xE3\x83\xAB\xE3\x83\x9D\xE3\x83\x83\xE3\x82\xBF_v1.00";

// "表" (0x95 0x5C): its trail byte is a backslash.
const char kHyou[] = "\x95\x5C";

}  // namespace

TEST(Text, LeadBytesOfShiftJis) {
    for (int c = 0; c < 256; ++c) {
        unsigned char byte = static_cast<unsigned char>(c);
        int want = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(IsMultiByteLeadByte(&byte), want) << c;
    }
    unsigned char lead = 0x81;
    EXPECT_EQ(IsMultiByteLeadByte(&lead, 1), 0);  // only Shift-JIS is known
    EXPECT_EQ(IsMultiByteLeadByte(nullptr), 0);
}

TEST(Text, TrailBackslashIsNotASeparator) {
    std::string path = std::string("dir") + kHyou + "\\file.txt";
    const char* sep = FindCharInText(path.c_str(), '\\');
    ASSERT_NE(sep, nullptr);
    EXPECT_EQ(sep - path.c_str(), 5);  // not 4, the trail of the kanji

    std::string noSep = std::string(kHyou) + kHyou;
    EXPECT_EQ(FindCharInText(noSep.c_str(), '\\'), nullptr);
    EXPECT_EQ(FindCharInText(kTitleCp932.c_str(), '|'), nullptr);
    EXPECT_EQ(FindCharInText(kTitleCp932.c_str(), '^'), nullptr);
    EXPECT_EQ(FindCharInText(kTitleCp932.c_str(), '_'), kTitleCp932.c_str() + 10);
    // NUL is found at the end, like strchr.
    const char* ab = "ab";
    EXPECT_EQ(FindCharInText(ab, 0), ab + 2);

    // A substring never starts on a trail byte.
    EXPECT_EQ(FindSubText(noSep.c_str(), "\\\x95"), nullptr);
    EXPECT_EQ(FindSubText(path.c_str(), "\\file"), path.c_str() + 5);
    EXPECT_EQ(FindSubText(path.c_str(), ""), path.c_str());
}

TEST(Text, ScansStopAtNulAfterLeadByte) {
    // A lead byte right before the terminator, with guard bytes behind that
    // a careless scan would read.
    const char buffer[] = {'a', '\x95', '\0', '\\', 'x', '\0'};
    const char* p = NextCharInText(buffer);
    EXPECT_EQ(p, buffer + 1);
    p = NextCharInText(p);
    EXPECT_EQ(p, buffer + 2);
    EXPECT_EQ(NextCharInText(p), p);  // stays on the NUL
    EXPECT_EQ(FindCharInText(buffer, '\\'), nullptr);
    EXPECT_EQ(FindCharInText(buffer, 'x'), nullptr);

    char out[8];
    std::memset(out, 0x7E, sizeof out);
    EXPECT_EQ(CopyTextLimited(out, buffer, sizeof out), 2);
    EXPECT_EQ(out[2], '\0');
    EXPECT_EQ(out[3], 0x7E);

    EXPECT_EQ(CompareTextIgnoreCase(buffer, "A\x95"), 0);
    EXPECT_NE(NextCharInText(kHyou), kHyou + 1);
    EXPECT_EQ(NextCharInText(kHyou), kHyou + 2);
}

TEST(Text, CopyTextLimitedKeepsCharactersWhole) {
    char out[6];
    // "ab" + モ + ル: the second kanji would need bytes 4 and 5 of 5 usable.
    const char* text = "ab\x83\x82\x83\x8B";
    std::memset(out, 0x7E, sizeof out);
    EXPECT_EQ(CopyTextLimited(out, text, 6), 4);
    EXPECT_STREQ(out, "ab\x83\x82");
    EXPECT_EQ(out[5], 0x7E);
    EXPECT_EQ(CopyTextLimited(out, text, 4), 2);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(CopyTextLimited(out, "abcdefgh", 6), 5);
    EXPECT_STREQ(out, "abcde");
    EXPECT_EQ(CopyTextLimited(out, "abc", 1), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CopyTextLimited(out, "abc", 0), -1);
    EXPECT_EQ(CopyTextLimited(nullptr, "abc", 4), -1);

    EXPECT_EQ(CopyText(out, "xyz"), 3);
    EXPECT_STREQ(out, "xyz");
}

TEST(Text, Comparisons) {
    EXPECT_EQ(CompareText("abc", "abc"), 0);
    EXPECT_EQ(CompareText("abc", "abd"), 1);
    EXPECT_EQ(CompareText("abd", "abc"), 1);
    EXPECT_EQ(CompareText("abc", "ab"), 1);
    EXPECT_EQ(CompareText(nullptr, "a"), 1);
    EXPECT_EQ(CompareTextIgnoreCase("Data/Stage1.BIN", "data/stage1.bin"), 0);
    EXPECT_EQ(CompareTextIgnoreCase("ab", "abc"), 1);
    EXPECT_EQ(CompareTextIgnoreCase("[", "{"), 1);
    // Trails in the ASCII letter range are not folded: "ア" is 0x83 0x41,
    // "ヂ" is 0x83 0x61.
    EXPECT_EQ(CompareTextIgnoreCase("\x83\x41", "\x83\x61"), 1);
    EXPECT_EQ(CompareTextIgnoreCase("X\x83\x41", "x\x83\x41"), 0);
}

TEST(Text, WideText) {
    char16_t buf[16];
    EXPECT_EQ(CopyWideText(buf, u"モルポ"), 3);
    EXPECT_EQ(AppendWideText(buf, u"ッタ"), 5);
    EXPECT_EQ(std::u16string(buf), u"モルポッタ");
    EXPECT_EQ(WideTextLength(buf), 5u);
    EXPECT_EQ(WideTextLength(u""), 0u);
    EXPECT_EQ(WideTextLength(nullptr), 0u);
}

TEST(Text, FormatStringTruncatesAndTerminates) {
    char out[8];
    std::memset(out, 0x7E, sizeof out);
    EXPECT_EQ(FormatString(out, 5, "%d-%s", 42, "abcdef"), 4);
    EXPECT_STREQ(out, "42-a");
    EXPECT_EQ(out[5], 0x7E);  // nothing beyond the capacity
    EXPECT_EQ(FormatString(out, sizeof out, "%s", "ok"), 2);
    EXPECT_STREQ(out, "ok");
    EXPECT_EQ(FormatString(out, 1, "%s", "x"), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(FormatString(out, 0, "%s", "x"), -1);
    EXPECT_EQ(FormatString(nullptr, 8, "%s", "x"), -1);
    EXPECT_EQ(FormatStringInto(out, "%05d|%s", 7, "tail"), 7);
    EXPECT_STREQ(out, "00007|t");
}

TEST(Text, Cp932ConversionRoundTrip) {
    std::string utf8, cp932;
    ASSERT_TRUE(ConvertCp932ToUtf8(kTitleCp932, &utf8));
    EXPECT_EQ(utf8, kTitleUtf8);
    ASSERT_TRUE(ConvertUtf8ToCp932(kTitleUtf8, &cp932));
    EXPECT_EQ(cp932, kTitleCp932);

    std::u16string wide;
    ASSERT_TRUE(ConvertCp932ToUtf16(kTitleCp932, &wide));
    EXPECT_EQ(wide, u"モルポッタ_v1.00");
    ASSERT_TRUE(ConvertUtf16ToCp932(wide, &cp932));
    EXPECT_EQ(cp932, kTitleCp932);

    ASSERT_TRUE(ConvertCp932ToUtf8(kHyou, &utf8));
    EXPECT_EQ(utf8, "\xE8\xA1\xA8");
    ASSERT_TRUE(ConvertCp932ToUtf8("", &utf8));
    EXPECT_EQ(utf8, "");
}

TEST(Text, InvalidCp932IsRejected) {
    std::string out = "stale";
    EXPECT_FALSE(ConvertCp932ToUtf8("ab\x83", &out));      // lead byte with no trail
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ConvertCp932ToUtf8("\x85\x40", &out));    // unassigned row
    EXPECT_FALSE(ConvertCp932ToUtf8("\xA0", &out));        // not a character
    EXPECT_FALSE(ConvertUtf8ToCp932("\xFF\xFE", &out));    // not UTF-8
    EXPECT_FALSE(ConvertUtf8ToCp932("\xF0\x9F\x98\x80", &out));  // no CP932 form
    std::u16string wide;
    EXPECT_FALSE(ConvertCp932ToUtf16("\x95", &wide));
    EXPECT_FALSE(ConvertUtf16ToCp932(std::u16string(1, char16_t(0xD800)), &out));  // lone surrogate
    EXPECT_FALSE(ConvertCp932ToUtf8("a", nullptr));
}
