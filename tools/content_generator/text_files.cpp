// The game's text files: stages, stage lists, map sets and the time table.
// Code page 932, LF line ends (every reader of the game accepts CR LF too).
#include "generator.h"
#include "manifest.h"
#include "proof_file.h"
#include "stages.h"

#include <algorithm>

#include <cstdio>

namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

void GenerateStages(OutputTree& out) {
    for (int n = 0; n < kNormalStages; ++n) {
        out.WriteText("tpa\\stage\\stage_normal" + std::to_string(n) + ".stg", Joined(DesignNormalStage(n).rows));
    }
    for (int n = 0; n < kVsStages; ++n) {
        out.WriteText("tpa\\stage\\stage_vs" + std::to_string(n) + ".stg",
                      std::to_string(VsTimeLimit(n)) + "\n" + Joined(DesignVsStage(n).rows));
    }
}

void GenerateSetsAndLists(OutputTree& out) {
    // Stage list: group g is map set g, so "stage index = sum of the counts
    // of the groups before + row" names the stage's file number.
    std::string list;
    const std::vector<SetPlan>& sets = NormalSets();
    for (size_t g = 0; g < sets.size(); ++g) {
        char tag[3];
        std::snprintf(tag, sizeof tag, "%02d", int(g));
        list += std::string(tag) + sets[g].title + "\n";
        for (int k = 0; k < sets[g].stageCount; ++k) list += NormalStageName(sets[g].firstStage + k) + "\n";
        list += "end\n\n";
    }
    out.WriteText("tpa\\stage\\stage_normal_list.txt", list);

    std::string vsList;
    for (int i = 0; i < kVsSets; ++i) vsList += VsStageName(i) + "\n" + VsStageNote(i) + "\n";
    out.WriteText("tpa\\stage\\stage_vs_list.txt", vsList);

    for (size_t s = 0; s < sets.size(); ++s) {
        out.WriteText("tpa\\mapset\\normal_set" + std::to_string(s) + ".set", Joined(sets[s].lines));
    }
    for (int s = 0; s < kVsSets; ++s) out.WriteText("tpa\\mapset\\vs_set" + std::to_string(s) + ".set", VsSetFile(s));
}

int TargetFromPlannerTime(int elapsedMs) {
    // Half again the planner's time, rounded up to a tenth of a second.
    const int target = (elapsedMs * 3 + 1) / 2;
    return (target + 99) / 100 * 100;
}

void GenerateTimeTable(OutputTree& out) {
    // Targets per device type from the stored proofs: half again the
    // planner's time with that kind of cat, so the stage's limit (the
    // target and ten seconds or more) always leaves room. Column 0 (no
    // device) takes the best kind's. Three recorded attempts where a target
    // applies, so the limit follows it; a kind without a proof keeps the
    // fixed limit (no attempts).
    std::string text;
    for (int n = 0; n < kNormalStages; ++n) {
        const StageProof& proof = StoredProof(n);
        int targets[7], best = 99999999;
        for (int c = 1; c < 7; ++c) {
            const ProvenRun* run = proof.Run(c);
            targets[c] = run ? TargetFromPlannerTime(run->elapsed) : 99999999;
            best = std::min(best, targets[c]);
        }
        targets[0] = best;
        text += "stage";
        text += std::to_string(n);
        for (int c = 0; c < 7; ++c) {
            text += ',';
            text += std::to_string(targets[c]);
        }
        text += "\ncount";
        text += std::to_string(n);
        for (int c = 0; c < 7; ++c) text += targets[c] < 99999999 ? ",3" : ",0";
        text += '\n';
    }
    out.WriteText("tpa\\limitTimeTable.csv", text);
}
