// Resource archives: packed with the packer, read back through the file
// table; the lookup rule, fallbacks, seeks inside members, and damaged or
// wrongly keyed archives refused.
#include "engine/archive.h"
#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "file_test_util.h"
#include "foundation/subsystems.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

using namespace morpotta;

namespace fs = std::filesystem;

namespace {

const char* kKey = "morpo-key";

std::string ReadThroughEngine(const char* path) {
    int64_t size = GetFileSizeByName(path);
    if (size < 0) return "<none>";
    FileHandle f = OpenFileToRead(path, 0);
    if (!f) return "<none>";
    std::string s(size_t(size), '\0');
    size_t n = ReadFromFile(s.data(), s.size(), f);
    CloseFileStream(f);
    s.resize(n);
    return s;
}

int RunPacker(const std::string& args) {
    std::string command = std::string("'") + ARCHIVE_PACKER_PATH + "' " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

void WriteArchive(const fs::path& path, const std::vector<ArchiveInput>& members, const char* key) {
    std::string image;
    ASSERT_EQ(BuildArchiveImage(members, key, &image), 0);
    WriteHostFile(path, image);
}

class ArchiveTest : public ::testing::Test {
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
    QuietLog quiet_;
    ScopedTempDir dir_;
};

TEST_F(ArchiveTest, PackerRoundTripReadsEveryFileBackIdentical) {
    std::map<std::string, std::string> files = {
        {"mapScene/title.png", PatternBytes(40000, 1)},
        {"mapBlock3D/block01.mqo", std::string(30000, 'v') + "Metasequoia"},
        {"stage/01.stg", "1,2,3\r\n4,5,6\r\n"},
        {"empty.txt", ""},
        {"\u30bd\u30d5\u30c8/\u8868.txt", "double-byte names"},  // ソフト\表.txt
    };
    for (const auto& [name, data] : files) WriteHostFile(dir_.path() / "source" / name, data);
    ASSERT_EQ(RunPacker("pack source tpa.dat --key " + std::string(kKey)), 0);
    ASSERT_EQ(RunPacker("verify tpa.dat source --key " + std::string(kKey)), 0);
    EXPECT_NE(RunPacker("verify tpa.dat source --key wrong"), 0);
    ASSERT_EQ(RunPacker("list tpa.dat --key " + std::string(kKey)), 0);

    EXPECT_EQ(ReadThroughEngine("tpa\\mapScene\\title.png"), files["mapScene/title.png"]);
    EXPECT_EQ(ReadThroughEngine("tpa\\mapblock3D\\block01.mqo"), files["mapBlock3D/block01.mqo"]);
    EXPECT_EQ(ReadThroughEngine("TPA/MAPBLOCK3D/BLOCK01.MQO"), files["mapBlock3D/block01.mqo"]);
    EXPECT_EQ(ReadThroughEngine("tpa\\stage\\01.stg"), files["stage/01.stg"]);
    EXPECT_EQ(ReadThroughEngine("tpa\\empty.txt"), "");
    EXPECT_EQ(ReadThroughEngine("tpa\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt"), "double-byte names");
    // The plain set does not look into archives.
    SetUseArchive(0);
    EXPECT_EQ(OpenFileStream("tpa\\stage\\01.stg", 0, 1, 0), 0u);
    SetUseArchive(1);

    ASSERT_EQ(RunPacker("extract tpa.dat out --key " + std::string(kKey)), 0);
    for (const auto& [name, data] : files) EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "out" / name), data);
}

TEST_F(ArchiveTest, SeeksInsideAPackedMember) {
    std::string data;
    for (int i = 0; i < 4000; ++i) data += "line " + std::to_string(i % 50) + "\n";
    WriteArchive("tpa.dat", {{"a.txt", data}}, kKey);
    FileHandle f = OpenFileStream("tpa\\a.txt", 0, 1, 0);
    ASSERT_NE(f, 0u);
    char b[64];
    EXPECT_EQ(SeekFileStream(f, 1000, 0), 0);
    ASSERT_EQ(ReadFileStream(b, 1, 20, f), 20u);
    EXPECT_EQ(std::string(b, 20), data.substr(1000, 20));
    EXPECT_EQ(SeekFileStream(f, -30, 1), 0);
    EXPECT_EQ(TellFileStream(f), 990);
    ASSERT_EQ(ReadFileStream(b, 10, 1, f), 1u);
    EXPECT_EQ(std::string(b, 10), data.substr(990, 10));
    EXPECT_EQ(SeekFileStream(f, -5, 2), 0);
    EXPECT_EQ(ReadFileStream(b, 2, 10, f), 2u);
    EXPECT_NE(EofFileStream(f), 0);
    EXPECT_EQ(SeekFileStream(f, -1, 0), -1);
    EXPECT_EQ(CloseFileStream(f), 0);
    EXPECT_EQ(CloseFileStream(f), -1);
}

TEST_F(ArchiveTest, SizeQueriesAndOpensInAnyOrder) {
    WriteArchive("tpa.dat", {{"a.txt", std::string(3000, 'a')}, {"b.txt", "bbbb"}}, kKey);
    EXPECT_EQ(GetFileSizeByName("tpa\\a.txt"), 3000);
    EXPECT_EQ(GetFileSizeByName("tpa\\b.txt"), 4);
    EXPECT_EQ(ReadThroughEngine("tpa\\a.txt"), std::string(3000, 'a'));
    EXPECT_EQ(GetFileSizeByName("tpa\\a.txt"), 3000);
    // Two opens after one size query: each gets its own copy.
    FileHandle f = OpenFileToRead("tpa\\a.txt", 0);
    EXPECT_EQ(ReadThroughEngine("tpa\\a.txt"), std::string(3000, 'a'));
    char c = 0;
    EXPECT_EQ(ReadFromFile(&c, 1, f), 1u);
    EXPECT_EQ(c, 'a');
    CloseFileStream(f);
    EXPECT_EQ(GetFileSizeByName("tpa\\c.txt"), -1);
}

TEST_F(ArchiveTest, FirstPrefixWithAnArchiveWins) {
    WriteArchive(dir_.path() / "a" / "b.dat", {{"c.txt", "from b.dat"}}, kKey);
    EXPECT_EQ(ReadThroughEngine("a\\b\\c.txt"), "from b.dat");
    EXPECT_EQ(ReadThroughEngine("A\\B\\C.TXT"), "from b.dat");
    subsystems::ResetArchives();
    WriteArchive("a.dat", {{"b\\c.txt", "from a.dat"}}, kKey);
    EXPECT_EQ(ReadThroughEngine("a\\b\\c.txt"), "from a.dat");
    EXPECT_EQ(ReadThroughEngine("a\\b\\.\\..\\b\\c.txt"), "from a.dat");
}

TEST_F(ArchiveTest, MissingMemberFallsBackToThePlainFile) {
    WriteArchive("tpa.dat", {{"in.txt", "packed"}}, kKey);
    WriteHostFile(dir_.path() / "tpa" / "out.txt", "plain");
    WriteHostFile(dir_.path() / "tpa" / "in.txt", "plain copy");
    EXPECT_EQ(ReadThroughEngine("tpa\\in.txt"), "packed");
    EXPECT_EQ(ReadThroughEngine("tpa\\out.txt"), "plain");
    EXPECT_EQ(ReadThroughEngine("tpa\\none.txt"), "<none>");
}

TEST_F(ArchiveTest, ExtensionIsSettable) {
    WriteArchive("tpa.pak", {{"x.txt", "pak"}}, kKey);
    EXPECT_EQ(ReadThroughEngine("tpa\\x.txt"), "<none>");
    ASSERT_EQ(SetArchiveFileExtension("pak"), 0);
    EXPECT_EQ(ReadThroughEngine("tpa\\x.txt"), "pak");
    EXPECT_EQ(SetArchiveFileExtension(nullptr), -1);
    SetArchiveFileExtension("dat");
}

TEST_F(ArchiveTest, SearchesListMembersAndPlainFiles) {
    WriteArchive("tpa.dat", {{"stage\\01.stg", "1"}, {"stage\\02.stg", "22"}, {"stage\\deep\\x.stg", "x"}},
                 kKey);
    WriteHostFile(dir_.path() / "tpa" / "stage" / "03.stg", "333");
    WriteHostFile(dir_.path() / "tpa" / "stage" / "01.STG", "plain twin");
    const FileAccessTable* t = GetArchiveFileAccessTable();
    FileFindData d{};
    FileHandle find = t->findFirst("tpa\\Stage\\*", &d);
    ASSERT_NE(find, 0u);
    std::vector<std::string> names{d.name};
    while (t->findNext(find, &d) == 0) names.push_back(d.name);
    t->findClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{"01.stg", "02.stg", "03.stg", "deep"}));
    find = t->findFirst("tpa\\stage\\02.*", &d);
    ASSERT_NE(find, 0u);
    EXPECT_EQ(d.size, 2);
    EXPECT_EQ(d.isDirectory, 0);
    t->findClose(find);
}

class DamagedArchiveTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        WriteArchive("tpa.dat", {{"a.txt", PatternBytes(3000, 4)}, {"b.txt", std::string(5000, 'b')}}, kKey);
        image_ = ScopedTempDir::ReadFile("tpa.dat");
        ArchiveDirectory directory;
        auto reader = [this](uint64_t offset, void* buffer, size_t size) {
            std::memcpy(buffer, image_.data() + offset, size);
            return offset + size <= image_.size();
        };
        ASSERT_EQ(ReadArchiveDirectory(reader, image_.size(), kKey, &directory), 0);
        seed_ = directory.seed;
        dirOffset_ = directory.entries.empty() ? 0 : image_.size() - DirectorySize();
    }
    size_t DirectorySize() const {
        uint32_t v;
        std::memcpy(&v, image_.data() + 20, 4);
        return v;
    }
    // Plain directory bytes, and writing them back scrambled with a fresh CRC.
    std::string PlainDirectory() const {
        std::string d = image_.substr(dirOffset_);
        ScrambleArchiveBytes(seed_, dirOffset_, reinterpret_cast<unsigned char*>(d.data()), d.size());
        return d;
    }
    void StoreDirectory(std::string d) {
        uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(d.data()), uInt(d.size() - 4)));
        std::memcpy(d.data() + d.size() - 4, &crc, 4);
        ScrambleArchiveBytes(seed_, dirOffset_, reinterpret_cast<unsigned char*>(d.data()), d.size());
        image_.replace(dirOffset_, d.size(), d);
    }
    void Install() {
        subsystems::ResetArchives();
        WriteHostFile(dir_.path() / "tpa.dat", image_);
    }
    std::string image_;
    uint64_t seed_ = 0;
    size_t dirOffset_ = 0;
};

TEST_F(DamagedArchiveTest, IntactArchiveReads) {
    Install();
    EXPECT_EQ(ReadThroughEngine("tpa\\a.txt"), PatternBytes(3000, 4));
    EXPECT_EQ(ReadThroughEngine("tpa\\b.txt"), std::string(5000, 'b'));
}

TEST_F(DamagedArchiveTest, WrongKeyIsRefusedUntilTheRightOneIsSet) {
    Install();
    SetArchiveKey("not the key");
    EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u);
    SetArchiveKey(kKey);
    EXPECT_EQ(ReadThroughEngine("tpa\\a.txt"), PatternBytes(3000, 4));
}

TEST_F(DamagedArchiveTest, DamagedHeaderIsRefused) {
    for (size_t at : {0, 4, 8, 12, 20, 24, 28}) {
        std::string saved = image_;
        image_[at] ^= 0x10;
        Install();
        EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u) << "header byte " << at;
        image_ = saved;
    }
    image_.resize(20);
    Install();
    EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u);
}

TEST_F(DamagedArchiveTest, TruncatedOrScribbledDirectoryIsRefused) {
    std::string saved = image_;
    image_.resize(image_.size() - 1);
    Install();
    EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u);
    image_ = saved;
    image_[dirOffset_ + 5] ^= 0x01;
    Install();
    EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u);
}

TEST_F(DamagedArchiveTest, EntriesPointingOutsideTheDataAreRefused) {
    std::string plain = PlainDirectory();
    // First entry: offset at 4, stored size at 12; both pushed past the file.
    struct Patch {
        size_t at;
        uint64_t value;
    };
    for (Patch p : {Patch{4, uint64_t(image_.size())}, Patch{12, uint64_t(1) << 40}, Patch{4, 3},
                    Patch{12, ~uint64_t(0)}, Patch{0, 200}}) {
        std::string d = plain;
        std::memcpy(d.data() + p.at, &p.value, p.at == 0 ? 2 : 8);
        std::string saved = image_;
        StoreDirectory(d);
        Install();
        EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u) << "field at " << p.at;
        image_ = saved;
    }
    // A name climbing out of the archive folder.
    std::string d = plain;
    size_t nameAt = 32;
    ASSERT_EQ(d.substr(nameAt, 5), "a.txt");
    d.replace(nameAt, 5, "..\\ab");
    StoreDirectory(d);
    Install();
    EXPECT_EQ(OpenFileStream("tpa\\b.txt", 0, 1, 0), 0u);
}

TEST_F(DamagedArchiveTest, DamagedMemberIsRefusedOthersStillRead) {
    image_[kArchiveHeaderSize + 10] ^= 0x40;  // inside a.txt, the first member
    Install();
    EXPECT_EQ(OpenFileStream("tpa\\a.txt", 0, 1, 0), 0u);
    EXPECT_EQ(ReadThroughEngine("tpa\\b.txt"), std::string(5000, 'b'));
}

TEST_F(DamagedArchiveTest, DamagedPackedMemberIsRefused) {
    // b.txt follows a.txt's 3000 stored bytes and is one codec block.
    std::string saved = image_;
    for (size_t at : {size_t(1), size_t(5), size_t(8), size_t(10)}) {
        image_ = saved;
        image_[kArchiveHeaderSize + 3000 + at] ^= 0x04;
        Install();
        EXPECT_EQ(OpenFileStream("tpa\\b.txt", 0, 1, 0), 0u) << "block byte " << at;
        EXPECT_EQ(ReadThroughEngine("tpa\\a.txt"), PatternBytes(3000, 4));
    }
}

TEST_F(DamagedArchiveTest, RandomDamageNeverCrashes) {
    std::string good = image_;
    uint32_t x = 77;
    for (int round = 0; round < 200; ++round) {
        image_ = good;
        for (int f = 0; f < 3; ++f) {
            x = x * 1664525u + 1013904223u;
            image_[x % image_.size()] ^= char(1 + (x >> 24) % 255);
        }
        auto reader = [this](uint64_t offset, void* buffer, size_t size) {
            if (offset > image_.size() || size > image_.size() - offset) return false;
            std::memcpy(buffer, image_.data() + offset, size);
            return true;
        };
        ArchiveDirectory directory;
        if (ReadArchiveDirectory(reader, image_.size(), kKey, &directory) != 0) continue;
        for (const ArchiveEntry& e : directory.entries) {
            unsigned char* data = ReadArchiveMember(reader, directory, e);
            FreeMemory(data);
        }
    }
}

}  // namespace
