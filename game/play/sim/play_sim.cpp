#include "game/play/sim/play_sim.h"

#include "engine/random.h"
#include "game/data/game_sound.h"
#include "game/play/follow_camera.h"
#include "game/play/play_clock.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace playsim {

namespace {

int fakeMilliseconds = 0;
int FakeClock() { return fakeMilliseconds; }

// FNV-1a over the bytes of each value in turn.
struct Hasher {
    uint64_t h = 1469598103934665603ull;
    void Bytes(const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
    }
    template <class T>
    void Add(const T& v) {
        Bytes(&v, sizeof v);
    }
};

void HashCat(Hasher& s, const CatActor& c) {
    // Not turnState and walkFrame: drawing advances those, and play never
    // reads them back into movement.
    const int32_t ints[] = {c.player,    c.kind,       c.chargeTime, c.gems,     c.facing, c.heading, c.jumpState,
                            c.charge,    c.spin,       c.flashTime,  c.holdTime, c.knockedOut, c.sidePush,
                            c.sideDir,   c.markX,      c.markY,      c.mode,     c.hits,   c.timer,   c.stepX,
                            c.stepY,     c.frame,      c.target,     c.tick,     c.x,      c.y,       c.startX,
                            c.startY,    c.vx,         c.vy,         c.pulse,    c.lives ? *c.lives : INT32_MIN};
    s.Add(ints);
    const uint8_t bytes[] = {c.sideLatch, c.steerLatch, c.carried, c.shot, c.attacking, c.isUpper};
    s.Add(bytes);
    s.Add(c.keyBuffer);
    const float floats[] = {c.depth, c.dirX, c.dirY};
    s.Add(floats);
    s.Add(uint8_t(c.rider ? 1 : 0));
    if (c.rider) HashCat(s, *c.rider);
}

}  // namespace

uint64_t HashStage(const Stage& st) {
    Hasher s;
    const int32_t head[] = {st.mode,          st.stageNumber,  st.grid.columns, st.grid.rows,    st.score,
                            st.catCount,      st.enemiesBeaten, st.startColumn, st.startRow,     st.frameCounter,
                            st.phaseCounter,  st.gameOverFade, st.rotation, st.elapsed,   st.startTick,
                            st.timeLimit,     st.playFrames,   st.pendingScratch};
    s.Add(head);
    const uint8_t flags[] = {st.noTarget, st.failed,   st.flipped, st.finished, st.roundOver,
                             st.isLastOfRun, st.unlocked, st.ready,          st.go};
    s.Add(flags);
    s.Add(st.results);
    s.Add(st.playerActive);
    s.Bytes(st.grid.cells.data(), st.grid.cells.size() * sizeof(int32_t));
    for (const auto& cat : st.cats) {
        s.Add(uint8_t(cat ? 1 : 0));
        if (cat) HashCat(s, *cat);
    }
    s.Add(uint32_t(st.enemies.size()));
    for (const CatActor& e : st.enemies) HashCat(s, e);
    // Not a bumped block's random value: nothing in play reads it, and it
    // comes from the engine's generator, which a restored copy cannot rewind.
    for (const BumpedBlock& b : st.bumpedBlocks) {
        const int32_t v[] = {b.column, b.row, b.age};
        s.Add(v);
    }
    for (const TakenTurnTile& t : st.turnTiles) s.Add(t);
    for (const Dart& d : st.darts) {
        const int32_t v[] = {d.column, d.row, d.x, d.y, d.direction, d.byEnemy ? 1 : 0, d.done};
        s.Add(v);
    }
    for (const GemSpawn& g : st.gemSpawns) s.Add(g);
    const uint32_t sizes[] = {uint32_t(st.bumpedBlocks.size()), uint32_t(st.turnTiles.size()),
                              uint32_t(st.darts.size()), uint32_t(st.gemSpawns.size())};
    s.Add(sizes);
    s.Add(st.camera.current);
    s.Add(st.camera.target);
    s.Add(st.camera.roll);
    return s.h;
}

Simulator::Simulator(const Setup& setup) : setup_(setup), table_(std::make_unique<TimeTable>()) {
    SeedRandom(setup.seed);
    ResetDemoIndex();
    fakeMilliseconds = 0;
    SetPlayClock(&FakeClock);
    gamesound::SetRecorder([this](const gamesound::Call&) { ++soundCalls_; });

    if (setup.resources) data_ = *setup.resources;
    SaveData::SetDefaults(save_);
    save_.difficulty = setup.difficulty;
    TimeTable::Load(*table_);
    data_.save = &save_;
    data_.timeTable = table_.get();

    int32_t entries[Stage::kPlayers] = {-1, -1, -1, -1};
    const int players = int(std::min<size_t>(setup.deviceTypes.size(), Stage::kPlayers));
    for (int i = 0; i < players; ++i) {
        const int type = setup.deviceTypes[size_t(i)];
        entries[i] = i;
        devices_.types[i] = type;
        devices_.actionBlocks[i] = blocks_[i].actions;
        blocks_[i].Attach(type, i, arrays_);
    }
    lives_ = setup.lives;
    loaded_ = stage_.Load(setup.stageNumber, setup.lastOfRun, setup.mode, setup.lives < 0 ? nullptr : &lives_,
                          &devices_, &data_, entries);
}

Simulator::~Simulator() {
    SetPlayClock(nullptr);
    gamesound::SetRecorder(nullptr);
}

Simulator::Snapshot Simulator::Save() const {
    Snapshot s{stage_, frame_, lives_, {}};
    std::copy(std::begin(blocks_), std::end(blocks_), std::begin(s.blocks));
    return s;
}

void Simulator::Restore(const Snapshot& saved) {
    stage_ = saved.stage;
    frame_ = saved.frame;
    lives_ = saved.lives;
    // The blocks stay where the per-frame arrays point; their contents come back.
    std::copy(std::begin(saved.blocks), std::end(saved.blocks), std::begin(blocks_));
    over_ = false;
}

bool Simulator::Step(const InputScript* script, int scriptStart) {
    if (!loaded_ || over_) return false;
    ++frame_;
    fakeMilliseconds += 16;
    ApplyFollowCamera(stage_.camera);
    static const InputScript kNothing;
    for (int i = 0; i < Stage::kPlayers; ++i)
        (script ? *script : kNothing).Apply(frame_ - scriptStart + 1, i, devices_.types[i], blocks_[i]);
    stage_.UpdatePlay(arrays_);
    if (stage_.IsFinished()) over_ = true;
    UpdateCameraFollow(stage_.camera);
    return true;
}

}  // namespace playsim
