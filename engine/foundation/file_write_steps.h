// The steps of a durable set write and of the start-up that settles an
// unfinished one, as a seam for tests that end a write part way, the way a
// killed process ends it, and then start again.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace morpotta {

enum class DurableStep {
    WriteTemporary,    // a file's bytes to its temporary, flushed
    SyncFolder,        // a folder flushed (after the temporaries, after the record, after the renames)
    WriteRecord,       // the commit record's bytes to its temporary, flushed
    Rename,            // a temporary over its file (the record's too)
    RemoveRecord,      // the commit record removed
    RemoveTemporary,   // a temporary file of an unfinished write removed at start-up
};

// Called before every step with the file (or folder) it concerns. -1 lets
// the step run. n >= 0 stops everything there, as a kill would: a write
// step first leaves the first n bytes of its file (a write cut short; none
// are flushed), any other step does nothing; the write or the settling then
// returns -1 at once, cleaning nothing up.
using DurableStepHook = std::function<int64_t(DurableStep step, const std::string& path)>;
// An empty hook (the default) lets every step run.
void SetDurableStepHook(DurableStepHook hook);

}  // namespace morpotta
