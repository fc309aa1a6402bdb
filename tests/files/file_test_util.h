// Small helpers shared by the file tests: deterministic content and host
// files written with the standard library.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

inline std::string PatternBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = char(x >> 24);
    }
    return s;
}

inline void WriteHostFile(const std::filesystem::path& path, const std::string& bytes) {
    if (!path.parent_path().empty()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

// Silences the engine log for one test.
struct QuietLog {
    QuietLog();
    ~QuietLog();
};
