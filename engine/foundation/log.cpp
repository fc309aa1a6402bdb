// The engine log. Lines carry a millisecond time stamp since the log began
// and two spaces per indent level; line ends are CR LF. Writers may run on
// any thread (the sound worker logs), so the state sits behind a mutex.
// While the log runs, the platform layer's warnings are lines of it.
// Lines written while the engine is not running (a damaged save read before
// start-up) are kept in memory as well, and start-up writes them again
// after it has emptied the file, so they survive it. Until the engine runs
// the log is the Log.txt of the current folder, followed when the program
// changes folder, and start-up writes again only the lines of the file it
// empties: lines that went into a log in another folder stay there alone.
// Only start-up empties the log: a line written after the log ended goes at
// the end of the finished file, with its time stamps, and stays there
// alone: it is a line of the finished run, never one of the next. While
// the engine runs, its log is the Log.txt of the folder it started in,
// also when the log was off at start-up and is turned on later.
#include "engine/log.h"

#include "engine/text.h"
#include "engine/timer.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "foundation/public_call.h"
#include "foundation/subsystems.h"
#include "platform/files.h"
#include "platform/lasting_state.h"
#include "platform/thread.h"
#include "platform/warning.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

using namespace morpotta;

namespace morpotta {

namespace {

constexpr size_t kEarlyBytesMax = 64 * 1024;  // lines kept beyond this are not written again

struct LogState {
    std::recursive_mutex mutex;
    bool enabled = true;
    bool started = false;
    bool engineRunning = false;  // between StartLog and EndLog
    std::string finishedPath;    // the log of the run EndLog finished: later lines there are that run's
    int finishedStartMs = 0;     // and the start of its time stamps
    std::string early;           // lines written while the engine was not running
    std::string earlyPath;       // the file they were written into
    int indent = 0;
    int startMs = 0;
    std::string path;
    FILE* file = nullptr;
};

LogState& TheLog() {
    return platform::LastingState<LogState>();
}

// Nested note scopes of the calling thread.
thread_local int noteDepth = 0;
// The innermost subject scope of the calling thread.
thread_local LogSubjectScope* subject = nullptr;
// The innermost inner attempt of the calling thread.
thread_local InnerAttempt* openAttempt = nullptr;

std::string LogPathHere() {
    std::error_code ec;
    std::string path = std::filesystem::absolute("Log.txt", ec).string();
    return ec ? "Log.txt" : path;
}

// The log could not be opened: said on stderr, since the log cannot say it.
void ReportUnopenedLog(const std::string& path) {
    if (errno == ELOOP)
        platform::SayToUser("the log is not written: %s is a symbolic link, and the log never writes through one",
                            path.c_str());
    else if (errno == EMLINK)
        platform::SayToUser("the log is not written: %s has other names (hard links), and the log never writes "
                            "into another name's file", path.c_str());
    else
        platform::SayToUser("the log is not written: %s cannot be opened (%s)", path.c_str(), std::strerror(errno));
}

// Opens "Log.txt" of the working directory. Only start-up empties it: a
// line written before start-up or after the engine ended goes at its end,
// so a finished run's lines stay (and keep its time stamps running). A
// symbolic link at the log's place is refused rather than followed, and so
// is a file with other names: the log would otherwise overwrite whatever
// file the link names.
void OpenLocked(LogState& s, bool empty) {
    if (s.file) std::fclose(s.file);
    // A running engine's log is the one of the folder it started in.
    if (!s.engineRunning) s.path = LogPathHere();
    if (!empty && s.path == s.finishedPath) {
        s.startMs = s.finishedStartMs;
    } else {
        s.indent = 0;
        s.startMs = GetMillisecondCount();
    }
    s.file = platform::Files().openAppend(s.path.c_str(), empty);
    if (!s.file) ReportUnopenedLog(s.path);
    s.started = true;
}

// The bytes of text a line keeps: at most max, never ending inside a
// double-byte character.
size_t KeptLength(const char* text, size_t max) {
    const char* p = text;
    while (*p) {
        const char* next = NextCharInText(p);
        if (size_t(next - text) > max) break;
        p = next;
    }
    return size_t(p - text);
}

// A line written while the engine is not running, for start-up to write
// again: only those of the latest folder's log are kept.
void KeepEarlyLine(LogState& s, const std::string& line) {
    if (s.earlyPath != s.path) {
        s.early.clear();
        s.earlyPath = s.path;
    }
    if (s.early.size() + line.size() <= kEarlyBytesMax) s.early += line;
}

void WritePrefix(LogState& s, std::string& out) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%9d: ", ElapsedMilliseconds(s.startMs, GetMillisecondCount()));
    out += stamp;
    out.append(size_t(s.indent) * 2, ' ');
}

// Writes text as one message: line ends at its end are dropped and the
// writer ends the line itself, so no message leaves a blank line or runs
// into the next one. A line break inside the text starts a line of its own
// with the prefix; every "\n" is written as "\r\n".
void WriteLocked(LogState& s, const char* text) {
    if (!s.enabled) return;
    if (!s.started || (!s.engineRunning && s.path != LogPathHere())) OpenLocked(s, false);
    if (!s.file) return;
    size_t length = KeptLength(text, kLogLineMax - 1);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    std::string out;
    WritePrefix(s, out);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            out += "\r\n";
            WritePrefix(s, out);
        } else if (text[i] == '\r' && text[i + 1] == '\n') {
            continue;  // the "\n" that follows writes the pair
        } else {
            out += text[i];
        }
    }
    out += "\r\n";
    if (!s.engineRunning && s.path != s.finishedPath) KeepEarlyLine(s, out);
    std::fwrite(out.data(), 1, out.size(), s.file);
    std::fflush(s.file);
}

// Widths and precisions past this are cut: the line is cut far shorter.
constexpr int kFieldMax = kLogLineMax;

// A directive's parts: flags, width, precision (-1 none), length
// modifiers and the conversion letter.
struct WideDirective {
    std::string flags;
    int width = 0;
    int precision = -1;
    std::string length;  // "h", "hh", "l", "ll", "z" or none
    char16_t conversion = 0;

    bool LeftAligned() const { return flags.find('-') != std::string::npos; }
    bool Length(const char* which) const { return length == which; }
    // The directive for snprintf.
    std::string NarrowSpec() const {
        std::string spec(1, '%');
        spec += flags;
        if (width > 0) spec += std::to_string(width);
        if (precision >= 0) spec.append(1, '.').append(std::to_string(precision));
        spec += length;
        spec += char(conversion);
        return spec;
    }
};

// Everything from '%' to the conversion letter. A star takes its value
// from the arguments as printf does, the width's before the precision's
// and both before the converted value; a negative star width aligns left,
// a negative star precision counts as none. Characters no directive
// holds are left out.
WideDirective ParseWideDirective(const std::u16string& spec, va_list* args) {
    WideDirective d;
    d.conversion = spec.back();
    bool inPrecision = false, widthStarted = false;
    for (size_t i = 1; i + 1 < spec.size(); ++i) {
        const char16_t c = spec[i];
        if (c == u'*') {
            const long long value = va_arg(*args, int);
            if (inPrecision) {
                d.precision = value < 0 ? -1 : int(std::min<long long>(value, kFieldMax));
            } else {
                if (value < 0) d.flags += '-';
                d.width = int(std::min<long long>(value < 0 ? -value : value, kFieldMax));
                widthStarted = true;
            }
        } else if (c >= u'0' && c <= u'9' && (inPrecision || widthStarted || c != u'0')) {
            int& field = inPrecision ? d.precision : d.width;
            field = std::min(field * 10 + int(c - u'0'), kFieldMax);
            widthStarted = widthStarted || !inPrecision;
        } else if (c == u'.') {
            inPrecision = true;
            d.precision = 0;
        } else if (c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0') {
            d.flags += char(c);
        } else if (c == u'l' || c == u'h' || c == u'z') {
            d.length += char(c);
        }
    }
    return d;
}

// Text of a %s or %c directive, padded to the width and cut to the
// precision as printf pads and cuts.
void AppendWideField(std::u16string& out, std::u16string text, const WideDirective& d) {
    if (d.conversion == u's' && d.precision >= 0 && text.size() > size_t(d.precision)) text.resize(size_t(d.precision));
    const std::u16string pad(text.size() < size_t(d.width) ? size_t(d.width) - text.size() : 0, u' ');
    out += d.LeftAligned() ? text + pad : pad + text;
}

// Formats one UTF-16 directive (everything from '%' to the conversion
// letter) with its argument into UTF-16 text.
void AppendWideDirective(std::u16string& out, const std::u16string& spec, va_list* args) {
    const WideDirective d = ParseWideDirective(spec, args);
    char buf[kFieldMax + 64];
    buf[0] = 0;
    switch (d.conversion) {
    case u's': {
        std::u16string text;
        if (d.Length("h")) {
            const char* s = va_arg(*args, const char*);
            if (s && !ConvertCp932ToUtf16(s, &text)) text.clear();
        } else {
            const char16_t* s = va_arg(*args, const char16_t*);
            text = s ? s : u"(null)";
        }
        AppendWideField(out, std::move(text), d);
        return;
    }
    case u'c':
        AppendWideField(out, std::u16string(1, char16_t(va_arg(*args, int))), d);
        return;
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
        if (d.Length("ll")) std::snprintf(buf, sizeof buf, d.NarrowSpec().c_str(), va_arg(*args, long long));
        else if (d.Length("l")) std::snprintf(buf, sizeof buf, d.NarrowSpec().c_str(), va_arg(*args, long));
        else if (d.Length("z")) std::snprintf(buf, sizeof buf, d.NarrowSpec().c_str(), va_arg(*args, size_t));
        else if (d.length.empty() || d.Length("h") || d.Length("hh"))
            std::snprintf(buf, sizeof buf, d.NarrowSpec().c_str(), va_arg(*args, int));
        else (void)va_arg(*args, int);  // a length no directive has: the value is passed over
        break;
    case u'f': case u'F': case u'e': case u'E': case u'g': case u'G':
        std::snprintf(buf, sizeof buf, d.NarrowSpec().c_str(), va_arg(*args, double));
        break;
    case u'p':
        std::snprintf(buf, sizeof buf, "%p", va_arg(*args, void*));
        break;
    default:
        return;
    }
    for (const char* p = buf; *p; ++p) out += char16_t(uint8_t(*p));
}

// A request a platform back end could not serve, as a line of the log.
void LogPlatformWarning(const char* line) { WriteLogText(line); }

}  // namespace

void StartLog() {
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.finishedPath.clear();
    // A log opened before start-up (a line written with the log on, in
    // whatever folder the program was in) is not this run's: with the log
    // off now, the run's first line, when it is turned on, opens the log
    // of this folder.
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
    s.started = false;
    s.path = LogPathHere();
    if (s.enabled) {
        OpenLocked(s, true);
        if (s.file && !s.early.empty() && s.earlyPath == s.path) {
            std::fwrite(s.early.data(), 1, s.early.size(), s.file);
            std::fflush(s.file);
        }
    }
    s.early.clear();
    s.engineRunning = true;
    platform::SetWarningSink(LogPlatformWarning);
}

void EndLog() {
    platform::SetWarningSink(nullptr);
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
    s.finishedPath = s.started ? s.path : std::string();  // a run with its log off has none
    s.finishedStartMs = s.startMs;
    s.started = false;
    s.engineRunning = false;
    s.indent = 0;
}

const char* LogFilePath() { return TheLog().path.c_str(); }

void EndLogAtOnce(std::initializer_list<const char*> lines) {
    LogState& s = TheLog();
    bool kept = false;
    for (int tries = 0; tries < 1000 && !(kept = s.mutex.try_lock()); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!kept || !s.enabled || !s.engineRunning || !s.file) return;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%9d: ", ElapsedMilliseconds(s.startMs, GetMillisecondCount()));
    for (const char* line : lines) {
        std::fputs(prefix, s.file);
        for (int level = 0; level < s.indent; ++level) std::fputs("  ", s.file);
        std::fwrite(line, 1, KeptLength(line, kLogLineMax - 1), s.file);
        std::fputs("\r\n", s.file);
    }
    std::fflush(s.file);
}

InnerAttempt::InnerAttempt() : outer_(openAttempt) { openAttempt = this; }
InnerAttempt::~InnerAttempt() { Close(); }

void InnerAttempt::Close() {
    if (openAttempt == this) openAttempt = outer_;
}

// A reason held has its subject's ending already.
int InnerAttempt::Say(const std::string& why) {
    Close();
    LogSubjectScope* const ending = subject;
    subject = nullptr;
    RefuseBecause(why.c_str());
    subject = ending;
    return -1;
}

int InnerAttempt::RefuseCall() {
    if (refused_) return Say(reason_);
    Close();
    return -1;
}

int InnerAttempt::RefuseCall(const char* format, ...) {
    if (refused_) return Say(reason_);
    Close();
    char why[kLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, sizeof why, format, args);
    va_end(args);
    return RefuseBecause(why);
}

int InnerAttempt::RefuseCallAfter(const char* format, ...) {
    char words[kLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(words, sizeof words, format, args);
    va_end(args);
    if (!refused_) {
        Close();
        return RefuseBecause(words);
    }
    return Say(std::string(words) + ": " + reason_);
}

void InnerAttempt::DropReasons() {
    reason_.clear();
    refused_ = false;
}

void InnerAttempt::KeepNotes() {
    Close();
    std::vector<std::string> notes;
    notes.swap(notes_);
    // An outer attempt holds them as notes still.
    LogSubjectScope* const ending = subject;
    subject = nullptr;
    {
        LogNoteScope stillNotes;
        for (const std::string& note : notes) WriteLogText(note.c_str());
    }
    subject = ending;
}

bool InnerAttempt::HoldReason(const char* why) {
    if (!openAttempt) return false;
    const std::string ended = LogSubjectScope::Ended(why);
    if (!openAttempt->refused_) openAttempt->reason_ = ended;
    openAttempt->refused_ = true;
    return true;
}

bool InnerAttempt::HoldLine(const char* line) {
    if (!openAttempt) return false;
    if (noteDepth > 0) {
        openAttempt->notes_.emplace_back(line);
    } else if (!openAttempt->refused_) {
        openAttempt->reason_ = line;
        openAttempt->refused_ = true;
    }
    return true;
}

LogNoteScope::LogNoteScope() { ++noteDepth; }
LogNoteScope::~LogNoteScope() { --noteDepth; }

LogSubjectScope::LogSubjectScope(std::string ending) : ending_(std::move(ending)), outer_(subject) {
    subject = this;
}
LogSubjectScope::~LogSubjectScope() { subject = outer_; }

std::string LogSubjectScope::Ended(const char* text) {
    if (!subject) return text;
    const std::string& ending = subject->ending_;
    const size_t room = ending.size() < size_t(kLogLineMax - 1) ? size_t(kLogLineMax - 1) - ending.size() : 0;
    size_t length = KeptLength(text, room);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    return std::string(text, length) + ending;
}

}  // namespace morpotta

int WriteLogText(const char* text) {
    if (!text) return RefuseNullIn("WriteLogText", "text");
    const std::string line = LogSubjectScope::Ended(text);
    if (InnerAttempt::HoldLine(line.c_str())) return -1;
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WriteLocked(s, line.c_str());
    return -1;
}

int WriteLogFormat(const char* format, ...) {
    if (!format) return RefuseNullIn("WriteLogFormat", "format");
    char line[kLogLineMax + 1];  // one byte more than a line keeps, so the cut falls between characters
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return -1;
    return WriteLogText(line);
}

int WriteLogFormatW(const char16_t* format, ...) {
    if (!format) return RefuseNullIn("WriteLogFormatW", "format");
    va_list args;
    va_start(args, format);
    std::u16string out;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        if (p[1] == u'%') {
            out += u'%';
            ++p;
            continue;
        }
        std::u16string spec(1, u'%');
        const char16_t* q = p + 1;
        while (*q && std::char_traits<char16_t>::find(u"diouxXfFeEgGcsp", 15, *q) == nullptr) spec += *q++;
        if (!*q) break;
        spec += *q;
        va_list* ap = &args;
        AppendWideDirective(out, spec, ap);
        p = q;
    }
    va_end(args);
    std::string narrow;
    if (!ConvertUtf16ToCp932(out, &narrow)) narrow = "(unconvertible log line)";
    narrow.resize(KeptLength(narrow.c_str(), 1024));
    return WriteLogText(narrow.c_str());
}

int IncreaseLogIndent() {
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    ++s.indent;
    return 0;
}

int DecreaseLogIndent() {
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (s.indent > 0) --s.indent;
    return 0;
}

int SetLogOutput(int flag) {
    LogState& s = TheLog();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.enabled = flag != 0;
    return 0;
}

int GetLogOutput() { return TheLog().enabled ? 1 : 0; }

// One thread ends the engine and the process; another that meets a fatal
// error meanwhile (two loaders finding a table full) waits for that end.
void ExitOnFatalError(const char* message) {
    openAttempt = nullptr;  // the reason the process ends is never held
    WriteLogText(message ? message : "fatal error");
    platform::SayToUser("fatal: %s", message ? message : "");
    LeaveLoaderCallForExit();
    static std::atomic<bool> ending{false};
    if (ending.exchange(true)) platform::WaitUntilProcessEnds();
    EndEngineForExit(EXIT_FAILURE);
    std::exit(EXIT_FAILURE);
}
