// Seeds for the file layer and the save file: archives (whole, and as the
// lookup target's names and damage), codec blocks and save records.
#include "engine/archive.h"
#include "engine/files.h"
#include "game/savedata.h"
#include "seeds.h"

namespace {

std::string Repeating(size_t size) {
    std::string s(size, 'x');
    for (size_t i = 0; i < size; ++i) s[i] = char('a' + (i * 7 % 19));
    return s;
}

Bytes Archive(const std::vector<ArchiveInput>& members) {
    std::string image;
    BuildArchiveImage(members, "fuzz", &image);  // the key the archive targets use
    return Bytes(image.begin(), image.end());
}

Bytes Block(const std::string& data) {
    Bytes block(CompressBlockBound(data.size()));
    int64_t n = CompressBlock(data.data(), data.size(), block.data(), block.size());
    block.resize(n > 0 ? size_t(n) : 0);
    return block;
}

Bytes Record(const SaveData& r) {
    Bytes b(SaveData::kFileSize);
    SaveData::Serialize(r, b.data());
    return b;
}

}  // namespace

void AddFileSeeds(Seeds& seeds) {
    seeds.Add("fuzz_archive", "two_members.dat",
              Archive({{"a.txt", "plain text\r\n"}, {"dir\\packed.bin", Repeating(600)}}));
    seeds.Add("fuzz_archive", "empty.dat", Archive({}));
    seeds.Add("fuzz_archive", "kanji_name.dat", Archive({{"\x8A\xBF\x8E\x9A\\\x95\x5C.txt", "x"}}));

    // Names, a zero byte, then damage steps (offset low, offset high, bits).
    seeds.Add("fuzz_archive_lookup", "members", std::string("a.txt\nsub\\B.BIN\n\x8A\xBF\x8E\x9A\\\x95\x5C.png\n", 30));
    seeds.Add("fuzz_archive_lookup", "folders", std::string("sub\\deeper\\empty\nsub\\*\n*.txt\n..\\pack.dat"));
    seeds.Add("fuzz_archive_lookup", "damaged_header", std::string("a.txt\0\x05\x00\x01\x20\x00\x80", 13));
    seeds.Add("fuzz_archive_lookup", "damaged_body", std::string("sub\\b.bin\0\x40\x00\xFF\x41\x00\x0F", 16));

    seeds.Add("fuzz_block_codec", "text.blk", Block(Repeating(300)));
    seeds.Add("fuzz_block_codec", "runs.blk", Block(std::string(200, '\0') + std::string(100, '\xFF')));
    seeds.Add("fuzz_block_codec", "raw", std::string("not a block at all"));

    SaveData record;
    SaveData::SetDefaults(record);
    record.saveId = 537;
    Bytes defaults = Record(record);
    record.highScore = 1234567;
    record.highScoreCat = 3;
    record.highScoreCheck = SaveData::CheckValue(record.saveId, record.highScore, record.highScoreCat, 7);
    record.stageCleared[5] = 1;
    record.bestTime[5] = 4321;
    record.bestTimeCat[5] = 2;
    record.drawPeriod = 2;
    Bytes played = Record(record);
    for (const char* target : {"fuzz_savedata", "fuzz_save_load"}) {
        seeds.Add(target, "defaults.dat", defaults);
        seeds.Add(target, "played.dat", played);
    }
    seeds.Add("fuzz_save_load", "short.dat", Bytes(played.begin(), played.begin() + 100));
}
