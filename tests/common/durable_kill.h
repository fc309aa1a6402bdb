// Kills a durable store at every step it takes, the way a killed process
// ends it, then starts again: the store's step seam stops it at one step
// (a write step first leaves none, one, some or all of its bytes), the
// start-up's settling is itself stopped at each of its steps and run again,
// and then the files are read back. Each case must find the previous set
// whole or the new set whole: the new one exactly when the kill came after
// the commit record was renamed into place.
#pragma once
#include "foundation/durable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace morpotta;

enum class SetFound { Old, New, Mixed };

struct KillTally {
    int cases = 0, old = 0, fresh = 0, mixed = 0;
};

// Counts the steps of a seam and stops at the one numbered stopAt (from 0),
// leaving `keep` bytes of a write step.
class StepStopper {
public:
    StepStopper(int stopAt, int64_t keep) : stopAt_(stopAt), keep_(keep) {
        SetDurableStepHook([this](DurableStep step, const std::string& path) -> int64_t {
            steps.push_back(step);
            paths.push_back(path);
            if (int(steps.size()) - 1 != stopAt_) return -1;
            stopped = true;
            return keep_;
        });
    }
    ~StepStopper() { SetDurableStepHook(nullptr); }
    StepStopper(const StepStopper&) = delete;
    StepStopper& operator=(const StepStopper&) = delete;

    std::vector<DurableStep> steps;
    std::vector<std::string> paths;
    bool stopped = false;

private:
    int stopAt_;
    int64_t keep_;
};

struct KillDriver {
    std::function<void()> putOldSet;  // the files as they were before the store
    std::function<void()> store;      // the store a kill ends part way
    std::function<void()> settle;     // what the next start does first
    std::function<SetFound()> read;   // the files as the next start finds them
    std::function<bool()> leftovers;  // temporary files or records still there
};

inline const char* StepName(DurableStep step) {
    switch (step) {
    case DurableStep::WriteTemporary: return "write temporary";
    case DurableStep::SyncFolder: return "flush folder";
    case DurableStep::WriteRecord: return "write record";
    case DurableStep::Rename: return "rename";
    case DurableStep::RemoveRecord: return "remove record";
    case DurableStep::RemoveTemporary: return "remove temporary";
    }
    return "?";
}

// Runs every case; a failure names the step of the kill and of the
// settling's stop.
inline KillTally KillAtEveryStep(const KillDriver& d) {
    constexpr int64_t kWhole = int64_t(1) << 40;
    std::vector<DurableStep> steps;
    {
        d.putOldSet();
        StepStopper count(-1, -1);
        d.store();
        steps = count.steps;
    }
    EXPECT_GT(steps.size(), 10u);
    // The store commits as its record, written whole, is renamed into place.
    int record = -1;
    for (size_t i = 0; i + 1 < steps.size(); ++i)
        if (steps[i] == DurableStep::WriteRecord && steps[i + 1] == DurableStep::Rename) record = int(i + 1);
    EXPECT_GE(record, 0) << "the store writes no commit record";

    KillTally tally;
    for (int stop = 0; stop <= int(steps.size()); ++stop) {
        const bool writes = stop < int(steps.size()) &&
                            (steps[size_t(stop)] == DurableStep::WriteTemporary || steps[size_t(stop)] == DurableStep::WriteRecord);
        const std::vector<int64_t> keeps = writes ? std::vector<int64_t>{0, 1, 17, kWhole} : std::vector<int64_t>{0};
        for (int64_t keep : keeps) {
            const bool committed = stop > record;
            for (int settleStop = 0;; ++settleStop) {
                d.putOldSet();
                {
                    StepStopper kill(stop, keep);
                    d.store();
                }
                bool settleStopped;
                {
                    StepStopper again(settleStop, 0);
                    d.settle();
                    settleStopped = again.stopped;
                }
                d.settle();
                const SetFound found = d.read();
                ++tally.cases;
                tally.old += found == SetFound::Old;
                tally.fresh += found == SetFound::New;
                tally.mixed += found == SetFound::Mixed;
                const std::string where = "killed at step " + std::to_string(stop) +
                                          (stop < int(steps.size()) ? std::string(" (") + StepName(steps[size_t(stop)]) + ")" : "") +
                                          " keeping " + std::to_string(keep) + " bytes, the settling stopped at its step " +
                                          std::to_string(settleStop);
                EXPECT_EQ(found, committed ? SetFound::New : SetFound::Old) << where;
                EXPECT_FALSE(d.leftovers()) << where;
                if (!settleStopped) break;
            }
        }
    }
    return tally;
}
