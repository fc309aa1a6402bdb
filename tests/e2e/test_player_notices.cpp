// What a player started the game as a new user would is told on standard
// error, the engine log being off: the game's own program started in a
// folder without its content, with the save's name taken by a folder, and
// with a damaged time table. Each gives its one line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
        fs::create_directory(dir_.path() / "tpa");
        for (const fs::directory_entry& e : fs::directory_iterator(ContentTreeRoot() / "tpa"))
            if (e.path().filename() != "limitTimeTable.csv")
                fs::create_directory_symlink(e.path(), dir_.path() / "tpa" / e.path().filename());
        fs::copy_file(ContentTreeRoot() / "tpa" / "limitTimeTable.csv", dir_.path() / "tpa" / "limitTimeTable.csv");
    }

    // Starts the game in the test's folder, headless, and reads its standard
    // error until `awaited` shows (then ends it) or until it ends by itself
    // (awaited empty: only that).
    GameRun RunGameUntil(const std::string& awaited) {
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<char*> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0 && std::strncmp(*e, "SDL_AUDIODRIVER=", 16) != 0)
                env.push_back(*e);
        env.push_back(const_cast<char*>("SDL_VIDEODRIVER=offscreen"));
        env.push_back(const_cast<char*>("SDL_AUDIODRIVER=dummy"));
        env.push_back(nullptr);
        char* argv[] = {const_cast<char*>(MORPOTTA_GAME_EXE), nullptr};
        pid_t game = -1;
        const int spawned = posix_spawn(&game, argv[0], &actions, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        GameRun run;
        if (spawned != 0) {
            close(pipeEnds[0]);
            ADD_FAILURE() << "the game could not be started";
            return run;
        }
        const auto deadline = GameClock::now() + kLineLimit;
        char chunk[4096];
        auto waiting = [&] { return awaited.empty() || run.stderrText.find(awaited) == std::string::npos; };
        while (waiting() && Readable(pipeEnds[0], deadline)) {
            const ssize_t n = read(pipeEnds[0], chunk, sizeof chunk);
            if (n <= 0) break;  // the game has ended
            run.stderrText.append(chunk, size_t(n));
        }
        close(pipeEnds[0]);
        run.status = WaitForEnd(game, waiting() ? deadline : GameClock::now());
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

}  // namespace
