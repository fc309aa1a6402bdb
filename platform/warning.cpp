// The platform layer's warnings: formatted here and handed to the sink the
// engine installed, or written to standard error.
#include "platform/warning.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace morpotta::platform {
namespace {

std::atomic<WarningSink> g_sink{nullptr};

}  // namespace

void SetWarningSink(WarningSink sink) { g_sink.store(sink); }

void Warn(const char* format, ...) {
    char line[512];
    int prefix = std::snprintf(line, sizeof line, "platform: ");
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + prefix, sizeof line - size_t(prefix), format, args);
    va_end(args);
    if (WarningSink sink = g_sink.load()) sink(line);
    else SayToUser("%s", line);
}

void SayToUser(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line);
}

}  // namespace morpotta::platform
