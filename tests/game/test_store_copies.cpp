// Copies of the game, each in a folder of its own, that share one replay
// folder and a save in each of the ways a player may share them: linked
// from each, a/ keeping its own save and b/ and c/ a save linked to one
// shared file, or to a/'s; or a/ working in the shared folder itself, b/
// and c/ linking its save and replay/. A copy takes the folders it stores
// in for as long as it runs, so copies sharing one run one after another,
// and a copy started while another runs is refused. Each store of a
// time-attack record (the replay with the save that holds its best time)
// is killed at every step, or a copy at random moments; whoever starts
// next settles first. Every stage's replay is found whole, and the save
// of the copy that stored it holds its best time, with what copies stored
// after.
#include "durable_game.h"
#include "durable_kill.h"
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
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStages[] = {3, 5, 7};

// Where the copies work, the folder of the replays they share, and how the
// folders are made (the shared save at shared/morpoCatSave.dat is there).
// In SharedSave a copy does not use the folder another's sets commit in
// (the other's save folder): while such a set stands cut short, undecided,
// it does not store over its files, and says that the set waits.
struct Layout {
    const char* name;
    std::vector<std::string> copies;
    void (*make)();
    bool setsMayWait = false;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

void LinkFrom(const std::string& copy, const char* save) {
    fs::create_directory(copy);
    fs::create_directory_symlink("../shared/replay", copy + "/replay");
    if (save) fs::create_symlink(save, copy + "/morpoCatSave.dat");
}

const Layout kLayouts[] = {
    {"SharedSave", {"a", "b", "c"},
     [] {
         LinkFrom("a", nullptr);
         fs::copy_file("shared/morpoCatSave.dat", "a/morpoCatSave.dat");
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../shared/morpoCatSave.dat");
     },
     true},
    {"LinkedToA", {"a", "b", "c"},
     [] {
         LinkFrom("a", nullptr);
         fs::rename("shared/morpoCatSave.dat", "a/morpoCatSave.dat");
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../a/morpoCatSave.dat");
     }},
    {"AInsideShared", {"shared", "b", "c"},
     [] {
         for (const char* copy : {"b", "c"}) LinkFrom(copy, "../shared/morpoCatSave.dat");
     }},
    // The save kept in the replay folder: the stores' two folders are one place.
    {"OnePlace", {"a", "b", "c"},
     [] {
         fs::rename("shared/morpoCatSave.dat", "shared/replay/morpoCatSave.dat");
         for (const char* copy : {"a", "b", "c"}) LinkFrom(copy, "../shared/replay/morpoCatSave.dat");
     }},
};

// The replay of a run: each stream names the copy, the run and itself.
StoredReplay RunOf(const std::string& copy, int token) {
    StoredReplay stored;
    stored.playerKinds = {6};
    stored.text.resize(1);
    for (size_t k = 0; k < stored.text[0].size(); ++k)
        stored.text[0][k] = "copy " + copy + " run " + std::to_string(token) + " stream " + std::to_string(k);
    return stored;
}

// The (copy, run) a stage's replay files hold, as "<copy> run <run>"; "" when
// there is none, "mixed: ..." when they are not one run's.
std::string RunOfStage(int stage, const std::string& replayFolder = "shared/replay") {
    std::string run;
    for (int k = 0; k < 6; ++k) {
        const fs::path path = replayFolder + "/t" + std::to_string(stage) + "_" + replay::StreamWord(replay::Stream(k)) +
                              "State0P.dat";
        if (k == 0 && !fs::exists(path)) return "";
        const std::string text = ScopedTempDir::ReadFile(path);
        const std::string tag = text.substr(0, text.rfind(" stream "));
        if (k == 0) run = tag;
        if (tag != run || text != tag + " stream " + std::to_string(k) || !tag.starts_with("copy "))
            return "mixed: " + path.string() + " holds " + text;
    }
    return run.substr(5);
}

SaveData SaveOf(const std::string& copy) {
    SaveData save;
    EXPECT_TRUE(SaveData::Load(save, (copy + "/morpoCatSave.dat").c_str())) << copy;
    return save;
}

// The runs whose replay store was refused (each " <run>"), in the folder of
// the copy that stored them.
std::string RefusedRuns(const std::string& copy) {
    return fs::exists(copy + "/refused") ? ScopedTempDir::ReadFile(copy + "/refused") : "";
}

// The best time a save holds for a run's stage is the run's own number, or
// that of a later run of the save's whose replay store was refused (its
// save was stored on its own afterwards).
std::string RunInItsSave(int stage, const std::vector<std::string>& copies = {}) {
    const std::string run = RunOfStage(stage);
    if (run.empty() || run.starts_with("mixed")) return run;
    const std::string copy = run.substr(0, run.find(' '));
    const int token = std::stoi(run.substr(run.rfind(' ') + 1));
    const int32_t best = SaveOf(copy).bestTime[stage];
    const bool refused = std::any_of(copies.begin(), copies.end(), [&](const std::string& c) {
        return (RefusedRuns(c) + " ").find(" " + std::to_string(best) + " ") != std::string::npos;
    });
    return best == token || (refused && best > token)
               ? ""
               : "stage " + std::to_string(stage) + ": the replay is run " + run + ", " + copy + "'s save holds " +
                     std::to_string(best);
}

std::vector<std::string>& NoticesSaid() {
    static std::vector<std::string> lines;
    return lines;
}

// What a copy says of another copy's set that stands undecided in a folder
// they share.
bool IsWaitNotice(const std::string& line) {
    return line.find("waits for a folder this copy of the game does not use") != std::string::npos;
}

// The shared folder with a replay of each stage and the save recording
// them, as the copy named stored them, run 1.
void PutSharedFolder(const std::string& copy) {
    fs::create_directories("shared/replay");
    SaveData save;
    SaveData::SetDefaults(save);
    for (int stage : kStages) {
        const StoredReplay run = RunOf(copy, 1);
        for (int k = 0; k < 6; ++k)
            std::ofstream("shared/replay/t" + std::to_string(stage) + "_" + replay::StreamWord(replay::Stream(k)) +
                          "State0P.dat") << run.text[0][size_t(k)];
        std::ofstream("shared/replay/t" + std::to_string(stage) + "_meta.dat") << "6,";
        save.bestTime[stage] = 1;
    }
    uint8_t bytes[SaveData::kFileSize];
    SaveData::Serialize(save, bytes);
    std::ofstream("shared/morpoCatSave.dat", std::ios::binary).write(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// As the game does from its start: settles, then reads the save; false
// when the start is refused.
bool StartCopy(const std::string& copy, SaveData* save) {
    fs::current_path(copy);
    const bool started = replay::FinishInterruptedStores();
    if (started) SaveData::Load(*save);
    return started;
}

// ---- a kill at every step of a's store ----

class LayoutKills : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        SetPlayerNoticeSink([](const char* line) { NoticesSaid().push_back(line); });
    }
    void TearDown() override {
        fs::current_path(dir_.path());
        SetPlayerNoticeSink(nullptr);
        ReleaseDurableFolders();
    }
    // Back to the layout before a's store.
    void PutLayout() {
        fs::current_path(dir_.path());
        ReleaseDurableFolders();
        for (const char* folder : {"shared", "a", "b", "c"}) fs::remove_all(folder);
        PutSharedFolder(GetParam().copies[0]);
        GetParam().make();
    }
    // A copy's whole run: its start, then what it does, then its end.
    void Run(const std::string& copy, const std::function<void(SaveData&)>& then = nullptr) {
        SaveData save;
        const bool started = StartCopy(copy, &save);
        EXPECT_TRUE(started) << copy;
        if (started && then) then(save);
        fs::current_path(dir_.path());
        ReleaseDurableFolders();
    }
    ScopedTempDir dir_;
};

// a stores a record of stage 3 (run 2), killed at any step of it; b starts
// (itself killed at any step of its settling, and started again) and stores
// a record of stage 5 (run 3) with the save; then a starts again.
TEST_P(LayoutKills, AKillAtEveryStepOfAStoreLeavesOneRunsReplayWithItsBestTimeAndTheNextCopysChanges) {
    SkippedFsyncs fast;
    const std::string a = GetParam().copies[0], b = GetParam().copies[1];
    KillDriver d;
    d.putOldSet = [&] { PutLayout(); };
    d.store = [&] {
        Run(a, [&](SaveData& save) {
            save.bestTime[3] = 2;
            replay::ReplayFiles().SaveStreams(RunOf(a, 2), gamemode::kTimeAttack, 3, &save);
        });
    };
    d.settle = [&] { Run(b); };
    d.read = [&] {
        NoticesSaid().clear();  // what the killed runs said
        Run(b, [&](SaveData& save) {
            save.bestTime[5] = 3;
            save.difficulty = 2;
            EXPECT_TRUE(replay::ReplayFiles().SaveStreams(RunOf(b, 3), gamemode::kTimeAttack, 5, &save));
        });
        std::vector<std::string> said = NoticesSaid();
        std::erase_if(said, [](const std::string& line) { return IsWaitNotice(line); });
        if (!GetParam().setsMayWait) said = NoticesSaid();
        NoticesSaid().clear();
        Run(a);
        said.insert(said.end(), NoticesSaid().begin(), NoticesSaid().end());
        const bool whole = RunInItsSave(3).empty() && RunInItsSave(5).empty() && RunOfStage(5) == b + " run 3" &&
                           SaveOf(b).difficulty == 2 && said.empty();
        EXPECT_TRUE(whole) << RunInItsSave(3) << RunInItsSave(5) << ", stage 5's replay: " << RunOfStage(5)
                           << (said.empty() ? "" : ", said: " + said[0]);
        return !whole ? SetFound::Mixed : RunOfStage(3) == a + " run 2" ? SetFound::New : SetFound::Old;
    };
    d.leftovers = [&] { return !StoreLeftovers(dir_.path()).empty(); };
    const KillTally tally = KillAtEveryStep(d);
    RecordProperty("cases", tally.cases);
    EXPECT_GT(tally.cases, 100);
    EXPECT_EQ(tally.mixed, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutKills, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

// ---- copies as processes, killed at random ----

// A copy of the game storing records until it is killed: run only as a
// process of its own, by the case below. Its start, settling first, is
// refused while another copy runs; each store's outcome is a letter
// appended to "outcomes": x the start refused, r/R the replay stored or
// not (its run's number then appended to "refused"), s/S the save. Its
// runs are numbered from start * 1000.
TEST(DISABLED_GameCopy, StoresRecordsUntilKilled) {
    const char* copy = std::getenv("MORPOTTA_GAME_COPY");
    const char* start = std::getenv("MORPOTTA_GAME_START");
    ASSERT_TRUE(copy && start);
    Fsyncs().skip = true;
    SetLogOutput(0);
    SetPlayerNoticeSink([](const char*) {});
    const int outcomes = open((std::string(copy) + "/outcomes").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const int refused = open((std::string(copy) + "/refused").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    SaveData save;
    if (!StartCopy(copy, &save)) {
        (void)!write(outcomes, "x", 1);
        return;
    }
    std::mt19937 random{unsigned(getpid())};
    for (int run = 1; run < 1000; ++run) {
        const int stage = kStages[random() % std::size(kStages)];
        const int token = std::atoi(start) * 1000 + run;
        save.bestTime[stage] = token;
        const bool stored = replay::ReplayFiles().SaveStreams(RunOf(copy, token), gamemode::kTimeAttack, stage, &save);
        const char replayOutcome = stored ? 'r' : 'R';
        if (!stored) dprintf(refused, " %d", token);
        const char saveOutcome = SaveData::Store(save) ? 's' : 'S';
        (void)!write(outcomes, &replayOutcome, 1);
        (void)!write(outcomes, &saveOutcome, 1);
    }
    pause();
}

class Copy {
public:
    explicit Copy(std::string name) : name_(std::move(name)) {}
    ~Copy() { Kill(); }

    void Start(int start) {
        const std::string exe = fs::read_symlink("/proc/self/exe").string();
        std::vector<std::string> words = {exe, "--gtest_filter=DISABLED_GameCopy.*", "--gtest_also_run_disabled_tests"};
        std::vector<std::string> variables = {"MORPOTTA_GAME_COPY=" + name_,
                                              "MORPOTTA_GAME_START=" + std::to_string(start)};
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
    // Whether its outcomes grew past `size` within 20 seconds.
    bool Grows(size_t size) const {
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (Outcomes().size() <= size && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Outcomes().size() > size;
    }
    // Once it has stored at least once since it started.
    bool Storing() const { return Grows(outcomesAtStart_); }
    // Whether it ended by itself within 20 seconds.
    bool Ended() {
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (waitpid(pid_, nullptr, WNOHANG) == 0 && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool ended = kill(pid_, 0) != 0;
        Kill();
        return ended;
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::string Outcomes() const { return ScopedTempDir::ReadFile(name_ + "/outcomes"); }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = -1;
    size_t outcomesAtStart_ = 0;
};

class GameCopies : public ::testing::TestWithParam<Layout> {};

TEST_P(GameCopies, CopiesRunOneAfterAnotherKilledAtRandomAndOneStartedWhileAnotherRunsIsRefused) {
    const Layout& layout = GetParam();
    ScopedTempDir dir;
    SkippedFsyncs fast;
    PutSharedFolder(layout.copies[0]);
    layout.make();
    std::vector<std::unique_ptr<Copy>> copies;
    for (const std::string& name : layout.copies) copies.push_back(std::make_unique<Copy>(name));
    // For a few seconds a copy is started, and killed at a random moment
    // once it has stored; the saves are read all the while. Now and then
    // another copy is started while it runs.
    std::mt19937 random(67);
    int starts = 0, kills = 0, refusals = 0, badReads = 0;
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
        const size_t at = random() % copies.size();
        Copy& running = *copies[at];
        running.Start(++starts);
        ASSERT_TRUE(running.Storing()) << "a copy stores nothing";
        if (random() % 3 == 0) {
            Copy& second = *copies[(at + 1 + random() % (copies.size() - 1)) % copies.size()];
            second.Start(++starts);
            EXPECT_TRUE(second.Ended()) << second.name() << " started while " << running.name() << " runs";
            EXPECT_TRUE(second.Outcomes().ends_with("x")) << second.Outcomes();
            ++refusals;
            EXPECT_TRUE(running.Grows(running.Outcomes().size())) << running.name() << " stopped storing";
        }
        const auto moment = Clock::now() + std::chrono::microseconds(random() % 40000);
        while (Clock::now() < moment) {
            for (const std::string& copy : layout.copies) {
                const std::string save = copy + "/morpoCatSave.dat";
                if (ScopedTempDir::ReadFile(save).size() != SaveData::kFileSize) ++badReads;
            }
        }
        running.Kill();
        ++kills;
    }
    RecordProperty("kills", kills);
    RecordProperty("refusals", refusals);

    // Each copy starts again, one after another, twice: by the second
    // round every set is settled, and nothing is said.
    SetPlayerNoticeSink([](const char* line) { NoticesSaid().push_back(line); });
    for (int round = 0; round < 2; ++round) {
        NoticesSaid().clear();
        for (const std::string& copy : layout.copies) {
            SaveData save;
            EXPECT_TRUE(StartCopy(copy, &save)) << copy;
            fs::current_path(dir.path());
            ReleaseDurableFolders();
        }
        if (round == 0 && layout.setsMayWait) std::erase_if(NoticesSaid(), IsWaitNotice);
        EXPECT_EQ(NoticesSaid(), std::vector<std::string>{}) << "round " << round;
    }
    SetPlayerNoticeSink(nullptr);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
    EXPECT_EQ(badReads, 0);
    for (int stage : kStages) EXPECT_EQ(RunInItsSave(stage, layout.copies), "");
    for (const std::string& copy : layout.copies) {
        const std::string outcomes = ScopedTempDir::ReadFile(copy + "/outcomes");
        RecordProperty("stores_" + copy, int(outcomes.size()));
        // A replay over another copy's undecided set is refused; the save never is.
        EXPECT_EQ(outcomes.find_first_of(layout.setsMayWait ? "S" : "RS"), std::string::npos) << copy << ": " << outcomes;
    }
    for (const char* copy : {"b", "c"}) EXPECT_TRUE(fs::is_symlink(std::string(copy) + "/morpoCatSave.dat"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, GameCopies, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

}  // namespace
