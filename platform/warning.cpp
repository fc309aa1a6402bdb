// The platform layer's warnings: formatted here and handed to the sink the
// engine installed, or written to standard error.
#include "platform/warning.h"

#include <atomic>
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
    else std::fprintf(stderr, "%s\n", line);
}

}  // namespace morpotta::platform
