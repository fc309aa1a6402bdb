// Tracked memory: totals, the dump, header damage and failure paths.
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/log_internal.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace morpotta;

namespace {

// Runs each test in a fresh directory so that "Log.txt" can be read back.
class MemoryLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldDir_ = std::filesystem::current_path();
        char pattern[] = "/tmp/memtestXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::filesystem::current_path(dir_);
        oldOutput_ = GetLogOutput();
        SetLogOutput(1);
        StartLog();
    }
    void TearDown() override {
        EndLog();
        SetLogOutput(oldOutput_);
        std::filesystem::current_path(oldDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string ReadLog() {
        std::ifstream in(dir_ / "Log.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static int CountLines(const std::string& text, const std::string& part) {
        int n = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }

    std::filesystem::path oldDir_, dir_;
    int oldOutput_ = 1;
};

unsigned char* HeaderBytes(void* p) { return static_cast<unsigned char*>(p) - 64; }

TEST(Memory, TotalsFollowAllocReallocAndFree) {
    MemoryTotals before = GetMemoryTotals();
    void* a = AllocMemory(100, "a.cpp", 1);
    void* b = AllocMemoryZero(300, "b.cpp", 2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(static_cast<unsigned char*>(b)[i], 0) << i;

    MemoryTotals mid = GetMemoryTotals();
    EXPECT_EQ(mid.liveBlocks, before.liveBlocks + 2);
    EXPECT_EQ(mid.liveBytes, before.liveBytes + 400);
    EXPECT_GE(mid.peakBytes, mid.liveBytes);
    EXPECT_EQ(mid.allocationCount, before.allocationCount + 2);

    std::memset(a, 0x5A, 100);
    a = ReallocMemory(a, 5000, "a.cpp", 3);
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(static_cast<unsigned char*>(a)[i], 0x5A) << i;
    EXPECT_EQ(GetMemoryTotals().liveBytes, before.liveBytes + 5300);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks + 2);
    EXPECT_EQ(CheckMemoryBlock(a), 0);

    FreeMemory(a);
    FreeMemory(b);
    FreeMemory(nullptr);
    MemoryTotals after = GetMemoryTotals();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_EQ(after.liveBytes, before.liveBytes);
    EXPECT_GE(after.peakBytes, before.liveBytes + 5300);

    // Null reallocates as a new block; size 0 frees.
    void* c = ReallocMemory(nullptr, 8, "c.cpp", 4);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks + 1);
    EXPECT_EQ(ReallocMemory(c, 0, "c.cpp", 5), nullptr);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks);
}

TEST_F(MemoryLogTest, HugeRequestsFailAndReallocKeepsOldBlock) {
    MemoryTotals before = GetMemoryTotals();
    EXPECT_EQ(AllocMemory(SIZE_MAX, "huge.cpp", 1), nullptr);
    EXPECT_EQ(AllocMemory(SIZE_MAX - 32, "huge.cpp", 2), nullptr);  // would wrap with the header
    EXPECT_EQ(AllocMemoryZero(SIZE_MAX / 2, "huge.cpp", 3), nullptr);

    auto* p = static_cast<unsigned char*>(AllocMemory(64, "keep.cpp", 10));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) p[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(ReallocMemory(p, SIZE_MAX / 2, "keep.cpp", 11), nullptr);
    EXPECT_EQ(CheckMemoryBlock(p), 0);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], i);
    EXPECT_EQ(GetMemoryTotals().liveBytes, before.liveBytes + 64);
    FreeMemory(p);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks);

    std::string log = ReadLog();
    EXPECT_NE(log.find("AllocMemory refused: "), std::string::npos) << log;
    EXPECT_NE(log.find("ReallocMemory refused: "), std::string::npos) << log;
}

TEST_F(MemoryLogTest, DumpListsEveryLiveBlock) {
    int baseline = DumpMemoryBlocks();
    EndLog();
    StartLog();  // a clean file for the dump under test

    void* a = AllocMemory(123, "alpha_source.cpp", 77);
    void* b = AllocMemory(45, "beta_source.cpp", 88);
    void* c = AllocMemory(6, "gamma_source.cpp", 99);
    FreeMemory(b);
    EXPECT_EQ(DumpMemoryBlocks(), baseline + 2);
    std::string log = ReadLog();
    EXPECT_EQ(CountLines(log, "alpha_source.cpp(77)"), 1) << log;
    EXPECT_EQ(CountLines(log, "gamma_source.cpp(99)"), 1) << log;
    EXPECT_EQ(CountLines(log, "beta_source.cpp"), 0) << log;
    EXPECT_EQ(CountLines(log, "123 bytes"), 1) << log;
    EXPECT_EQ(CountLines(log, "\r"), CountLines(log, ""));  // CR LF line ends
    FreeMemory(a);
    FreeMemory(c);
}

TEST_F(MemoryLogTest, DamagedHeaderIsDetectedAndNotFollowed) {
    void* before = AllocMemory(16, "before.cpp", 1);
    void* victim = AllocMemory(32, "victim.cpp", 2);
    void* after = AllocMemory(16, "after.cpp", 3);
    ASSERT_TRUE(before && victim && after);
    EXPECT_EQ(CheckMemoryBlock(victim), 0);
    EXPECT_EQ(CheckAllMemoryBlocks(), 0);

    // An underrun from the block in front scribbles over the size field.
    unsigned char saved[64];
    std::memcpy(saved, HeaderBytes(victim), 64);
    std::memset(HeaderBytes(victim) + 16, 0xEE, 8);
    EXPECT_EQ(CheckMemoryBlock(victim), -1);
    EXPECT_EQ(CheckAllMemoryBlocks(), 1);

    // Freeing it is refused and leaves the list usable for its neighbours.
    MemoryTotals t = GetMemoryTotals();
    FreeMemory(victim);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, t.liveBlocks);
    EXPECT_EQ(ReallocMemory(victim, 64, "victim.cpp", 4), nullptr);
    DumpMemoryBlocks();
    std::string log = ReadLog();
    EXPECT_NE(log.find("CheckMemoryBlock refused: "), std::string::npos) << log;
    EXPECT_NE(log.find("FreeMemory refused: "), std::string::npos) << log;
    EXPECT_EQ(CountLines(log, "before.cpp(1)"), 1) << log;
    EXPECT_EQ(CountLines(log, "after.cpp(3)"), 1) << log;
    EXPECT_EQ(CountLines(log, "victim.cpp"), 0) << log;

    // Repaired, it frees normally.
    std::memcpy(HeaderBytes(victim), saved, 64);
    EXPECT_EQ(CheckMemoryBlock(victim), 0);
    FreeMemory(victim);
    FreeMemory(after);
    FreeMemory(before);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, t.liveBlocks - 3);
    EXPECT_EQ(CheckAllMemoryBlocks(), 0);
}

TEST(Memory, ByteHelpers) {
    unsigned char a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char b[8] = {1, 2, 3, 4, 5, 6, 7, 9};
    EXPECT_EQ(CompareByteSpan(a, b, 7), 0);
    EXPECT_EQ(CompareByteSpan(a, b, 8), 1);
    EXPECT_EQ(CompareByteSpan(b, a, 8), 1);
    EXPECT_EQ(CompareMemoryBlock(a, b, 7), 0);
    EXPECT_NE(CompareMemoryBlock(a, b, 8), 0);
    EXPECT_EQ(CompareByteSpan(nullptr, a, 0), 0);
    EXPECT_EQ(CompareMemoryBlock(a, nullptr, 0), 0);

    FillByteRange(a, 0xAB, 3);
    EXPECT_EQ(a[2], 0xAB);
    EXPECT_EQ(a[3], 4);
    FillByteRange(nullptr, 0, 0);

    // Overlapping copies behave as if through a temporary.
    unsigned char c[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    CopyByteRange(c + 2, c, 6);
    const unsigned char want[8] = {0, 1, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(c, want, 8), 0);
    CopyByteRange(nullptr, nullptr, 0);
}

}  // namespace
