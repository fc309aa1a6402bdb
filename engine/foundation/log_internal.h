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
// no other thread's line follows them and no log starts after them: with
// no log running, nothing is written, and a start-up still under way on
// another thread opens none. Nothing is written while another thread keeps
// the log for longer than a second.
void EndLogAtOnce(std::initializer_list<const char*> lines);

// An inner step tried on the way to a result the public call may reach
// without it, or whose failure the call words itself: a movie's sound
// track, each of the readers tried in turn on the same data, the places a
// texture may lie. While one lives, what the calling thread says is held
// back: the first reason a step gave (a refusal, or any line it wrote) and
// the notes it wrote (LogNoteScope). Its caller decides what they were:
// dropped as the attempt ends (the call goes on without the step, or
// succeeds, and says no refusal for it); the reason said as the call's one
// refusal (RefuseCall); the notes written for a call that goes on
// (KeepNotes). Attempts nest: what an inner one says for its caller is held
// by the outer one. A step that declines data it does not know says
// nothing; one that knows it and refuses it says why (a WAVE file cut
// short), and that reason is the call's when no step takes the data.
class InnerAttempt {
public:
    InnerAttempt();
    ~InnerAttempt();
    InnerAttempt(const InnerAttempt&) = delete;
    InnerAttempt& operator=(const InnerAttempt&) = delete;
    // True once a step gave a reason; false while every one declined.
    bool Refused() const { return refused_; }
    // The call refused for the step: the reason held is said as the call's
    // refusal, or, with none held, the one given. -1; the attempt holds no
    // more from here on.
    int RefuseCall();
    int RefuseCall(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The same in the caller's words, the reason held after them ("archive
    // a.dat cannot be read: <what its reader found>").
    int RefuseCallAfter(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The reasons held so far are none of the call's (the step they came
    // from was passed by): dropped, the notes kept.
    void DropReasons();
    // The call goes on: the notes held are written, and the attempt holds
    // no more.
    void KeepNotes();
    // Holds a reason or a line the calling thread gives; false with no
    // attempt open.
    static bool HoldReason(const char* why);
    static bool HoldLine(const char* line);

private:
    void Close();
    int Say(const std::string& why);

    std::string reason_;
    bool refused_ = false;
    std::vector<std::string> notes_;
    InnerAttempt* outer_;
};

// While one lives, the lines the calling thread writes are notes: facts of
// a call that succeeds (a model's texture found nowhere, drawn white), which
// an inner attempt keeps for the call's success rather than taking them for
// the reason a step failed.
class LogNoteScope {
public:
    LogNoteScope();
    ~LogNoteScope();
    LogNoteScope(const LogNoteScope&) = delete;
    LogNoteScope& operator=(const LogNoteScope&) = delete;
};

// While one lives, every line the calling thread writes ends with its
// ending (as " (model file cat.mqo)"), cutting the message rather than the
// ending where the line is full: the lines a reader writes name the file
// it reads. Scopes nest; the innermost one ends the lines.
class LogSubjectScope {
public:
    explicit LogSubjectScope(std::string ending);
    ~LogSubjectScope();
    LogSubjectScope(const LogSubjectScope&) = delete;
    LogSubjectScope& operator=(const LogSubjectScope&) = delete;
    // The line text gets when written under the innermost scope; text
    // itself without one.
    static std::string Ended(const char* text);

private:
    std::string ending_;
    LogSubjectScope* outer_;
};

}  // namespace morpotta
