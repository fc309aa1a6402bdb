// The title's drawing: a world's background with the six cats walking
// across it, then the menu of the screen (the logo and the main menu, the
// stage selects with best times and the preview map, the options with
// their values, the sound test), or the entry screen with one panel per
// player; last the dissolve from the captured screen.
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "game/data/game_data.h"
#include "game/draw/draw_calls.h"
#include "game/draw/minimap.h"
#include "game/draw/screen_basics.h"
#include "game/draw/stage_hud.h"
#include "game/input/input_device.h"
#include "game/play/cat_actor.h"
#include "game/play/stage.h"
#include "game/savedata.h"
#include "game/title/title_labels.h"
#include "game/title/stage_row_layout.h"
#include "game/title/title_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Font handles of the game data by size: 16, 18, ..., 34.
constexpr int kFont16 = 0, kFont18 = 1, kFont20 = 2, kFont22 = 3, kFont24 = 4, kFont28 = 6, kFont30 = 7;
constexpr int kStageRowFont = (stagerow::kFontSize - 16) / 2;
static_assert(kStageRowFont == kFont20);
constexpr int kPanelAlpha = 150;
constexpr float kCatDepth = 500.0f;  // the title's cats stand this far into the screen
constexpr int kWalkCycle[4] = {0, 1, 2, 1};
constexpr int kStageRowTop = 118, kStageRowStep = 34;

uint32_t Grey() { return MakeScreenColor(140, 140, 140); }
uint32_t Black() { return MakeScreenColor(0, 0, 0); }
uint32_t Orange() { return MakeScreenColor(255, 170, 40); }
uint32_t Cyan() { return MakeScreenColor(120, 230, 255); }

// The world point that the title's view (the view taken at the end of
// loading: eye at the origin, looking along +z) shows at screen pixel
// (x, y), `depth` into the screen.
Vector3 WorldAt(float x, float y, float depth) {
    const float halfHeight = depth * std::tan(kPi / 6);  // the 60-degree field of view
    const float halfWidth = halfHeight * 640.0f / 480.0f;
    return {(x / 320.0f - 1.0f) * halfWidth, (1.0f - y / 240.0f) * halfHeight, depth};
}

int TextWidth(const char* text, int font) {
    const int width = font > 0 ? GetStringWidthWithFont(text, int(std::strlen(text)), font)
                               : GetStringWidth(text, int(std::strlen(text)), 0);
    return std::max(width, 0);
}

void CentredText(int centreX, int y, const char* text, uint32_t colour, int font) {
    gamedraw::Text(centreX - TextWidth(text, font) / 2, y, text, colour, font);
}

int CatModel(const GameData& d, int kind, int pose) {
    if (kind < 1 || kind > GameData::kCatKinds) return 0;
    return d.catModels[kind - 1][std::clamp(pose, 0, GameData::kCatPoses - 1)];
}

int CatFace(const GameData& d, int kind) { return kind >= 1 && kind <= GameData::kCatKinds ? d.catFaces[kind - 1] : 0; }

// The world of a time-attack group: groups 0..4 are worlds 0..4, the
// final group the last world.
int WorldOfGroup(int group) { return std::clamp(group, 0, GameData::kWorldCount - 1); }

}  // namespace

void TitleScene::Draw() {
    if (!data) return;
    ApplyUserViewMatrix(data->cameraMatrix);
    if (screen == kEntry) {
        DrawEntry();
    } else {
        DrawTitleBackground();
        switch (screen) {
        case kMainMenu: DrawMainMenu(); break;
        case kTimeAttack:
        case kTimeAttackReplay: DrawStageSelect(); break;
        case kVersusSelect: DrawVersusSelect(); break;
        case kOptions: DrawOptions(); break;
        case kSoundTest: DrawSoundTest(); break;
        default: break;
        }
    }
    data->DrawScreenTransition(-1);
}

void TitleScene::DrawTitleBackground() const {
    const GameData& d = *data;
    const bool stageSelect = screen == kTimeAttack || screen == kTimeAttackReplay;
    gamedraw::Graph(0, 0, d.sceneBackgrounds[stageSelect ? WorldOfGroup(page) : 0]);
    // The six players' cats walk along the bottom, one behind the other.
    const float span = 840.0f, spacing = span / 6;
    for (int k = 0; k < 6; ++k) {
        const float x = std::fmod(float(frameCount) * 1.2f + float(k) * spacing, span) - 100.0f;
        const float hop = std::fabs(std::sin((float(frameCount) + float(k) * 7) * 0.12f)) * 6.0f;
        const int pose = kWalkCycle[(frameCount / 6 + k) % 4];
        gamedraw::Model(CatModel(d, k + 1, pose), WorldAt(x, 440.0f - hop, kCatDepth), 0.0f, 0.5f, 0.0f);
    }
}

void TitleScene::DrawMenuRow(int x, int y, const char* text, bool selected, int font) const {
    uint32_t colour = White();
    if (selected) colour = cursorFlash > 0 && (cursorFlash & 1) ? White() : Yellow();
    if (selected) gamedraw::Graph(x - 24, y + 2, data->jewelPic);
    gamedraw::Text(x, y, text, colour, font);
}

void TitleScene::DrawMainMenu() const {
    const GameData& d = *data;
    // The intro: the logo drops in and the menu appears under it.
    const float t = introTimer > 0 ? std::min(float(introTimer) / 60.0f, 1.0f) : 1.0f;
    const int logoY = 100 - int((1.0f - t) * (1.0f - t) * 220.0f);
    gamedraw::RotatedGraph(320, logoY, 1.4, 0.0, d.titleLogo);
    if (introTimer > 0 && introTimer < 90) return;
    const int font = d.fonts[kFont24];
    gamedraw::Box(200, 180, 440, 392, Black(), 120);
    for (int row = 0; row < kMainMenuRows; ++row) {
        const char* text = d.mainMenuLabels[row].c_str();
        const int width = TextWidth(text, font);
        DrawMenuRow(320 - width / 2, 190 + row * 33, text, row == cursor, font);
    }
}

void TitleScene::DrawStageSelect() const {
    const GameData& d = *data;
    const titletext::Labels& t = titletext::Get();
    DrawCaptionBar((screen == kTimeAttack ? t.captionTimeAttack : t.captionReplay).c_str());
    gamedraw::Box(0, 36, 640, 392, Black(), kPanelAlpha);
    CentredText(320, 42, t.headerTimeAttack.c_str(), Cyan(), d.fonts[kFont20]);
    const bool groupShown = page >= 0 && page < 12;
    if (groupShown) {
        gamedraw::Text(20, 76, d.MenuLabelText(page, -1).c_str(), Orange(), d.fonts[kFont24]);
        gamedraw::Graph(460, 76, d.normalThumbs[page]);
    }
    int first = 0;  // the stage number of the group's first row
    for (int g = 0; groupShown && g < page; ++g) first += d.stageListCount[g];
    const int count = groupShown ? d.stageListCount[page] : 0;
    char text[64];
    for (int row = scrollTop; row < scrollTop + kVisibleStageRows && row < count; ++row) {
        const int number = first + row;
        const int y = kStageRowTop + (row - scrollTop) * kStageRowStep;
        const bool inSave = number >= 0 && number < SaveData::kStageCount;
        const bool cleared = inSave && save && save->stageCleared[number];
        std::snprintf(text, sizeof text, stagerow::kTextFormat, number, d.MenuLabelText(page, row).c_str());
        if (row == cursor) gamedraw::Box(14, y - 3, 452, y + kStageRowStep - 5, MakeScreenColor(60, 60, 140), 200);
        const int font = d.fonts[kStageRowFont];
        gamedraw::Text(stagerow::kTextX, y, text, !cleared ? Grey() : row == cursor ? Yellow() : White(), font);
        if (!inSave || !save) continue;
        FormatRecordTime(text, sizeof text, save->bestTime[number]);
        gamedraw::Text(stagerow::kTimeX, y, text, cleared ? White() : Grey(), font);
        gamedraw::Graph(stagerow::kFaceX, y - 3, CatFace(d, save->bestTimeCat[number]));
    }
    if (save && save->perfectClear) CentredText(230, 330, "!P e r f e c t  C l e a r!", Yellow(), d.fonts[kFont22]);
    if (preview) DrawStageMinimap(*preview);
}

void TitleScene::DrawVersusSelect() const {
    const GameData& d = *data;
    const titletext::Labels& t = titletext::Get();
    DrawCaptionBar(t.captionVersus.c_str());
    gamedraw::Box(0, 36, 640, 392, Black(), kPanelAlpha);
    CentredText(320, 42, t.headerVersus.c_str(), Cyan(), d.fonts[kFont20]);
    for (int row = 0; row < kVersusRows; ++row)
        DrawMenuRow(60, 90 + row * 44, d.vsStageNames[row].c_str(), row == cursor, d.fonts[kFont22]);
    if (cursor >= 0 && cursor < kVersusRows) {
        gamedraw::RotatedGraph(520, 160, 1.3, 0.0, d.vsThumbs[cursor]);
        gamedraw::Text(40, 330, d.vsStageNotes[cursor].c_str(), Orange(), d.fonts[kFont18]);
    }
}

void TitleScene::DrawOptions() const {
    const GameData& d = *data;
    const titletext::Labels& t = titletext::Get();
    DrawCaptionBar(t.captionOptions.c_str());
    gamedraw::Box(0, 36, 640, 392, Black(), kPanelAlpha);
    CentredText(320, 48, OptionLabel(0).c_str(), Cyan(), d.fonts[kFont22]);
    const int player = JoystickPagePlayer();
    const int font = d.fonts[kFont20];
    for (int row = 1; row < kOptionRows; ++row) {
        const std::string& label = OptionLabel(row);
        const int y = 50 + row * 42;
        const bool selected = row == cursor;
        DrawMenuRow(60, y, label.c_str(), selected, font);
        const char* value = nullptr;
        auto is = [&label](const std::string& text) { return GameData::LabelEquals(label, text.c_str()); };
        if (!save) continue;
        if (is(t.difficulty)) {
            value = (save->difficulty == 0 ? t.easy : t.hard).c_str();
        } else if (is(t.drawPeriod)) {
            value = t.drawPeriodValues[std::clamp(save->drawPeriod, 0, 2)].c_str();
        } else if (is(t.windowMode)) {
            value = (save->windowed ? t.windowed : t.fullScreen).c_str();
            if (windowModeChanged) gamedraw::Text(360, y + 22, t.restartNote.c_str(), Orange(), d.fonts[kFont16]);
        } else if (player >= 0 && row >= 2 && row <= 4) {
            value = ButtonName(save->keyRows[player][row - 2]);
        }
        if (!value) continue;
        // The row key assignment waits on blinks.
        const bool waiting = keyAssignActive && selected;
        if (!waiting || (frameCount / 15) % 2 == 0) gamedraw::Text(360, y, value, waiting ? Yellow() : White(), font);
    }
    if (keyAssignActive) CentredText(320, 350, t.pressKey.c_str(), Yellow(), d.fonts[kFont20]);
}

void TitleScene::DrawSoundTest() const {
    const GameData& d = *data;
    DrawCaptionBar(titletext::Get().captionSoundTest.c_str());
    gamedraw::Box(0, 36, 640, 392, Black(), kPanelAlpha);
    char text[96];
    for (int row = 0; row < kSoundTestRows; ++row) {
        std::snprintf(text, sizeof text, "%2d %s", row, d.soundTestLabels[row].c_str());
        DrawMenuRow(80, 44 + row * 24, text, row == cursor, d.fonts[kFont18]);
    }
}

void TitleScene::DrawEntry() const {
    const GameData& d = *data;
    const titletext::Labels& t = titletext::Get();
    gamedraw::Graph(0, 0, d.sceneBackgrounds[returnScreen == kTimeAttack ? WorldOfGroup(page) : 0]);
    gamedraw::Box(0, 0, 640, 480, Black(), 110);
    const int captionIndex = mode == 1 ? 1 : mode == 4 || mode == 5 ? 2 : mode == 9 || mode == 11 ? 3 : 0;
    DrawCaptionBar(t.captionEntry[captionIndex].c_str());

    // One panel per player the mode takes, side by side and centred.
    const int panels = std::max(MaxPlayers(mode), 1);
    const int width = 150, gap = 8;
    const int left = 320 - (panels * width + (panels - 1) * gap) / 2;
    char text[16];
    for (int k = 0; k < panels; ++k) {
        const int x = left + k * (width + gap);
        const int slot = entries[k];
        const bool entered = slot >= 0 && slot < input::kSlotCount;
        // A panel that has just been joined drops into place.
        const int drop = entered ? std::max(0, 24 - panelFrames[k]) * 5 : 0;
        const int top = 60 - drop;
        gamedraw::Box(x, top, x + width, top + 320, PlayerColor(k), entered ? 110 : 40);
        std::snprintf(text, sizeof text, "%d P", k + 1);
        CentredText(x + width / 2, top + 10, text, entered ? White() : Grey(), d.fonts[kFont28]);
        const Vector3 base = WorldAt(float(x + width / 2), float(top + 250), kCatDepth);
        gamedraw::Model(d.pedestalModels[k], base, 0.0f, std::fmod(panelShift[k], 2 * kPi), 0.0f);
        if (!entered || !devices || !devices[slot]) continue;
        const int kind = devices[slot]->type;
        // The cat spins in as its panel settles.
        const Vector3 cat = {base.x, base.y + 42.0f, base.z};
        gamedraw::Model(CatModel(d, kind, 0), cat, 0.0f, panelShift[k] - 0.5f, 0.0f);
        gamedraw::Graph(x + width / 2 - 15, top + 60, CatFace(d, kind));
    }

    // The kinds of device that can join.
    int fx = 20;
    for (int type = input::kJoystick; type <= input::kKeyboard; ++type) {
        if (!deviceKindPresent[type]) continue;
        gamedraw::Graph(fx, 440, CatFace(d, type));
        fx += 36;
    }
    const int least = MinPlayers(mode);
    if (least >= 1 && entries[least - 1] != -1 && (frameCount / 20) % 3 != 0)
        CentredText(320, 400, "Ready To Start!", Yellow(), d.fonts[kFont30]);
}
