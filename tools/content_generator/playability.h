// A generous model of where a cat can get in a stage: it stands on blocks,
// walks, drops any height, and jumps up to 3 cells high and 4 across
// through free cells. Hazards and field-turn tiles are avoided.
#pragma once
#include <string>
#include <vector>

// True when the goal (unless needGoal is false: a versus goal is inert) and
// at least minGems gems can be reached from the start.
bool StageIsPlayable(const std::vector<std::string>& rows, int minGems, std::string* why, bool needGoal = true);
