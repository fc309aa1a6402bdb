// What the game's durable-store tests share: a kill of a store once its set
// stands, the leftovers a store or settling may leave, and the player's
// lines with each set's random id written as "<id>".
#pragma once
#include "foundation/durable.h"

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

// While it lives, a store ends as a kill would end it just before its first
// stored file is renamed into place: the set's record then stands in every
// folder it touches.
struct KillStoresOnceTheyStand {
    KillStoresOnceTheyStand() {
        morpotta::SetDurableStepHook([](morpotta::DurableStep step, const std::string& path) -> int64_t {
            return step == morpotta::DurableStep::Rename && !path.ends_with(".commit") ? 0 : -1;
        });
    }
    ~KillStoresOnceTheyStand() { morpotta::SetDurableStepHook(nullptr); }
    KillStoresOnceTheyStand(const KillStoresOnceTheyStand&) = delete;
    KillStoresOnceTheyStand& operator=(const KillStoresOnceTheyStand&) = delete;
};

// Temporaries and records below folder (links to folders not followed).
inline std::vector<std::string> StoreLeftovers(const std::filesystem::path& folder = ".") {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".tmp") || name.ends_with(".commit")) found.push_back(e.path().string());
    }
    return found;
}

inline std::string WithoutSetIds(const std::string& text) {
    static const std::regex id("\\.[0-9a-f]{16}\\.");
    return std::regex_replace(text, id, ".<id>.");
}
