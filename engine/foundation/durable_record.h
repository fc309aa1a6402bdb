// A durable store's commit record: the sets of files its writes stored and
// have not yet put wholly in place, in the store's own folder:
//     durable store record 2
//     <set> <tag> <new size> <new check> <old size> <old check> <path>
//     ...                                          one line per file
//     end <CRC-32 of every byte above, 8 hex digits>
// A set is a number; its files' lines follow one another. The tag names the
// file's temporary, "<name>.<tag>.tmp" beside it. The new copy's size and
// CRC-32 tell the temporary that holds it, and the file once renamed into
// place; the old copy's (size -1 and check 00000000 for no file) tell the
// file as the store found it, so that a file another program replaced
// since is known. Paths are as the writer was given them ("<folder>/<name>",
// the folder as its store spells it) and hold no line feed. A record whose
// end line is missing or does not match was cut short: the set it was
// written for was never stored.
#pragma once
#include "engine/files.h"
#include "foundation/durable_rules.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morpotta {

struct RecordedFile {
    uint32_t set = 0;
    std::string tag;
    FileCopy fresh, previous;
    std::string path;
};

std::string RecordText(const std::vector<RecordedFile>& files);
// A record file is ours when it begins with the record's first line, or is
// a beginning of that line (a record cut short in its first bytes).
bool IsOurRecord(const std::string& text);
enum class RecordRead { Whole, CutShort, Foreign };
// The files of a whole record. CutShort: its end is missing or does not
// match (its store never committed); Foreign: whole, but with a line this
// program never writes.
RecordRead ParseRecord(const std::string& text, std::vector<RecordedFile>* files);
// The most sets a record holds: a store that would need more is refused.
constexpr size_t kMaxRecordedSets = 16;
// The most bytes a record of the store can take.
int64_t LargestRecord(const DurableStore& store);

}  // namespace morpotta
