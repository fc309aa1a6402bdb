// Replays through their files and the play simulator: a run recorded in a
// time-attack mode, stored, read back and played in a replay mode goes
// through the same states frame by frame, for every kind of device; a
// store that fails keeps the replay stored before; damaged files load or
// are refused, never crash.
#include "durable_game.h"
#include "durable_kill.h"
#include "engine/log.h"
#include "foundation/log_internal.h"
#include "fsync_spy.h"
#include "game/data/game_files.h"
#include "game/play/game_modes.h"
#include "game/play/sim/play_sim.h"
#include "game/replay/replay_files.h"
#include "game/replay/replay_format.h"
#include "game/replay/stage_streams.h"
#include "game/savedata.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

namespace fs = std::filesystem;

constexpr int kStage = 71;  // enemies, gems and hazards
constexpr int kFrames = 1500;

// The generated stages and time table in a temporary working directory,
// with the replay files as the stages' replay source.
class ReplayFilesTest : public GeneratedStages {
protected:
    void SetUp() override {
        GeneratedStages::SetUp();
        SetReplaySource(&source_);
    }
    void TearDown() override { SetReplaySource(nullptr); }

    replay::ReplayFiles source_;
};

// The hash of a stage as a replay of it must reproduce it: everything but
// the mode, which is what differs between recording and playing.
uint64_t PlayHash(Stage& stage) {
    const int32_t mode = stage.mode;
    stage.mode = gamemode::kTimeAttack;
    const uint64_t h = playsim::HashStage(stage);
    stage.mode = mode;
    return h;
}

struct Played {
    std::vector<uint64_t> hashes;
    bool saved = false;
    int firstKind = 0;
};

Played Play(const playsim::Setup& setup, const playsim::InputScript* script, bool save, int frames = kFrames) {
    Played run;
    playsim::Simulator sim(setup);
    EXPECT_TRUE(sim.loaded());
    if (!sim.loaded()) return run;
    run.firstKind = sim.stage().Cat(0)->kind;
    while (sim.frame() < frames && sim.Step(script)) run.hashes.push_back(PlayHash(sim.stage()));
    if (save) run.saved = sim.stage().SaveReplay();
    return run;
}

playsim::Setup SetupOf(int mode, std::vector<int> types) {
    playsim::Setup s;
    s.stageNumber = kStage;
    s.mode = mode;
    s.deviceTypes = std::move(types);
    s.difficulty = 1;
    s.seed = 7;
    return s;
}

playsim::InputScript ScriptOf(const std::string& text) {
    playsim::InputScript script;
    std::string error;
    EXPECT_TRUE(script.Parse(text, &error)) << error;
    return script;
}

// Busy input for one player of each kind: the stage starts taking input on
// frame 102, after the ready phase.
std::string BusyScript(int type, const std::string& player = "p1") {
    std::string s;
    auto line = [&](const std::string& frames, const std::string& what) { s += frames + " " + player + " " + what + "\n"; };
    line("102-1500", "right");
    for (int f = 140; f < 1500; f += 45) {
        if (type == 2 && f < 400) continue;  // room for the jumps below
        line(std::to_string(f) + "-" + std::to_string(f + 12), "jump");
    }
    line("600-650", "left");
    switch (type) {
    case 1: line("700-720", "action"); break;
    case 2:
        // No hold buttons: the cat discards every pulse, but a jump let go
        // of and taken up again rises on while one is there.
        for (int f : {150, 230, 320}) {
            line(std::to_string(f) + "-" + std::to_string(f + 4), "jump");
            line(std::to_string(f + 5) + "-" + std::to_string(f + 7), "shake=0");
            line(std::to_string(f + 8) + "-" + std::to_string(f + 14), "jump");
        }
        line("420-450", "shake=0");
        line("470-480", "shake=2");
        line("450-520", "action extra");
        line("460-470", "shake=1");  // held on a full gauge: taken
        line("800-805", "shake=0");
        break;
    case 3:
        // Aiming moves the slope every frame, with values %f would round.
        for (int f = 200; f <= 260; ++f) {
            char v[96];
            std::snprintf(v, sizeof v, "slope=%.7f,%.7f,0.3", std::sin(f * 0.1) * 0.9, std::cos(f * 0.1) * 0.9);
            line(std::to_string(f), v);
        }
        line("200-260", "action jump");
        line("900-960", "action jump slope=-0.6123457,0.2,0.9");
        break;
    case 4:
        line("102-1500", "lx=20000");
        line("300-320", "lt=255");
        line("500-600", "lx=-30000 ly=5000");
        line("700-720", "lb=1");
        line("800-900", "rx=25000 rt=200 rb=1");
        break;
    case 5:
        // The cursor moves every frame, off the screen too.
        for (int f = 102; f <= 1500; ++f)
            line(std::to_string(f), "mouse=" + std::to_string((f * 7) % 700 - 30) + "," + std::to_string((f * 3) % 520 - 20));
        line("300-360", "action");
        break;
    case 6:
        line("400-460", "slow key=37");
        line("700-701", "key=3");
        break;
    default: break;
    }
    return s;
}

// The first frame (from 1) on which two runs differ, 0 when they agree.
size_t FirstDifference(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return x == a.end() && y == b.end() ? 0 : size_t(x - a.begin()) + 1;
}

TEST_F(ReplayFilesTest, EveryKindOfDeviceReplaysItsTimeAttackRunFrameForFrame) {
    for (int type = 1; type <= 6; ++type) {
        SCOPED_TRACE("device type " + std::to_string(type));
        const playsim::InputScript script = ScriptOf(BusyScript(type));
        const Played recorded = Play(SetupOf(gamemode::kTimeAttack, {type}), &script, true);
        ASSERT_TRUE(recorded.saved);
        ASSERT_GT(recorded.hashes.size(), 400u);
        std::string meta = ScopedTempDir::ReadFile("replay/t71_meta.dat");
        EXPECT_EQ(meta, std::to_string(type) + ",");
        // As the title starts it: no player devices, the cats from the meta file.
        const Played replayed = Play(SetupOf(gamemode::kReplayUser, {}), nullptr, false);
        EXPECT_EQ(replayed.firstKind, type);
        EXPECT_EQ(FirstDifference(replayed.hashes, recorded.hashes), 0);
    }
}

TEST_F(ReplayFilesTest, FourPlayersReplayTogether) {
    const playsim::InputScript script =
        ScriptOf(BusyScript(2, "p1") + BusyScript(3, "p2") + BusyScript(5, "p3") + BusyScript(6, "p4"));
    const Played recorded = Play(SetupOf(gamemode::kTimeAttack, {2, 3, 5, 6}), &script, true);
    ASSERT_TRUE(recorded.saved);
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t71_meta.dat"), "2,3,5,6,");
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t71_mouseState0P.dat"), "n");
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t71_actionState3P.dat"), "n");
    EXPECT_EQ(FirstDifference(Play(SetupOf(gamemode::kReplayUser, {}), nullptr, false).hashes, recorded.hashes), 0);
}

TEST_F(ReplayFilesTest, DemoReplaysAreRecordedAgainstTheTableAndPlayedByTheDemos) {
    // Mode 10 writes the built-in demo replay of the player's device type,
    // which mode 12 plays for a player of that type.
    const playsim::InputScript keys = ScriptOf(BusyScript(6));
    const Played table = Play(SetupOf(gamemode::kTimeAttackTable, {6}), &keys, true);
    ASSERT_TRUE(table.saved);
    EXPECT_TRUE(fs::exists("tpa/d_replay/t71_keyboardState0PType6.dat"));
    EXPECT_EQ(ScopedTempDir::ReadFile("tpa/d_replay/t71_metaType6.dat"), "6,");
    EXPECT_FALSE(fs::exists("replay"));
    EXPECT_EQ(FirstDifference(Play(SetupOf(gamemode::kReplayDemo, {6}), nullptr, false).hashes, table.hashes), 0);

    // The attract demo plays the kind its turn gives (here, from the seed).
    const int demoKind = Play(SetupOf(gamemode::kAttractDemo, {}), nullptr, false, 1).firstKind;
    const playsim::InputScript busy = ScriptOf(BusyScript(demoKind));
    Played recorded = Play(SetupOf(gamemode::kTimeAttackTable, {demoKind}), &busy, true);
    ASSERT_TRUE(recorded.saved);
    Played demo = Play(SetupOf(gamemode::kAttractDemo, {}), nullptr, false);
    EXPECT_EQ(demo.firstKind, demoKind);
    // The recording ends two frames after the goal (its last frame closes
    // the time-attack stage); the demo lingers on.
    const size_t common = std::min(demo.hashes.size(), recorded.hashes.size() - 1);
    ASSERT_GT(common, 400u);
    demo.hashes.resize(common);
    recorded.hashes.resize(common);
    EXPECT_EQ(FirstDifference(demo.hashes, recorded.hashes), 0);
}

std::map<std::string, std::string> FilesUnder(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = e.is_regular_file() ? ScopedTempDir::ReadFile(e.path()) : "<folder>";
    return files;
}

TEST_F(ReplayFilesTest, AStoreThatFailsKeepsThePreviousReplayWhole) {
    const playsim::InputScript first = ScriptOf(BusyScript(5));
    ASSERT_FALSE(fs::exists("replay"));  // made by the first store
    ASSERT_TRUE(Play(SetupOf(gamemode::kTimeAttack, {5}), &first, true).saved);
    const std::map<std::string, std::string> before = FilesUnder("replay");
    ASSERT_EQ(before.size(), 7u);

    // The fourth file of the next set cannot be flushed.
    Fsyncs() = FsyncSpy{};
    Fsyncs().recording = true;
    Fsyncs().failCall = 4;
    const playsim::InputScript second = ScriptOf(BusyScript(6));
    const Played failed = Play(SetupOf(gamemode::kTimeAttack, {6}), &second, true);
    Fsyncs() = FsyncSpy{};
    EXPECT_FALSE(failed.saved);
    EXPECT_EQ(FilesUnder("replay"), before);  // no file replaced, no temporary file left

    // The next store goes through and replaces the whole set.
    ASSERT_TRUE(Play(SetupOf(gamemode::kTimeAttack, {6}), &second, true).saved);
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t71_meta.dat"), "6,");
    EXPECT_EQ(ScopedTempDir::ReadFile("replay/t71_mouseState0P.dat"), "n");

    // Temporary files a store cut short left behind go at the next start.
    const std::string left = "replay/t71_inState0P.dat.0123456789abcdef.tmp";
    std::ofstream(left) << "cut short";
    ReleaseDurableFolders();
    EXPECT_TRUE(replay::FinishInterruptedStores());
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists("replay/t71_inState0P.dat"));
}

SaveData SaveWithBestTime(int32_t time, int32_t cat) {
    SaveData save;
    SaveData::SetDefaults(save);
    save.bestTime[kStage] = time;
    save.bestTimeCat[kStage] = cat;
    return save;
}

TEST_F(ReplayFilesTest, AKillAtAnyMomentOfARecordsStoreKeepsTheReplayWithTheBestTimeItBelongsTo) {
    SkippedFsyncs fast;
    const playsim::InputScript keys = ScriptOf(BusyScript(6)), mouse = ScriptOf(BusyScript(5));
    playsim::Simulator before(SetupOf(gamemode::kTimeAttack, {6})), after(SetupOf(gamemode::kTimeAttack, {5}));
    ASSERT_TRUE(before.loaded() && after.loaded());
    for (int f = 0; f < 600; ++f) {
        before.Step(&keys);
        after.Step(&mouse);
    }
    const SaveData oldSave = SaveWithBestTime(50000, 6), newSave = SaveWithBestTime(40000, 5);

    // Every file of the record: the replay's and the save.
    auto snapshot = [] {
        std::map<std::string, std::string> files = FilesUnder("replay");
        files["save"] = fs::exists(SaveData::kFileName) ? ScopedTempDir::ReadFile(SaveData::kFileName) : "";
        return files;
    };
    auto restore = [](const std::map<std::string, std::string>& files) {
        fs::remove_all("replay");
        fs::create_directory("replay");
        for (const auto& [name, bytes] : files) {
            std::ofstream(name == "save" ? std::string(SaveData::kFileName) : "replay/" + name, std::ios::binary) << bytes;
        }
    };
    ASSERT_TRUE(before.stage().SaveReplay(&oldSave));
    const std::map<std::string, std::string> oldFiles = snapshot();
    ASSERT_TRUE(after.stage().SaveReplay(&newSave));
    const std::map<std::string, std::string> newFiles = snapshot();
    ASSERT_EQ(oldFiles.size(), 8u);
    ASSERT_NE(oldFiles.at("save"), newFiles.at("save"));
    ASSERT_NE(oldFiles.at("t71_meta.dat"), newFiles.at("t71_meta.dat"));

    KillDriver d;
    d.putOldSet = [&] { restore(oldFiles); };
    d.store = [&] { after.stage().SaveReplay(&newSave); };
    d.settle = [] { replay::FinishInterruptedStores(); };
    d.read = [&] {
        const auto found = snapshot();
        return found == oldFiles ? SetFound::Old : found == newFiles ? SetFound::New : SetFound::Mixed;
    };
    d.leftovers = [] { return !StoreLeftovers().empty(); };
    const KillTally tally = KillAtEveryStep(d);
    EXPECT_GT(tally.cases, 200);
    EXPECT_EQ(tally.mixed, 0);
}

// A disk of a few kilobytes for a forked child: a tmpfs in a mount
// namespace of its own (a user namespace too where the test is not root).
bool MountTinyDisk(const std::string& where) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return mount("tmpfs", where.c_str(), "tmpfs", 0, "size=256k") == 0;
}

// Runs body in a forked child whose working directory is a full disk: a
// tiny tmpfs filled up where one can be mounted, otherwise a file-size
// limit below the save's size (every write past it fails). The child's
// standard error goes to a file; body returns what it found wrong.
std::string OnAFullDisk(const std::function<void()>& prepare, const std::function<std::string()>& body,
                        std::string* how) {
    fs::create_directory("full");
    const std::string said = (fs::current_path() / "stderr.txt").string();
    int report[2];
    if (pipe(report) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        const bool tmpfs = MountTinyDisk("full");
        std::string result = tmpfs ? "tmpfs|" : "limit|";
        if (chdir("full") != 0) result += "no folder";
        prepare();
        if (tmpfs) {
            std::ofstream fill("filler", std::ios::binary);
            const std::string block(1024, 'f');
            while (fill.write(block.data(), std::streamsize(block.size())) && fill.flush()) {
            }
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{512, 512};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::fflush(stderr);
        const int saved = dup(2);
        const int file = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, 2);
        result += body();
        std::fflush(stderr);
        dup2(saved, 2);
        (void)!write(report[1], result.data(), result.size());
        _exit(0);
    }
    close(report[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) result.append(buffer, size_t(n));
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return "the child did not end normally";
    *how = result.substr(0, result.find('|'));
    return result.substr(result.find('|') + 1) + ScopedTempDir::ReadFile(said);
}

TEST_F(ReplayFilesTest, AFullDiskKeepsTheOldRecordAndTellsThePlayerOnStandardError) {
    const playsim::InputScript keys = ScriptOf(BusyScript(6));
    playsim::Simulator run(SetupOf(gamemode::kTimeAttack, {6}));
    ASSERT_TRUE(run.loaded());
    for (int f = 0; f < 600; ++f) run.Step(&keys);
    const SaveData oldSave = SaveWithBestTime(50000, 6), newSave = SaveWithBestTime(40000, 6);

    std::map<std::string, std::string> before;
    auto prepare = [&] {
        SaveData::Store(oldSave);
        run.stage().SaveReplay(&oldSave);
        before = FilesUnder(".");
    };
    auto body = [&]() -> std::string {
        const int output = GetLogOutput();
        SetLogOutput(0);  // as the game runs
        const bool saved = SaveData::Store(newSave);
        const bool stored = run.stage().SaveReplay(&newSave);
        SetLogOutput(output);
        std::map<std::string, std::string> after = FilesUnder(".");
        after.erase("filler");
        std::string wrong;
        if (before.size() != 2 || before.count("replay") != 1) wrong += "the old record was not there; ";
        if (saved || stored) wrong += "a store went through; ";
        if (after != before || FilesUnder("replay").size() != 7) wrong += "the old files changed; ";
        return wrong;
    };
    std::string how;
    const std::string result = OnAFullDisk(prepare, body, &how);
    RecordProperty("full disk", how);
    // Two lines: the save, then the replay with the save that joined it.
    const std::string save = "morpotta: Save data: morpoCatSave.dat was not stored (writing morpoCatSave.dat.";
    const std::string replay = "morpotta: Replay of stage 71 was not stored, nor its best time in morpoCatSave.dat (writing ";
    const std::string reason = how == "tmpfs" ? "No space left on device" : "File too large";
    ASSERT_EQ(result.rfind(save, 0), 0u) << how << ": " << result;
    const size_t second = result.find('\n') + 1;
    EXPECT_EQ(result.compare(second, replay.size(), replay), 0) << result;
    EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 2) << result;
    size_t reasons = 0;
    for (size_t at = 0; (at = result.find(reason, at)) != std::string::npos; ++at) ++reasons;
    EXPECT_EQ(reasons, 2u) << result;
}

TEST_F(ReplayFilesTest, OnlyTheTimeAttackModesStoreAReplay) {
    const playsim::InputScript script = ScriptOf(BusyScript(1));
    EXPECT_FALSE(Play(SetupOf(gamemode::kFinal, {1}), &script, true, 300).saved);
    EXPECT_FALSE(playsim::Simulator(SetupOf(gamemode::kReplayUser, {})).loaded());  // there is no record yet
    EXPECT_FALSE(fs::exists("replay"));
}

// A few random edits: characters changed, inserted, removed or repeated.
std::string Damaged(std::string text, std::mt19937& random) {
    static const char kAlphabet[] = "0123456789abcdefn,:.-\n\r x";
    const int edits = 1 + int(random() % 8);
    for (int e = 0; e < edits; ++e) {
        const size_t at = random() % (text.size() + 1);
        switch (random() % 4) {
        case 0:
            if (at < text.size()) text[at] = kAlphabet[random() % (sizeof kAlphabet - 1)];
            break;
        case 1: text.insert(at, 1, char(random() % 256)); break;
        case 2:
            if (at < text.size()) text.erase(at, 1 + random() % 12);
            break;
        default: text.insert(at, text.substr(at, random() % 40)); break;
        }
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST_F(ReplayFilesTest, AReplayRecordedForHoursIsStoppedWhereItsFilesStillLoad) {
    const int previousOutput = GetLogOutput();
    SetLogOutput(1);
    StartLog();
    // A nunchuk tilted a little differently every frame by values that
    // take the longest lines to write out: some 160 bytes a frame fill a
    // stream file's allowance in under two hours.
    const std::vector<int32_t> kinds = {3};
    std::unique_ptr<replay::StageStreams> streams = replay::StageStreams::ForRecording(kinds);
    playsim::DeviceBlocks b;
    PlayerInput in;
    in.buttons = &b.buttons;
    in.slope = b.slope;
    const int frames = int(kMaxGameFileBytes / 150);
    float tiny = -std::numeric_limits<float>::min();
    for (int f = 1; f <= frames; ++f) {
        for (float& v : b.slope) v = tiny = std::nextafter(tiny, -1.0f);
        b.buttons.held[4] = f % 2;
        streams->RecordFrame(f, 0, in);
    }
    StoredReplay stored;
    for (int k = 0; k < replay::kStreamCount; ++k) stored.Pack(*streams, replay::Stream(k));
    ASSERT_TRUE(source_.SaveStreams(stored, gamemode::kTimeAttack, kStage, nullptr));
    EndLog();
    SetLogOutput(previousOutput);

    const auto size = int64_t(fs::file_size("replay/t71_slopeState0P.dat"));
    EXPECT_LE(size, kMaxGameFileBytes);
    EXPECT_GT(size, kMaxGameFileBytes - 4096);
    const std::string log = ScopedTempDir::ReadFile("Log.txt");
    EXPECT_NE(log.find("Replay recording of player 0 stopped at frame"), std::string::npos) << log;
    // Read back as the replay mode reads it: whole, all that was recorded.
    const std::vector<replay::PlayerStreams> back = replay::ReadStreamFiles(gamemode::kReplayUser, kStage, kinds);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], *streams->Player(0));
    EXPECT_GT(back[0].slopes.back().frame, frames / 2);
    EXPECT_LT(back[0].slopes.back().frame, frames);
}

TEST_F(ReplayFilesTest, DamagedReplayFilesPlayOrAreRefusedWithoutHarm) {
    const std::vector<int32_t> kinds = {2, 3, 4, 5};
    const playsim::InputScript script = ScriptOf(BusyScript(2) + BusyScript(3, "p2") + BusyScript(4, "p3") +
                                                 BusyScript(5, "p4"));
    ASSERT_TRUE(Play(SetupOf(gamemode::kTimeAttack, {2, 3, 4, 5}), &script, true, 400).saved);
    const std::vector<replay::PlayerStreams> good = replay::ReadStreamFiles(gamemode::kReplayUser, kStage, kinds);
    const std::string metaPath = "replay/t71_meta.dat", goodMeta = ScopedTempDir::ReadFile(metaPath);

    // A damaged stream is read as the loader reads its file and played from
    // the stage's start; a damaged meta file goes through the loader itself.
    playsim::Simulator sim(SetupOf(gamemode::kReplayUser, {}));
    ASSERT_TRUE(sim.loaded());
    const playsim::Simulator::Snapshot start = sim.Save();
    std::mt19937 random(26);
    int metaRounds = 0, refused = 0, skippedLines = 0;
    for (int round = 0; round < 1000; ++round) {
        if (random() % 5 == 0) {
            ++metaRounds;
            WriteFile(metaPath, Damaged(goodMeta, random));
            playsim::Simulator loaded(SetupOf(gamemode::kReplayUser, {}));
            if (!loaded.loaded()) ++refused;
            for (int frame = 0; frame < 130 && loaded.Step(nullptr); ++frame) {
            }
            WriteFile(metaPath, goodMeta);
            continue;
        }
        const int player = int(random() % kinds.size());
        const auto stream = replay::Stream(random() % replay::kStreamCount);
        std::vector<replay::PlayerStreams> streams = good;
        const std::string text = Damaged(replay::StoredText(good[size_t(player)], stream), random);
        skippedLines += replay::ParseStoredText(text, stream, &streams[size_t(player)]).badLines;
        playsim::Simulator::Snapshot damaged = start;
        damaged.stage.replayBlocks = ReplayStreamsHandle(replay::StageStreams::ForPlayback(kinds, std::move(streams)));
        sim.Restore(damaged);
        for (int frame = 0; frame < 400 && sim.Step(nullptr); ++frame) {
        }
    }
    // Only a damaged meta file refuses the replay; damaged streams play.
    EXPECT_GT(refused, 0);
    EXPECT_LE(refused, metaRounds);
    EXPECT_GT(skippedLines, 0);
}

}  // namespace
