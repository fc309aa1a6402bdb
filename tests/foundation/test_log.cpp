#include "engine/log.h"
#include "foundation/log_internal.h"
#include "platform/audio.h"
#include "platform/warning.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

using namespace morpotta;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(1);
        StartLog();
    }
    void TearDown() override {
        EndLog();
        SetLogOutput(1);
    }
    std::string Contents() { return ScopedTempDir::ReadFile(dir_.path() / "Log.txt"); }
    ScopedTempDir dir_;
};

TEST_F(LogTest, LinesCarryTimeStampIndentAndCrLf) {
    EXPECT_EQ(WriteLogText("first\n"), -1);
    IncreaseLogIndent();
    EXPECT_EQ(WriteLogFormat("value %d", 42), -1);
    DecreaseLogIndent();
    DecreaseLogIndent();  // never below 0
    WriteLogText("two\nlines\n");
    std::string log = Contents();
    // Each line: a right-aligned millisecond stamp, ": ", two spaces per
    // indent level, the text, CR LF.
    std::vector<std::string> bodies;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << log;
        std::string line = log.substr(pos, end - pos);
        size_t colon = line.find(": ");
        ASSERT_EQ(colon, 9u) << line;
        EXPECT_EQ(line.substr(0, colon).find_first_not_of(" 0123456789"), std::string::npos) << line;
        bodies.push_back(line.substr(colon + 2));
        pos = end + 2;
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"first", "  value 42", "two", "lines"}));
    EXPECT_EQ(log.find("\n\n"), std::string::npos);
    EXPECT_EQ(log.find("\r\r"), std::string::npos);
}

// The writer ends every line: a message without a line end never runs into
// the next one, and one with its own line end leaves no blank line.
TEST_F(LogTest, EveryMessageIsALineOfItsOwn) {
    WriteLogText("abc");
    WriteLogText("def");
    WriteLogText("ghi\n");
    WriteLogFormat("jkl %d\n", 1);
    WriteLogFormatW(u"mno\n");
    std::string log = Contents();
    for (const char* body : {": abc\r\n", ": def\r\n", ": ghi\r\n", ": jkl 1\r\n", ": mno\r\n"})
        EXPECT_NE(log.find(body), std::string::npos) << body << "\n" << log;
    EXPECT_EQ(log.find("\r\n\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("abcdef"), std::string::npos) << log;
}

TEST_F(LogTest, SwitchedOffWritesNothing) {
    SetLogOutput(0);
    EXPECT_EQ(WriteLogText("hidden\n"), -1);
    EXPECT_EQ(WriteLogFormat("hidden %s", "too"), -1);
    SetLogOutput(1);
    WriteLogText("shown\n");
    std::string log = Contents();
    EXPECT_EQ(log.find("hidden"), std::string::npos);
    EXPECT_NE(log.find("shown"), std::string::npos);
}

// Both writers cut a message at kLogLineMax - 1 bytes of text, never
// inside a double-byte character.
TEST_F(LogTest, OverlongLinesAreCutNotOverrun) {
    const std::string big(10000, 'x');
    WriteLogFormat("%s", big.c_str());
    WriteLogText(big.c_str());
    std::string doubleBytes;  // one character straddles the cut
    while (doubleBytes.size() < 3000) doubleBytes += "\x83\x82";  // モ
    WriteLogText(doubleBytes.c_str());
    std::istringstream log(Contents());
    std::vector<std::string> bodies;
    for (std::string line; std::getline(log, line);) bodies.push_back(line.substr(11));  // stamp and ": "
    ASSERT_EQ(bodies.size(), 3u);
    doubleBytes.resize(kLogLineMax - 2);  // the last whole character ends there
    const std::string expected[] = {std::string(kLogLineMax - 1, 'x') + '\r', expected[0], doubleBytes + '\r'};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bodies[i].size(), expected[i].size()) << "line " << i;
        EXPECT_TRUE(bodies[i] == expected[i]) << "line " << i;
    }
}

// A line written after the log ended (a program's last words after
// shut-down) goes after the finished run's lines instead of replacing them.
TEST_F(LogTest, ALineAfterTheEndIsAppendedToTheFinishedLog) {
    for (int i = 0; i < 40; ++i) WriteLogFormat("line %d of the run", i);
    EndLog();
    const std::string finished = Contents();
    WriteLogText("said after the end");
    WriteLogText("and once more");
    const std::string after = Contents();
    EXPECT_TRUE(after.starts_with(finished)) << "a finished log of " << finished.size() << " bytes became "
                                             << after.size() << ":\n" << after;
    EXPECT_NE(after.find(": said after the end\r\n", finished.size()), std::string::npos) << after;
    EXPECT_NE(after.find(": and once more\r\n", finished.size()), std::string::npos) << after;
    // The next run begins a log of its own.
    StartLog();
    EXPECT_EQ(Contents().find("line 0 of the run"), std::string::npos);
}

// A run started with its log off and turned on later writes the log of the
// folder it started in: not the log a line opened in another folder before
// start-up, nor the one of a folder it moved to since.
TEST_F(LogTest, ARunStartedWithTheLogOffWritesItsOwnFoldersLog) {
    EndLog();
    std::filesystem::create_directories("before/run/later");
    std::filesystem::current_path("before");
    WriteLogText("said before start-up");
    SetLogOutput(0);
    std::filesystem::current_path("run");
    StartLog();
    std::filesystem::current_path("later");
    SetLogOutput(1);
    WriteLogText("said in the run");
    std::filesystem::current_path(dir_.path());
    EXPECT_EQ(ScopedTempDir::ReadFile("before/Log.txt").find("said in the run"), std::string::npos);
    EXPECT_NE(ScopedTempDir::ReadFile("before/run/Log.txt").find(": said in the run\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("before/run/later/Log.txt"));
}

// A link at the log's place, symbolic or hard (a file with another name
// elsewhere), is refused, said on stderr, and the file it names is never
// emptied or written: neither by the run's log nor by a line after its end.
TEST_F(LogTest, ALinkAtTheLogsPlaceIsNeverWrittenThrough) {
    EndLog();
    const std::filesystem::path outside = dir_.path() / "elsewhere.txt";
    for (const bool hard : {false, true}) {
        std::ofstream(outside) << "kept";
        std::filesystem::remove(dir_.path() / "Log.txt");
        if (hard) std::filesystem::create_hard_link(outside, dir_.path() / "Log.txt");
        else std::filesystem::create_symlink(outside, dir_.path() / "Log.txt");
        testing::internal::CaptureStderr();
        StartLog();
        WriteLogText("into the link?");
        EndLog();
        WriteLogText("after the end, into the link?");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ScopedTempDir::ReadFile(outside), "kept") << hard;
        EXPECT_NE(said.find(hard ? "Log.txt has other names (hard links)" : "Log.txt is a symbolic link"),
                  std::string::npos)
            << said;
    }
}

TEST_F(LogTest, WideFormatIsWrittenInCodePage932) {
    WriteLogFormatW(u"%s=%d %hs", u"\u30E2\u30EB", 7, "ok");
    std::string log = Contents();
    EXPECT_NE(log.find("\x83\x82\x83\x8B=7 ok\r\n"), std::string::npos) << log;
}

// Star widths and precisions come from the arguments, in printf's order,
// so every later directive still takes its own argument; a negative width
// aligns left and a negative precision counts as none.
TEST_F(LogTest, WideFormatTakesStarWidthsAndPrecisionsFromTheArguments) {
    WriteLogFormatW(u"[%*d] [%s]", 5, 42, u"x");
    WriteLogFormatW(u"[%-*.*f|%.*d|%*s|%.*s] %c", -7, 2, 3.14159, -1, 9, 3, u"ab", 2, u"wxyz", u'!');
    WriteLogFormat("[%*d|%.*s]", 4, 7, 2, "abc");
    std::string log = Contents();
    for (const char* body : {": [   42] [x]\r\n", ": [3.14   |9| ab|wx] !\r\n", ": [   7|ab]\r\n"})
        EXPECT_NE(log.find(body), std::string::npos) << body << "\n" << log;
}

// A request a back end cannot serve is a line of the log while the log
// runs, and a line on standard error otherwise.
TEST_F(LogTest, PlatformWarningsAreLogLines) {
    ASSERT_TRUE(platform::SelectAudioBackend("null"));
    auto silence = [](void*, int16_t* out, int frames) { std::fill(out, out + 2 * frames, int16_t(0)); };
    ASSERT_EQ(platform::Audio().open(44100, silence, nullptr), 0);
    EXPECT_EQ(platform::Audio().open(44100, silence, nullptr), -1);
    platform::Audio().close();
    EXPECT_NE(Contents().find(": platform: the null audio output is open already\r\n"), std::string::npos)
        << Contents();
    EndLog();
    testing::internal::CaptureStderr();
    platform::Warn("after the log: %d", 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(program_invocation_short_name) + ": platform: after the log: 7\n");
    EXPECT_EQ(Contents().find("after the log"), std::string::npos);
    platform::SelectAudioBackend("sdl2");
}

}  // namespace
