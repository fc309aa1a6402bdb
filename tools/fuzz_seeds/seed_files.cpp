// Seeds for the file layer and the save file: archives (whole, and as the
// lookup target's names and damage), codec blocks, commit records of
// durable sets and save records.
#include "engine/archive.h"
#include "engine/files.h"
#include "game/savedata.h"
#include "seeds.h"

#include <zlib.h>

#include <cinttypes>
#include <cstdio>

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

uint32_t CrcOf(const std::string& bytes) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// A commit record's line for a file of set 1 whose new copy holds these
// bytes, replacing a copy that held previous ("" for none); '#' stands for
// the tag of the program's temporaries.
std::string FileLine(const std::string& bytes, const std::string& path, const std::string& previous = "") {
    char line[80];
    std::snprintf(line, sizeof line, "1 # %zu %08" PRIx32 " %lld %08" PRIx32 " ", bytes.size(), CrcOf(bytes),
                  previous.empty() ? -1LL : static_cast<long long>(previous.size()), previous.empty() ? 0 : CrcOf(previous));
    return line + path + "\n";
}

// The commit record target's seeds: records that name the files of its
// scratch folder (fuzz/fuzz_commit_record.cpp: their bytes are the ones
// it puts there), most of them file lines it makes whole ('S'), with '@'
// for the scratch folder's path and '#' for the tag. Each escape comes
// after the set's own first file, with the bytes of the temporary beside
// it, so that a settling that followed it would replace the file.
void AddCommitRecordSeeds(Seeds& seeds) {
    const std::string first = FileLine("new one", "set/t1.dat", "old one"), magic = "durable store record 2\n";
    const std::string second = FileLine("new two", "more/m.dat", "old two");
    const std::string whole = magic + first + second;
    char end[24];
    std::snprintf(end, sizeof end, "end %08" PRIx32 "\n", CrcOf(whole));
    seeds.Add("fuzz_commit_record", "whole", whole + end);
    seeds.Add("fuzz_commit_record", "cut_short", whole);
    seeds.Add("fuzz_commit_record", "two_folders", "S" + first + second);
    seeds.Add("fuzz_commit_record", "replaced_since", "S" + first + FileLine("new two", "more/m.dat", "older two"));
    seeds.Add("fuzz_commit_record", "two_sets", "S" + first + "2" + second.substr(1));
    const std::pair<const char*, std::string> escapes[] = {
        {"absolute", FileLine("over outside", "@/outside/x", "outside")},
        {"parent", FileLine("over outside", "../outside/x", "outside")},
        {"climbing", FileLine("over outside", "set/../../outside/x", "outside")},
        {"linked_member", FileLine("over outside", "set/tlink/x", "outside")},
        {"linked_folder", FileLine("new one", "linked/t1.dat", "old elsewhere")},
        {"linked_file", FileLine("outside", "set/t8.dat", "outside")},
        {"sub_folder", FileLine("new one", "set/sub/t1.dat", "below a folder")},
        {"not_a_folder", FileLine("over beside", "x", "beside the folders")},
        {"oversized", "1 # 134217729 00000000 -1 00000000 more/m.dat\n"},
        {"foreign_tag", "1 ../../x 7 00000000 -1 00000000 set/t1.dat\n"},
    };
    for (const auto& [name, line] : escapes) seeds.Add("fuzz_commit_record", name, "S" + first + line);
    // Files planted in place of the set's own ('P' and a byte: two bits a
    // name, 1 a hard link outside, 2 a symbolic link, 3 a folder), with
    // records whose sizes and check values match what was planted.
    const std::string linkedFirst = FileLine("outside", "set/t1.dat", "old one");
    const std::pair<const char*, std::string> plants[] = {
        {"hard_linked_temporary", std::string("P\x01S") + linkedFirst},
        {"folder_and_hard_linked_temporary", std::string("P\x0dS") + linkedFirst},
        {"linked_temporary", std::string("P\x02S") + FileLine("over outside", "set/t1.dat", "old one")},
        {"folder_at_second_name", std::string("P\xc0S") + first + second},
        {"linked_second_file", std::string("P\x80S") + first + second},
    };
    for (const auto& [name, input] : plants) seeds.Add("fuzz_commit_record", name, input);
}

}  // namespace

void AddFileSeeds(Seeds& seeds) {
    AddCommitRecordSeeds(seeds);
    seeds.Add("fuzz_archive", "two_members.dat",
              Archive({{"a.txt", "plain text\r\n"}, {"dir\\packed.bin", Repeating(600)}}));
    seeds.Add("fuzz_archive", "empty.dat", Archive({}));
    seeds.Add("fuzz_archive", "kanji_name.dat", Archive({{"\x8A\xBF\x8E\x9A\\\x95\x5C.txt", "x"}}));

    // Names, a zero byte, then damage steps (offset low, offset high, bits).
    seeds.Add("fuzz_archive_lookup", "members", std::string("a.txt\nsub\\B.BIN\n\x8A\xBF\x8E\x9A\\\x95\x5C.png\n", 29));
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
