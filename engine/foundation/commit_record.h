// The commit record of a durable set, "<first path>.commit", written once
// every file's temporary is on the disk:
//     durable file set 1
//     from <the writer's working directory>      (may be missing)
//     <size> <CRC-32, 8 hex digits> <path>        one line per file, in order
//     end <CRC-32 of every byte above, 8 hex digits>
// Paths are as the writer was given them ("<folder>/<name>", the folder as
// its store spells it) and hold no line feed. A record whose end line is
// missing or does not match was cut short: its set was never stored. The
// size and check value of every file let the start-up tell a temporary
// that is the new copy from one that is not, and a file already renamed
// into place from its previous copy. The working directory, absolute with
// every link resolved, tells a record that another copy of the program left
// in a folder both share: its folders named from the working directory
// are another copy's where they lead elsewhere from there.
#pragma once
#include "engine/files.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morpotta {

struct RecordedFile {
    std::string path;
    int64_t size = 0;
    uint32_t check = 0;
};

// Whether the open file, size bytes long (as its opening found), holds the
// recorded size and check value, read a piece at a time so that a large
// file takes little memory.
bool HoldsRecordedBytes(int descriptor, int64_t size, const RecordedFile& expected);

// from may be "" (or too long, or hold a line feed): the line is left out.
std::string RecordText(const std::string& from, const std::vector<RecordedFile>& files);
// A record file is ours when it begins with the record's first line, or is
// a beginning of that line (a record cut short in its first bytes).
bool IsOurRecord(const std::string& text);
// The working directory (an absolute path, "" when the record names none)
// and the files of a whole record; false for a record cut short or damaged.
bool ParseRecord(const std::string& text, std::string* from, std::vector<RecordedFile>* files);
// The most bytes a record of the store's largest set can take.
int64_t LargestRecord(const DurableStore& store);

}  // namespace morpotta
