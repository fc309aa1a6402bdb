// Stream tables over files and over memory.
#include "engine/files.h"
#include "engine/stream.h"
#include "file_test_util.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MemStreamTest, ReadsSeeksAndEndFlag) {
    const std::string data = PatternBytes(100, 3);
    MemStream* m = OpenMemStream(data.data(), data.size());
    ASSERT_NE(m, nullptr);
    StreamData s = MakeMemStreamData(m);
    char b[100];
    EXPECT_EQ(s.functions.eof(s.handle), 0);
    EXPECT_EQ(s.functions.read(b, 4, 5, s.handle), 5u);
    EXPECT_EQ(std::memcmp(b, data.data(), 20), 0);
    EXPECT_EQ(s.functions.tell(s.handle), 20);
    EXPECT_EQ(s.functions.seek(s.handle, -10, 2), 0);
    EXPECT_EQ(s.functions.read(b, 4, 5, s.handle), 2u);  // 10 bytes: two whole elements
    EXPECT_EQ(std::memcmp(b, data.data() + 90, 10), 0);
    EXPECT_NE(s.functions.eof(s.handle), 0);
    EXPECT_EQ(m->eof, 1);
    EXPECT_EQ(s.functions.seek(s.handle, 50, 0), 0);
    EXPECT_EQ(m->eof, 0);
    EXPECT_EQ(s.functions.seek(s.handle, 3, 1), 0);
    EXPECT_EQ(s.functions.tell(s.handle), 53);
    EXPECT_EQ(s.functions.seek(s.handle, -54, 1), -1);
    EXPECT_EQ(s.functions.seek(s.handle, 0, 3), -1);
    EXPECT_EQ(s.functions.tell(s.handle), 53);
    EXPECT_EQ(s.functions.idle(s.handle), 1);
    EXPECT_EQ(s.functions.seek(s.handle, 500, 0), 0);
    EXPECT_EQ(s.functions.read(b, 1, 1, s.handle), 0u);
    EXPECT_EQ(s.functions.read(nullptr, 1, 1, s.handle), 0u);
    EXPECT_EQ(s.functions.close(s.handle), 0);  // the record only; data stays
    EXPECT_EQ(data.size(), 100u);
}

TEST(MemStreamTest, EmptyAndBadBlocks) {
    EXPECT_EQ(OpenMemStream(nullptr, 5), nullptr);
    MemStream* m = OpenMemStream(nullptr, 0);
    ASSERT_NE(m, nullptr);
    char b[1];
    EXPECT_NE(GetMemStreamTable()->eof(reinterpret_cast<uintptr_t>(m)), 0);
    EXPECT_EQ(GetMemStreamTable()->read(b, 1, 1, reinterpret_cast<uintptr_t>(m)), 0u);
    EXPECT_EQ(CloseMemStream(m), 0);
    EXPECT_EQ(CloseMemStream(nullptr), -1);
    EXPECT_EQ(GetMemStreamTable()->tell(0), -1);
    EXPECT_EQ(GetMemStreamTable()->read(b, 1, 1, 0), 0u);
}

TEST(FileStreamTest, ReadsAFileThroughStreamData) {
    ScopedTempDir dir;
    const std::string data = PatternBytes(300, 9);
    WriteHostFile(dir.path() / "Sound" / "a.ogg", data);
    FileHandle f = OpenFileStream("sound\\A.ogg", 0, 1, 0);
    ASSERT_NE(f, 0u);
    StreamData s = MakeFileStreamData(f);
    char b[300];
    EXPECT_EQ(s.functions.seek(s.handle, 100, 0), 0);
    EXPECT_EQ(s.functions.read(b, 1, 300, s.handle), 200u);
    EXPECT_EQ(std::memcmp(b, data.data() + 100, 200), 0);
    EXPECT_NE(s.functions.eof(s.handle), 0);
    EXPECT_EQ(s.functions.tell(s.handle), 300);
    EXPECT_EQ(s.functions.idle(s.handle), 1);
    EXPECT_EQ(s.functions.close(s.handle), 0);
    EXPECT_EQ(s.functions.close(s.handle), -1);
}

}  // namespace
