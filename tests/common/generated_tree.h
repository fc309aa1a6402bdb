// The resource tree the content tests look at: the one the build generated
// (build dir/tpa), or, when the build has not made it, one generated here
// into a temporary directory removed at exit.
#pragma once
#include <filesystem>
#include <string>

const std::filesystem::path& ContentTreeRoot();
// Writes a complete tree (and its contact sheet) under root.
void GenerateTreeInto(const std::filesystem::path& root);
