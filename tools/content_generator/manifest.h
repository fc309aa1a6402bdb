// Every resource file the game loads, with what the checker demands of it.
// The generator writes exactly these; the checker reads exactly these.
#pragma once
#include <string>
#include <vector>

struct PictureSpec {
    std::string path;  // game path under "tpa\"
    int width, height;
    int across = 1, down = 1;  // division grid, 1 x 1 for a whole picture
};

struct MusicSpec {
    int bgm;
    std::string path;
};

constexpr int kWorldCount = 12;      // map sets 0..11
constexpr int kPaintedWorlds = 6;    // worlds 0..4 and the shared EX look
constexpr int kNormalStages = 100;
constexpr int kVsSets = 5;
constexpr int kStagesPerVsSet = 3;
constexpr int kVsStages = kVsSets * kStagesPerVsSet;
constexpr int kCatKinds = 13;  // kind 7 has no model and no face

const std::vector<PictureSpec>& Pictures();
const std::vector<std::string>& ModelPaths();
const std::vector<std::string>& SoundPaths();
const std::vector<MusicSpec>& MusicFiles();

// The model-file stem of a cat kind 1..13 ("" for kind 7), e.g. "nekog".
std::string CatModelStem(int kind);
// The face picture of a cat kind 1..13 ("" for kind 7).
std::string CatFacePath(int kind);
// The world (0..5) whose look a stage number takes; 5 is the EX look.
int WorldOfStage(int stage);
