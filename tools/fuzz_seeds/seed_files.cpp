// Seeds for the file layer and the save file: archives (whole, and as the
// lookup target's names and damage), codec blocks, the records of
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

// A line of a durable set's record for a file in the folder marked (the
// target's marks: $ set/, & more/, ^ elsewhere/, ~ outside/, | set/sub/)
// whose new copy holds these bytes, replacing a copy that held previous
// (none when absent).
std::string FileLine(char folder, const std::string& name, const std::string& bytes,
                     const std::string* previous = nullptr) {
    char line[80];
    std::snprintf(line, sizeof line, "%c %zu %08" PRIx32 " %lld %08" PRIx32 " ", folder, bytes.size(), CrcOf(bytes),
                  previous ? static_cast<long long>(previous->size()) : -1LL, previous ? CrcOf(*previous) : 0);
    return line + name + "\n";
}

// The record target's seeds: records that name the files of its scratch
// folder (fuzz/fuzz_commit_record.cpp: their bytes are the ones it puts
// there), most of them file lines it makes whole ('S'). Each reach beyond
// the store comes after the set's own first file, whose temporary holds its
// new copy, so that a settling that followed it would replace the file.
void AddCommitRecordSeeds(Seeds& seeds) {
    const std::string oldOne = "old one", oldTwo = "old two", magic = "durable store record 3\n";
    const std::string first = FileLine('$', "t1.dat", "new one", &oldOne);
    const std::string second = FileLine('&', "m.dat", "new two", &oldTwo);
    const std::string whole = magic + first + second;
    char end[24];
    std::snprintf(end, sizeof end, "end %08" PRIx32 "\n", CrcOf(whole));
    // Its end line checks the text before the target puts the folders in.
    seeds.Add("fuzz_commit_record", "check_of_other_text", whole + end);
    seeds.Add("fuzz_commit_record", "cut_short", whole);
    seeds.Add("fuzz_commit_record", "two_folders", "S" + first + second);
    seeds.Add("fuzz_commit_record", "never_stood", "C\x02S" + first + second);
    seeds.Add("fuzz_commit_record", "commit_copy_only", "C\x01S" + first + second);
    seeds.Add("fuzz_commit_record", "copy_in_working_folder", "C\x08S" + first + second);
    const std::string olderTwo = "older two", outside = "outside", elsewhere = "old elsewhere";
    seeds.Add("fuzz_commit_record", "replaced_since", "S" + first + FileLine('&', "m.dat", "new two", &olderTwo));
    seeds.Add("fuzz_commit_record", "other_version", "durable store record 2\n" + first + second + end);
    const std::string outsideFirst = FileLine('~', "x", "over outside", &outside);
    seeds.Add("fuzz_commit_record", "committed_outside", "S" + outsideFirst + first);
    seeds.Add("fuzz_commit_record", "linked_folder", "C\x05S" + first + FileLine('^', "t1.dat", "new one", &elsewhere));
    const std::string below = "below a folder", beside = "beside the folders";
    const std::pair<const char*, std::string> reaches[] = {
        {"outside_file", FileLine('~', "x", "over outside", &outside)},
        {"outside_temporary", FileLine('~', "t1.dat", "new one")},
        {"sub_folder", FileLine('|', "t1.dat", "new one", &below)},
        {"working_folder", FileLine('!', "x", "over beside", &beside)},
        {"climbing_name", FileLine('$', "../../outside/x", "over outside", &outside)},
        {"sub_folder_name", FileLine('$', "sub/t1.dat", "new one", &below)},
        {"linked_member", FileLine('$', "t8.dat", "outside", &outside)},
        {"linked_folder_name", FileLine('$', "tlink", "outside")},
        {"not_a_stored_name", FileLine('$', "tnotes.txt", "a user's other file")},
        {"oversized", "$ 134217729 00000000 -1 00000000 m.dat\n"},
    };
    for (const auto& [name, line] : reaches) seeds.Add("fuzz_commit_record", name, "S" + first + line);
    // Files planted in place of the set's own ('P' and a byte: two bits a
    // name, 1 a hard link outside, 2 a symbolic link, 3 a folder), with
    // records whose sizes and check values match what was planted.
    const std::pair<const char*, std::string> plants[] = {
        {"hard_linked_temporary", std::string("P\x01S") + FileLine('$', "t1.dat", "outside", &oldOne)},
        {"folder_and_hard_linked_temporary", std::string("P\x0dS") + FileLine('$', "t1.dat", "outside", &oldOne)},
        {"linked_temporary", std::string("P\x02S") + FileLine('$', "t1.dat", "over outside", &oldOne)},
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
