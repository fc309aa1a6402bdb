// Files opened, read and closed from several threads at once (the sound
// worker streams while the main thread loads), archives included.
#include "engine/archive.h"
#include "engine/files.h"
#include "file_test_util.h"
#include "foundation/subsystems.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace morpotta;

namespace {

TEST(FileThreadTest, ConcurrentOpensAndReadsAgree) {
    QuietLog quiet;
    ScopedTempDir dir;
    subsystems::ResetArchives();
    SetArchiveKey("threads");
    SetUseArchive(1);
    std::vector<ArchiveInput> members;
    for (int i = 0; i < 8; ++i) {
        ArchiveInput m;
        m.name = std::to_string(i);
        m.name.insert(m.name.begin(), 'm');
        m.name += ".bin";
        m.data = PatternBytes(20000, uint32_t(i));
        members.push_back(std::move(m));
    }
    std::string image;
    ASSERT_EQ(BuildArchiveImage(members, "threads", &image), 0);
    WriteHostFile(dir.path() / "pack.dat", image);
    for (int i = 0; i < 8; ++i) WriteHostFile(dir.path() / "plain" / members[size_t(i)].name, members[size_t(i)].data);

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 40; ++round) {
                int i = (t + round) % 8;
                std::string path = std::string(round % 2 ? "pack\\" : "plain\\") + members[size_t(i)].name;
                FileHandle f = OpenFileStream(path.c_str(), 0, 1, 0);
                std::string got(20000, '\0');
                if (!f || ReadFileStream(got.data(), 1, got.size(), f) != got.size() ||
                    got != members[size_t(i)].data)
                    mismatches++;
                CloseFileStream(f);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
    subsystems::CloseArchives();
    SetArchiveKey("");
}

}  // namespace
