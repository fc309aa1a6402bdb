// Format checks of single files. Each returns "" when the file is sound,
// else the first problem found.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The box around every vertex of a model, in the file's coordinates.
struct MqoExtent {
    float low[3] = {1e30f, 1e30f, 1e30f};
    float high[3] = {-1e30f, -1e30f, -1e30f};
};

// MQO text as the game's reader takes it: header, CR LF lines, tokens,
// Material and Object chunks, faces of 3 or 4 corners within range. The
// box around its vertices goes to *extent when asked for.
std::string CheckMqo(const std::vector<uint8_t>& bytes, MqoExtent* extent = nullptr);
// PCM WAV: a fmt and a data chunk within the file, 8 or 16 bits, 1 or 2
// channels; its duration in seconds goes to *seconds.
std::string CheckWav(const std::vector<uint8_t>& bytes, double* seconds);
// MPEG audio layer III: frames from the first sync to the end, each header
// valid and its length consistent; duration in seconds.
std::string CheckMp3(const std::vector<uint8_t>& bytes, double* seconds);
