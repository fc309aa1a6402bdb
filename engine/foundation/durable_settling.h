// The settling of what a durable store's writes left unfinished, kept in
// the store's commit record (foundation/durable_record.h): at start-up
// (FinishInterruptedWrites), before every store, and for a settling that
// found a folder held (StoreDeferredWrites). A set is finished folder by
// folder: in a folder where none of its files was replaced since it was
// stored, its temporaries are renamed into place; in one where another
// write replaced one, that write's files stand and the set's temporaries
// there go. Nothing is waited for: a folder held by another program keeps
// its part of the record for a later settling.
#pragma once
#include "foundation/durable_record.h"
#include "foundation/durable_rules.h"

#include <string>
#include <vector>

namespace morpotta {

// A set or folder the settling could not settle, or a kept write that could
// not be made, as GetDurableProblem gives it.
struct SettlingProblem {
    int kind = 0;
    std::string folder, record, file, reason;
    int newFiles = 0, files = 0;
};
// The calling thread's problems: those of its last FinishInterruptedWrites
// or StoreDeferredWrites.
std::vector<SettlingProblem>& DurableProblems();
// Logs a problem and adds it to the calling thread's.
void ReportDurableProblem(SettlingProblem problem);

struct SettledRecord {
    bool stopped = false;   // the test seam ended the run there, as a kill would
    bool readable = true;   // false: a record stands that cannot be read now, and nothing may replace it
    bool held = false;      // a folder of a recorded set is held by another program: to be settled later
    int finished = 0;       // sets put in place now
    std::vector<RecordedFile> pending;  // what stays recorded
    std::string unsettled;  // what stays, in a few words ("" for nothing)
};

// Settles the store's record, its folder taken (opened and locked) in
// folders by the caller as recordFolder; folders of recorded sets are taken
// as they come. The record is left holding what stays pending, or removed.
SettledRecord SettleRecord(const DurableStore& store, DurableFolders& folders, int recordFolder);
// Writes the record holding files through a flushed temporary renamed over
// it, or removes it when there are none: "" or why not.
std::string WriteRecord(const DurableStore& store, int recordFolder, const std::vector<RecordedFile>& files,
                        bool* stopped);
// Removes this program's temporaries of the store's stored names that the
// pending files do not count on, in the store's folders not held by another
// program. False where the test seam ended the run.
bool SweepTemporaries(const DurableStore& store, DurableFolders& folders, int recordFolder,
                      const std::vector<RecordedFile>& pending);

}  // namespace morpotta
