// kill_trials: measures what a kill at a random moment of a store leaves on
// the disk, with the host's real flushes and renames. A child process stores
// while the parent kills it with SIGKILL after a random delay; another child
// then does what the game's next start does (it settles the folders the
// killed one held, as their next user), and the parent reads the files
// back: the previous set whole, the new set whole, or a mix (a leftover
// temporary or record counts as one). The moment of the kill is drawn
// from the whole store (--at store, the default), or from the renames
// (--at renames): once the set's first file has been replaced, within the
// time its renames take.
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

#include <sys/stat.h>
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

// What the store of a trial does, as the result screen's START and the
// title do: the replay with the save that holds the run's best time, then
// the save, holding that time only when the replay was stored.
void StoreRecord(const Stage& stage, const SaveData& before, const SaveData& withRecord) {
    SaveData::Store(stage.SaveReplay(&withRecord) ? withRecord : before);
}

// A game path ('\\' separated) as the host takes it.
std::string HostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

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
    int trials = 0, inside = 0, old = 0, fresh = 0, mixed = 0, refused = 0;
};

using Clock = std::chrono::steady_clock;

// The file's identity on the disk: a rename over it gives a new one.
ino_t InodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Runs work in a child process, as a copy of the game of its own (which
// takes the folders it stores in until it ends); whether it ended with true.
bool InChild(const std::function<bool()>& work) {
    const pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What the next start does first; false when it was refused.
bool NextStart() { return InChild(replay::FinishInterruptedStores); }

// Starts the store in a child and returns once it has begun.
pid_t StartStore(const std::function<void()>& store) {
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
    return child;
}

// Waits until the file at path is replaced or the child has ended; false
// when it ended first (its status in *status).
bool AwaitReplaced(const std::string& path, ino_t before, pid_t child, int* status) {
    while (InodeOf(path) == before) {
        if (waitpid(child, status, WNOHANG) == child) return false;
    }
    return true;
}

// One store per trial in a child, killed after a random delay: from the
// store's beginning over a little more than a whole store takes, or from
// the replacement of its first file over a little more than its renames take.
Tally Trials(int count, uint32_t seed, bool atRenames, const std::string& first, const std::string& last,
             const Files& before, const Files& after, const std::function<void()>& store) {
    std::mt19937 random(seed);
    using Micro = std::chrono::duration<double, std::micro>;
    // The median of a few whole stores: the disk's flushes vary a lot.
    std::vector<double> wholes, renameSpans;
    int status = 0;
    for (int k = 0; k < 9; ++k) {
        Restore(before);
        const ino_t firstBefore = InodeOf(first), lastBefore = InodeOf(last);
        const auto begun = Clock::now();
        const pid_t timed = StartStore(store);
        AwaitReplaced(first, firstBefore, timed, &status);
        const auto firstReplaced = Clock::now();
        AwaitReplaced(last, lastBefore, timed, &status);
        const auto lastReplaced = Clock::now();
        waitpid(timed, &status, 0);
        wholes.push_back(Micro(Clock::now() - begun).count());
        renameSpans.push_back(Micro(lastReplaced - firstReplaced).count());
    }
    std::sort(wholes.begin(), wholes.end());
    std::sort(renameSpans.begin(), renameSpans.end());
    const double whole = wholes[wholes.size() / 2], renames = renameSpans[renameSpans.size() / 2];
    const double window = atRenames ? renames * 1.5 + 20.0 : whole * 1.25;
    std::printf("a whole store takes %.0f us (median), from its first file replaced to its last %.0f us; kills fall in the "
                "first %.0f us %s\n",
                whole, renames, window, atRenames ? "after its first file is replaced" : "of the store");
    std::uniform_real_distribution<double> delay(0.0, window);

    Tally t;
    for (int k = 0; k < count; ++k) {
        Restore(before);
        const ino_t restored = InodeOf(first);
        const pid_t child = StartStore(store);
        status = 0;
        bool running = true;
        if (atRenames) running = AwaitReplaced(first, restored, child, &status);
        if (running) {
            std::this_thread::sleep_for(Micro(delay(random)));
            kill(child, SIGKILL);
        }
        if (running) waitpid(child, &status, 0);
        t.inside += WIFSIGNALED(status) ? 1 : 0;
        t.refused += NextStart() ? 0 : 1;
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
    bool atRenames = false;
    fs::path root = fs::current_path();
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--trials") trials = std::atoi(argv[i + 1]);
        else if (arg == "--seed") seed = uint32_t(std::strtoul(argv[i + 1], nullptr, 10));
        else if (arg == "--root") root = fs::absolute(argv[i + 1]);
        else if (arg == "--at") atRenames = std::string(argv[i + 1]) == "renames";
    }
    if ((kind != "set" && kind != "record") || trials <= 0 || !fs::exists(root / "tpa")) {
        std::fprintf(stderr, "usage: kill_trials set|record [--trials N] [--seed S] [--at store|renames] [--root DIR]\n"
                             "  (DIR holds the tpa tree; default: the working directory)\n");
        return 2;
    }
    std::string pattern = (fs::temp_directory_path() / "kill-trials-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const fs::path work = pattern;
    // The content, but for the demo replays' folder: a running copy of the
    // game takes that folder, and the trials store nothing there.
    fs::create_directory(work / "tpa");
    for (const fs::directory_entry& e : fs::directory_iterator(root / "tpa"))
        if (e.path().filename() != "d_replay") fs::create_symlink(e.path(), work / "tpa" / e.path().filename());
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
            const ReplayStreams& streams = *stage.streamText.get();
            for (int k = 0; k < ReplayStreams::kStreamCount; ++k)
                files.push_back({replay::StreamFilePath(9, kStage, 0, 0, replay::Stream(k)),
                                 streams.StoredText(0, ReplayStreams::Stream(k))});
            files.push_back({replay::MetaFilePath(9, kStage, 0), "set"});
            for (auto& [path, text] : files) path = HostPath(path);
            return files;
        };
        const auto oldFiles = texts(oldRun->stage()), newFiles = texts(newRun->stage());
        fs::create_directory("replay");
        for (const auto& [path, text] : oldFiles) std::ofstream(path, std::ios::binary) << text << "old";
        before = Snapshot();
        store = [newFiles] {
            std::vector<DurableFile> set;
            for (const auto& [path, text] : newFiles) set.push_back({path.c_str(), text.data(), text.size()});
            WriteFileSetDurably(&replay::GameStores(), set.data(), set.size());
        };
    } else {
        SaveData::SetDefaults(oldSave);
        const SaveData defaults = oldSave;
        oldSave.bestTime[kStage] = 50000;
        oldSave.bestTimeCat[kStage] = 6;
        newSave = oldSave;
        newSave.bestTime[kStage] = 40000;
        newSave.bestTimeCat[kStage] = 5;
        InChild([&] {
            StoreRecord(oldRun->stage(), defaults, oldSave);
            return true;
        });
        before = Snapshot();
        store = [&] { StoreRecord(newRun->stage(), oldSave, newSave); };
    }
    Restore(before);
    InChild([&] { return store(), true; });
    after = Snapshot();
    if (after == before) {
        std::fprintf(stderr, "kill_trials: the store changed nothing\n");
        return 1;
    }
    const std::string first = HostPath(replay::StreamFilePath(9, kStage, 0, 0, replay::Stream(0)));
    const std::string last = kind == "set" ? HostPath(replay::MetaFilePath(9, kStage, 0)) : SaveData::kFileName;
    const Tally t = Trials(trials, seed, atRenames, first, last, before, after, store);
    std::printf("%s, kills at %s: %d trials, %d killed inside the store; whole old %d, whole new %d, mixed %d; next "
                "start refused %d\n",
                kind.c_str(), atRenames ? "the renames" : "any moment of the store", t.trials, t.inside, t.old,
                t.fresh, t.mixed, t.refused);
    SetReplaySource(nullptr);
    fs::current_path(root);
    fs::remove_all(work);
    return t.mixed == 0 && t.refused == 0 ? 0 : 3;
}
