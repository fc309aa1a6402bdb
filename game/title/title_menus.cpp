// The title's menus: which device acts, cursor and page moves with their
// key repeat, the choices of every screen by their row's label, the
// time-attack groups and the stage preview, and key assignment.
#include "engine/input.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"
#include "game/title/title_labels.h"
#include "game/title/title_scene.h"

#include <algorithm>

namespace {

constexpr int kF1Key = KEYCODE_F1;
constexpr int kLastNormalGroup = 4;
constexpr int kFlashFrames = 5;


bool IsStageSelect(int screen) { return screen == TitleScene::kTimeAttack || screen == TitleScene::kTimeAttackReplay; }
bool HasPages(int screen) { return IsStageSelect(screen) || screen == TitleScene::kOptions; }

int Wrap(int value, int count) { return ((value % count) + count) % count; }

}  // namespace

bool TitleScene::RepeatStep(int32_t& counter) {
    const bool acts = counter == 0 || (counter >= kRepeatDelay && counter % kRepeatPeriod == 0);
    if (++counter >= 1000000) counter -= 500000;  // keeps the rhythm, never overflows
    return acts;
}

void TitleScene::DispatchMenuInput(input::ButtonBlock* const* buttons) {
    if (introTimer != 0) return;
    const bool paging = HasPages(screen);
    // The first device (in slot order) that holds a button of this screen
    // is the one that acts; with none, every held counter starts over.
    input::ButtonBlock b{};
    for (int slot = 0; buttons && slot < input::kSlotCount && buttons[slot]; ++slot) {
        const input::ButtonBlock& d = *buttons[slot];
        if (Held(d, input::kUp) || Held(d, input::kDown) || Held(d, input::kJump) || Held(d, input::kAction) ||
            (paging && (Held(d, input::kLeft) || Held(d, input::kRight) || Held(d, input::kPause)))) {
            b = d;
            break;
        }
    }
    if (Held(b, input::kUp))
        CursorUp();
    else if (Held(b, input::kDown))
        CursorDown();
    else
        cursorRepeat = 0;
    if (paging) {
        if (Held(b, input::kLeft))
            PagePrev();
        else if (Held(b, input::kRight))
            PageNext();
        else
            pageRepeat = 0;
    }
    if (Held(b, input::kJump))
        OnDecide();
    else if (Held(b, input::kAction))
        OnCancel();
    else
        decideHeld = 0;
    if (paging) {
        if (Held(b, input::kPause)) {
            if (startHeld == 0 && frameCount != 1) {
                PlaySe(data ? data->seCursorDecide : 0);
                // Play and replay select swap.
                if (screen == kTimeAttack)
                    screen = kTimeAttackReplay;
                else if (screen == kTimeAttackReplay)
                    screen = kTimeAttack;
            }
            ++startHeld;
        } else {
            startHeld = 0;
        }
    }
}

// ---- cursor and page moves ----

void TitleScene::CursorUp() { MoveCursor(-1); }
void TitleScene::CursorDown() { MoveCursor(+1); }
void TitleScene::PagePrev() { MovePage(-1); }
void TitleScene::PageNext() { MovePage(+1); }

// step -1 moves up (to the row before), +1 down.
void TitleScene::MoveCursor(int step) {
    if (!RepeatStep(cursorRepeat)) return;
    cursorDirection = -step;
    switch (screen) {
    case kMainMenu: cursor = Wrap(cursor + step, kMainMenuRows); break;
    case kTimeAttack:
    case kTimeAttackReplay: MoveStageCursor(step); break;
    case kVersusSelect: cursor = Wrap(cursor + step, kVersusRows); break;
    case kOptions: MoveOptionCursor(step); break;
    case kSoundTest: cursor = Wrap(cursor + step, kSoundTestRows); break;
    default: return;
    }
    cursorFlash = kFlashFrames;
    PlaySe(data ? data->seCursorMove : 0);
}

void TitleScene::MovePage(int step) {
    if (!RepeatStep(pageRepeat)) return;
    if (screen == kOptions)
        page = Wrap(page + step, kOptionPages);
    else if (IsStageSelect(screen))
        ChangeGroup(step);
    else
        return;
    cursorFlash = kFlashFrames;
    PlaySe(data ? data->seCursorMove : 0);
}

int TitleScene::NextGroup(int group) const {
    const bool withFinal = save && save->soundTestUnlocked;
    if (group == kLastNormalGroup) return withFinal ? kFinalGroup : 0;
    if (group >= 0 && group < kLastNormalGroup) return group + 1;
    return 0;  // the final group, or a group the menu does not offer
}

int TitleScene::PrevGroup(int group) const {
    const bool withFinal = save && save->soundTestUnlocked;
    if (group == 0) return withFinal ? kFinalGroup : kLastNormalGroup;
    if (group == kFinalGroup) return kLastNormalGroup;
    if (group > 0 && group <= kLastNormalGroup) return group - 1;
    return 0;
}

void TitleScene::MoveStageCursor(int step) {
    const auto count = [this](int group) { return data && group >= 0 && group < GameData::kStageGroupCount ? data->stageListCount[group] : 0; };
    if (step < 0) {
        if (cursor > 0) {
            --cursor;
            scrollTop = std::min(scrollTop, cursor);
        } else {
            // Above the first stage: the previous group's last stage.
            page = PrevGroup(page);
            cursor = std::max(count(page) - 1, 0);
            scrollTop = std::max(cursor - (kVisibleStageRows - 1), 0);
        }
    } else {
        if (cursor + 1 < count(page)) {
            ++cursor;
            scrollTop = std::max(scrollTop, cursor - (kVisibleStageRows - 1));
        } else {
            // Onto the group's end line: the next group's first stage.
            page = NextGroup(page);
            cursor = 0;
            scrollTop = 0;
        }
    }
    PrepareStagePreview();
}

void TitleScene::ChangeGroup(int step) {
    page = step < 0 ? PrevGroup(page) : NextGroup(page);
    ClampCursorToPage();
    PrepareStagePreview();
}

void TitleScene::ClampCursorToPage() {
    const int count = data && page >= 0 && page < GameData::kStageGroupCount ? data->stageListCount[page] : 0;
    cursor = std::clamp(cursor, 0, std::max(count - 1, 0));
    // The cursor stays in sight, and the list shows no rows past its end
    // where it need not.
    const int top = std::min(scrollTop, std::max(count - kVisibleStageRows, 0));
    scrollTop = std::clamp(top, std::max(cursor - (kVisibleStageRows - 1), 0), cursor);
}

void TitleScene::MoveOptionCursor(int step) {
    // Rows 1..6; a row without a label (the end of a joystick page) is
    // passed over.
    for (int tries = 0; tries < kOptionRows - 1; ++tries) {
        cursor += step;
        if (cursor > kOptionRows - 1) cursor = 1;
        if (cursor < 1) cursor = kOptionRows - 1;
        if (!OptionLabel(cursor).empty()) break;
    }
}

int32_t TitleScene::StageIndex() const {
    if (!data || page < 0 || page >= GameData::kStageGroupCount) return -1;
    if (cursor < 0 || cursor >= data->stageListCount[page]) return -1;
    int64_t index = cursor;
    for (int g = 0; g < page; ++g) index += data->stageListCount[g];
    // The save keeps 100 stages; a list that runs longer names stages past it.
    return index < SaveData::kStageCount ? int32_t(index) : -1;
}

void TitleScene::PrepareStagePreview() {
    preview.reset();
    const int32_t index = StageIndex();
    if (index >= 0 && save && save->stageCleared[index]) preview = std::make_unique<::Stage>(index);
}

// ---- choices ----

void TitleScene::OnDecide() {
    if (decideHeld == 0 && frameCount != 1) {
        if (screen == kSoundTest && cursor == 0) {
            OnCancel();  // the sound test's first row leads back
            return;
        }
        PlaySe(data ? data->seCursorDecide : 0);
        switch (screen) {
        case kMainMenu: DecideMainMenu(); break;
        case kTimeAttack:
        case kTimeAttackReplay: {
            const int32_t index = StageIndex();
            if (index < 0 || !save || !save->stageCleared[index]) break;  // not cleared on Hard
            returnScreen = screen;
            mode = screen == kTimeAttack ? gamemode::kTimeAttack : gamemode::kReplayUser;
            screen = kEntry;
            stage = index;
            if (data) data->CaptureScreen();
            break;
        }
        case kVersusSelect:
            stage = cursor;
            mode = gamemode::kVersus;
            screen = kEntry;
            returnScreen = kVersusSelect;
            if (data) data->CaptureScreen();
            break;
        case kOptions: DecideOption(); break;
        case kSoundTest:
            soundTestSilent = 0;
            if (data && cursor >= 0 && cursor < kSoundTestRows) data->PlayBgm(data->soundTestBgm[cursor]);
            break;
        default: break;
        }
    }
    ++decideHeld;
}

void TitleScene::DecideMainMenu() {
    if (!data || cursor < 0 || cursor >= kMainMenuRows) return;
    const titletext::Labels& t = titletext::Get();
    const std::string& row = data->mainMenuLabels[cursor];
    if (GameData::LabelEquals(row, t.gameStart.c_str())) {
        screen = kEntry;
        returnScreen = kMainMenu;
        stage = 0;
        mode = gamemode::kNormal;
        data->CaptureScreen();
    } else if (GameData::LabelEquals(row, t.timeAttack.c_str())) {
        scrollTop = page = cursor = 0;
        screen = kTimeAttack;
        PrepareStagePreview();
    } else if (GameData::LabelEquals(row, t.vsMode.c_str())) {
        scrollTop = cursor = 0;
        screen = kVersusSelect;
    } else if (GameData::LabelEquals(row, t.finalSet.c_str())) {
        screen = kEntry;
        returnScreen = kMainMenu;
        stage = kFinalGroup;
        mode = gamemode::kFinal;
        data->CaptureScreen();
    } else if (GameData::LabelEquals(row, t.options.c_str())) {
        cursor = 1;
        page = 0;
        screen = kOptions;
    } else if (GameData::LabelEquals(row, t.quit.c_str())) {
        quitRequested = 1;
    }
}

void TitleScene::DecideOption() {
    if (!data) return;
    const titletext::Labels& t = titletext::Get();
    const std::string& row = OptionLabel(cursor);
    const int player = JoystickPagePlayer();
    auto is = [&row](const std::string& label) { return GameData::LabelEquals(row, label.c_str()); };
    if (is(t.keyDefaults)) {
        if (save && player >= 0) std::copy(std::begin(input::kDefaultKeyRow), std::end(input::kDefaultKeyRow), save->keyRows[player]);
    } else if (is(t.difficulty)) {
        if (save) save->difficulty = save->difficulty == 0 ? 1 : 0;
    } else if (is(t.drawPeriod)) {
        if (save) save->drawPeriod = Wrap(save->drawPeriod + 1, 3);
    } else if (is(t.windowMode)) {
        if (save) save->windowed = save->windowed ? 0 : 1;
        windowModeChanged = windowModeChanged ? 0 : 1;
    } else if (is(t.share)) {
        if (data) data->ShareHighScore();
    } else if (is(t.soundTest)) {
        screen = kSoundTest;
        cursor = 0;
        soundTestSilent = 1;
        data->PlayBgm(-1);  // silence until a row is played
    } else if (is(t.keyJump) || is(t.keyAction) || is(t.keyPause)) {
        if (save && player >= 0) {
            keyAssignActive = 1;
            // The button that chose the row must be let go before it counts.
            lastAssignBit = save->keyRows[player][0];
        }
    } else if (is(t.backToTitle)) {
        screen = kMainMenu;
        cursor = MainMenuRow(t.options);
    }
}

void TitleScene::OnCancel() {
    if (decideHeld == 0 && frameCount != 1) {
        const titletext::Labels& t = titletext::Get();
        PlaySe(data ? data->seCursorCancel : 0);
        switch (screen) {
        case kMainMenu: cursor = kMainMenuRows - 1; break;  // onto "終了"
        case kTimeAttack:
        case kTimeAttackReplay:
            screen = kMainMenu;
            PlayTitleMusic();
            cursor = MainMenuRow(t.timeAttack);
            preview.reset();
            break;
        case kVersusSelect:
            screen = kMainMenu;
            cursor = MainMenuRow(t.vsMode);
            break;
        case kOptions:
            screen = kMainMenu;
            cursor = MainMenuRow(t.options);
            break;
        case kSoundTest: {
            screen = kOptions;
            // Unless a row was played, the title music comes back.
            if (soundTestSilent) PlayTitleMusic();
            cursor = 1;
            for (int row = 1; row < kOptionRows; ++row)
                if (GameData::LabelEquals(OptionLabel(row), t.soundTest.c_str())) cursor = row;
            soundTestSilent = 0;
            break;
        }
        case kEntry:
            if (data) data->SetLightDirection();
            screen = returnScreen;
            Reset();
            break;
        default: break;
        }
    }
    ++decideHeld;
}

// ---- key assignment ----

const char* TitleScene::ButtonName(int32_t bit) {
    switch (bit) {
    case 16: return "A";
    case 32: return "B";
    case 64: return "C";
    case 128: return "X";
    case 256: return "Y";
    case 512: return "Z";
    case 1024: return "L";
    case 2048: return "R";
    case 4096: return "START";
    case 8192: return "M";
    default: return titletext::Get().unknown.c_str();
    }
}

void TitleScene::AssignKey(int p, int32_t bit) {
    if (QueryKeyState(kF1Key)) {
        PlaySe(data ? data->seCursorCancel : 0);
        keyAssignActive = 0;
        lastAssignBit = 0;
        return;
    }
    // A button must be let go and pressed anew to count again.
    if (bit == 0 || bit == lastAssignBit) {
        lastAssignBit = bit;
        return;
    }
    lastAssignBit = bit;
    if (ButtonName(bit) == titletext::Get().unknown.c_str()) return;
    const int item = cursor - 2;  // rows 2, 3, 4: jump / decide, action / cancel, pause
    if (!save || p < 0 || p >= SaveData::kPlayerRows || item < 0 || item > 2) return;
    int32_t* row = save->keyRows[p];
    // A button that already serves another item swaps with this one.
    for (int k = 0; k < 3; ++k)
        if (k != item && row[k] == bit) row[k] = row[item];
    row[item] = bit;
    cursorRepeat = 0;
    CursorDown();
    cursorRepeat = 0;
    if (cursor == 5) cursor = 2;
}

// ---- rows by label ----

const std::string& TitleScene::OptionLabel(int row) const {
    static const std::string none;
    if (!data || page < 0 || page >= kOptionPages || row < 0 || row >= kOptionRows) return none;
    return data->optionLabels[page * kOptionRows + row];
}

int TitleScene::JoystickPagePlayer() const {
    if (!data || page < 0 || page >= kOptionPages) return -1;
    const std::string& title = data->optionLabels[page * kOptionRows];
    for (int p = 0; p < 4; ++p)
        if (GameData::LabelEquals(title, titletext::Get().joystickPage[p].c_str())) return p;
    return -1;
}

int TitleScene::MainMenuRow(const std::string& label) const {
    if (!data) return 0;
    for (int row = 0; row < kMainMenuRows; ++row)
        if (GameData::LabelEquals(data->mainMenuLabels[row], label.c_str())) return row;
    return 0;
}
