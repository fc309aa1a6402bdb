// An engine test in a temporary folder of its own (the working directory
// while it runs), with the log and the double-start check off; whatever the
// test did, the engine is shut down and every setting put back at the end.
#pragma once
#include "engine/engine.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "engine/window.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

class EngineInTempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        SetDoubleStartCheck(0);
    }
    void TearDown() override {
        ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        SetDoubleStartCheck(1);
        std::filesystem::current_path(previous_);
        SetLogOutput(1);
    }
    ScopedTempDir dir;

private:
    std::filesystem::path previous_;
};

// The same with the log on and every back end headless: no window system,
// no sound card, scripted input, no graphics device (the software path).
class HeadlessEngineInTempFolderTest : public EngineInTempFolderTest {
protected:
    void SetUp() override {
        EngineInTempFolderTest::SetUp();
        SetLogOutput(1);
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        ASSERT_EQ(SetInputBackend("scripted"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("none"), 0);
    }
    void TearDown() override {
        EngineInTempFolderTest::TearDown();
        SetInputBackend("sdl2");
        SetSoundDeviceBackend("sdl2");
        SetWindowBackend("sdl2");
    }
};
