// The text forms of the replay files.
//
// Stream files, one line per record, each ending with a line feed (the
// keyboard file with a carriage return and a line feed):
//     in, keyboard   "%x,%x:%x"            first frame, button or key, frames held
//     action         "%d,%d"               frame, timer slot
//     slope          "%d,%f,%f,%f"         frame, x, y, z (as many digits as
//                                          the value needs to read back exactly)
//     analog         "%d,%d,%d,%d,%d,%d:%d" words 0, 2, 3, 4, 6, 7, frames
//     mouse          "%x,%x,%x:%x"         first frame, x, y, frames
// Hexadecimal numbers are 32-bit: a negative position is its two's
// complement ("fffffffb" is -5). A stream whose block the device lacks is
// the single character "n". Meta file: each player's device type as "%d,".
//
// Reading is bounded and strict about values: a line that does not have
// its form, names a button, key or slot that does not exist, holds a value
// no device gives, a count below 1, or a frame before the line above it is
// skipped and counted; blank lines are passed over; both line ends read.
#pragma once
#include "game/replay/replay_streams.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace replay {

// Appends one stored line of a stream (crlf: the keyboard stream's line
// end).
void AppendStoredLine(const HeldRun& run, bool crlf, std::string* out);
void AppendStoredLine(const ActionPulse& pulse, std::string* out);
void AppendStoredLine(const SlopeChange& change, std::string* out);
void AppendStoredLine(const AnalogRun& run, std::string* out);
void AppendStoredLine(const MouseRun& run, std::string* out);

// Appends the stored text of one stream.
void AppendStoredText(const PlayerStreams& streams, Stream stream, std::string* out);
std::string StoredText(const PlayerStreams& streams, Stream stream);

struct ParseReport {
    int badLines = 0;
    int firstBadLine = 0;  // 1-based; 0 when none
};
// Reads the stored text of one stream into that stream of *streams
// (replacing what it held). Text that begins with 'n' marks the stream
// absent; empty text is a stream with nothing in it.
ParseReport ParseStoredText(std::string_view text, Stream stream, PlayerStreams* streams);

// The meta file: one to four device types, 1..6.
constexpr int kMaxMetaPlayers = 4;
std::string MetaText(const std::vector<int32_t>& deviceTypes);
// False, with the reason in *why, when the text is not one to four device
// types separated by commas (a comma after the last one is allowed).
bool ParseMeta(std::string_view text, std::vector<int32_t>* deviceTypes, std::string* why);

}  // namespace replay
