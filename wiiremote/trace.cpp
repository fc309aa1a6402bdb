// Trace lines of the driver: one line per message, prefixed so that they
// stand out among other output.
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "wiiremote/wiimote.h"

namespace {
std::atomic<WiimoteTraceSink> traceSink{nullptr};
}

void SetWiimoteTraceSink(WiimoteTraceSink sink) { traceSink.store(sink); }

void WiimoteTrace(const char* format, ...) {
    if (!format) return;
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    char line[300];
    std::snprintf(line, sizeof line, "Paddlewise! : %s\n", message);
    if (WiimoteTraceSink sink = traceSink.load()) sink(line);
    else std::fputs(line, stderr);
}
