// Writes the seed corpus of every fuzz target: a few small inputs of the
// right shape each, made here or by the content generator, so that fuzzing
// starts from real files instead of from nothing.
// usage: fuzz_seeds <folder>   (writes <folder>/<target>/<seed>; the
// corpus kept in the repository is fuzz/corpus)
#include "engine/log.h"
#include "seeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

void Seeds::Add(const std::string& target, const std::string& name, const Bytes& bytes) {
    seeds_.push_back(Seed{target, name, bytes});
}

bool Seeds::Write(const std::string& folder) const {
    namespace fs = std::filesystem;
    for (const Seed& s : seeds_) {
        fs::path dir = fs::path(folder) / s.target;
        std::error_code ec;
        fs::create_directories(dir, ec);
        std::ofstream out(dir / s.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(s.bytes.data()), std::streamsize(s.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (dir / s.name).c_str());
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    SetLogOutput(0);
    Seeds seeds;
    AddPictureSeeds(seeds);
    AddSoundSeeds(seeds);
    AddFileSeeds(seeds);
    AddGameSeeds(seeds);
    AddRemoteSeeds(seeds);
    return seeds.Write(argv[1]) ? 0 : 1;
}
