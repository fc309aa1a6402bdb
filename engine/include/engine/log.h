// The engine log, "Log.txt" in the working directory: one line per message,
// each with a millisecond time stamp and the current indent, CR LF line
// ends. The writer ends the line: a message carries no line end of its own
// (one at its end is dropped, so a message never leaves a blank line), and
// two messages never share a line. A line written after the engine ended
// goes at the end of the finished run's log, never in place of it; a
// symbolic link at "Log.txt" is refused (said on stderr), never written
// through. Every writer returns -1 so that a failing routine can log and
// fail in one statement; a null message is refused, in the writer's name.
#pragma once

// A message keeps at most kLogLineMax - 1 bytes of text; the rest is cut
// (never inside a double-byte character), never overrun.
constexpr int kLogLineMax = 2048;

int WriteLogText(const char* text);
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// UTF-16 format; %s and %ls take UTF-16 strings, %hs takes a byte string.
// The line is converted to code page 932 (at most 1024 bytes).
int WriteLogFormatW(const char16_t* format, ...);
int IncreaseLogIndent();
int DecreaseLogIndent();  // never below 0
int SetLogOutput(int flag);  // 0: nothing is written; returns 0
int GetLogOutput();

// Writes the message, ends the engine and the process.
[[noreturn]] void ExitOnFatalError(const char* message);
