// The seed writer's parts: each writes the seeds of one group of fuzz
// targets into a Seeds collection, which then goes to disk.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class Seeds {
public:
    void Add(const std::string& target, const std::string& name, const Bytes& bytes);
    void Add(const std::string& target, const std::string& name, const std::string& text) {
        Add(target, name, Bytes(text.begin(), text.end()));
    }
    // Writes <folder>/<target>/<name> for every seed; false on a write error.
    bool Write(const std::string& folder) const;

private:
    struct Seed {
        std::string target, name;
        Bytes bytes;
    };
    std::vector<Seed> seeds_;
};

// Little-endian writers.
inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutText(Bytes& b, const char* text) {
    while (*text) b.push_back(uint8_t(*text++));
}

void AddPictureSeeds(Seeds& seeds);
void AddSoundSeeds(Seeds& seeds);
void AddFileSeeds(Seeds& seeds);   // archives, the block codec, the save file
void AddGameSeeds(Seeds& seeds);   // stages, map sets, scenarios, time table, models
void AddRemoteSeeds(Seeds& seeds);
