// The title scene driven directly on the running game (headless, generated
// content): a test holds buttons of up to four device slots and steps the
// scene; the pad and F1 for key assignment come from the scripted input.
// Effects and music are recorded instead of played.
#pragma once
#include "engine/window.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/input/input_manager.h"
#include "game/title/title_scene.h"
#include "game_fixture.h"

#include <initializer_list>
#include <vector>

struct Press {
    int slot;
    int button;
};

class TitleTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        gamesound::SetRecorder([this](const gamesound::Call& call) { sounds_.push_back(call); });
        Start();
        GameData& d = Data();
        // Sounds known by their handle (the loaded ones come back before
        // the game data releases them).
        loaded_[0] = d.seCursorMove, loaded_[1] = d.seCursorDecide, loaded_[2] = d.seCursorCancel;
        d.seCursorMove = kMove;
        d.seCursorDecide = kDecide;
        d.seCursorCancel = kCancel;
        scene::Context context;
        context.data = &d;
        context.input = app_->input.get();
        context.save = d.save;
        title_ = std::make_unique<TitleScene>(context);
        for (int slot = 0; slot < 4; ++slot) slots_[slot] = &blocks_[slot];
        title_->Init();
    }
    void TearDown() override {
        title_.reset();
        if (app_) {
            GameData& d = Data();
            d.seCursorMove = loaded_[0], d.seCursorDecide = loaded_[1], d.seCursorCancel = loaded_[2];
        }
        gamesound::SetRecorder(nullptr);
        GameTest::TearDown();
    }

    GameData& Data() { return *app_->data; }
    SaveData& Save() { return *app_->data->save; }
    TitleScene& T() { return *title_; }

    // One update with these buttons held (all others released).
    void Frame(std::initializer_list<Press> held = {}) {
        for (input::ButtonBlock& b : blocks_) b = {};
        for (const Press& p : held) blocks_[p.slot].held[p.button] = 1;
        ProcessWindowMessages();  // the scripted pad and keys of this frame
        title_->Update(slots_);
    }
    void Frames(int n, std::initializer_list<Press> held = {}) {
        for (int i = 0; i < n; ++i) Frame(held);
    }
    // A new press of one button on slot 0, then its release.
    void Tap(int button, int slot = 0) {
        Frame({{slot, button}});
        Frame();
    }
    // Past the intro, on the main menu.
    void SkipIntro() {
        while (T().introTimer != 0) Frame();
        Frame();
    }
    // The main menu's row with this text chosen.
    void ChooseMainMenu(const char* utf8) {
        T().cursor = T().MainMenuRow(GameText(utf8));
        Tap(input::kJump);
    }
    int SoundCount(int handle) const {
        int n = 0;
        for (const gamesound::Call& c : sounds_) n += c.kind == gamesound::Call::kPlayHandle && c.handle == handle;
        return n;
    }
    void Script(platform::ScriptedInputKind kind, int device, int index, int value) {
        platform::ScriptInputAtFrame(platform::ScriptedInputFrame(), {kind, device, index, value, 0});
    }

    static constexpr int kMove = 9001, kDecide = 9002, kCancel = 9003;
    std::unique_ptr<TitleScene> title_;
    input::ButtonBlock blocks_[4] = {};
    input::ButtonBlock* slots_[input::kSlotCount] = {};
    std::vector<gamesound::Call> sounds_;
    int loaded_[3] = {};
};
