// Validates a resource tree against every rule the game's loaders rely on.
#pragma once
#include <string>
#include <vector>

struct CheckReport {
    int filesChecked = 0;
    std::vector<std::string> problems;  // one line each, naming the file
};

// root holds "tpa/".
CheckReport CheckTree(const std::string& root);
