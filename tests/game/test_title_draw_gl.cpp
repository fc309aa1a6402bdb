// The title's screens drawn on headless GL with the game's resources: the
// main menu, the options, key assignment, the time-attack select with its
// preview, the versus entry and the sound test, saved as PNG for a look
// (build tree, "title_frames") and checked where their marks must be.
#include "engine/screen.h"
#include "field_fixture.h"
#include "game/input/input_manager.h"
#include "game/title/title_scene.h"

#include <functional>

namespace {

class TitleGl : public FieldTest {
protected:
    void SetUp() override {
        FieldTest::SetUp();
        StartOn("gl");
        scene::Context context;
        context.data = &Data();
        context.input = app_->input.get();
        context.save = Data().save;
        title_ = std::make_unique<TitleScene>(context);
        title_->Init();
        title_->introTimer = 0;
        title_->frameCount = 120;
    }
    void TearDown() override {
        title_.reset();
        FieldTest::TearDown();
    }
    TitleScene& T() { return *title_; }
    SaveData& Save() { return *Data().save; }

    // The title drawn on a cleared screen, without the dissolve; saved.
    std::vector<uint32_t> Shot(const std::string& name) {
        Data().transitionCount = 30;
        ClearDrawScreenToBackColor(nullptr);
        T().Draw();
        const std::filesystem::path dir = std::filesystem::path(MORPOTTA_BUILD_DIR) / "title_frames";
        std::filesystem::create_directories(dir);
        EXPECT_EQ(SaveDrawScreenToPng((dir / (name + ".png")).string().c_str()), 0);
        std::vector<uint32_t> pixels = Pixels();
        for (uint32_t& c : pixels) c &= 0xFFFFFF;
        return pixels;
    }
    static int Count(const std::vector<uint32_t>& p, int x1, int y1, int x2, int y2,
                     const std::function<bool(uint32_t)>& match) {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) n += match(p[size_t(y) * 640 + size_t(x)]);
        return n;
    }
    static bool IsYellow(uint32_t c) { return (c >> 16 & 0xFF) > 200 && (c >> 8 & 0xFF) > 200 && (c & 0xFF) < 80; }
    int Slot(int type) const {
        for (int slot = 0; slot < input::kSlotCount; ++slot)
            if (app_->input->devices[slot] && app_->input->devices[slot]->type == type) return slot;
        return -1;
    }

    std::unique_ptr<TitleScene> title_;
};

TEST_F(TitleGl, MainMenuOptionsAndKeyAssignment) {
    T().cursor = 1;
    std::vector<uint32_t> menu = Shot("main_menu");
    // The chosen row is yellow; no other row is.
    EXPECT_GT(Count(menu, 220, 223, 420, 250, IsYellow), 50);
    EXPECT_EQ(Count(menu, 220, 190, 420, 218, IsYellow), 0);

    T().screen = TitleScene::kOptions;
    T().page = 0;
    T().cursor = 2;
    T().windowModeChanged = 1;
    Save().difficulty = 1;
    Shot("options");

    T().page = 1;
    T().cursor = 3;
    T().keyAssignActive = 1;
    T().frameCount = 0;
    std::vector<uint32_t> keys = Shot("key_assignment");
    EXPECT_GT(Count(keys, 60, 345, 580, 375, IsYellow), 100);  // the prompt
}

TEST_F(TitleGl, TimeAttackSelectWithItsPreview) {
    for (int s = 0; s < 5; ++s) Save().stageCleared[s] = 1;
    Save().bestTime[1] = 41500;
    Save().bestTimeCat[1] = 6;
    T().screen = TitleScene::kTimeAttack;
    T().cursor = 3;
    std::vector<uint32_t> none = Shot("time_attack_no_preview");
    T().PrepareStagePreview();
    ASSERT_TRUE(T().preview);
    std::vector<uint32_t> with = Shot("time_attack");
    // The preview's map lies right of the list, from (460, 210).
    const auto mapCell = [](uint32_t c) { return c == 0x66FFFF || c == 0x7F0638; };
    EXPECT_GT(Count(with, 460, 210, 640, 392, mapCell), 200);
    EXPECT_EQ(Count(none, 460, 210, 640, 392, mapCell), 0);
}

TEST_F(TitleGl, VersusEntryAndSoundTest) {
    T().screen = TitleScene::kEntry;
    T().mode = 4;
    T().entries[0] = Slot(input::kKeyboard);
    const std::vector<uint32_t> one = Shot("versus_entry_one");
    T().entries[1] = Slot(input::kMouse);
    for (int k = 0; k < 2; ++k) T().panelFrames[k] = 40;
    T().frameCount = 20;
    const std::vector<uint32_t> two = Shot("versus_entry");
    // "Ready To Start!" once two have joined.
    EXPECT_EQ(Count(one, 150, 395, 490, 440, IsYellow), 0);
    EXPECT_GT(Count(two, 150, 395, 490, 440, IsYellow), 100);

    T().screen = TitleScene::kSoundTest;
    T().cursor = 3;
    Shot("sound_test");
}

}  // namespace
