// What a player started the game as a new user would is told on standard
// error, the engine log being off: the game's own program started in a
// folder without its content, with the save's name taken by a folder, with
// a damaged time table, and while another copy of the game uses its replay
// folder. Each gives its one line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"
#include "game_fixture.h"
#include "game_process.h"
#include "generated_tree.h"
#include "scoped_temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr auto kLineLimit = std::chrono::seconds(120);  // start-up, under sanitizers too

struct GameRun {
    std::string stderrText;
    int status = -1;  // as waitpid gives it; -1: still running when the test ended it
};

class PlayerNotices : public ::testing::Test {
protected:
    // The game's content as the build made it, in the test's folder, with
    // the time table left for the test to write.
    void WithContentButTheTimeTable() {
        LinkContentTreeInto(dir_.path(), {"limitTimeTable.csv"});
        fs::copy_file(ContentTreeRoot() / "tpa" / "limitTimeTable.csv", dir_.path() / "tpa" / "limitTimeTable.csv");
    }

    // Starts a program headless in folder, its standard input and output
    // from and to the descriptors given (-1: /dev/null), its standard error
    // into errorTo; -1 when it could not be started.
    static pid_t StartHeadless(std::vector<std::string> words, const fs::path& folder, int inputFrom, int outputTo,
                               int errorTo, const std::vector<std::string>& variables = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        if (inputFrom >= 0) posix_spawn_file_actions_adddup2(&actions, inputFrom, 0);
        else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (outputTo >= 0) posix_spawn_file_actions_adddup2(&actions, outputTo, 1);
        else posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, errorTo, 2);
        std::vector<std::string> kept = variables;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0 && std::strncmp(*e, "SDL_AUDIODRIVER=", 16) != 0)
                kept.push_back(*e);
        kept.push_back("SDL_VIDEODRIVER=offscreen");
        kept.push_back("SDL_AUDIODRIVER=dummy");
        std::vector<char*> argv, env;
        for (std::string& word : words) argv.push_back(word.data());
        for (std::string& variable : kept) env.push_back(variable.data());
        argv.push_back(nullptr);
        env.push_back(nullptr);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        return spawned == 0 ? pid : -1;
    }

    // Reads fd into *text until `awaited` shows or the writer ends (awaited
    // empty: only that), by the deadline; whether awaited showed.
    static bool ReadUntil(int fd, const std::string& awaited, std::string* text, GameClock::time_point deadline) {
        char chunk[4096];
        auto shown = [&] { return !awaited.empty() && text->find(awaited) != std::string::npos; };
        for (ssize_t n = 1; !shown() && n > 0 && Readable(fd, deadline);) {
            n = read(fd, chunk, sizeof chunk);
            if (n > 0) text->append(chunk, size_t(n));
        }
        return shown();
    }

    // Starts the game in folder (the test's, by default), headless, and
    // reads its standard error until `awaited` shows (then ends it) or
    // until it ends by itself (awaited empty: only that).
    GameRun RunGameUntil(const std::string& awaited, fs::path folder = {},
                         const std::vector<std::string>& variables = {}) {
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        const pid_t game =
            StartHeadless({MORPOTTA_GAME_EXE}, folder.empty() ? dir_.path() : folder, -1, -1, pipeEnds[1], variables);
        close(pipeEnds[1]);
        GameRun run;
        if (game < 0) {
            close(pipeEnds[0]);
            ADD_FAILURE() << "the game could not be started";
            return run;
        }
        const auto deadline = GameClock::now() + kLineLimit;
        const bool shown = ReadUntil(pipeEnds[0], awaited, &run.stderrText, deadline);
        close(pipeEnds[0]);
        run.status = WaitForEnd(game, shown ? GameClock::now() : deadline);
        return run;
    }

    ScopedTempDir dir_;
};

TEST_F(PlayerNotices, StartedWhereThereIsNoContentItSaysWhereToStartAndEndsWithMinusOne) {
    const GameRun run = RunGameUntil("");
    ASSERT_NE(run.status, -1) << "the game did not end by itself; its stderr:\n" << run.stderrText;
    ASSERT_TRUE(WIFEXITED(run.status)) << run.stderrText;
    EXPECT_EQ(WEXITSTATUS(run.status), 255);
    const std::string expected = "morpotta: cannot start: tpa/mapScene/nc6700.png is missing from " +
                                 fs::canonical(dir_.path()).string() +
                                 " (there is no tpa/ folder of content there). Start the game from its build folder "
                                 "(cd build/release && ./apps/morpotta), or with bash scripts/run.sh from the "
                                 "repository\n";
    EXPECT_EQ(run.stderrText, expected);
}

TEST_F(PlayerNotices, WithoutADisplayItSaysSoInTheGamesNameAndEndsWithMinusOne) {
    WithContentButTheTimeTable();
    // The first of a name in the environment is the one read: X11, and no
    // display to reach.
    const GameRun run = RunGameUntil("", {}, {"SDL_VIDEODRIVER=x11", "DISPLAY="});
    ASSERT_NE(run.status, -1) << "the game did not end by itself; its stderr:\n" << run.stderrText;
    ASSERT_TRUE(WIFEXITED(run.status)) << run.stderrText;
    EXPECT_EQ(WEXITSTATUS(run.status), 255);
    EXPECT_EQ(run.stderrText, "morpotta: cannot start: no window could be opened (is a display available?)\n");
}

TEST_F(PlayerNotices, ASaveWhoseNameAFolderTakesIsSaidAtStartUp) {
    WithContentButTheTimeTable();
    fs::create_directory(dir_.path() / "morpoCatSave.dat");
    const GameRun run = RunGameUntil("\n");
    EXPECT_EQ(run.stderrText,
              "morpotta: Save data: morpoCatSave.dat is a folder, not a file; the game starts with the defaults and "
              "stores nothing until it is moved away\n");
}

TEST_F(PlayerNotices, ADamagedTimeTableIsSaidOnceWithWhatTheStagesGetInstead) {
    WithContentButTheTimeTable();
    const fs::path table = dir_.path() / "tpa" / "limitTimeTable.csv";
    std::string text = ScopedTempDir::ReadFile(table);
    text[text.find(',', text.find('\n') + 1) + 1] = 'x';  // the first value of the first attempts line
    std::ofstream(table, std::ios::binary | std::ios::trunc) << text;
    const GameRun run = RunGameUntil("\n");
    EXPECT_EQ(run.stderrText,
              "morpotta: tpa/limitTimeTable.csv is damaged (line 2 is not a label and seven whole numbers): the "
              "stages it gives no target time have a 30-second limit\n");
}

// A copy of the game in a process of its own, for the case below: it
// starts in the folder MORPOTTA_GAME_COPY names and says so on standard
// output; once a line comes on standard input it stores a time-attack
// record of stage 3 (the replay, with the save holding its best time) and
// says whether it was stored.
TEST_F(GameTest, DISABLED_ACopyThatStoresARecordWhenAsked) {
    fs::current_path(std::getenv("MORPOTTA_GAME_COPY"));
    app_ = std::make_unique<GameApp>(FakeScenes(script_));
    ASSERT_EQ(app_->startFailed, 0);
    const std::string started = "copy started\n";
    ASSERT_EQ(write(1, started.data(), started.size()), ssize_t(started.size()));
    char go = 0;
    ASSERT_EQ(read(0, &go, 1), 1);
    SaveData save = *app_->data->save;
    save.bestTime[3] = 40000;
    StoredReplay run;
    run.playerKinds = {6};
    run.text.push_back({"0", "1", "2", "3", "4", "5"});
    const std::string said = replay::ReplayFiles().SaveStreams(run, gamemode::kTimeAttack, 3, &save) ? "copy stored\n"
                                                                                                     : "copy failed\n";
    ASSERT_EQ(write(1, said.data(), said.size()), ssize_t(said.size()));
}

// Two copies of the game, each in a folder of its own whose replay/ links
// to one shared folder, started at once: the second (the game's own
// program) is refused, saying so; the first goes on and stores.
TEST_F(PlayerNotices, ASecondCopyStartedWhileAnotherUsesItsReplayFolderIsRefusedAndTheFirstGoesOn) {
    fs::create_directories(dir_.path() / "shared" / "replay");
    for (const char* copy : {"a", "b"}) {
        fs::create_directory(dir_.path() / copy);
        LinkContentTreeInto(dir_.path() / copy);
        fs::create_directory_symlink("../shared/replay", dir_.path() / copy / "replay");
    }
    int input[2], output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    const pid_t first = StartHeadless({fs::read_symlink("/proc/self/exe").string(),
                                       "--gtest_filter=GameTest.DISABLED_ACopyThatStoresARecordWhenAsked",
                                       "--gtest_also_run_disabled_tests"},
                                      dir_.path(), input[0], output[1], output[1],
                                      {"MORPOTTA_GAME_COPY=" + (dir_.path() / "a").string()});
    close(input[0]);
    close(output[1]);
    ASSERT_GT(first, 0);
    std::string firstSaid;
    const auto deadline = GameClock::now() + kLineLimit;
    ASSERT_TRUE(ReadUntil(output[0], "copy started\n", &firstSaid, deadline)) << firstSaid;

    const GameRun second = RunGameUntil("", dir_.path() / "b");
    ASSERT_NE(second.status, -1) << "the second copy did not end by itself; its stderr:\n" << second.stderrText;
    EXPECT_TRUE(WIFEXITED(second.status) && WEXITSTATUS(second.status) == 255) << second.stderrText;
    EXPECT_EQ(second.stderrText, "morpotta: cannot start: the folder replay (" +
                                     fs::canonical(dir_.path() / "shared" / "replay").string() +
                                     ") is used by another running program, another copy of the game\n");

    ASSERT_EQ(write(input[1], "\n", 1), 1);
    close(input[1]);
    EXPECT_TRUE(ReadUntil(output[0], "copy stored\n", &firstSaid, deadline)) << firstSaid;
    close(output[0]);
    const int status = WaitForEnd(first, deadline);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << firstSaid;
    EXPECT_EQ(ScopedTempDir::ReadFile(dir_.path() / "shared" / "replay" / "t3_meta.dat"), "6,");
    SaveData save;
    ASSERT_TRUE(SaveData::Load(save, (dir_.path() / "a" / SaveData::kFileName).c_str()));
    EXPECT_EQ(save.bestTime[3], 40000);
}

}  // namespace
