// The deterministic play simulator: one stage played frame by frame from
// scripted input, with no drawing, a fake millisecond clock (+16 per
// frame), the engine's random numbers seeded, and every sound the play asks
// for counted instead of played. Each frame ends with a hash of the play
// state, so two runs of the same stage and input can be compared frame by
// frame.
//
// One frame is what the play session does while a stage is played: the
// play update, the phase test, the camera follow.
#pragma once
#include "game/data/game_data.h"
#include "game/play/sim/input_script.h"
#include "game/play/stage.h"
#include "game/savedata.h"
#include "game/timetable.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace playsim {

struct Setup {
    int stageNumber = 0;
    int mode = 0;
    std::vector<int> deviceTypes = {1};  // one per player, 1..6
    int difficulty = 0;
    uint32_t seed = 1;
    bool lastOfRun = true;
    int32_t lives = 15;  // -1: the cats cost no life
    // Loaded game data whose models, pictures and fonts a drawn stage uses
    // (copied; the copy takes the simulator's save and time table). Null:
    // no resources, for play without drawing.
    const GameData* resources = nullptr;
};

// The hash of everything play depends on: the grid, every cat and enemy
// (all but the counters only drawing advances), the lists, the clock, the
// phases and the points.
uint64_t HashStage(const Stage& stage);

class Simulator {
public:
    // Reads the time table and the stage file from the working directory's
    // "tpa\" tree. Only one simulator may live at a time (it puts its own
    // clock and sound recorder in place until it is destroyed).
    explicit Simulator(const Setup& setup);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool loaded() const { return loaded_; }
    // One frame with the script's input for it (null: nothing held). False,
    // doing nothing, once the stage is over. scriptStart: the simulator's
    // frame that the script's frame 1 stands for (a planner plays short
    // pieces of script one after another).
    bool Step(const InputScript* script, int scriptStart = 1);
    uint64_t Hash() const { return HashStage(stage_); }
    // A point of the run to come back to: the stage (a copy), its frame,
    // the lives counter its cats share and the devices' blocks (a cursor,
    // a tilt and a remote's pulses carry over from frame to frame).
    struct Snapshot {
        Stage stage;
        int frame;
        int32_t lives;
        DeviceBlocks blocks[Stage::kPlayers];
    };
    Snapshot Save() const;
    // The next Step plays the frame after the snapshot's.
    void Restore(const Snapshot& saved);

    Stage& stage() { return stage_; }
    const Stage& stage() const { return stage_; }
    int frame() const { return frame_; }
    bool over() const { return over_; }
    int soundCalls() const { return soundCalls_; }
    int32_t lives() const { return lives_; }

private:
    Setup setup_;
    SaveData save_{};
    std::unique_ptr<TimeTable> table_;
    GameData data_{};
    StageDevices devices_;
    DeviceBlocks blocks_[Stage::kPlayers];
    input::InputArrays arrays_;
    int32_t lives_ = 15;
    Stage stage_;
    bool loaded_ = false;
    bool over_ = false;
    int frame_ = 0;
    int soundCalls_ = 0;
};

}  // namespace playsim
