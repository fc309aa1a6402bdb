// The settling of the sets that stores of a durable store left unfinished,
// for the start-up (FinishInterruptedWrites) and for every store, which
// settles what an earlier one left before it writes anything of its own.
// Both run it in folders they opened and locked (OpenedFolders::LockEvery)
// for the whole of their work.
#pragma once
#include "foundation/durable_rules.h"

#include <map>
#include <string>
#include <vector>

namespace morpotta {

// A set or folder the settling could not settle, as GetDurableProblem gives it.
struct SettlingProblem {
    int kind = 0;
    std::string folder, record, file, reason;
    int newFiles = 0;
};

struct SettlingOutcome {
    int finished = 0;      // sets finished
    bool stopped = false;  // the test seam ended the run there, as a kill would
    // What stays unsettled of the store (a record kept for the next start,
    // a folder that could not be looked at), in a few words; "" for nothing.
    std::string unsettled;
    // Names that a store of another copy of the program, working in another
    // folder, left unfinished still counts on, with that copy's folder.
    std::map<PlacedName, std::string> othersNames;
};

// Settles the store's folders as FinishInterruptedWrites describes. Each
// problem is logged and added to problems.
SettlingOutcome SettleStore(const DurableStore& store, OpenedFolders& folders, std::vector<SettlingProblem>* problems);

}  // namespace morpotta
