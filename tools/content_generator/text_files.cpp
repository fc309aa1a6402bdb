// The game's text files: stages, stage lists, map sets and the time table.
// Code page 932, LF line ends (every reader of the game accepts CR LF too).
#include "generator.h"
#include "manifest.h"
#include "stages.h"

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

void GenerateTimeTable(OutputTree& out) {
    // Target per device type: a par time from the stage's size, gems and
    // enemies, scaled by how quick each kind of cat is to steer. Three
    // recorded attempts per cell, so every stage's limit follows its target.
    static const float kPace[7] = {1.0f, 1.0f, 1.1f, 1.25f, 1.05f, 1.2f, 1.15f};
    std::string text;
    for (int n = 0; n < kNormalStages; ++n) {
        StageDesign d = DesignNormalStage(n);
        int width = int(d.rows[0].size());
        int par = 8000 + width * 700 + d.gems * 1200 + d.enemies * 3000;
        text += "stage" + std::to_string(n);
        for (int c = 0; c < 7; ++c) {
            text += ',';
            text += std::to_string(int(par * kPace[c]) / 100 * 100);
        }
        text += "\ncount" + std::to_string(n);
        for (int c = 0; c < 7; ++c) text += ",3";
        text += "\n";
    }
    out.WriteText("tpa\\limitTimeTable.csv", text);
}
