// Map sets: the stages of one story or versus set in play order, the scenes
// shown between them, the set's clear bonus and its music, as a text file
// ("tpa\mapset\normal_set<n>.set", "tpa\mapset\vs_set<n>.set"). One line
// each, its first character deciding its kind:
//   m 12          a stage (0..99)
//   m r3,10,12    three different stages drawn from 10..12
//   BGM 2, BGM -  play background music 2, or stop the music
//   bonus 30000   the set's clear bonus (its number from the 7th character)
//   s 4           the scene shown before the next stage (or, last in the
//                 file, after the last stage: the closing scene)
// Other lines are ignored. Reading is two passes: ParseMapSet checks and
// counts the slots, BuildMapSet walks the lines in file order and draws
// the random stages.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct MapSet {
    static constexpr int32_t kStageNumbers = 100;  // stage numbers 0..99

    struct Line {
        enum Kind { kStage, kRandomStages, kMusic, kBonus, kScene } kind;
        int32_t value = 0;  // stage, music (-1 stop), bonus or scene number; a random line's count
        int32_t first = 0, last = 0;  // a random line's range
    };

    std::vector<Line> lines;   // the accepted lines, in file order
    int32_t stageSlots = 0;    // slots with a stage
    int32_t slotCount = 0;     // stageSlots, plus one when the file ends with a scene
    bool endsWithScene = false;
    bool startsWithScene = false;  // the first stage or scene line is a scene
    bool hasSlotLine = false;      // any stage or scene line at all

    // The play session's phase once the set is read: a set that opens with
    // a scene starts with it (phase 2); one that opens with a stage plays
    // it as a normal set (0) unless it is a versus match (4).
    int32_t StartPhase(int32_t phase) const;
    // The slot whose stage is the set's last one; -1 when the file ends
    // with a scene (every stage is followed by one).
    int32_t LastStageSlot() const { return endsWithScene ? -1 : slotCount - 1; }
};

// "tpa\mapset\normal_set3.set" for modes 0, 1 and 2, "tpa\mapset\vs_set3.set"
// for mode 4; empty for modes without a map set.
std::string MapSetFilePath(int32_t mode, int32_t setNumber);

// Checks and counts the lines of a map set's text. A line that cannot be
// played (a stage outside 0..99, a random line that cannot draw its count
// of different stages) is left out with a log line naming `name`.
MapSet ParseMapSet(std::string_view text, const char* name);
// Reads and parses the file; a missing file reads as empty (logged).
MapSet ReadMapSet(const char* path);

// What the building pass asks for, in file order.
struct MapSetSteps {
    // A stage for `slot`; lastStage on the set's last stage slot.
    std::function<void(int32_t slot, int32_t stageNumber, bool lastStage)> stage;
    // A scene for `slot`; closing when no stage follows it.
    std::function<void(int32_t slot, int32_t sceneNumber, bool closing)> scene;
    std::function<void(int32_t bgm)> music;  // -1: stop the music
    std::function<void(int32_t bonus)> bonus;
};

// The building pass. Each random line draws its stages one by one from the
// engine's random numbers (a + GetRandomUpTo(b - a), drawn again while it
// repeats one already drawn on the line), each stage made before the next
// is drawn. Returns the number of slots used (set.slotCount).
int32_t BuildMapSet(const MapSet& set, const MapSetSteps& steps);
