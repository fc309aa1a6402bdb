// Drawing a scenario scene: the background, the message window, the cats by
// their faces, a closing scene's fade, the flash and the skip hint.
#include "engine/draw2d.h"
#include "engine/font.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/draw/screen_basics.h"
#include "game/script/scenario_script.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kWindowAlpha = 125;
constexpr int kMessageX = 80, kMessageY = 330, kMessageLineStep = 30;

void DrawTranslucentBox(int x1, int y1, int x2, int y2, uint32_t color, int alpha) {
    if (alpha <= 0) return;
    SetBlendModeParam(BlendAlpha, std::min(alpha, 255));
    DrawRectangle(x1, y1, x2, y2, color, 1);
    SetBlendModeParam(BlendCopy, 255);
}

}  // namespace

void ScenarioScript::DrawMessageWindow(bool withTransition) {
    const uint32_t black = MakeScreenColor(0, 0, 0);
    const uint32_t white = MakeScreenColor(255, 255, 255);
    if (!noBackground) {
        DrawRectangle(0, 0, 640, 480, black, 1);
        if (background > 0) DrawGraphAt(0, 0, background, 1);
    }
    DrawTranslucentBox(50, 300, 590, 450, black, kWindowAlpha);
    if (state == kMessage) {
        for (int i = 0; i < kMessageLines; ++i) {
            if (!lines[i].empty()) DrawTextAt(kMessageX, kMessageY + i * kMessageLineStep, lines[i].c_str(), white, 0);
        }
    }
    for (int s = 0; s < kSlots; ++s) {
        const int face = data ? data->catFaces[s] : 0;
        if (face <= 0) continue;  // no face for this slot
        const int hop = int(std::fabs(std::sin(hopFrames[s] * M_PI / kHopFrames) * kHopHeight));
        DrawGraphRotatedAt(x[s], y[s] - hop, 1.0, 0.0, face, 1, facesRight[s] ? 0 : 1);
    }
    if (isScene) {
        // The closing scene fades to white with the music, and the set's end
        // caption slides in from the right.
        const int e = std::clamp(endCount, 0, kEndFadeFrames);
        gamesound::SetMusicVolume(255 - e * 255 / kEndFadeFrames);
        DrawTranslucentBox(0, 0, 640, 480, white, e * 255 / kEndFadeFrames);
        DrawTranslucentBox(0, 40, 640, 40 + std::min(9 * e, 90), black, e > 0 ? kBandAlpha : 0);
        if (e > 0 && data && data->textGameSet > 0) DrawGraphAt(std::max(640 - 64 * e, 0), 30, data->textGameSet, 1);
    }
    if (effect == 2) DrawTranslucentBox(0, 0, 640, 480, white, flashLeft * 255 / kFlashFrames);
    if (!isEnding && frameCount % 100 > 50) {
        static const std::string hint = GameText("Push START to skip →");
        DrawTextAt(380, 455, hint.c_str(), MakeScreenColor(255, 255, 0), 0);
    }
    if (data && withTransition) data->DrawScreenTransition(-1);
}
