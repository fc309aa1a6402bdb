// The save store flushes its temporary file before the rename and the
// folder after it. fsync is replaced for this test program (a definition in
// the executable wins over the C library's), so the test sees each flush and
// can make one fail.
#include "game/savedata.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct SyncSpy {
    bool recording = false;
    int failCall = 0;  // 1-based call to fail with EIO; 0 fails none
    std::vector<std::string> synced;
};
SyncSpy spy;

std::string PathOfDescriptor(int fd) {
    char target[PATH_MAX] = {};
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

std::string Bytes(const char* name) { return ScopedTempDir::ReadFile(name); }

class DurableSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        SaveData::SetDefaults(old_);
        old_.highScore = 111;
        ASSERT_TRUE(SaveData::Store(old_));
        oldBytes_ = Bytes(SaveData::kFileName);
        SaveData::SetDefaults(new_);
        new_.highScore = 222;
        spy = SyncSpy{};
        spy.recording = true;
    }
    void TearDown() override { spy = SyncSpy{}; }
    ScopedTempDir dir_;
    SaveData old_, new_;
    std::string oldBytes_;
};

TEST_F(DurableSaveTest, TheFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
    ASSERT_TRUE(SaveData::Store(new_));
    const std::string folder = std::filesystem::canonical(dir_.path()).string();
    ASSERT_EQ(spy.synced.size(), 2u);
    EXPECT_EQ(spy.synced[0], folder + "/morpoCatSave.dat.tmp");
    EXPECT_EQ(spy.synced[1], folder);
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFileKeepsTheOldSave) {
    spy.failCall = 1;
    EXPECT_FALSE(SaveData::Store(new_));
    EXPECT_EQ(spy.synced.size(), 1u);
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
}

TEST_F(DurableSaveTest, AFailedFlushOfTheFolderIsReportedWithTheNewSaveInPlace) {
    spy.failCall = 2;
    EXPECT_FALSE(SaveData::Store(new_));
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 222);
}

TEST_F(DurableSaveTest, ALeftoverTemporaryIsRemovedAtStartAndNotByLoading) {
    { std::ofstream("morpoCatSave.dat.tmp") << "half a save"; }
    SaveData back;
    ASSERT_TRUE(SaveData::Load(back));
    EXPECT_EQ(back.highScore, 111);
    EXPECT_TRUE(std::filesystem::exists("morpoCatSave.dat.tmp"));
    SaveData::DiscardUnfinishedStore();
    EXPECT_FALSE(std::filesystem::exists("morpoCatSave.dat.tmp"));
    EXPECT_EQ(Bytes(SaveData::kFileName), oldBytes_);
    SaveData::DiscardUnfinishedStore();  // nothing left: nothing happens
}

}  // namespace

extern "C" int fsync(int fd) {
    using Sync = int (*)(int);
    static Sync real = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    if (spy.recording) {
        spy.synced.push_back(PathOfDescriptor(fd));
        if (int(spy.synced.size()) == spy.failCall) {
            errno = EIO;
            return -1;
        }
    }
    return real(fd);
}
