// The generated tree packed into a resource archive reads back the same
// through the engine's file functions, whatever case a path is spelt in.
#include "engine/archive.h"
#include "engine/files.h"
#include "foundation/subsystems.h"
#include "game/timetable.h"
#include "generated_tree.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace morpotta;

namespace fs = std::filesystem;

namespace {

const char* kKey = "content-test";

std::string ReadThroughEngine(const std::string& path) {
    int64_t size = GetFileSizeByName(path.c_str());
    FileHandle f = size >= 0 ? OpenFileToRead(path.c_str(), 0) : 0;
    if (!f) return "<none>";
    std::string s(static_cast<size_t>(size), '\0');
    s.resize(ReadFromFile(s.data(), s.size(), f));
    CloseFileStream(f);
    return s;
}

class PackedTree : public ::testing::Test {
protected:
    void SetUp() override {
        subsystems::ResetArchives();
        SetArchiveFileExtension("dat");
        SetArchiveKey(kKey);
        SetUseArchive(1);
    }
    void TearDown() override {
        subsystems::CloseArchives();
        SetArchiveKey("");
    }
    ScopedTempDir dir_;  // current directory, holding only tpa.dat
};

TEST_F(PackedTree, EveryFileReadsTheSameFromTheArchive) {
    fs::path tree = ContentTreeRoot() / "tpa";
    std::vector<ArchiveInput> members;
    std::map<std::string, std::string> originals;  // game path -> bytes
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        if (!entry.is_regular_file() || entry.path().filename() == ".generated") continue;
        std::string relative = fs::relative(entry.path(), tree).string();
        std::string data = ScopedTempDir::ReadFile(entry.path());
        for (char& c : relative) {
            if (c == '/') c = '\\';
        }
        originals["tpa\\" + relative] = data;
        members.push_back({relative, data});
    }
    std::string image;
    ASSERT_EQ(BuildArchiveImage(members, kKey, &image), 0);
    std::ofstream("tpa.dat", std::ios::binary).write(image.data(), std::streamsize(image.size()));
    ASSERT_FALSE(fs::exists("tpa"));
    for (const auto& [path, data] : originals) ASSERT_EQ(ReadThroughEngine(path), data) << path;
    EXPECT_GT(originals.size(), 300u);
    // The game spells this folder in both cases.
    EXPECT_EQ(ReadThroughEngine("tpa\\mapBlock3D\\map_block0_0.mqo"), originals["tpa\\mapblock3D\\map_block0_0.mqo"]);
    EXPECT_EQ(ReadThroughEngine("tpa\\mapblock3D\\map_toge.mqo"), originals["tpa\\mapblock3D\\map_toge.mqo"]);
    auto table = std::make_unique<TimeTable>();
    EXPECT_TRUE(TimeTable::Load(*table));
    EXPECT_LT(table->rowBest[99], 99999999);
}

}  // namespace
