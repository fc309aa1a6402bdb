// A test of the engine started on the software path (no graphics device)
// with the headless window and the virtual clock, in a folder of its own;
// whatever the test did, the engine is shut down and the settings put back.
#pragma once
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "engine/window.h"
#include "graphics/device/device.h"
#include "platform/clock.h"
#include "scoped_temp_dir.h"

using namespace morpotta;

class SoftwareEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UseVirtualClock(true);
        SetLogOutput(0);
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("none"), 0);
        ASSERT_EQ(InitializeEngine(), 0);
        ASSERT_EQ(HardwareRenderingActive(), 0);
    }
    void TearDown() override {
        ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        SetWindowBackend("sdl2");
        platform::UseVirtualClock(false);
    }
    ScopedTempDir dir_;  // the engine's folder, this test's alone
};
