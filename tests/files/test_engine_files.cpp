// The file subsystem inside the engine's life cycle: archives set up the
// way the game does it, the start directory restored and archives closed
// at shut-down.
#include "engine/archive.h"
#include "engine/engine.h"
#include "engine/files.h"
#include "file_test_util.h"
#include "platform/clock.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

using namespace morpotta;

namespace {

std::string ReadWhole(const char* path) {
    int64_t size = GetFileSizeByName(path);
    FileHandle f = OpenFileToRead(path, 0);
    if (size < 0 || !f) return "<none>";
    std::string s(size_t(size), '\0');
    s.resize(ReadFromFile(s.data(), s.size(), f));
    CloseFileStream(f);
    return s;
}

void PackTpa(const std::string& contents) {
    std::string image;
    ASSERT_EQ(BuildArchiveImage({{"mapScene\\title.txt", contents}}, "game-key", &image), 0);
    WriteHostFile("tpa.dat", image);
}

TEST(EngineFilesTest, GameSetUpReadsArchivesAndShutDownClosesThem) {
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    platform::UseVirtualClock(true);
    SetLogOutput(0);
    SetUseArchive(1);
    PackTpa("first");
    std::filesystem::create_directories(dir.path() / "elsewhere");

    ASSERT_EQ(InitializeEngine(), 0);
    SetArchiveFileExtension("dat");
    SetArchiveKey("game-key");
    EXPECT_EQ(ReadWhole("tpa\\mapScene\\title.txt"), "first");
    EXPECT_EQ(ReadWhole("tpa\\mapscene\\TITLE.txt"), "first");
    ASSERT_EQ(GetFileAccessTable()->setDirectory("elsewhere"), 0);
    ASSERT_EQ(ShutdownEngine(), 0);

    EXPECT_EQ(std::filesystem::current_path(), dir.path());
    // Archives were closed: a new one at the same place is read afresh.
    PackTpa("second");
    EXPECT_EQ(ReadWhole("tpa\\mapScene\\title.txt"), "second");

    SetArchiveKey("");
    SetLogOutput(1);
    platform::UseVirtualClock(false);
    SetWindowBackend("sdl2");
}

}  // namespace
