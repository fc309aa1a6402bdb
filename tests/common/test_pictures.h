// Where tests save the pictures they draw, for a look by eye: a folder of
// the build tree (<build dir>/test_pictures), never the source tree or the
// directory a test happens to run in.
#pragma once
#include <filesystem>
#include <string>

inline std::string TestPicturePath(const std::string& name) {
    const std::filesystem::path dir = MORPOTTA_TEST_PICTURES_DIR;
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}
