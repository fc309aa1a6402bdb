// The game started as it starts for a player (engine, fonts, every
// resource of the generated tree), but on a chosen graphics device, with a
// stage of the play simulator to draw: headless GL for pictures, the
// recording device for what reached the device. Frames are saved as PNG
// under the build tree's "field_frames" folder for a look.
#pragma once
#include "engine/screen.h"
#include "game/draw/draw_calls.h"
#include "game/play/sim/play_sim.h"
#include "game_fixture.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class FieldTest : public GameTest {
protected:
    void StartOn(const char* device) {
        ASSERT_EQ(SetWindowBackend("sdl2"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice(device), 0);
        Start();
        ASSERT_EQ(HardwareRenderingActive(), 1);
    }
    void TearDown() override {
        gamedraw::SetRecorder(nullptr);
        sim_.reset();
        GameTest::TearDown();
        SetGraphicsDeviceChoice("auto");
    }
    GameData& Data() { return *app_->data; }

    // A stage of the simulator drawn with the game's resources, in world
    // `world`'s blocks and background.
    Stage& MakeStage(playsim::Setup setup, int world = 0) {
        setup.resources = app_->data.get();
        sim_ = std::make_unique<playsim::Simulator>(setup);
        EXPECT_TRUE(sim_->loaded());
        Stage& st = sim_->stage();
        st.blockSet = Data().blockModels[world];
        st.background = Data().sceneBackgrounds[world];
        st.gameData->transitionCount = 30;  // no screen transition over the field
        return st;
    }
    void Play(int frames, const std::string& script = "") {
        playsim::InputScript input;
        std::string error;
        ASSERT_TRUE(input.Parse(script, &error)) << error;
        for (int i = 0; i < frames; ++i) sim_->Step(&input);
    }
    // The stage drawn on a cleared screen; the screen's pixels.
    std::vector<uint32_t> DrawFrame(float opacity = 1.0f) {
        ClearDrawScreenToBackColor(nullptr);
        sim_->stage().Draw(opacity);
        return Pixels();
    }
    static std::vector<uint32_t> Pixels() {
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        return pixels;
    }
    static void SavePng(const std::string& name) {
        const std::filesystem::path dir = std::filesystem::path(MORPOTTA_BUILD_DIR) / "field_frames";
        std::filesystem::create_directories(dir);
        EXPECT_EQ(SaveDrawScreenToPng((dir / (name + ".png")).string().c_str()), 0);
    }

    std::unique_ptr<playsim::Simulator> sim_;
};
