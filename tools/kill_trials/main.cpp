// kill_trials: measures what a kill at a random moment of a store leaves on
// the disk, with the host's real flushes and renames. A child process stores
// while the parent kills it with SIGKILL after a random delay; the parent
// then does what the next start does and reads the files back: the previous
// set whole, the new set whole, or a mix.
//   set     the engine's durable set write of a replay-like set of seven
//           files (six streams and a meta file)
//   record  the game's store of a time-attack record: the run's replay with
//           the save holding its best time, then the save on the way back to
//           the title, as the result screen's START does
// Run it where the "tpa" tree is (the build directory) or name the tree's
// parent with --root; it works in a temporary folder of its own.
#include "engine/files.h"
#include "engine/log.h"
#include "game/play/sim/input_script.h"
#include "game/play/sim/play_sim.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

constexpr int kStage = 71;

// What the store of a trial does, and what the next start does first.
void StoreRecord(const Stage& stage, const SaveData& save) {
    stage.SaveReplay(&save);
    SaveData::Store(save);
}
void NextStart() { replay::FinishInterruptedStores(); }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file below the working directory but the content tree.
Files Snapshot() {
    Files files;
    for (auto it = fs::recursive_directory_iterator("."); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "tpa") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file()) files[it->path().lexically_normal().string()] = ReadFile(it->path());
    }
    return files;
}

void Restore(const Files& files) {
    for (const fs::directory_entry& e : fs::directory_iterator("."))
        if (e.path().filename() != "tpa") fs::remove_all(e.path());
    for (const auto& [path, bytes] : files) {
        if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
}

struct Tally {
    int trials = 0, inside = 0, old = 0, fresh = 0, mixed = 0;
};

// One store per trial in a child, killed after a delay drawn from
// [0, window) microseconds once the child says it begins.
Tally Trials(int count, uint32_t seed, const Files& before, const Files& after, const std::function<void()>& store) {
    std::mt19937 random(seed);
    // The window: a little longer than a whole store takes here.
    Restore(before);
    const auto start = std::chrono::steady_clock::now();
    store();
    const double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::uniform_real_distribution<double> delay(0.0, took * 1.25);
    std::printf("a whole store takes %.0f us; kills fall in the first %.0f us\n", took, took * 1.25);

    Tally t;
    for (int k = 0; k < count; ++k) {
        Restore(before);
        int ready[2];
        if (pipe(ready) != 0) std::exit(1);
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            const char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(1);
            store();
            _exit(0);
        }
        close(ready[1]);
        char go = 0;
        if (read(ready[0], &go, 1) != 1) std::exit(1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(delay(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        t.inside += WIFSIGNALED(status) ? 1 : 0;
        NextStart();
        const Files found = Snapshot();
        ++t.trials;
        if (found == before) ++t.old;
        else if (found == after) ++t.fresh;
        else ++t.mixed;
    }
    return t;
}

std::string Script(const char* direction, int jumpEvery) {
    std::string s = "102-1500 p1 " + std::string(direction) + "\n";
    for (int f = 140; f < 1500; f += jumpEvery) s += std::to_string(f) + "-" + std::to_string(f + 12) + " p1 jump\n";
    return s;
}

std::unique_ptr<playsim::Simulator> Recorded(int type, const char* direction, int jumpEvery) {
    playsim::Setup setup;
    setup.stageNumber = kStage;
    setup.mode = 9;
    setup.deviceTypes = {type};
    setup.difficulty = 1;
    auto sim = std::make_unique<playsim::Simulator>(setup);
    playsim::InputScript script;
    std::string error;
    if (!sim->loaded() || !script.Parse(Script(direction, jumpEvery), &error)) {
        std::fprintf(stderr, "kill_trials: stage %d cannot be played here (%s)\n", kStage, error.c_str());
        std::exit(2);
    }
    for (int f = 0; f < 900; ++f) sim->Step(&script);
    return sim;
}

}  // namespace

int main(int argc, char** argv) {
    SetLogOutput(0);
    std::string kind = argc > 1 ? argv[1] : "";
    int trials = kind == "set" ? 400 : 500;
    uint32_t seed = 1;
    fs::path root = fs::current_path();
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--trials") trials = std::atoi(argv[i + 1]);
        else if (arg == "--seed") seed = uint32_t(std::strtoul(argv[i + 1], nullptr, 10));
        else if (arg == "--root") root = fs::absolute(argv[i + 1]);
    }
    if ((kind != "set" && kind != "record") || trials <= 0 || !fs::exists(root / "tpa")) {
        std::fprintf(stderr, "usage: kill_trials set|record [--trials N] [--seed S] [--root DIR]\n"
                             "  (DIR holds the tpa tree; default: the working directory)\n");
        return 2;
    }
    std::string pattern = (fs::temp_directory_path() / "kill-trials-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const fs::path work = pattern;
    fs::create_directory_symlink(root / "tpa", work / "tpa");
    fs::current_path(work);

    // The stages record their input through the game's replay files.
    replay::ReplayFiles source;
    SetReplaySource(&source);
    Files before, after;
    std::function<void()> store;
    std::unique_ptr<playsim::Simulator> oldRun = Recorded(6, "right", 45), newRun = Recorded(5, "right", 30);
    SaveData oldSave, newSave;
    if (kind == "set") {
        // The streams and meta file of the two runs, written straight
        // through the durable set write.
        auto texts = [](const Stage& stage) {
            std::vector<std::pair<std::string, std::string>> files;
            const ReplayStreams& streams = *stage.replay.get();
            for (int k = 0; k < ReplayStreams::kStreamCount; ++k)
                files.push_back({replay::StreamFilePath(9, kStage, 0, 0, replay::Stream(k)),
                                 streams.StoredText(0, ReplayStreams::Stream(k))});
            files.push_back({replay::MetaFilePath(9, kStage, 0), "set"});
            for (auto& [path, text] : files) std::replace(path.begin(), path.end(), '\\', '/');
            return files;
        };
        const auto oldFiles = texts(oldRun->stage()), newFiles = texts(newRun->stage());
        fs::create_directory("replay");
        for (const auto& [path, text] : oldFiles) std::ofstream(path, std::ios::binary) << text << "old";
        before = Snapshot();
        store = [newFiles] {
            std::vector<DurableFile> set;
            for (const auto& [path, text] : newFiles) set.push_back({path.c_str(), text.data(), text.size()});
            WriteFileSetDurably(set.data(), set.size());
        };
    } else {
        SaveData::SetDefaults(oldSave);
        oldSave.bestTime[kStage] = 50000;
        oldSave.bestTimeCat[kStage] = 6;
        newSave = oldSave;
        newSave.bestTime[kStage] = 40000;
        newSave.bestTimeCat[kStage] = 5;
        StoreRecord(oldRun->stage(), oldSave);
        before = Snapshot();
        store = [&] { StoreRecord(newRun->stage(), newSave); };
    }
    Restore(before);
    store();
    after = Snapshot();
    if (after == before) {
        std::fprintf(stderr, "kill_trials: the store changed nothing\n");
        return 1;
    }
    const Tally t = Trials(trials, seed, before, after, store);
    std::printf("%s: %d trials, %d killed inside the store; whole old %d, whole new %d, mixed %d\n", kind.c_str(),
                t.trials, t.inside, t.old, t.fresh, t.mixed);
    SetReplaySource(nullptr);
    fs::current_path(root);
    fs::remove_all(work);
    return t.mixed == 0 ? 0 : 3;
}
