#include "game/draw/session_screens.h"

#include "engine/draw2d.h"
#include "game/data/game_data.h"
#include "game/data/game_text.h"
#include "game/draw/draw_calls.h"
#include "game/draw/screen_basics.h"
#include "game/draw/stage_hud.h"
#include "game/play/cat_actor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace sessiondraw {
namespace {

constexpr int kFont16 = 0, kFont20 = 2, kFont24 = 4, kFont26 = 5, kFont34 = 9;

uint32_t Black() { return MakeScreenColor(0, 0, 0); }

struct ScreenLabels {
    std::string score = GameText("スコア:");
    std::string infinite = GameText("   ∞");
    std::string pauseHint = GameText("決定 + キャンセル + PAUSE ： タイトル画面へ");
    std::string allClear = GameText("オールクリア");
    std::string noContinue = GameText("ノーコンティニュー");
    std::string clearBonus = GameText("クリアボーナス");
    std::string pushStartNext = GameText("Push START to go next →");
    std::string continueRow = GameText("コンティニュー");
    std::string titleRow = GameText("タイトルへ");
    std::string pushPause = GameText("Push PAUSE Key →");
    std::string pushPauseNext = GameText("Push PAUSE Key NEXT →");
    std::string nextFinal = GameText("Next FINAL! →");
    std::string pushPauseGoNext = GameText("Push PAUSE Key To Go Next! →");
    std::string record = GameText("レコード　　　：");
    std::string clearTime = GameText("クリアタイム　：");
    std::string pushStartMenu = GameText("Push START to go MENU →");
};
const ScreenLabels& Labels() {
    static const ScreenLabels labels;
    return labels;
}

int Font(const GameData& d, int index) { return d.fonts[index]; }

void Number(int x, int y, const char* format, int value, uint32_t colour, int font) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    gamedraw::Text(x, y, text, colour, font);
}

void Time(int x, int y, int milliseconds, uint32_t colour, int font) {
    char text[32];
    FormatRecordTime(text, sizeof text, milliseconds);
    gamedraw::Text(x, y, text, colour, font);
}

bool Blink(int frameCounter) { return frameCounter % 60 >= 31; }

// A jewel with the sparkle animation over it.
void SparklingJewel(const GameData& d, int x, int y, int piece) {
    gamedraw::Graph(x, y, d.jewelPic);
    gamedraw::Graph(x - 4, y - 8, d.flashPics[piece % 3], gamedraw::kAdd, 255);
}

}  // namespace

void DrawScorePanel(const GameData& d, const ScorePanel& panel) {
    gamedraw::Text(220, 10, Labels().score.c_str(), White(), Font(d, kFont20));
    Number(300, 10, "%08d", panel.score, White(), Font(d, kFont20));
    if (!panel.hasLives) return;
    gamedraw::Graph(540, 5, panel.face);
    gamedraw::Text(570, 15, " x", White(), Font(d, kFont16));
    if (panel.endless) {
        gamedraw::Text(570, 15, Labels().infinite.c_str(), White(), Font(d, kFont16));
    } else {
        const bool out = panel.lives < 0;
        Number(570, 15, "  %2d", out ? 0 : panel.lives, out ? MakeScreenColor(255, 0, 0) : White(), Font(d, kFont16));
    }
}

void DrawPause(const GameData& d) {
    gamedraw::Tint(127, 127, 127);
    gamedraw::Graph(0, 0, d.workGraph);
    gamedraw::Tint(255, 255, 255);
    gamedraw::Text(250, 160, "PAUSE", White(), Font(d, kFont34));
    gamedraw::Text(100, 230, Labels().pauseHint.c_str(), White(), 0);
}

void DrawSetEnd(const GameData& d, const SetEnd& s) {
    const int font = Font(d, kFont20);
    gamedraw::Box(0, 0, 640, 480, Black());
    gamedraw::RotatedGraph(520, 380, 5.0, 0.0, s.face, false, gamedraw::kAlpha, 60);
    gamedraw::Box(0, 40, 640, 130, Black(), kBandAlpha);
    gamedraw::Graph(0, 30, d.textGameSet);
    gamedraw::Text(20, 190, s.setName, MakeScreenColor(255, 125, 0), font);
    if (s.bonusShown > 0) {
        if (s.lastNormalSet) {
            gamedraw::Text(20, 240, Labels().allClear.c_str(), White(), font);
            Number(200, 240, "+%d", s.bonusShown, White(), font);
            if (s.lives > 0) {
                gamedraw::Graph(20, 275, s.face);
                Number(60, 280, " x %2d", s.lives, Yellow(), font);
                Number(200, 280, "+%d", s.lives * 100000, White(), font);
            }
            if (s.noContinueUsed && !s.isLastSet) {
                gamedraw::Text(20, 320, Labels().noContinue.c_str(), White(), font);
                Number(250, 320, "+%d", s.easy ? 500000 : 1000000, White(), font);
            }
        } else {
            gamedraw::Text(20, 240, Labels().clearBonus.c_str(), White(), font);
            Number(200, 240, "+%d", s.bonusShown, White(), font);
        }
    }
    if (s.bonusPending == 0 && !s.gameOverMenu && Blink(s.frameCounter)) {
        if (s.lives < 0)
            gamedraw::Text(500, 450, "Push START", White(), font);
        else
            gamedraw::Text(370, 450, Labels().pushStartNext.c_str(), White(), font);
    }
    if (s.gameOverMenu) {
        gamedraw::Box(0, 230, 640, 300, Black(), kBandAlpha);
        gamedraw::Text(100, 240, Labels().continueRow.c_str(), s.menuOnContinue ? Yellow() : White(), font);
        gamedraw::Text(100, 270, Labels().titleRow.c_str(), s.menuOnContinue ? White() : Yellow(), font);
    }
}

void DrawVersusResult(const GameData& d, const VersusResult& s) {
    if (s.sessionOver || s.background <= 0)
        gamedraw::Box(0, 0, 640, 480, Black());
    else
        gamedraw::Graph(0, 0, s.background);
    gamedraw::Box(0, 50, 640, 350, Black(), 100);
    char text[32];
    if (s.winner >= 0 && s.winner < 4) {
        std::snprintf(text, sizeof text, "%dP WIN!", s.winner + 1);
        gamedraw::Text(250, 60, text, PlayerColor(s.winner), Font(d, kFont34));
    } else {
        gamedraw::Text(280, 60, "RESULT", White(), Font(d, kFont34));
    }
    for (int slot = 0; slot < 4 && s.catKinds[slot] > 0; ++slot) {
        const bool winnerRow = slot == s.winner;
        const int bounce = winnerRow ? int(std::fabs(std::sin(s.frameCounter / 5.0) * 30)) : 0;
        const int y = 150 + 50 * slot;
        std::snprintf(text, sizeof text, "%dP", slot + 1);
        gamedraw::Text(50, y - bounce, text, PlayerColor(slot), Font(d, kFont26));
        if (s.catKinds[slot] <= GameData::kCatKinds) gamedraw::Graph(80, y - bounce, d.catFaces[s.catKinds[slot] - 1]);
        for (int j = 0; j < s.wins[slot]; ++j) {
            int x = 150 + 30 * j;
            const bool flying = s.roundWinners[slot] && j == s.wins[slot] - 1 && s.phaseTimer < 30;
            if (flying) x = int(640 - std::sin(s.phaseTimer / 30.0 * 3.14 * 0.5) * (490 - 30 * j));
            if (winnerRow)
                SparklingJewel(d, x, y - 10, s.frameCounter / 10);
            else if (flying && s.phase == 6)
                SparklingJewel(d, x, y - 10, s.frameCounter / 15);
            else
                gamedraw::Graph(x, y - 10, d.jewelPic);
        }
    }
    if (s.phaseTimer < 30) return;
    const int font = Font(d, kFont20);
    if (s.phase == 7)
        gamedraw::Text(280, 400, Labels().pushPause.c_str(), White(), font);
    else if (s.sessionOver)
        gamedraw::Text(210, 400, Labels().pushPauseNext.c_str(), White(), font);
    else if (Blink(s.frameCounter))
        gamedraw::Text(s.nextIsLast ? 350 : 70, 400,
                       s.nextIsLast ? Labels().nextFinal.c_str() : Labels().pushPauseGoNext.c_str(), White(), font);
}

void DrawTimeAttackResult(const GameData& d, const TimeAttackResult& s) {
    const int t = std::clamp(s.phaseTimer, 0, 30);
    gamedraw::Tint(127, 127, 127);
    gamedraw::Graph(0, 0, d.workGraph);
    gamedraw::Tint(255, 255, 255);
    gamedraw::Box(0, 40, 640, 40 + t * 3, Black(), kBandAlpha);
    gamedraw::Graph(std::max(640 - 64 * t, 0), 30, d.textGameSet);
    const int font = Font(d, kFont24);
    if (s.phase == 13 || s.phase == 14) {
        gamedraw::Text(20, 180, Labels().record.c_str(), White(), font);
        Time(220, 180, s.record, White(), font);
    }
    gamedraw::Text(20, 230, Labels().clearTime.c_str(), White(), font);
    Time(220, 230, s.clearTime, s.newRecord ? Yellow() : White(), font);
    if (s.newRecord) {
        // From the other side: the band grows and the picture slides in from the left.
        gamedraw::Box(0, 320, 640, 320 + t * 3, Black(), kBandAlpha);
        gamedraw::Graph(std::min(-420 + 18 * t, 110), 330, d.textNewRecord);
    }
    if (Blink(s.frameCounter)) gamedraw::Text(370, 450, Labels().pushStartMenu.c_str(), White(), Font(d, kFont20));
}

}  // namespace sessiondraw
