// Fuzz target for replay files. The input is a player's device kind (first
// byte) and up to seven texts separated by zero bytes: the in, action,
// slope, analog, mouse and keyboard streams and a meta file. Whatever is
// read must hold only playable values, read back the same once written
// again, and drive a cat on a small field for a few hundred frames.
#include "engine/log.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/input/input_blocks.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/play/stage_file.h"
#include "game/replay/replay_format.h"
#include "game/replay/stage_streams.h"
#include "game/savedata.h"
#include "game/timetable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using S = ReplayStreams;

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckPlayable(const replay::PlayerStreams& s) {
    int32_t last = 0;
    for (const replay::HeldRun& r : s.buttons) {
        Check(r.frame >= last && r.index >= 0 && r.index < 8 && r.count >= 1);
        last = r.frame;
    }
    last = 0;
    for (const replay::HeldRun& r : s.keys) {
        Check(r.frame >= last && r.index >= 0 && r.index < input::kKeyboardWords && r.count >= 1);
        last = r.frame;
    }
    last = 0;
    for (const replay::ActionPulse& a : s.actions) {
        Check(a.frame >= last && a.slot >= 0 && a.slot < input::kActionWords);
        last = a.frame;
    }
    last = 0;
    for (const replay::SlopeChange& c : s.slopes) {
        Check(c.frame >= last);
        for (float v : c.value) Check(std::isfinite(v) && std::fabs(v) <= replay::kSlopeLimit);
        last = c.frame;
    }
    for (const replay::AnalogRun& a : s.analogs) {
        Check(a.count >= 1);
        for (int side : {0, 3}) {  // stick x, trigger, shoulder of each side
            Check(a.words[side] >= replay::kStickMin && a.words[side] <= replay::kStickMax);
            Check(a.words[side + 1] >= 0 && a.words[side + 1] <= replay::kTriggerMax);
            Check(a.words[side + 2] == 0 || a.words[side + 2] == 1);
        }
    }
    last = 0;
    for (const replay::MouseRun& m : s.mice) {
        Check(m.frame >= last && m.count >= 1);
        last = m.frame;
    }
}

struct Field {
    SaveData save{};
    std::unique_ptr<TimeTable> table = std::make_unique<TimeTable>();
    GameData data{};
    Field() {
        SaveData::SetDefaults(save);
        TimeTable::Clear(*table);
        data.save = &save;
        data.timeTable = table.get();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    gamesound::SetRecorder([](const gamesound::Call&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int kind = 1 + data[0] % 6;
    std::vector<std::string_view> parts;
    const char* p = reinterpret_cast<const char*>(data + 1);
    const char* const end = reinterpret_cast<const char*>(data + size);
    while (parts.size() < 7) {
        const char* zero = p;
        while (zero < end && *zero != '\0') ++zero;
        parts.emplace_back(p, size_t(zero - p));
        if (zero == end) break;
        p = zero + 1;
    }
    parts.resize(7);

    std::vector<int32_t> types;
    std::string why;
    if (replay::ParseMeta(parts[6], &types, &why)) {
        Check(!types.empty() && types.size() <= 4);
        for (int32_t t : types) Check(t >= 1 && t <= 6);
        std::vector<int32_t> again;
        Check(replay::ParseMeta(replay::MetaText(types), &again, &why) && again == types);
    } else {
        Check(types.empty());
    }

    replay::PlayerStreams streams;
    for (int k = 0; k < S::kStreamCount; ++k) replay::ParseStoredText(parts[size_t(k)], S::Stream(k), &streams);
    CheckPlayable(streams);
    replay::PlayerStreams again;
    for (int k = 0; k < S::kStreamCount; ++k) {
        const replay::ParseReport r =
            replay::ParseStoredText(replay::StoredText(streams, S::Stream(k)), S::Stream(k), &again);
        Check(r.badLines == 0);
    }
    Check(again == streams);

    // A walled field of 12 x 8 cells with the cat inside, replaying.
    Field field;
    Stage stage;
    stage.mode = gamemode::kReplayUser;
    stage.gameData = &field.data;
    stage.ready = 0;
    stage.timeLimit = 60000;
    stage.camera.fieldDepth = Stage::kFieldDepth;
    stage.grid.Reset(12, 8);
    for (int c = 0; c < 12; ++c) {
        for (int r = 0; r < 8; ++r) {
            const bool wall = c == 0 || c == 11 || r == 0 || r == 7 || (r == 5 && c % 4 == 1);
            stage.grid.Set(c, r, StageTileCode(wall ? 'B' : c == 9 && r == 3 ? 'G' : ' ', false, false));
        }
    }
    stage.cats[0] = DeepPtr<CatActor>::Make(0, kind, 3, 5, Stage::kFieldDepth, nullptr, &field.data, false);
    stage.playerActive[0] = 1;
    stage.catCount = 1;
    stage.replayBlocks = ReplayStreamsHandle(replay::StageStreams::ForPlayback({kind}, {std::move(streams)}));
    input::InputArrays none;
    for (int frame = 0; frame < 300; ++frame) stage.UpdatePlay(none);
    return 0;
}
