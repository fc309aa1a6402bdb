// A fresh temporary working directory for one benchmark, removed after.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

struct BenchWorkDir {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path root;
    BenchWorkDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "morpotta-bench-XXXXXX").string();
        root = mkdtemp(pattern.data());
        std::filesystem::current_path(root);
    }
    ~BenchWorkDir() {
        std::filesystem::current_path(previous);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    BenchWorkDir(const BenchWorkDir&) = delete;
    BenchWorkDir& operator=(const BenchWorkDir&) = delete;
};
