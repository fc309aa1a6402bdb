// Lines joined into one text, each ending in a newline: a list of problems
// printed whole when an expectation fails.
#pragma once
#include <string>
#include <vector>

inline std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}
