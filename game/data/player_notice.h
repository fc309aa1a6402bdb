// What the player must hear of even when the engine log is off, as the game
// runs it: a failure that loses what the player would keep (the save with
// its options and records, or a replay, not stored; a damaged save replaced
// by the defaults), and a file the game needs that it cannot use (content
// missing or damaged, the save's name taken), with what it does instead.
// The line goes to the log; with the log off, it goes to standard error
// instead, "morpotta: " before it. Nothing else the game reports goes there.
#pragma once

void ReportToPlayer(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The line said once per subject (a file's path) in a run: a file met again,
// on every frame or every time a scene reads it, is not said again.
void ReportToPlayerOnce(const char* subject, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A content file the game cannot use as it is: "<file> <what follows>",
// once per file in a run. path is the engine's form ("tpa\stage\..."); the
// line names the file as the host does ("tpa/stage/...").
void ReportContentFault(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A new run (GameApp starting): every subject may be said once again.
void ForgetReportedSubjects();

// Where the lines go instead, for a program that reads damaged saves by the
// thousand (a fuzz target); null: the log or standard error again.
using PlayerNoticeSink = void (*)(const char* line);
void SetPlayerNoticeSink(PlayerNoticeSink sink);
