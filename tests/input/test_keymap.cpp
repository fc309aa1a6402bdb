// The SDL scancode table, checked against scancode numbers (USB usages)
// written out here, so the test does not share the table's names.
#include "sdl2/input_sdl2.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace morpotta;

namespace {

using platform::KeyNumberFromSdlScancode;

TEST(KeyMapTest, KeysTheGameNamesSitWhereTheyShould) {
    const std::map<int, int> expected = {
        {69, 0x58},   // F12
        {42, 0x0E},   // Backspace
        {76, 0xD3},   // Delete
        {225, 0x2A},  // left Shift
        {229, 0x36},  // right Shift
        {40, 0x1C},   // Enter
        {41, 0x01},   // Escape
        {58, 0x3B},   // F1
        {82, 0xC8},   // up
        {79, 0xCD},   // right
        {81, 0xD0},   // down
        {80, 0xCB},   // left
        {44, 0x39},   // space
    };
    for (auto [scancode, key] : expected) EXPECT_EQ(KeyNumberFromSdlScancode(scancode), key) << scancode;
}

TEST(KeyMapTest, JapaneseLayoutKeysFollowPhysicalPosition) {
    EXPECT_EQ(KeyNumberFromSdlScancode(46), 0x90);   // right of '-': '^'
    EXPECT_EQ(KeyNumberFromSdlScancode(137), 0x7D);  // yen
    EXPECT_EQ(KeyNumberFromSdlScancode(47), 0x91);   // right of P: '@'
    EXPECT_EQ(KeyNumberFromSdlScancode(48), 0x1A);   // then '['
    EXPECT_EQ(KeyNumberFromSdlScancode(52), 0x92);   // right of ';': ':'
    EXPECT_EQ(KeyNumberFromSdlScancode(49), 0x1B);   // then ']'
    EXPECT_EQ(KeyNumberFromSdlScancode(50), 0x1B);   // the same place on ISO boards
    EXPECT_EQ(KeyNumberFromSdlScancode(135), 0x2B);  // right of '/'
}

TEST(KeyMapTest, LettersAndDigitsFollowTheRows) {
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int firstKey[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r)
        for (int i = 0; rows[r][i]; ++i)
            EXPECT_EQ(KeyNumberFromSdlScancode(4 + rows[r][i] - 'A'), firstKey[r] + i) << rows[r][i];
    for (int d = 1; d <= 9; ++d) EXPECT_EQ(KeyNumberFromSdlScancode(29 + d), 1 + d);
    EXPECT_EQ(KeyNumberFromSdlScancode(39), 0x0B);  // 0
}

TEST(KeyMapTest, EveryKeyOfTheGamesKeyboardTableIsReachable) {
    const int table[] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x90, 0x7D,
                         0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x91, 0x1A,
                         0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x92, 0x1B,
                         0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x2B, 0x39};
    std::set<int> reachable;
    for (int s = 0; s < 512; ++s) reachable.insert(KeyNumberFromSdlScancode(s));
    for (int key : table) EXPECT_TRUE(reachable.count(key)) << std::hex << key;
}

TEST(KeyMapTest, NoTwoPlacesShareANumberButTheOneKeyOfTwoLayouts) {
    std::map<int, int> seen;
    for (int s = 0; s < 512; ++s) {
        int key = KeyNumberFromSdlScancode(s);
        if (!key) continue;
        EXPECT_LT(key, 256);
        if (seen.count(key)) {
            EXPECT_EQ(key, 0x1B) << "scancodes " << seen[key] << " and " << s;
        }
        seen[key] = s;
    }
}

TEST(KeyMapTest, UnknownAndOutOfRangeScancodesHaveNoKey) {
    EXPECT_EQ(KeyNumberFromSdlScancode(0), 0);
    EXPECT_EQ(KeyNumberFromSdlScancode(-1), 0);
    EXPECT_EQ(KeyNumberFromSdlScancode(512), 0);
    EXPECT_EQ(KeyNumberFromSdlScancode(1 << 30), 0);
}

}  // namespace
