// The runner every test program runs under, for ctest's cases and for the
// whole runs: a program that ends before it has run the cases it holds
// fails, even with status 0; otherwise the program's status stands.
#include "run_this_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

}  // namespace
