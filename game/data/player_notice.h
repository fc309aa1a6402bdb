// What the player must hear of even when the engine log is off, as the game
// runs it: a failure that loses what the player would keep (the save with
// its options and records, or a replay, not stored; a damaged save replaced
// by the defaults). The line goes to the log; with the log off, it goes to
// standard error instead, "morpotta: " before it. Nothing else the game
// reports goes there.
#pragma once

void ReportToPlayer(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go instead, for a program that reads damaged saves by the
// thousand (a fuzz target); null: the log or standard error again.
using PlayerNoticeSink = void (*)(const char* line);
void SetPlayerNoticeSink(PlayerNoticeSink sink);
