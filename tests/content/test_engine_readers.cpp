// Every generated picture opens with the engine's image readers at its
// manifest size, and every generated WAV loads as a sound handle.
#include "engine/baseimage.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "generated_tree.h"
#include "manifest.h"
#include "scoped_temp_dir.h"
#include "sound/sound_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

using namespace morpotta;

namespace fs = std::filesystem;

namespace {

fs::path HostPathOf(const std::string& gamePath) {
    std::string relative = gamePath;
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    // Folders are matched ignoring case, as the file layer does.
    fs::path at = ContentTreeRoot();
    for (const auto& part : fs::path(relative)) {
        fs::path next = at / part;
        if (!fs::exists(next)) {
            for (const auto& entry : fs::directory_iterator(at)) {
                std::string a = entry.path().filename().string(), b = part.string();
                if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
                    })) {
                    next = entry.path();
                }
            }
        }
        at = next;
    }
    return at;
}

TEST(EngineReaders, EveryPictureOpensAtItsSize) {
    for (const PictureSpec& spec : Pictures()) {
        std::string bytes = ScopedTempDir::ReadFile(HostPathOf(spec.path));
        BASEIMAGE image{};
        ASSERT_EQ(ReadImageToBaseImage(nullptr, bytes.data(), bytes.size(), 1, &image, 0), 0) << spec.path;
        EXPECT_EQ(image.width, spec.width) << spec.path;
        EXPECT_EQ(image.height, spec.height) << spec.path;
        FreeBaseImagePixels(&image);
    }
}

class EngineSound : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        ASSERT_EQ(InitializeSoundSystem(), 0);
        SetSoundCreateType(0);
        previous_ = fs::current_path();
        fs::current_path(ContentTreeRoot());
    }
    void TearDown() override {
        fs::current_path(previous_);
        TerminateSoundSystem();
        SetSoundDeviceBackend("sdl2");
        SetLogOutput(1);
    }
    fs::path previous_;
};

TEST_F(EngineSound, EveryEffectAndTheLoopingMusicLoad) {
    std::vector<std::string> paths = SoundPaths();
    paths.push_back("tpa\\Music\\01.wav");
    for (const std::string& path : paths) {
        int handle = LoadSoundFile(path.c_str(), 3);
        ASSERT_GE(handle, 0) << path;
        EXPECT_GT(GetSoundTotalTime(handle), 0) << path;
        DeleteSoundHandle(handle);
    }
}

}  // namespace
