// The steps of the generator, one per kind of resource.
#pragma once
#include "output.h"

#include <vector>

struct Image;

void GeneratePictures(OutputTree& out, std::vector<std::pair<std::string, Image>>* sheet);
void GenerateModels(OutputTree& out);
void GenerateSounds(OutputTree& out);
bool GenerateMusic(OutputTree& out);
void GenerateStages(OutputTree& out);
void GenerateSetsAndLists(OutputTree& out);
void GenerateScenarios(OutputTree& out);
void GenerateTimeTable(OutputTree& out);
// The time-table target (ms) for a kind of cat the planner took elapsedMs with.
int TargetFromPlannerTime(int elapsedMs);
// One PNG with every picture, labelled, for review.
void WriteContactSheet(const std::string& hostPath, const std::vector<std::pair<std::string, Image>>& pictures);
