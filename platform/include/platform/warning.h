// Warnings of the platform layer. A back end that cannot serve a request (a
// device that does not open, a service the host lacks, an argument it
// refuses) says why through Warn, once per refused call, and fails
// cleanly; nothing in platform/ writes to standard error itself. The engine
// sends the warnings into its log while it runs (SetWarningSink); without a
// sink they go to standard error. Warn may be called from any thread.
#pragma once

namespace morpotta::platform {

using WarningSink = void (*)(const char* line);
// null: standard error again.
void SetWarningSink(WarningSink sink);
// One line, "platform: " and the formatted text (cut at 512 bytes).
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace morpotta::platform
