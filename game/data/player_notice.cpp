#include "game/data/player_notice.h"

#include "engine/log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>

namespace {

PlayerNoticeSink& Sink() {
    static PlayerNoticeSink sink = nullptr;
    return sink;
}

std::set<std::string>& ToldSubjects() {
    static std::set<std::string> told;
    return told;
}

void Say(const char* line) {
    if (Sink())
        Sink()(line);
    else if (GetLogOutput())
        WriteLogText(line);
    else
        std::fprintf(stderr, "morpotta: %s\n", line);
}

// The line formatted; false when it could not be.
bool Format(char (&line)[kLogLineMax], const char* format, va_list args) {
    return std::vsnprintf(line, sizeof line, format, args) >= 0;
}

void SayFormatted(const char* format, va_list args) {
    char line[kLogLineMax];
    if (Format(line, format, args)) Say(line);
}

}  // namespace

void SetPlayerNoticeSink(PlayerNoticeSink sink) { Sink() = sink; }

void ReportToPlayer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SayFormatted(format, args);
    va_end(args);
}

void ReportToPlayerOnce(const char* subject, const char* format, ...) {
    if (!ToldSubjects().insert(subject ? subject : "").second) return;
    va_list args;
    va_start(args, format);
    SayFormatted(format, args);
    va_end(args);
}

void ReportContentFault(const char* path, const char* format, ...) {
    if (!path || !ToldSubjects().insert(path).second) return;
    char rest[kLogLineMax];
    va_list args;
    va_start(args, format);
    const bool ok = Format(rest, format, args);
    va_end(args);
    if (!ok) return;
    std::string shown(path);
    std::replace(shown.begin(), shown.end(), '\\', '/');
    shown += ' ';
    shown += rest;
    Say(shown.c_str());
}

void ForgetReportedSubjects() { ToldSubjects().clear(); }
