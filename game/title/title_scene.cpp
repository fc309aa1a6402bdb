// The title scene's life and its frame: initialisation, the per-frame
// order (idle demo, key assignment or menu input, the intro), and the entry
// screen on which players join before a session starts. The menus' moves
// and choices are in title_menus.cpp, the drawing in title_draw.cpp.
#include "game/title/title_scene.h"

#include "engine/camera.h"
#include "engine/input.h"
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/input/input_device.h"
#include "game/input/input_manager.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"

#include <algorithm>

namespace {

constexpr int kPadButtonA = 16;  // the pad bit key assignment takes before the others
constexpr float kPanelStart = -0.2f;
constexpr float kPanelStep = 0.001f;
constexpr float kEmptyPanelDrift = 0.01f;


// Counters that grow for as long as a button is held stay far from
// overflow; the step keeps the repeat rhythm (a multiple of 5).
void CountUp(int32_t& counter) {
    if (++counter >= 1000000) counter -= 500000;
}

}  // namespace

TitleScene::TitleScene(const scene::Context& context)
    : data(context.data),
      input(context.input),
      devices(context.input ? context.input->devices : nullptr),
      save(context.save) {}

TitleScene::~TitleScene() = default;

void TitleScene::Init() {
    // Back from a time-attack run (or F12 during it): the stage select
    // comes back as it was.
    if (screen == kTimeAttack) return;
    quitRequested = startRequested = keyAssignActive = 0;
    screen = returnScreen = frameCount = cursorFlash = idleFrames = cursorDirection = page = cursor = 0;
    pageRepeat = cursorRepeat = decideHeld = startHeld = 0;
    scrollTop = lastAssignBit = mode = 0;
    introTimer = 1;
    stage = -1;
    soundTestSilent = 0;
    preview.reset();
    NoteDeviceKinds();
    Reset();
    if (data) {
        ApplyUserViewMatrix(data->cameraMatrix);
        data->SetLightDirection();
        PlayTitleMusic();
    }
    if (save) {
        const bool allCleared = std::all_of(std::begin(save->stageCleared), std::end(save->stageCleared),
                                            [](uint8_t cleared) { return cleared != 0; });
        if (allCleared && save->soundTestUnlocked) save->perfectClear = 1;
    }
    if (data) data->UpdateUnlocks();
}

void TitleScene::Reset() {
    for (int k = 0; k < 4; ++k) {
        entries[k] = -1;
        panelPos[k] = panelShift[k] = 0;
        panelFrames[k] = 0;
    }
}

bool TitleScene::TakeStartRequest() {
    if (!startRequested) return false;
    startRequested = 0;
    screen = returnScreen;  // the menus come back where play began
    return true;
}

bool TitleScene::TakeQuitRequest() {
    const bool was = quitRequested != 0;
    quitRequested = 0;
    return was;
}

void TitleScene::NoteDeviceKinds() {
    std::fill(std::begin(deviceKindPresent), std::end(deviceKindPresent), uint8_t(0));
    if (!devices) return;
    for (int slot = 0; slot < input::kSlotCount; ++slot) {
        const InputDevice* device = devices[slot];
        if (device && device->type >= input::kJoystick && device->type <= input::kKeyboard)
            deviceKindPresent[device->type] = 1;
    }
}

int TitleScene::MinPlayers(int m) {
    switch (m) {
    case 0: case 1: case 9: case 10: case 12: return 1;
    case 4: case 5: return 2;
    default: return 0;
    }
}

int TitleScene::MaxPlayers(int m) {
    switch (m) {
    case 0: case 1: case 9: case 10: case 12: return 1;
    case 4: case 5: return 4;
    default: return 0;
    }
}

void TitleScene::Update(input::ButtonBlock* const* buttons) {
    CountUp(frameCount);
    if (screen == kEntry) {
        UpdateEntry(buttons);
        return;
    }
    if (screen == kMainMenu) {
        // Input does not hold the demo off: only leaving the main menu does.
        if (++idleFrames > kIdleFramesToDemo) {
            idleFrames = 0;
            mode = gamemode::kAttractDemo;
            stage = kDemoStage;
            Reset();  // the demo has no players: its cat is the demo's own
            startRequested = 1;
            if (data) data->CaptureScreen();
        }
    } else {
        idleFrames = 0;
    }
    if (keyAssignActive) {
        const int p = JoystickPagePlayer();
        if (p < 0) {
            keyAssignActive = 0;
        } else {
            const int32_t bits = QueryPadButtons(p + 1);
            AssignKey(p, (bits & kPadButtonA) ? kPadButtonA : LowestButtonBit(bits));
        }
    } else {
        DispatchMenuInput(buttons);
    }
    NoteDeviceKinds();
    if (screen != kNoScreen && screen != kEntry) RunTitleIntro(buttons);
}

void TitleScene::RunTitleIntro(input::ButtonBlock* const* buttons) {
    if (introTimer > 0) {
        ++introTimer;
        bool skip = false;
        for (int slot = 0; buttons && slot < input::kSlotCount && buttons[slot] && !skip; ++slot) {
            const input::ButtonBlock& b = *buttons[slot];
            skip = Held(b, input::kJump) || (Held(b, input::kPause) && decideHeld == 0);
        }
        if (skip && frameCount > 1) {
            ++decideHeld;  // the press that ends the intro does not also choose a row
            introTimer = 0;
        }
        if (introTimer >= kIntroFrames) introTimer = 0;
    }
    if (cursorFlash > 0) --cursorFlash;
}

void TitleScene::UpdateEntry(input::ButtonBlock* const* buttons) {
    const int most = MaxPlayers(mode);
    bool decideOrCancel = false;
    for (int slot = 0; buttons && slot < input::kSlotCount && buttons[slot]; ++slot) {
        const input::ButtonBlock& b = *buttons[slot];
        const bool decide = Held(b, input::kJump), cancel = Held(b, input::kAction);
        decideOrCancel = decideOrCancel || decide || cancel;
        if (decideHeld != 0) continue;
        int at = -1;
        for (int k = 0; k < 4; ++k)
            if (entries[k] == slot) at = k;
        if (decide) {
            if (at >= 0 && at < most) continue;
            for (int k = 0; k < most; ++k) {
                if (entries[k] != -1) continue;
                entries[k] = slot;
                panelPos[k] = kPanelStart;
                panelShift[k] = 0;
                panelFrames[k] = 1;
                break;
            }
        } else if (cancel) {
            if (at < 0) {
                OnCancel();  // a device that has not joined leaves the screen
                return;
            }
            PlaySe(data ? data->seCursorCancel : 0);
            // The later players move up one place, their panels with them.
            for (int k = at; k < 3; ++k) {
                entries[k] = entries[k + 1];
                panelPos[k] = panelPos[k + 1];
                panelShift[k] = panelShift[k + 1];
                panelFrames[k] = panelFrames[k + 1];
            }
            entries[3] = -1;
            panelPos[3] = panelShift[3] = 0;
            panelFrames[3] = 0;
            ++decideHeld;
        }
    }
    if (!decideOrCancel) decideHeld = 0;

    for (int k = 0; k < 4; ++k) {
        if (entries[k] == -1) {
            panelShift[k] -= kEmptyPanelDrift;
        } else if (panelPos[k] <= 0) {
            panelShift[k] += panelPos[k];
            panelPos[k] += kPanelStep;
            CountUp(panelFrames[k]);
        }
    }

    if (most == 0) {
        StartSession();
        return;
    }
    const int least = MinPlayers(mode);
    if (least < 1 || entries[least - 1] == -1) return;
    for (int k = 0; k < 4 && entries[k] != -1; ++k) {
        const int slot = entries[k];
        if (buttons && slot >= 0 && slot < input::kSlotCount && buttons[slot] && Held(*buttons[slot], input::kPause)) {
            StartSession();
            return;
        }
    }
}

void TitleScene::StartSession() {
    // A mode without players (the replay of a record) starts with no
    // entries at all; its cats come from the record.
    if (MaxPlayers(mode) == 0) Reset();
    if (data) data->CaptureScreen();
    startRequested = 1;
    frameCount = 0;
}

void TitleScene::PlaySe(int sound) const {
    if (sound > 0) gamesound::PlayHandle(sound, 1, 1);
}

void TitleScene::PlayTitleMusic() {
    if (data) data->PlayBgm(0);
}
