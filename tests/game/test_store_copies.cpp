// Three copies of the game, each in a folder of its own, store time-attack
// records as the result screen does (the replay with the save that holds
// its best time, then the save) into one replay folder they share, in each
// of the ways a player may share them: linked from each, a/ keeping its own
// save and b/ and c/ a save linked to one shared file, or to a/'s; or a/
// working in the shared folder itself, b/ and c/ linking its save and
// replay/. Each copy is a process of its own, killed at random moments and
// started again, settling first as the game's start-up does. Every stage's
// replay is found whole, every save whole at every moment, and nothing is
// left over once each copy has started again.
#include "engine/log.h"
#include "fsync_spy.h"
#include "game/data/player_notice.h"
#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/replay/replay_streams.h"
#include "game/savedata.h"
#include "scoped_temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kStages[] = {3, 5, 7};

// Where the copies work, the folder of the replays they share, and how the
// folders are made.
struct Layout {
    const char* name;
    std::vector<std::string> copies;
    void (*make)();
};

void LinkFrom(const std::string& copy, const char* save) {
    fs::create_directory(copy);
    fs::create_directory_symlink("../shared/replay", copy + "/replay");
    if (save) fs::create_symlink(save, copy + "/morpoCatSave.dat");
}

const Layout kLayouts[] = {
    {"a save shared by b and c", {"a", "b", "c"},
     [] {
         LinkFrom("a", nullptr);
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../shared/morpoCatSave.dat");
     }},
    {"a's save linked from b and c", {"a", "b", "c"},
     [] {
         LinkFrom("a", nullptr);
         fs::copy_file("shared/morpoCatSave.dat", "a/morpoCatSave.dat");
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../a/morpoCatSave.dat");
     }},
    {"a working in the shared folder", {"shared", "b", "c"},
     [] {
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../shared/morpoCatSave.dat");
     }},
};

// A copy of the game storing records until it is killed: run only as a
// process of its own, by the case below. Each store's outcome is a letter
// appended to "outcomes": r/R the replay stored or not, s/S the save.
TEST(DISABLED_GameCopy, StoresRecordsUntilKilled) {
    const char* copy = std::getenv("MORPOTTA_GAME_COPY");
    ASSERT_NE(copy, nullptr);
    fs::current_path(copy);
    Fsyncs().skip = true;
    SetLogOutput(0);
    SetPlayerNoticeSink([](const char*) {});
    const int outcomes = open("outcomes", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    replay::FinishInterruptedStores();
    SaveData save;
    SaveData::Load(save);
    std::mt19937 random{unsigned(getpid())};
    for (int run = 1;; ++run) {
        const int stage = kStages[random() % std::size(kStages)];
        StoredReplay stored;
        stored.playerKinds = {6};
        stored.text.resize(1);
        for (size_t k = 0; k < stored.text[0].size(); ++k)
            stored.text[0][k] = std::string("copy ") + copy + " run " + std::to_string(run) + " stream " + std::to_string(k);
        save.bestTime[stage] = run;
        const char replayOutcome = replay::ReplayFiles().SaveStreams(stored, gamemode::kTimeAttack, stage, &save) ? 'r' : 'R';
        const char saveOutcome = SaveData::Store(save) ? 's' : 'S';
        (void)!write(outcomes, &replayOutcome, 1);
        (void)!write(outcomes, &saveOutcome, 1);
    }
}

class Copy {
public:
    explicit Copy(std::string name) : name_(std::move(name)) {}
    ~Copy() { Kill(); }

    void Start() {
        const std::string exe = fs::read_symlink("/proc/self/exe").string();
        std::vector<std::string> words = {exe, "--gtest_filter=DISABLED_GameCopy.*", "--gtest_also_run_disabled_tests"};
        std::vector<std::string> variables = {"MORPOTTA_GAME_COPY=" + name_};
        for (char** v = environ; *v; ++v) variables.push_back(*v);
        std::vector<char*> argv, envp;
        for (std::string& word : words) argv.push_back(word.data());
        for (std::string& variable : variables) envp.push_back(variable.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        outcomesAtStart_ = Outcomes().size();
        ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    // Once it has stored at least once since it started.
    bool Storing() const { return Outcomes().size() > outcomesAtStart_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::string Outcomes() const { return ScopedTempDir::ReadFile(name_ + "/outcomes"); }

private:
    std::string name_;
    pid_t pid_ = -1;
    size_t outcomesAtStart_ = 0;
};

// The (copy, run) a stage's replay files hold, when they hold one; "mixed" otherwise.
std::string RunOfStage(int stage) {
    std::string run;
    for (int k = 0; k < 6; ++k) {
        const fs::path path =
            "shared/replay/t" + std::to_string(stage) + "_" + replay::StreamWord(replay::Stream(k)) + "State0P.dat";
        const std::string text = ScopedTempDir::ReadFile(path);
        const std::string tag = text.substr(0, text.rfind(" stream "));
        if (k == 0) run = tag;
        if (tag != run || text != tag + " stream " + std::to_string(k)) return "mixed: " + path.string() + " holds " + text;
    }
    return run;
}

std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(".")) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".tmp") || name.ends_with(".commit")) found.push_back(e.path().string());
    }
    return found;
}

std::vector<std::string>& NoticesSaid() {
    static std::vector<std::string> lines;
    return lines;
}

class GameCopies : public ::testing::TestWithParam<Layout> {};

TEST_P(GameCopies, CopiesSharingTheirReplaysAndASaveKilledAtRandomLeaveEveryStoreWhole) {
    const Layout& layout = GetParam();
    ScopedTempDir dir;
    SkippedFsyncs fast;
    fs::create_directories("shared/replay");
    SaveData save;
    SaveData::SetDefaults(save);
    ASSERT_TRUE(SaveData::Store(save, "shared/morpoCatSave.dat"));
    layout.make();
    std::vector<std::unique_ptr<Copy>> copies;
    for (const std::string& name : layout.copies) {
        copies.push_back(std::make_unique<Copy>(name));
        copies.back()->Start();
    }
    // Kills at random moments for a few seconds, each once the copy has
    // stored since its start; the saves are read all the while.
    std::mt19937 random(67);
    int kills = 0, badReads = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        Copy& victim = *copies[random() % copies.size()];
        const auto waitUntil = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!victim.Storing() && std::chrono::steady_clock::now() < waitUntil)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(victim.Storing()) << "a copy stores nothing";
        const auto moment = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 40000);
        while (std::chrono::steady_clock::now() < moment) {
            for (const std::string& copy : layout.copies) {
                const std::string at = copy + "/morpoCatSave.dat";
                if (fs::exists(at) && ScopedTempDir::ReadFile(at).size() != SaveData::kFileSize) ++badReads;
            }
        }
        victim.Kill();
        ++kills;
        victim.Start();
    }
    for (auto& copy : copies) copy->Kill();
    RecordProperty("kills", kills);

    // Each copy starts again.
    NoticesSaid().clear();
    SetPlayerNoticeSink([](const char* line) { NoticesSaid().push_back(line); });
    for (const std::string& copy : layout.copies) {
        fs::current_path(copy);
        replay::FinishInterruptedStores();
        fs::current_path(dir.path());
    }
    SetPlayerNoticeSink(nullptr);
    EXPECT_EQ(NoticesSaid(), std::vector<std::string>{});
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(badReads, 0);
    int stored = 0;
    for (int stage : kStages) {
        if (!fs::exists("shared/replay/t" + std::to_string(stage) + "_meta.dat")) continue;
        ++stored;
        EXPECT_EQ(RunOfStage(stage).rfind("copy ", 0), 0u) << RunOfStage(stage);
    }
    EXPECT_GT(stored, 0);
    SaveData back;
    for (const std::string& copy : layout.copies) {
        EXPECT_TRUE(SaveData::Load(back, (copy + "/morpoCatSave.dat").c_str())) << copy;
        const std::string outcomes = ScopedTempDir::ReadFile(copy + "/outcomes");
        RecordProperty("stores_" + copy, int(outcomes.size()));
        // Every store is made, or kept while another copy stores in its folder.
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 'S'), 0) << copy << ": " << outcomes;
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 'R'), 0) << copy << ": " << outcomes;
    }
    for (const char* copy : {"b", "c"}) EXPECT_TRUE(fs::is_symlink(std::string(copy) + "/morpoCatSave.dat"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, GameCopies, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return std::string(info.index == 0 ? "SharedSave" : info.index == 1 ? "LinkedToA" : "AInsideShared");
                         });

}  // namespace
