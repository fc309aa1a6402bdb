// Plain files through the file table: case-insensitive resolution, reads,
// seeks, end of file, stale handles, directories, searches, temp files.
#include "engine/files.h"
#include "engine/log.h"
#include "file_test_util.h"
#include "foundation/subsystems.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

using namespace morpotta;

QuietLog::QuietLog() { SetLogOutput(0); }
QuietLog::~QuietLog() { SetLogOutput(1); }

namespace {

class PlainFileTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        SetUseArchive(GetParam());
        content_ = PatternBytes(1000, 7);
        WriteHostFile(dir_.path() / "tpa" / "mapBlock3D" / "data.bin", content_);
    }
    void TearDown() override { SetUseArchive(1); }
    QuietLog quiet_;
    ScopedTempDir dir_;
    std::string content_;
};

std::string ReadAll(const char* path) {
    FileHandle f = OpenFileStream(path, 0, 1, 0);
    if (!f) return "<none>";
    std::string s(size_t(GetFileSizeByName(path)), '\0');
    size_t n = ReadFileStream(s.data(), 1, s.size(), f);
    CloseFileStream(f);
    s.resize(n);
    return s;
}

TEST_P(PlainFileTest, EverySpellingOfAFolderOpensTheSameFile) {
    EXPECT_EQ(ReadAll("tpa\\mapBlock3D\\data.bin"), content_);
    EXPECT_EQ(ReadAll("tpa\\mapblock3D\\data.bin"), content_);
    EXPECT_EQ(ReadAll("TPA/MAPBLOCK3D/DATA.BIN"), content_);
    EXPECT_EQ(ReadAll("./tpa/x/../mapBlock3D/data.bin"), content_);
    EXPECT_EQ(OpenFileToRead("tpa\\mapBlock3D\\missing.bin", 0), 0u);
    EXPECT_EQ(OpenFileToRead("tpa\\mapBlock3D", 0), 0u);  // a directory is no file
    EXPECT_EQ(GetFileSizeByName("tpa\\nothing"), -1);
}

TEST_P(PlainFileTest, DoubleByteNamesWithTrail5C) {
    // "ソフト\表.txt" in code page 932; on the host the same names in UTF-8.
    WriteHostFile(dir_.path() / "\u30bd\u30d5\u30c8" / "\u8868.txt", "hyou");
    EXPECT_EQ(ReadAll("\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt"), "hyou");
    EXPECT_EQ(ReadAll("\x83\x5C\x83\x74\x83\x67\\\x95\x5C.TXT"), "hyou");
}

TEST_P(PlainFileTest, ReadsSeeksAndEndOfFile) {
    FileHandle f = OpenFileStream("tpa\\mapBlock3D\\data.bin", 0, 1, 0);
    ASSERT_NE(f, 0u);
    char buffer[1000];
    EXPECT_EQ(EofFileStream(f), 0);
    EXPECT_EQ(ReadFileStream(buffer, 10, 3, f), 3u);
    EXPECT_EQ(std::memcmp(buffer, content_.data(), 30), 0);
    EXPECT_EQ(TellFileStream(f), 30);
    EXPECT_EQ(SeekFileStream(f, 5, 1), 0);
    EXPECT_EQ(TellFileStream(f), 35);
    EXPECT_EQ(ReadFileStream(buffer, 1, 1, f), 1u);
    EXPECT_EQ(buffer[0], content_[35]);
    EXPECT_EQ(SeekFileStream(f, -4, 2), 0);
    EXPECT_EQ(TellFileStream(f), 996);
    // Whole elements only: 4 bytes left, elements of 3.
    EXPECT_EQ(ReadFileStream(buffer, 3, 5, f), 1u);
    EXPECT_EQ(TellFileStream(f), 1000);
    EXPECT_NE(EofFileStream(f), 0);
    EXPECT_EQ(ReadFileStream(buffer, 1, 10, f), 0u);
    EXPECT_EQ(SeekFileStream(f, 100, 0), 0);
    EXPECT_EQ(EofFileStream(f), 0);
    EXPECT_EQ(SeekFileStream(f, -101, 1), -1);
    EXPECT_EQ(SeekFileStream(f, 0, 7), -1);
    EXPECT_EQ(TellFileStream(f), 100);
    EXPECT_EQ(SeekFileStream(f, 5000, 0), 0);  // past the end is allowed, reads nothing
    EXPECT_EQ(ReadFileStream(buffer, 1, 1, f), 0u);
    EXPECT_EQ(GetFileAccessTable()->idle(f), 1);
    EXPECT_EQ(CloseFileStream(f), 0);
}

TEST_P(PlainFileTest, WholeFileReadHelpers) {
    EXPECT_EQ(GetFileSizeByName("tpa\\mapblock3d\\data.bin"), 1000);
    FileHandle f = OpenFileToRead("tpa\\mapblock3d\\data.bin", 0);
    ASSERT_NE(f, 0u);
    std::string s(1200, '\0');
    EXPECT_EQ(ReadFromFile(s.data(), s.size(), f), 1000u);
    EXPECT_EQ(s.substr(0, 1000), content_);
    EXPECT_EQ(CloseFileStream(f), 0);
    EXPECT_EQ(CloseFileStream(0), 0);
}

TEST_P(PlainFileTest, StaleAndMadeUpHandlesAreRefused) {
    FileHandle f = OpenFileStream("tpa\\mapBlock3D\\data.bin", 0, 1, 0);
    ASSERT_NE(f, 0u);
    ASSERT_EQ(CloseFileStream(f), 0);
    char b[4];
    EXPECT_EQ(CloseFileStream(f), -1);
    EXPECT_EQ(ReadFileStream(b, 1, 4, f), 0u);
    EXPECT_EQ(TellFileStream(f), -1);
    EXPECT_EQ(SeekFileStream(f, 0, 0), -1);
    EXPECT_NE(EofFileStream(f), 0);
    EXPECT_EQ(GetFileAccessTable()->idle(f), -1);
    // A new file in the reused slot is not reachable through the old handle.
    FileHandle g = OpenFileStream("tpa\\mapBlock3D\\data.bin", 0, 1, 0);
    ASSERT_NE(g, 0u);
    EXPECT_NE(g, f);
    EXPECT_EQ(TellFileStream(f), -1);
    EXPECT_EQ(ReadFileStream(b, 1, 4, FileHandle(12345)), 0u);
    EXPECT_EQ(CloseFileStream(g), 0);
}

TEST_P(PlainFileTest, OnlyRegularFilesOpen) {
    // A FIFO with no writer must not stall the open.
    std::string fifo = (dir_.path() / "tpa" / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenFileStream("tpa\\pipe", 0, 1, 0), 0u);
    EXPECT_EQ(OpenFileStream("tpa", 0, 1, 0), 0u);
}

TEST_P(PlainFileTest, OverLongPathsFailCleanly) {
    std::string path = "tpa\\" + std::string(300, 'x');
    EXPECT_EQ(OpenFileStream(path.c_str(), 0, 1, 0), 0u);
    EXPECT_EQ(OpenFileStream("..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\x", 0, 1, 0), 0u);
    EXPECT_EQ(OpenFileStream(nullptr, 0, 1, 0), 0u);
}

TEST_P(PlainFileTest, DirectoriesAndSearches) {
    WriteHostFile(dir_.path() / "tpa" / "mapBlock3D" / "b.BIN", "bb");
    WriteHostFile(dir_.path() / "tpa" / "mapBlock3D" / "c.txt", "c");
    const FileAccessTable* t = GetFileAccessTable();
    FileFindData found{};
    FileHandle find = t->findFirst("TPA\\mapblock3d\\*.bin", &found);
    ASSERT_NE(find, 0u);
    std::vector<std::string> names{found.name};
    while (t->findNext(find, &found) == 0) names.push_back(found.name);
    EXPECT_EQ(names, (std::vector<std::string>{"b.BIN", "data.bin"}));
    EXPECT_EQ(t->findClose(find), 0);
    EXPECT_EQ(t->findClose(find), -1);
    EXPECT_EQ(t->findFirst("tpa\\*.none", &found), 0u);
    find = t->findFirst("tpa\\m?pBlock3*", &found);
    ASSERT_NE(find, 0u);
    EXPECT_STREQ(found.name, "mapBlock3D");
    EXPECT_EQ(found.isDirectory, 1);
    t->findClose(find);

    ASSERT_EQ(t->setDirectory("tpa\\MAPBLOCK3D"), 0);
    EXPECT_EQ(GetFileSizeByName("data.bin"), 1000);
    char current[kMaxPathBytes];
    ASSERT_EQ(t->getDirectory(current, sizeof current), 0);
    EXPECT_NE(std::string(current).find("\\tpa\\mapBlock3D"), std::string::npos);
    EXPECT_EQ(t->setDirectory("no\\such\\dir"), -1);
    EXPECT_EQ(t->setDirectory("data.bin"), -1);
}

TEST_P(PlainFileTest, StartDirectoryIsRestoredAtShutDown) {
    subsystems::InstallFileFunctions();
    ASSERT_EQ(GetFileAccessTable()->setDirectory("tpa"), 0);
    EXPECT_EQ(GetFileSizeByName("mapBlock3D\\data.bin"), 1000);
    subsystems::RestoreStartDirectory();
    EXPECT_EQ(GetFileSizeByName("tpa\\mapBlock3D\\data.bin"), 1000);
}

INSTANTIATE_TEST_SUITE_P(BothFileSets, PlainFileTest, ::testing::Values(0, 1));

TEST(TempFileTest, MakesAnEmptyWritableFile) {
    QuietLog quiet;
    char path[kMaxPathBytes];
    std::FILE* f = CreateTempFile(path, sizeof path);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fputs("abc", f) >= 0, true);
    std::fclose(f);
    EXPECT_EQ(std::filesystem::file_size(path), 3u);
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("tmp", 0), 0u);
    EXPECT_TRUE(std::filesystem::path(path).is_absolute());
    // The engine can read it back through its own paths.
    EXPECT_EQ(GetFileSizeByName(path), 3);
    std::filesystem::remove(path);
    char tiny[4];
    EXPECT_EQ(CreateTempFile(tiny, sizeof tiny), nullptr);
}

}  // namespace
