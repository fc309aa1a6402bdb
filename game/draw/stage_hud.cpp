#include "game/draw/stage_hud.h"

#include "engine/draw2d.h"
#include "engine/random.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/draw/draw_calls.h"
#include "game/draw/screen_basics.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"
#include "game/timetable.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kNoTime = 99999999;
constexpr int kSlideFrames = 11;   // the phase pictures slide in over this many frames
constexpr int kFadeFrames = 100;   // and fade out by this phase count
constexpr int kCloseWarningMs = 5000;

uint32_t Red() { return MakeScreenColor(255, 0, 0); }

int Font(const GameData& d, int index) { return d.fonts[std::clamp(index, 0, GameData::kFontCount - 1)]; }

// A text over the field at the share of the field's fade.
void FieldText(int share, int x, int y, const char* text, uint32_t colour, int font) {
    if (share > 0) gamedraw::Text(x, y, text, colour, font, gamedraw::BlendFor(share), share);
}

// The HUD's fixed texts, converted once.
struct HudLabels {
    std::string time = GameText("タイム:");
    std::string record = GameText("レコード:");
    std::string target = GameText("目標タイム:");
    std::string arrow = GameText("⇒");
    std::string replayMode = GameText("TAリプレイモード");
    std::string takeTheGem = GameText("いちはやく宝石をとれ！！");
    std::string gotTimeAttack = GameText("ゲット タイムアタック！！");
};
const HudLabels& Labels() {
    static const HudLabels labels;
    return labels;
}


int RecordTime(const Stage& st) {
    const GameData& d = *st.gameData;
    const int stage = st.stageNumber;
    if (stage < 0 || stage >= SaveData::kStageCount) return kNoTime;
    const int type = st.FirstPlayerDeviceType();
    if (st.mode == 10 || st.mode == 12) {
        if (!d.timeTable || type < 0 || type >= TimeTable::kColumns) return kNoTime;
        return d.timeTable->target[stage][type];
    }
    return d.save ? d.save->bestTime[stage] : kNoTime;
}

void DrawTimeAttackHud(const Stage& st, int share) {
    const GameData& d = *st.gameData;
    char text[32];
    FieldText(share, 10, 10, Labels().time.c_str(), Yellow(), Font(d, 5));
    FormatPlayTime(text, sizeof text, st.elapsed);
    FieldText(share, 80, 10, text, White(), Font(d, 4));

    const int record = RecordTime(st);
    FieldText(share, 450, 5, Labels().record.c_str(), White(), Font(d, 0));
    FormatRecordTime(text, sizeof text, record);
    FieldText(share, 550, 5, text, White(), Font(d, 0));

    const int stage = st.stageNumber, type = st.FirstPlayerDeviceType();
    const bool inTable = d.timeTable && stage >= 0 && stage < TimeTable::kRows && type >= 0 && type < TimeTable::kColumns;
    FieldText(share, 431, 25, Labels().target.c_str(), White(), Font(d, 0));
    if (st.mode == 10 || st.mode == 12) {
        std::snprintf(text, sizeof text, "%d", inTable ? int(d.timeTable->attempts[stage][type]) : 0);
        FieldText(share, 600, 25, text, White(), Font(d, 0));
    } else {
        const int target = inTable ? d.timeTable->target[stage][type] : kNoTime;
        const int best = d.save && stage >= 0 && stage < SaveData::kStageCount ? d.save->bestTime[stage] : kNoTime;
        FormatRecordTime(text, sizeof text, int64_t(best) - target < 5001 ? target : kNoTime);
        FieldText(share, 550, 25, text, White(), Font(d, 0));
    }
    if ((st.mode == 11 || st.mode == 12) && st.playFrames % 60 < 30) {
        FieldText(share, 450, 460, Labels().arrow.c_str(), White(), Font(d, 0));
        FieldText(share, 480, 460, Labels().replayMode.c_str(), White(), Font(d, 0));
    }
}

void DrawClock(const Stage& st, int share) {
    const GameData& d = *st.gameData;
    char text[32];
    FieldText(share, 10, 10, Labels().time.c_str(), st.noTarget ? Red() : Yellow(), Font(d, 5));
    if (st.timeLimit < st.elapsed) {
        const int over = st.elapsed - st.timeLimit;
        if (st.mode == gamemode::kNormal || st.mode == gamemode::kFinal) {
            std::snprintf(text, sizeof text, " -%d'%02d", over / 1000, over % 1000 / 10);
            FieldText(share, 110, 5, text, Red(), Font(d, 4));
        } else {
            FormatPlayTime(text, sizeof text, 0);
            FieldText(share, 90, 10, text, Red(), Font(d, 4));
        }
        return;
    }
    const int remaining = st.timeLimit - st.elapsed;
    uint32_t colour = White();
    int font = 4;
    if (remaining < kCloseWarningMs) {
        const int s = remaining / 1000, ms = remaining % 1000;
        colour = MakeScreenColor(255, 35 * s + 106, 60 * s);
        if (ms >= 900) font = (ms * 5 - 4500) / 100 + 4;  // the new second pops
    }
    FormatPlayTime(text, sizeof text, remaining);
    FieldText(share, 90, 10, text, colour, Font(d, font));
}

// The band over the middle of the screen and a phase picture: sliding in
// over the first frames, then standing while both fade.
void DrawBandAndPicture(int n, int picture, int slideX, int stillX, int y) {
    const uint32_t black = MakeScreenColor(0, 0, 0);
    if (n < kSlideFrames) {
        gamedraw::Box(0, (60 - n) * 4, 640, 243 + n * 4, black, kBandAlpha);
        gamedraw::Graph(slideX, y, picture);
        return;
    }
    if (n >= kFadeFrames) return;
    gamedraw::Box(0, 200, 640, 283, black, (kFadeFrames - n) * kBandAlpha / kFadeFrames);
    gamedraw::Graph(stillX, y, picture, gamedraw::kAlpha, (kFadeFrames - n) * 255 / kFadeFrames);
}

void DrawReady(const Stage& st, int n) {
    const GameData& d = *st.gameData;
    if (IsTimeAttackMode(st.mode) || st.mode == gamemode::kSuddenDeath) {
        const int picture = st.mode == gamemode::kSuddenDeath ? d.textSuddenDeath : d.textTimeAttack;
        DrawBandAndPicture(n, picture, (10 - n) * 64, 0, 189);
    } else if (st.isLastOfRun) {
        DrawBandAndPicture(n, d.textFinal, 640 - 61 * n, 27, 209);
    } else {
        DrawBandAndPicture(n, d.textReady, 640 - 47 * n, 167, 209);
    }
}

void DrawStageEnd(const Stage& st, int n) {
    const GameData& d = *st.gameData;
    if (st.isLastOfRun) {
        const int fade = std::clamp(n, 0, kFadeFrames);
        if (st.gameOverFade != -1) gamesound::SetMusicVolume(255 - fade * 255 / kFadeFrames);
        gamedraw::Box(0, 0, 640, 480, MakeScreenColor(0, 0, 0), fade * 255 / kFadeFrames);
    }
    const bool story = st.mode == gamemode::kNormal || st.mode == gamemode::kFinal;
    if (st.roundOver && (IsVersusMode(st.mode) || story)) {
        const int picture = IsVersusMode(st.mode) ? d.textGameSet : d.textFailure;
        DrawBandAndPicture(n, picture, (10 - n) * 64, 0, 190);
    } else {
        DrawBandAndPicture(n, d.textClear, 640 - 47 * n, 167, 209);
    }
}

}  // namespace

void FormatPlayTime(char* out, int size, int milliseconds) {
    std::snprintf(out, size_t(size), "%4d'%02d", milliseconds / 1000, milliseconds % 1000 / 10);
}

void FormatRecordTime(char* out, int size, int milliseconds) {
    if (milliseconds == kNoTime)
        std::snprintf(out, size_t(size), "  --'--");
    else
        FormatPlayTime(out, size, milliseconds);
}

int OverFieldShare(float fieldOpacity) { return std::clamp(int((fieldOpacity * 2.0f - 1.0f) * 255.0f), 0, 255); }

void DrawStageHud(const Stage& st, int share) {
    if (!st.gameData || share <= 0) return;
    const GameData& d = *st.gameData;
    if (st.mode == gamemode::kAttractDemo) {
        gamedraw::Graph(260, 390, d.titleLogo, gamedraw::BlendFor(share), share);
        if (st.playFrames % 120 < 60) FieldText(share, 180, 200, "G A M E  O V E R", White(), Font(d, 9));
    } else if (IsSingleTimeAttack(st.mode)) {
        DrawTimeAttackHud(st, share);
    } else if (st.mode == gamemode::kSuddenDeath) {
        FieldText(share, 10, 5, Labels().takeTheGem.c_str(), White(), Font(d, 5));
    } else if (!st.IsEasyNormalGame()) {
        DrawClock(st, share);
    }
}

void DrawStagePhasePictures(const Stage& st, int share) {
    if (!st.gameData || st.mode == gamemode::kAttractDemo) return;
    const GameData& d = *st.gameData;
    if (st.ready) {
        DrawReady(st, st.phaseCounter);
    } else if (st.go) {
        const int dx = GetRandomUpTo(15), dy = GetRandomUpTo(15);
        gamedraw::Graph(207 + dx, 184 + dy, d.textGo);
    } else if (st.finished && !IsTimeAttackMode(st.mode)) {
        DrawStageEnd(st, st.phaseCounter);
    }
    if (st.mode == gamemode::kNormal && st.unlocked)
        FieldText(share, 220, 290, Labels().gotTimeAttack.c_str(), Yellow(), Font(d, 4));
    if (IsVersusMode(st.mode)) {
        char text[24];  // room for any int
        int y = 290;
        for (int slot = 0; slot < Stage::kPlayers; ++slot) {
            if (!st.playerActive[slot] || !st.results[slot]) continue;
            std::snprintf(text, sizeof text, "%dP WIN!", slot + 1);
            FieldText(share, 440, y, text, PlayerColor(slot), Font(d, 5));
            y += 30;
        }
    }
}
