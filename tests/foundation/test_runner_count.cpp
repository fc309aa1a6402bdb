// The runner every test program runs under, for ctest's cases and for the
// whole runs: a program that ends before it has run the cases it holds, or
// whose report counts a failure, fails even with status 0; otherwise the
// program's status stands. Beside this program, stand-in programs (small
// shell scripts) end as a test program may.
#include "run_this_program.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// Run only through the runner, by the case below.
TEST(DISABLED_RunnerSubject, EndsItsProcessWithStatusZero) { _exit(0); }
TEST(DISABLED_RunnerSubject, Passes) {}
TEST(DISABLED_RunnerSubject, Fails) { FAIL() << "as asked"; }

int ExitStatus(const ProgramRun& run) { return WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1; }

TEST(TestRunner, FailsAProgramThatEndsBeforeItHasRunItsCases) {
    auto runCases = [](const char* filter) {
        return RunThisProgram({std::string("--gtest_filter=DISABLED_RunnerSubject.") + filter,
                               "--gtest_also_run_disabled_tests"},
                              MORPOTTA_TEST_RUNNER);
    };
    ProgramRun run = runCases("EndsItsProcessWithStatusZero:DISABLED_RunnerSubject.Passes");
    EXPECT_EQ(ExitStatus(run), 1) << run.output;
    EXPECT_NE(run.output.find("ended with status 0 before its end (it wrote no report of its 2 cases here)"),
              std::string::npos)
        << run.output;
    run = runCases("Passes");
    EXPECT_EQ(ExitStatus(run), 0) << run.output;
    run = runCases("Fails");
    EXPECT_EQ(ExitStatus(run), 1) << run.output;
    EXPECT_EQ(run.output.find("counted as failed"), std::string::npos) << run.output;
}

// A stand-in test program: writes a report whose totals count the given
// failures and errors, then ends with the given status.
std::string ReportingStandIn(const ScopedTempDir& dir) {
    const std::filesystem::path path = dir.path() / "stand_in_reporting";
    std::ofstream(path) << R"(#!/bin/sh
failures=$1 errors=$2 status=$3
for argument; do
  case "$argument" in
    --gtest_list_tests) printf 'Suite.\n  Case\n'; exit 0 ;;
    --gtest_output=xml:*) report=${argument#--gtest_output=xml:} ;;
  esac
done
printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuites tests="1" failures="%s" disabled="0" errors="%s" time="0" name="AllTests">\n</testsuites>\n' "$failures" "$errors" >"$report"
exit "$status"
)";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path.string();
}

ProgramRun RunCounted(const std::string& program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {MORPOTTA_TEST_RUNNER, program});
    return RunProgram(std::move(arguments));
}

TEST(TestRunner, FailsWhatTheReportCountsEvenWithStatusZero) {
    ScopedTempDir dir;
    const std::string standIn = ReportingStandIn(dir);
    ProgramRun run = RunCounted(standIn, {"1", "0", "0"});
    EXPECT_EQ(ExitStatus(run), 1) << run.output;
    EXPECT_NE(run.output.find("its report counts 1 failed and 0 erroneous cases: counted as failed"),
              std::string::npos)
        << run.output;
    run = RunCounted(standIn, {"0", "2", "0"});
    EXPECT_EQ(ExitStatus(run), 1) << run.output;
    run = RunCounted(standIn, {"0", "0", "0"});
    EXPECT_EQ(ExitStatus(run), 0) << run.output;
}

// A status above 128 may be a signal's: the runner says which and ends with
// that status, as an exit of its own, never stopped or killed by it.
TEST(TestRunner, ASignalsStatusIsSaidAndFailsWithoutTheRunnerTakingTheSignal) {
    ScopedTempDir dir;  // where a core of the runner would go
    const std::string standIn = ReportingStandIn(dir);
    for (int status = 129; status <= 159; ++status) {
        const ProgramRun run = RunCounted(standIn, {"0", "0", std::to_string(status)});
        EXPECT_FALSE(run.stopped) << "the runner stopped itself on status " << status;
        EXPECT_EQ(ExitStatus(run), status) << run.output;
        EXPECT_NE(run.output.find("ended with status " + std::to_string(status) + " (by signal " +
                                  std::to_string(status - 128) + ", SIG"),
                  std::string::npos)
            << run.output;
    }
}

// Running, as a process not yet ended (a zombie has ended).
bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// A program that goes on after a time limit's SIGTERM (a stuck loop) is
// killed by the limit's kill once its grace is over: the runner, asked to
// end too, waits for it rather than leave it running without a parent.
TEST(TestRunner, AProgramThatIgnoresATimeLimitsRequestIsKilledNotLeftBehind) {
    ScopedTempDir dir;
    const std::filesystem::path standIn = dir.path() / "stand_in_stuck", pidFile = dir.path() / "pid";
    const std::string pidPath = pidFile.string();
    std::ofstream(standIn) << "#!/bin/sh\ntrap '' TERM\necho $$ >" << pidPath << ".part\nmv " << pidPath << ".part "
                           << pidPath << "\nexec sleep 60\n";
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);
    const ProgramRun run = RunProgram({"/usr/bin/timeout", "-k", "1", "1", MORPOTTA_TEST_RUNNER, standIn.string()});
    pid_t pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0) << run.output;
    bool gone = false;
    for (int i = 0; i < 300 && !gone; ++i) {
        gone = !Running(pid);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the stuck program outlived its runner and its time limit";
    if (!gone) kill(pid, SIGKILL);
    EXPECT_FALSE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
}

}  // namespace
