// Play sessions on the generated content, driven frame by frame as GameApp
// drives them: up to four players' devices whose buttons a test holds, and
// an auto-player that plays each stage from the planner's stored run for
// the first player's kind of cat (the simulator's kind of input script),
// or, for a stage without one, by putting the first cat on the goal.
#pragma once
#include "engine/random.h"
#include "game/play/game_modes.h"
#include "game/play/play_clock.h"
#include "game/play/sim/input_script.h"
#include "game/session/play_session.h"
#include "generated_tree.h"
#include "play_fixture.h"
#include "proof_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum SessionTestSound : int { kSeCounter = 120, kSeCursorMove = 121, kSeCursorDecide = 122 };

// A held button: player slot and button word.
struct Held {
    int player;
    int button;
};

// The first cat just above the closed goal, about to drop onto it
// (tiles react to the leading edge of a moving cat), with the four gems
// the goal asks for outside the normal game.
inline void PutOnGoal(Stage& stage) {
    CatActor* cat = stage.Cat(0);
    if (!cat) return;
    if (stage.mode != gamemode::kNormal) cat->gems = std::max(cat->gems, 4);
    for (int r = 0; r < stage.grid.rows; ++r) {
        for (int c = 0; c < stage.grid.columns; ++c) {
            if (stage.grid.At(c, r) != tile::kGoal) continue;
            cat->x = cat->markX = c * 32;
            cat->y = cat->markY = r * 32 - 20;
            cat->vx = cat->vy = 0;
            return;
        }
    }
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        LinkContentTreeInto(dir_.path());
        sounds_.Install();
        TimeTable::Load(*t_.table);
        t_.data.seCounter = kSeCounter;
        t_.data.seCursorMove = kSeCursorMove;
        t_.data.seCursorDecide = kSeCursorDecide;
        t_.save.difficulty = 0;
        clockMs = 0;
        SetPlayClock([] { return clockMs; });
        GameData::currentBgm = -1;
        ResetDemoIndex();
        SeedRandom(7);
        Players({input::kJoystick});
    }
    void TearDown() override { SetPlayClock(nullptr); }

    // The players' device types, player p on device slot p.
    void Players(std::initializer_list<int> types) {
        devices_ = StageDevices{};
        arrays_ = input::InputArrays{};
        std::fill(std::begin(entries_), std::end(entries_), -1);
        int p = 0;
        for (int type : types) {
            entries_[p] = p;
            devices_.types[p] = type;
            devices_.actionBlocks[p] = blocks_[p].actions;
            blocks_[p].Attach(type, p, arrays_);
            ++p;
        }
    }

    std::unique_ptr<PlaySession> Make(int32_t set, int32_t mode, int32_t lives = 15) {
        plans_.clear();  // a new session's stages may sit where old ones were
        auto s = std::make_unique<PlaySession>(&t_.data, devices_, entries_, set, mode, lives);
        s->saveReplay = [this](const Stage& stage, const SaveData* withSave) {
            savedReplays.push_back(stage.stageNumber);
            const bool known = stage.stageNumber >= 0 && stage.stageNumber < SaveData::kStageCount;
            savedWithBestTime.push_back(withSave && known ? withSave->bestTime[stage.stageNumber] : -1);
            return true;
        };
        return s;
    }
    // The next session of a run, as GameApp makes it.
    std::unique_ptr<PlaySession> Next(PlaySession& old, int32_t mode = 0) {
        auto s = Make(PlaySession::kNoSet, mode, 15);
        s->CarryOver(old);
        return s;
    }

    scene::FrameInput Input() {
        return {arrays_.buttons, arrays_.actions, arrays_.slopes, arrays_.analogs, arrays_.mice, arrays_.keyboards};
    }

    static bool InPlay(const PlaySession& s) { return PlaySession::IsPlayPhase(s.phase); }

    // One frame with these buttons held; in play the auto-player adds its
    // input (when autoPlay is on).
    void Frame(PlaySession& s, std::initializer_list<Held> held = {}) {
        for (auto& b : blocks_) b.buttons = {};
        if (autoPlay && InPlay(s)) Drive(s);
        for (const Held& h : held) blocks_[h.player].buttons.held[h.button] += 1;
        clockMs += 16;
        s.Update(Input());
        ++frames;
    }
    // Frames until the condition holds (false after `limit` frames).
    template <class Condition>
    bool RunUntil(PlaySession& s, Condition done, int limit = 20000, std::initializer_list<Held> held = {}) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            Frame(s, held);
        }
        return done();
    }
    // A press: the button held for one frame after a frame with nothing held.
    void Press(PlaySession& s, int player, int button) {
        Frame(s);
        Frame(s, {{player, button}});
    }

    // ---- the auto-player ----
    // The planner's stored run through the stage for the first player's
    // kind of cat; none for a stage without one.
    std::optional<playsim::InputScript> ProvenRunFor(const Stage& stage) const {
        const ProvenRun* run = StoredProof(stage.stageNumber).Run(devices_.types[0]);
        if (!run) return std::nullopt;
        playsim::InputScript script;
        std::string error;
        if (!script.Parse(run->script, &error)) return std::nullopt;
        return script;
    }
    void Drive(PlaySession& s) {
        Stage* stage = s.CurrentStage();
        if (!stage || !stage->Cat(0) || stage->finished) return;
        if (!IsVersusMode(stage->mode) && !IsReplayMode(stage->mode)) {
            auto plan = plans_.find(stage);
            if (plan == plans_.end()) {
                // A stored run plays from the stage's first frame; a stage
                // taken up later is finished by the goal put under the cat.
                std::optional<playsim::InputScript> run;
                if (stage->playFrames < kFirstPlayFrame) run = ProvenRunFor(*stage);
                plan = plans_.emplace(stage, std::move(run)).first;
                if (plan->second) ++scriptedStages; else ++warpedStages;
            }
            if (plan->second) {
                for (int p = 0; p < 4; ++p) plan->second->Apply(stage->playFrames + 1, p, devices_.types[p], blocks_[p]);
            } else if (!stage->ready && !stage->go) {
                PutOnGoal(*stage);
            }
        }
    }

    static inline int clockMs = 0;
    ScopedTempDir dir_;
    TestData t_{0};
    StageDevices devices_;
    int32_t entries_[4] = {-1, -1, -1, -1};
    playsim::DeviceBlocks blocks_[4];
    input::InputArrays arrays_;
    SoundLog sounds_;
    bool autoPlay = true;
    int frames = 0;
    int scriptedStages = 0, warpedStages = 0;
    std::vector<int32_t> savedReplays;
    std::vector<int32_t> savedWithBestTime;  // the best time of the save stored with each replay, -1 none

private:
    // The first frame after the ready phase, where the stored runs begin.
    static constexpr int kFirstPlayFrame = 102;
    std::map<const Stage*, std::optional<playsim::InputScript>> plans_;
};
