// Runs a program, or this test program again, in a process of its own,
// with the given arguments (through a runner program first, when one is
// named), and keeps its output, stdout and stderr together. For cases about
// how a whole process ends. A process that stops (a stop signal) is killed
// and said to have stopped, so the case goes on.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct ProgramRun {
    int status = -1;  // as waitpid gives it; -1 when it could not start
    bool stopped = false;
    std::string output;
};

inline ProgramRun RunProgram(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    std::string outputPath = (std::filesystem::temp_directory_path() / "this-program-XXXXXX").string();
    const int output = mkstemp(outputPath.data());
    ProgramRun run;
    if (output < 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
    extern char** environ;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &run.status, WUNTRACED);
        if (WIFSTOPPED(run.status)) {
            run.stopped = true;
            kill(pid, SIGKILL);
            waitpid(pid, &run.status, 0);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    close(output);
    std::ifstream in(outputPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    unlink(outputPath.c_str());
    return run;
}

inline ProgramRun RunThisProgram(const std::vector<std::string>& arguments, const char* runner = nullptr) {
    std::vector<std::string> words;
    if (runner) words.push_back(runner);
    words.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    return RunProgram(std::move(words));
}
