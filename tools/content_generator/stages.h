// Stage designs and the plan of sets: which stages, scenes and music each
// map set has. Shared by the stage, list, set, scenario and time-table
// writers, so the files agree with each other.
#pragma once
#include <string>
#include <vector>

struct StageDesign {
    std::vector<std::string> rows;  // the map, every row as long as the longest
    int gems = 0;
    int enemies = 0;
};

// Normal stage 0..99 (the stage-file number, time-table row and save index):
// the design its stored proof names.
StageDesign DesignNormalStage(int number);
// The design-th design of the stage that the reachability model accepts
// (the planner tries them in turn until one is proven).
StageDesign DesignNormalStageVariant(int number, int design);
// Versus stage 0..14; its first file line is the time limit.
StageDesign DesignVsStage(int number);
int VsTimeLimit(int number);

std::string NormalStageName(int number);  // UTF-8

struct SetPlan {
    std::string title;          // UTF-8, the stage-list group title
    int firstStage, stageCount;  // stages firstStage .. firstStage + stageCount - 1
    int bgm;
    int bonus;
    // Lines of the map-set file in order, built from the plan.
    std::vector<std::string> lines;
};

const std::vector<SetPlan>& NormalSets();  // 12 sets; set g is stage-list group g
std::string VsSetFile(int set);           // the text of vs_set<set>.set
std::string VsStageName(int number);      // entry of the versus list: name
std::string VsStageNote(int number);      // and note

// Scenes named by the map sets (scenario<number>.scn).
std::vector<int> SceneNumbers();
