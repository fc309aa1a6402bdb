// Path algebra: absolute, relative and split forms, with double-byte names
// whose trail byte is 0x5C.
#include "engine/files.h"
#include "engine/log.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// "表" and "ソ" end in 0x5C, the byte of '\'.
const std::string kOmote = "\x95\x5C";
const std::string kSo = "\x83\x5C";

std::string Full(const char* path, const char* base) {
    char out[kMaxPathBytes];
    if (BuildFullPath(path, out, sizeof out, base) != 0) return "<fail>";
    return out;
}

std::string Relative(const char* file, const char* base) {
    char out[kMaxPathBytes];
    if (BuildRelativePath(file, base, out, sizeof out) != 0) return "<fail>";
    return out;
}

class PathTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogOutput(0); }
    void TearDown() override { SetLogOutput(1); }
};

TEST_F(PathTest, FullPathJoinsAndNormalises) {
    EXPECT_EQ(Full("tpa\\a.png", "\\base\\dir"), "\\base\\dir\\tpa\\a.png");
    EXPECT_EQ(Full("tpa/mapScene/a.png", "\\base"), "\\base\\tpa\\mapScene\\a.png");
    EXPECT_EQ(Full(".\\x\\..\\y\\.\\z", "\\base"), "\\base\\y\\z");
    EXPECT_EQ(Full("a\\\\b//c", "\\base"), "\\base\\a\\b\\c");
    EXPECT_EQ(Full("..\\up", "\\base\\dir"), "\\base\\up");
    EXPECT_EQ(Full("\\rooted\\x", "\\base\\dir"), "\\rooted\\x");
    EXPECT_EQ(Full("tpa\\mapBlock3D\\", "\\base"), "\\base\\tpa\\mapBlock3D\\");
    EXPECT_EQ(Full("", "\\base"), "\\base");
    EXPECT_EQ(Full("x", "rel"), Full("rel\\x", nullptr));
}

TEST_F(PathTest, FullPathHandlesDrivesAndShares) {
    EXPECT_EQ(Full("C:\\a\\..\\b", nullptr), "C:\\b");
    EXPECT_EQ(Full("x", "C:\\game"), "C:\\game\\x");
    EXPECT_EQ(Full("\\x", "C:\\game"), "C:\\x");
    EXPECT_EQ(Full("c:x", "C:\\game"), "C:\\game\\x");
    EXPECT_EQ(Full("D:x", "C:\\game"), "D:\\x");
    EXPECT_EQ(Full("\\\\srv\\share\\a\\..\\b", nullptr), "\\\\srv\\share\\b");
    EXPECT_EQ(Full("x", "\\\\srv\\share\\dir"), "\\\\srv\\share\\dir\\x");
    EXPECT_EQ(Full("\\\\srv", nullptr), "\\\\srv\\");
}

TEST_F(PathTest, FullPathRefusesEscapesAndShortBuffers) {
    char out[16] = "junk";
    EXPECT_EQ(BuildFullPath("\\..\\x", out, sizeof out, nullptr), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(Full("..\\..\\..\\x", "\\a"), "<fail>");
    EXPECT_EQ(Full("C:\\..", nullptr), "<fail>");
    std::strcpy(out, "junk");
    EXPECT_EQ(BuildFullPath("a-rather-long-name.png", out, sizeof out, "\\base"), -1);
    EXPECT_STREQ(out, "");
    std::string longPath(400, 'a');
    char big[kMaxPathBytes];
    EXPECT_EQ(BuildFullPath(longPath.c_str(), big, sizeof big, "\\b"), -1);
    EXPECT_EQ(BuildFullPath(nullptr, big, sizeof big, "\\b"), -1);
}

TEST_F(PathTest, TrailByte5CIsNotASeparator) {
    std::string path = kOmote + "\\a";
    EXPECT_EQ(Full(path.c_str(), "\\b"), "\\b\\" + kOmote + "\\a");
    // ".." removes the whole double-byte component, not half of it.
    std::string up = kSo + kOmote + "\\..\\z";
    EXPECT_EQ(Full(up.c_str(), "\\b"), "\\b\\z");
    std::string ending = "dir\\" + kSo;
    EXPECT_EQ(Full(ending.c_str(), "\\b"), "\\b\\dir\\" + kSo);
}

TEST_F(PathTest, NullBaseUsesTheCurrentDirectory) {
    ScopedTempDir dir;
    char current[kMaxPathBytes];
    ASSERT_EQ(GetFileStreamCurrentDir(current, sizeof current), 0);
    std::string expected = dir.path().string();
    for (char& c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(std::string(current), expected);
    EXPECT_EQ(Full("tpa\\x", nullptr), expected + "\\tpa\\x");
    char tiny[4];
    EXPECT_EQ(GetFileStreamCurrentDir(tiny, sizeof tiny), -1);
}

TEST_F(PathTest, WideFullPath) {
    char16_t out[kMaxPathBytes];
    ASSERT_EQ(BuildFullPathW(u"tpa/a.png", out, kMaxPathBytes, u"C:\\g"), 0);
    EXPECT_EQ(std::u16string(out), u"C:\\g\\tpa\\a.png");
    ASSERT_EQ(BuildFullPathW(u"\u8868\\..\\b", out, kMaxPathBytes, u"\\r"), 0);
    EXPECT_EQ(std::u16string(out), u"\\r\\b");
    EXPECT_EQ(BuildFullPathW(u"\\..", out, kMaxPathBytes, nullptr), -1);
    EXPECT_EQ(BuildFullPathW(u"abc", out, 3, u"\\r"), -1);
}

TEST_F(PathTest, RelativePathClimbsOncePerLevel) {
    EXPECT_EQ(Relative("\\a\\b\\c.png", "\\a\\d\\e"), "..\\..\\b\\c.png");
    EXPECT_EQ(Relative("\\a\\b\\c.png", "\\a"), "b\\c.png");
    EXPECT_EQ(Relative("\\A\\B\\c", "\\a\\b\\"), "c");
    EXPECT_EQ(Relative("\\a", "\\a"), ".");
    EXPECT_EQ(Relative("\\a\\dir\\", "\\a"), "dir\\");
    EXPECT_EQ(Relative("D:\\x", "C:\\y"), "D:\\x");
    EXPECT_EQ(Relative("\\..", "\\a"), "<fail>");
}

TEST_F(PathTest, RelativePathComparesDoubleByteNamesExactly) {
    // 0x83 0x41 and 0x83 0x61 are two katakana, not one letter in two cases.
    std::string file = "\\\x83\x41\\x";
    std::string base = "\\\x83\x61";
    EXPECT_EQ(Relative(file.c_str(), base.c_str()), "..\\\x83\x41\\x");
    std::string same = "\\\x83\x41";
    EXPECT_EQ(Relative(file.c_str(), same.c_str()), "x");
}

TEST_F(PathTest, WideRelativePath) {
    char16_t out[kMaxPathBytes];
    ASSERT_EQ(BuildRelativePathW(u"\\a\\b\\c", u"\\a\\x", out, kMaxPathBytes), 0);
    EXPECT_EQ(std::u16string(out), u"..\\b\\c");
}

TEST_F(PathTest, SplitAtLastSeparatorOrColon) {
    char name[64], dir[64];
    ASSERT_EQ(SplitPathNameAndDir("tpa\\mapScene/a.png", name, sizeof name, dir, sizeof dir), 0);
    EXPECT_STREQ(name, "a.png");
    EXPECT_STREQ(dir, "tpa\\mapScene/");
    ASSERT_EQ(SplitPathNameAndDir("C:a.png", name, sizeof name, dir, sizeof dir), 0);
    EXPECT_STREQ(name, "a.png");
    EXPECT_STREQ(dir, "C:");
    ASSERT_EQ(SplitPathNameAndDir("plain", name, sizeof name, nullptr, 0), 0);
    EXPECT_STREQ(name, "plain");
    std::string dbcs = "d\\" + kOmote + kSo;
    ASSERT_EQ(SplitPathNameAndDir(dbcs.c_str(), name, sizeof name, dir, sizeof dir), 0);
    EXPECT_EQ(std::string(name), kOmote + kSo);
    EXPECT_STREQ(dir, "d\\");
    EXPECT_EQ(SplitPathNameAndDir("dir\\longname", name, 4, dir, sizeof dir), -1);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(SplitPathNameAndDir(nullptr, name, sizeof name, dir, sizeof dir), -1);
}

TEST_F(PathTest, WideSplit) {
    char16_t name[32], dir[32];
    ASSERT_EQ(SplitPathNameAndDirW(u"a/b\\c.x", name, 32, dir, 32), 0);
    EXPECT_EQ(std::u16string(name), u"c.x");
    EXPECT_EQ(std::u16string(dir), u"a/b\\");
}

}  // namespace
