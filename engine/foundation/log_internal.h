// Log control for engine start-up and shut-down, and for probes.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

namespace morpotta {

// (Re)creates "Log.txt" in the current directory and restarts the time
// stamps and the indent; the lines written into that file while no engine
// ran are written into it again first, but for those written after a
// finished run's end, which are that run's. Start-up calls it, and only it
// empties the file: a write before start-up or after EndLog appends
// (creating the file when missing). A symbolic link at "Log.txt" is
// never written through: the log then says so on stderr and writes nothing.
void StartLog();
// Closes the file; a later write made in its folder appends to it, with the
// time stamps still running, until the next StartLog, which leaves those
// lines to the finished file.
void EndLog();
// The absolute path of the log file in use ("" before the first start).
const char* LogFilePath();

// The process ends at once after this, on the calling thread, which may
// have been stopped anywhere (by a signal whose handler exits: in an
// allocation, in the log's own write): writes lines as the log's last,
// allocating and closing nothing, and keeps the log from then on, so that
// no other thread's line follows them. Nothing is written while another
// thread keeps the log for longer than a second.
void EndLogAtOnce(std::initializer_list<const char*> lines);

// While one lives, the lines the calling thread writes are dropped (other
// threads log as before; a fatal error is still written). For probes whose
// failures are expected, such as the places a texture may lie or a file that
// may be a picture or a movie: the caller says in one line of its own when
// nothing was found.
class LogMuteScope {
public:
    LogMuteScope();
    ~LogMuteScope();
    LogMuteScope(const LogMuteScope&) = delete;
    LogMuteScope& operator=(const LogMuteScope&) = delete;
};

// An inner step tried on the way to a result the public call may still
// reach without it: a movie's sound track, each of the readers tried in
// turn on the same data. While one lives, the lines the calling thread
// writes are held back; its caller decides what they were. Dropped at the
// scope's end when the call goes on without the step (it succeeds, and
// says no refusal for the step); written by SayHeld when the call is
// refused for it. Attempts nest: an inner one's lines said are held by the
// outer one.
class InnerAttempt {
public:
    InnerAttempt();
    ~InnerAttempt();
    InnerAttempt(const InnerAttempt&) = delete;
    InnerAttempt& operator=(const InnerAttempt&) = delete;
    // Writes the lines held so far (in order) and holds no more: what the
    // thread writes after it is written as it comes.
    void SayHeld();
    // The same for a call refused for the step: each line not already a
    // refusal is said as one, in the call's name (Refuse).
    void SayHeldAsRefusals();
    // Keeps a line the calling thread writes; false with no attempt open.
    static bool Hold(const char* text);

private:
    void Say(bool asRefusals);

    std::vector<std::string> lines_;
    InnerAttempt* outer_;
};

// While one lives, every line the calling thread writes ends with its
// ending (as " (model file cat.mqo)"), cutting the message rather than the
// ending where the line is full, and is counted: the lines a reader writes
// name the file it reads, and its caller learns whether the reader said why
// it failed. Scopes nest; the innermost one ends the lines.
class LogSubjectScope {
public:
    explicit LogSubjectScope(std::string ending);
    ~LogSubjectScope();
    LogSubjectScope(const LogSubjectScope&) = delete;
    LogSubjectScope& operator=(const LogSubjectScope&) = delete;
    // Lines written under this scope (muted ones are none).
    int Lines() const { return lines_; }
    // The line text gets when written under the innermost scope, counted
    // there; text itself without one.
    static std::string Ended(const char* text);

private:
    std::string ending_;
    int lines_ = 0;
    LogSubjectScope* outer_;
};

}  // namespace morpotta
