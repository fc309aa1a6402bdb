// The lines a call adds to the engine log (Log.txt of the working
// directory): its size before the call, and the text of each line written
// since, time stamp and indent cut.
#pragma once
#include "scoped_temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

inline size_t LogSize() {
    std::error_code ec;
    const auto size = std::filesystem::file_size("Log.txt", ec);
    return ec ? 0 : size_t(size);
}

inline std::vector<std::string> LogLinesSince(size_t size) {
    const std::string log = ScopedTempDir::ReadFile("Log.txt");
    std::vector<std::string> lines;
    for (size_t start = std::min(size, log.size()), end; start < log.size(); start = end + 2) {
        end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        const size_t text = line.find(": ");
        line = text == std::string::npos ? line : line.substr(line.find_first_not_of(' ', text + 1));
        lines.push_back(line);
    }
    return lines;
}

// A line that says a refusal, in whoever's name.
inline bool SaysRefused(const std::string& line) {
    return line.find("refused") != std::string::npos || line.find("Refused") != std::string::npos;
}
