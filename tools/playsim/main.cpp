// playsim: plays one stage without drawing, from scripted input, and prints
// the final state hash and a summary (with --trace, one hash per frame).
// Run it where the "tpa" tree is (the build directory), or name the tree's
// parent with --root. The replay files there are the stages' replays: the
// replay modes play them, and --save-replay stores a time-attack run.
#include "engine/log.h"
#include "game/play/sim/play_sim.h"
#include "game/replay/replay_files.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: playsim --stage N [--mode M] [--script FILE] [--frames K] [--trace]\n"
                 "               [--players T,T,...] [--difficulty D] [--seed S] [--root DIR] [--save-replay]\n"
                 "  --mode M      game mode (default 0, the normal game; stage files of modes 4, 5, 8\n"
                 "                are the versus ones)\n"
                 "  --script FILE held input per frame (see game/play/sim/input_script.h); none: no input\n"
                 "  --frames K    frames to play (default 600); the run ends early when the stage is over\n"
                 "  --players     device type of each player, 1..6 (default 1: a joystick)\n"
                 "  --trace       print the state hash of every frame\n"
                 "  --save-replay modes 9 and 10: store the run as the stage's replay (replay/) or demo\n"
                 "                replay (tpa/d_replay/); modes 11, 12 and 16 play those files\n");
}

bool ReadNumber(const char* text, long low, long high, long* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SetLogOutput(0);
    playsim::Setup setup;
    long stage = -1, frames = 600, value = 0;
    bool trace = false, saveReplay = false;
    std::string scriptPath, root;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](long low, long high, long* out) {
            if (!next || !ReadNumber(next, low, high, out)) {
                std::fprintf(stderr, "playsim: %s needs a number in %ld..%ld\n", arg.c_str(), low, high);
                std::exit(2);
            }
            ++i;
        };
        if (arg == "--stage") {
            number(0, 999999, &stage);
        } else if (arg == "--mode") {
            number(0, 99, &value);
            setup.mode = int(value);
        } else if (arg == "--frames") {
            number(0, 100000000, &frames);
        } else if (arg == "--difficulty") {
            number(0, 1, &value);
            setup.difficulty = int(value);
        } else if (arg == "--seed") {
            number(0, 4294967295L, &value);
            setup.seed = uint32_t(value);
        } else if (arg == "--script" && next) {
            scriptPath = argv[++i];
        } else if (arg == "--root" && next) {
            root = argv[++i];
        } else if (arg == "--players" && next) {
            setup.deviceTypes.clear();
            std::stringstream list(argv[++i]);
            std::string field;
            while (std::getline(list, field, ',')) {
                if (!ReadNumber(field.c_str(), 1, 6, &value) || setup.deviceTypes.size() == 4) {
                    std::fprintf(stderr, "playsim: --players takes up to four device types 1..6\n");
                    return 2;
                }
                setup.deviceTypes.push_back(int(value));
            }
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--save-replay") {
            saveReplay = true;
        } else {
            Usage();
            return 2;
        }
    }
    if (stage < 0 || setup.deviceTypes.empty()) {
        Usage();
        return 2;
    }
    setup.stageNumber = int(stage);

    playsim::InputScript script;
    if (!scriptPath.empty()) {
        std::ifstream file(scriptPath, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        std::string error;
        if (!file || !script.Parse(text.str(), &error)) {
            std::fprintf(stderr, "playsim: %s: %s\n", scriptPath.c_str(), file ? error.c_str() : "cannot be read");
            return 2;
        }
    }
    std::error_code ec;
    if (!root.empty()) std::filesystem::current_path(root, ec);
    if (ec || !std::filesystem::exists("tpa")) {
        std::fprintf(stderr, "playsim: no tpa tree in %s\n", root.empty() ? "the working directory" : root.c_str());
        return 2;
    }

    replay::ReplayFiles replays;
    SetReplaySource(&replays);
    playsim::Simulator sim(setup);
    if (!sim.loaded()) {
        std::fprintf(stderr, "playsim: stage %ld cannot be played in mode %d\n", stage, setup.mode);
        return 1;
    }
    for (long f = 0; f < frames && sim.Step(scriptPath.empty() ? nullptr : &script); ++f) {
        if (trace) std::printf("%d %016" PRIx64 "\n", sim.frame(), sim.Hash());
    }
    const Stage& st = sim.stage();
    std::printf("hash %016" PRIx64 "\n", sim.Hash());
    std::printf("stage %d mode %d grid %dx%d frames %d elapsed %d limit %d\n", st.stageNumber, st.mode,
                st.grid.columns, st.grid.rows, sim.frame(), st.elapsed, st.timeLimit);
    std::printf("finished %d roundOver %d failed %d over %d score %d beaten %d lives %d sounds %d\n", st.finished,
                st.roundOver, st.failed, sim.over(), st.score, st.enemiesBeaten, sim.lives(), sim.soundCalls());
    for (int slot = 0; slot < Stage::kPlayers; ++slot) {
        if (const CatActor* c = st.Cat(slot))
            std::printf("cat %d kind %d at %d,%d gems %d knockedOut %d\n", slot + 1, c->kind, c->x, c->y,
                        c->StackCount(), c->knockedOut);
    }
    if (saveReplay) {
        const bool stored = st.SaveReplay();
        std::printf("replay %s\n", stored ? "stored" : "not stored");
        if (!stored) return 1;
    }
    return 0;
}
