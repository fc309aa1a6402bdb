// The ending's construction, its closing messages and its per-frame steps.
#include "game/ending/ending_scene.h"

#include "engine/camera.h"
#include "game/data/game_data.h"
#include "game/data/game_text.h"
#include "game/input/input_device.h"
#include "game/savedata.h"

#include <algorithm>

EndingScene::EndingScene(int32_t endingKind, const int32_t* playerEntries, InputDevice* const* deviceSlots,
                         GameData* gameData)
    : kind(endingKind), data(gameData), devices(deviceSlots) {
    if (playerEntries) std::copy(playerEntries, playerEntries + 4, entries);
    if (data) ApplyUserViewMatrix(data->cameraMatrix);
    script = std::make_unique<ScenarioScript>(kind, true, PlayerKind() - 1, data, false);
    rollRows = staffroll::Layout(staffroll::ReadCredits());
}

int32_t EndingScene::PlayerKind() const {
    const int32_t slot = entries[0];
    if (!devices || slot < 0 || slot >= input::kSlotCount || !devices[slot]) return 0;
    return devices[slot]->type;
}

void EndingScene::ChooseMessages(bool newSet, bool soundTest, int32_t runScore, bool highScore) {
    newSetMessage = newSet;
    soundTestMessage = soundTest;
    highScoreMessage = highScore;
    score = runScore;
    for (std::string& line : messages) line.clear();
    const SaveData* save = data ? data->save : nullptr;
    const bool hard = save && save->difficulty != 0;
    const bool finalSetOpen = save && save->finalSetUnlocked;
    messages[0] = GameText("★　ゲームクリアおめでとう　★");
    if (kind == 1) {
        messages[1] = GameText("ホントに最後のセットクリアおめでとう！");
        messages[2] = GameText("ここまで遊んでくれてありがとう！！");
        if (soundTestMessage) messages[3] = GameText("サウンドテストが使えるようになったよ。");
    } else if (!hard) {
        messages[1] = GameText("Easyクリアおめでとう！");
        messages[2] = GameText("次はHardモードに挑戦だ！");
    } else {
        messages[1] = GameText("Hardクリアおめでとう！");
        if (newSetMessage) {
            messages[2] = GameText("メニューから新しいセットが遊べるようになったよ！");
            messages[3] = GameText("…途中で出会った謎のねこの正体は？");
        } else if (!finalSetOpen) {
            messages[2] = GameText("最後までコンティニューをせずに、");
            messages[3] = GameText("途中で割り込む謎のねこのセットをクリアしよう。");
        }
    }
}

input::ButtonBlock* EndingScene::PlayerBlock(input::ButtonBlock* const* buttons) const {
    const int32_t slot = entries[0];
    if (!buttons || slot < 0 || slot >= input::kSlotCount) return nullptr;
    return buttons[slot];
}

void EndingScene::Update(input::ButtonBlock* const* buttons) {
    input::ButtonBlock* player = PlayerBlock(buttons);
    if (frameCount == 0) {
        // A START still held from play neither skips the script nor closes
        // the ending: it has to be let go and pressed anew.
        if (player) player->held[input::kPause] = 0;
        startLatch = 1;
    }
    switch (phase) {
    case kScript:
        if (script) script->Run(buttons);
        UpdateScript();
        break;
    case kRoll: UpdateRoll(player); break;
    case kClosing: UpdateClosing(player); break;
    default: break;
    }
    if (frameCount < INT32_MAX) ++frameCount;
}

void EndingScene::UpdateScript() {
    if (fade > 0) {
        if (++fade > kFadeFrames) phase = kRoll;
    } else if (!script || script->TakeFinished()) {
        fade = 1;
    }
}

void EndingScene::UpdateRoll(const input::ButtonBlock* player) {
    // The fade-in from the script's fade-out runs its course before the
    // roll's end fades out again.
    if (fade > 0 && rollPos <= kRollEnd) --fade;
    // However far one frame moved the roll, the congratulation's end is
    // taken once: its screen captured for the dissolve into the roll, or
    // for the final set the closing screen.
    if (rollPos >= kRollCongratulation && !pastCongratulation) {
        pastCongratulation = 1;
        if (data) data->CaptureScreen();
        if (kind == 1) phase = kClosing;
    }
    if (kind == 0 && rollPos > kRollEnd) {
        if (++fade > kFadeFrames) phase = kClosing;
    }
    const bool decide = player && player->held[input::kJump] > 0;
    rollPos += decide ? kDecideRollSpeed : 1;
}

void EndingScene::UpdateClosing(const input::ButtonBlock* player) {
    if (fade > 0) --fade;
    if (player && player->held[input::kPause] > 0) {
        if (!startLatch) {
            startLatch = 1;
            done = 1;
            if (data) data->CaptureScreen();
        }
    } else {
        startLatch = 0;
    }
}

bool EndingScene::TakeDone() {
    const bool was = done;
    done = 0;
    return was;
}
