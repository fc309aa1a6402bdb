// The play session's own screens: the score panel of a map-set run, the
// pause, the set's end with its bonus count and continue choice, the versus
// round and match results, and the time-attack result. The play field
// itself is the stage's own drawing.
#include "engine/draw2d.h"
#include "engine/font.h"
#include "game/data/game_data.h"
#include "game/data/game_text.h"
#include "game/play/cat_actor.h"
#include "game/play/game_modes.h"
#include "game/savedata.h"
#include "game/session/play_session.h"
#include "game/timetable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>

namespace {

constexpr int kPanelFont = 20, kTitleFont = 34;
constexpr int kBandAlpha = 128;

uint32_t Rgb(int r, int g, int b) { return MakeScreenColor(r, g, b); }
uint32_t White() { return Rgb(255, 255, 255); }
uint32_t Yellow() { return Rgb(255, 255, 0); }

// One of the game's fonts by its point size (16, 18, ..., 34); the default
// font when that one is missing.
void Text(const GameData& data, int size, int x, int y, const std::string& text, uint32_t color) {
    const int index = (size - 16) / 2;
    const int font = index >= 0 && index < GameData::kFontCount ? data.fonts[index] : 0;
    if (font > 0)
        DrawTextWithFont(x, y, text.c_str(), color, font, 0, 0);
    else
        DrawTextAt(x, y, text.c_str(), color, 0);
}

// A label of this file (a UTF-8 literal) in the game's code page,
// converted on its first use.
const std::string& Label(const char* utf8) {
    static std::unordered_map<const char*, std::string> converted;
    auto it = converted.find(utf8);
    if (it == converted.end()) it = converted.emplace(utf8, GameText(utf8)).first;
    return it->second;
}

std::string Format(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string FormatTime(int32_t ms) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%4d'%02d", ms / 1000, (ms % 1000) / 10);
    return buffer;
}

void Band(int y1, int y2, int alpha) {
    SetBlendModeParam(BlendAlpha, alpha);
    DrawRectangle(0, y1, 640, y2, Rgb(0, 0, 0), 1);
    SetBlendModeParam(BlendCopy, 255);
}

void Picture(int x, int y, int graph) {
    if (graph > 0) DrawGraphAt(x, y, graph, 1);
}

// The picture of the moment play stopped, at half brightness.
void DrawDimmed(int graph) {
    if (graph <= 0) return;
    SetDrawTint(127, 127, 127);
    DrawGraphAt(0, 0, graph, 0);
    SetDrawTint(255, 255, 255);
}

bool Blink(int32_t frameCounter) { return frameCounter % 60 >= 31; }

int FaceOf(const GameData& data, const CatActor* cat) {
    if (!cat || cat->kind < 1 || cat->kind > GameData::kCatKinds) return 0;
    return data.catFaces[cat->kind - 1];
}

}  // namespace

void PlaySession::Draw() {
    if (!gameData) return;
    switch (phase) {
    case kScene:
        if (ScenarioScript* scene = CurrentScene()) scene->DrawMessageWindow();
        break;
    case kSetEnd: DrawSetEnd(); break;
    case kRoundResult:
    case kMatchResult: DrawVersusResult(); break;
    case kTimeAttackResult:
    case kTableResult:
    case kReplayResult: DrawTimeAttackResult(); break;
    case kPause: DrawPause(); break;
    default: break;  // the field of a play phase is the stage's own drawing
    }
    if (IsMapSetPhase(phase) || phase == kScene || phase == kSetEnd) DrawScorePanel();
}

void PlaySession::DrawScorePanel() const {
    const GameData& data = *gameData;
    Text(data, kPanelFont, 220, 10, Label("スコア:"), White());
    Text(data, kPanelFont, 300, 10, Format("%08d", score), White());
    // The first player's face: of the current stage, or of the one before
    // while a closing scene plays.
    const Stage* stage = CurrentStage();
    if (!stage && stageIndex > 0 && stageIndex - 1 < StageCount()) stage = stages[size_t(stageIndex - 1)];
    Picture(540, 5, FaceOf(data, stage ? stage->Cat(0) : nullptr));
    DrawTextAt(570, 15, " x", White(), 0);
    if (isLastSet || inExtraSet) {
        DrawTextAt(570, 15, Label("   ∞").c_str(), White(), 0);
    } else {
        const int32_t left = *lives;
        DrawTextAt(570, 15, Format("  %2d", std::max(left, 0)).c_str(), left < 0 ? Rgb(255, 0, 0) : White(), 0);
    }
}

void PlaySession::DrawPause() const {
    const GameData& data = *gameData;
    DrawDimmed(data.workGraph);
    Text(data, kTitleFont, 250, 160, "PAUSE", White());
    DrawTextAt(100, 230, Label("決定 + キャンセル + PAUSE ： タイトル画面へ").c_str(), White(), 0);
}

void PlaySession::DrawSetEnd() const {
    const GameData& data = *gameData;
    const Stage* stage = CurrentStage();
    if (!stage && stageIndex > 0 && stageIndex - 1 < StageCount()) stage = stages[size_t(stageIndex - 1)];
    const int face = FaceOf(data, stage ? stage->Cat(0) : nullptr);

    DrawRectangle(0, 0, 640, 480, Rgb(0, 0, 0), 1);
    if (face > 0) {
        SetBlendModeParam(BlendAlpha, 60);
        DrawGraphRotatedAt(520, 380, 5.0, 0.0, face, 1, 0);
        SetBlendModeParam(BlendCopy, 255);
    }
    Band(40, 130, kBandAlpha);
    Picture(0, 30, data.textGameSet);
    Text(data, kPanelFont, 20, 190, data.MenuLabelText(setNumber, -1), Rgb(255, 125, 0));

    if (bonusShown > 0) {
        if (setNumber == kLastNormalSet || setNumber == kFinalSet) {
            Text(data, kPanelFont, 20, 240, Label("オールクリア"), White());
            Text(data, kPanelFont, 200, 240, Format("+%d", bonusShown), White());
            if (*lives > 0) {
                Picture(20, 270, face);
                Text(data, kPanelFont, 60, 280, Format(" x %2d", *lives), Yellow());
                Text(data, kPanelFont, 200, 280, Format("+%d", int32_t(std::min<int64_t>(int64_t(*lives) * 100000,
                                                                                     kMaxScore))),
                     White());
            }
            if (noContinueUsed && !isLastSet) {
                const SaveData* save = gameData->save;
                Text(data, kPanelFont, 20, 320, Label("ノーコンティニュー"), White());
                Text(data, kPanelFont, 250, 320, Format("+%d", save && save->difficulty == 0 ? 500000 : 1000000),
                     White());
            }
        } else {
            Text(data, kPanelFont, 20, 240, Label("クリアボーナス"), White());
            Text(data, kPanelFont, 200, 240, Format("+%d", bonusShown), White());
        }
    }
    if (bonusPending == 0 && !gameOverMenu && Blink(frameCounter)) {
        if (*lives < 0)
            DrawTextAt(500, 450, "Push START", White(), 0);
        else
            DrawTextAt(370, 450, Label("Push START to go next →").c_str(), White(), 0);
    }
    if (gameOverMenu) {
        Band(230, 300, kBandAlpha);
        Text(data, kPanelFont, 100, 240, Label("コンティニュー"), menuOnContinue ? Yellow() : White());
        Text(data, kPanelFont, 100, 270, Label("タイトルへ"), menuOnContinue ? White() : Yellow());
    }
}

void PlaySession::DrawVersusResult() const {
    const GameData& data = *gameData;
    if (!sessionOver && data.captureGraph > 0)
        DrawGraphAt(0, 0, data.captureGraph, 0);
    else
        DrawRectangle(0, 0, 640, 480, Rgb(0, 0, 0), 1);
    Band(50, 350, 100);
    if (winner >= 0)
        Text(data, kTitleFont, 250, 60, Format("%dP WIN!", winner + 1), PlayerColor(winner));
    else
        Text(data, kTitleFont, 280, 60, "RESULT", White());

    const Stage* stage = CurrentStage();
    if (!stage && stageIndex > 0 && stageIndex - 1 < StageCount()) stage = stages[size_t(stageIndex - 1)];
    for (int slot = 0; stage && slot < kPlayers && stage->Cat(slot); ++slot) {
        const int y = 150 + 50 * slot;
        const bool isWinner = slot == winner;
        const int d = isWinner ? int(std::fabs(std::sin(frameCounter / 5.0) * 30)) : 0;
        Text(data, kPanelFont, 50, y - d, Format("%dP", slot + 1), PlayerColor(slot));
        Picture(80, y - d, FaceOf(data, stage->Cat(slot)));
        for (int j = 0; j < wins[slot]; ++j) {
            int x = 150 + 30 * j;
            int flash = -1;
            const bool arriving = roundWinners[slot] && j == wins[slot] - 1;
            if (arriving && phaseTimer < kEndFrames) {
                x = 640 - int(std::sin(phaseTimer / 30.0 * 3.14 * 0.5) * (490 - 30 * j));
                if (phase == kRoundResult) flash = (frameCounter / 15) % 3;
            }
            if (isWinner) flash = (frameCounter / 10) % 3;
            Picture(x, y - 10, data.jewelPic);
            if (flash >= 0) Picture(x, y - 10, data.flashPics[std::max(flash, 0)]);
        }
    }

    if (phaseTimer < kEndFrames) return;
    if (phase == kMatchResult) {
        DrawTextAt(280, 400, Label("Push PAUSE Key →").c_str(), White(), 0);
    } else if (sessionOver) {
        DrawTextAt(210, 400, Label("Push PAUSE Key NEXT →").c_str(), White(), 0);
    } else if (Blink(frameCounter)) {
        if (stageIndex == StageCount() - 1)
            DrawTextAt(350, 400, Label("Next FINAL! →").c_str(), White(), 0);
        else
            DrawTextAt(70, 400, Label("Push PAUSE Key To Go Next! →").c_str(), White(), 0);
    }
}

void PlaySession::DrawTimeAttackResult() const {
    const GameData& data = *gameData;
    DrawDimmed(data.workGraph);
    const int t = std::min(phaseTimer, kEndFrames);
    Band(40, 40 + 90 * t / kEndFrames, kBandAlpha);
    Picture(std::max(640 - 64 * t, 0), 30, data.textGameSet);

    const Stage* stage = CurrentStage();
    if (!stage) return;
    const bool known = stage->stageNumber >= 0 && stage->stageNumber < SaveData::kStageCount;
    if (phase != kReplayResult && known) {
        int32_t record = SaveData::kNoTime;
        if (phase == kTimeAttackResult && data.save) record = data.save->bestTime[stage->stageNumber];
        if (phase == kTableResult && data.timeTable)
            record = data.timeTable->target[stage->stageNumber][FirstPlayerDeviceType()];
        Text(data, kPanelFont, 20, 180, Label("レコード　　　："), White());
        Text(data, kPanelFont, 220, 180, record == SaveData::kNoTime ? std::string("  --'--") : FormatTime(record),
             White());
    }
    const bool newRecord = IsNewRecord(phase);
    Text(data, kPanelFont, 20, 230, Label("クリアタイム　："), White());
    Text(data, kPanelFont, 220, 230, FormatTime(stage->elapsed), newRecord ? Yellow() : White());
    if (newRecord) {
        Band(330, 400, kBandAlpha);
        Picture(std::min(-420 + 53 * t, 110), 330, data.textNewRecord);
    }
    if (Blink(frameCounter)) DrawTextAt(370, 450, Label("Push START to go MENU →").c_str(), White(), 0);
}
