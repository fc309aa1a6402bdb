// Warnings of the platform layer. A back end that cannot serve a request (a
// device that does not open, a service the host lacks, an argument it
// refuses) says why through Warn, once per refused call, and fails
// cleanly. The engine sends the warnings into its log while it runs
// (SetWarningSink); without a sink they go to standard error, through
// SayToUser, the one writer there of the engine and its platform layer.
// Both may be called from any thread.
#pragma once

namespace morpotta::platform {

using WarningSink = void (*)(const char* line);
// null: standard error again.
void SetWarningSink(WarningSink sink);
// One line, "platform: " and the formatted text (cut at 512 bytes).
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
// What the user of the program must see though no log may be written: one
// line on standard error, the program's name before it as command-line
// programs say theirs ("mygame: cannot start: ..."), written at once.
void SayToUser(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace morpotta::platform
