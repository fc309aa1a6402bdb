// A ten-minute time-attack replay (36,000 frames) whose every stream keeps
// changing: a mouse that moves every frame, a nunchuk slope that moves on
// every other frame, sticks and triggers, keys and buttons pressed and let
// go. Recorded frame by frame, then packed into the files' text forms,
// written as one durable set and read back as a replay stage reads it.
// The argument is the number of players (kinds 5, 3, 4, 6 in that order).
#include "engine/log.h"
#include "game/play/game_modes.h"
#include "game/play/sim/input_script.h"
#include "game/replay/replay_files.h"
#include "game/replay/replay_format.h"
#include "game/replay/stage_streams.h"
#include "work_dir.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 36000;
constexpr int kStage = 12;

std::vector<int32_t> Kinds(int players) {
    const std::vector<int32_t> all = {5, 3, 4, 6};
    return std::vector<int32_t>(all.begin(), all.begin() + players);
}

// One device's blocks on frame f: every kind of change, at a different pace.
struct Device : playsim::DeviceBlocks {
    PlayerInput Frame(int f, int kind) {
        for (int b = 0; b < 8; ++b) buttons.held[b] = (f / (7 + 3 * b)) % 3 == 0;
        PlayerInput in;
        in.buttons = &buttons;
        if (kind == 3) {
            if (f % 2 == 0) {
                slope[0] = float(std::sin(f * 0.01));
                slope[1] = float(std::cos(f * 0.013));
            }
            in.slope = slope;
        } else if (kind == 4) {
            analog[0] = (f / 10) % 2 ? 30000 : -12000;
            analog[2] = (f / 25) % 2 ? 255 : 0;
            analog[4] = (f / 40) % 3 * 10000;
            analog[7] = (f / 60) % 2;
            in.analog = analog;
        } else if (kind == 5) {
            mouse[0] = (f * 7) % 700 - 30;
            mouse[1] = (f * 3) % 520 - 20;
            in.mouse = mouse;
        } else if (kind == 6) {
            for (int k = 0; k < 49; ++k) keyboard[k] = (f / (5 + k)) % 4 == 0;
            in.keyboard = keyboard;
        }
        return in;
    }
};

std::unique_ptr<replay::StageStreams> Recorded(int players) {
    const std::vector<int32_t> kinds = Kinds(players);
    auto streams = replay::StageStreams::ForRecording(kinds);
    std::vector<Device> devices(kinds.size());
    for (int f = 1; f <= kFrames; ++f) {
        for (size_t p = 0; p < kinds.size(); ++p) {
            const PlayerInput in = devices[p].Frame(f, kinds[p]);
            streams->RecordFrame(f, int(p), in);
            streams->FinishFrame(int(p), in);
        }
    }
    return streams;
}

size_t StoredBytes(const replay::StageStreams& streams) {
    size_t bytes = 0;
    for (size_t p = 0; p < streams.PlayerKinds().size(); ++p) {
        for (int k = 0; k < replay::kStreamCount; ++k) bytes += streams.StoredText(int(p), replay::Stream(k)).size();
    }
    return bytes;
}

void BM_ReplayRecord(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Recorded(int(state.range(0))));
    state.counters["frames"] = kFrames;
}
BENCHMARK(BM_ReplayRecord)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// What the issue measures: pack, write (flushed to the disk) and load.
void BM_ReplayPackWriteLoad(benchmark::State& state) {
    SetLogOutput(0);
    BenchWorkDir dir;
    const auto recorded = Recorded(int(state.range(0)));
    replay::ReplayFiles files;
    for (auto _ : state) {
        StoredReplay packed;
        for (int k = 0; k < replay::kStreamCount; ++k) packed.Pack(*recorded, replay::Stream(k));
        if (!files.SaveStreams(packed, gamemode::kTimeAttack, kStage, nullptr)) {
            state.SkipWithError("the replay could not be stored");
            return;
        }
        benchmark::DoNotOptimize(files.OpenStreams(gamemode::kReplayUser, kStage, recorded->PlayerKinds()));
    }
    state.counters["bytes"] = double(StoredBytes(*recorded));
    state.counters["files"] = double(recorded->PlayerKinds().size() * replay::kStreamCount + 1);
}
BENCHMARK(BM_ReplayPackWriteLoad)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without the files: pack to text and read the text back.
void BM_ReplayPackAndRead(benchmark::State& state) {
    const auto recorded = Recorded(int(state.range(0)));
    for (auto _ : state) {
        for (size_t p = 0; p < recorded->PlayerKinds().size(); ++p) {
            replay::PlayerStreams back;
            for (int k = 0; k < replay::kStreamCount; ++k) {
                const std::string text = recorded->StoredText(int(p), replay::Stream(k));
                benchmark::DoNotOptimize(replay::ParseStoredText(text, replay::Stream(k), &back));
            }
        }
    }
}
BENCHMARK(BM_ReplayPackAndRead)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
