#include "game/data/player_notice.h"

#include "engine/log.h"

#include <cstdarg>
#include <cstdio>

namespace {

PlayerNoticeSink& Sink() {
    static PlayerNoticeSink sink = nullptr;
    return sink;
}

}  // namespace

void SetPlayerNoticeSink(PlayerNoticeSink sink) { Sink() = sink; }

void ReportToPlayer(const char* format, ...) {
    char line[kLogLineMax];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    if (Sink())
        Sink()(line);
    else if (GetLogOutput())
        WriteLogText(line);
    else
        std::fprintf(stderr, "morpotta: %s\n", line);
}
