// Services the scenes share: background music by number, the screen
// capture and its dissolve, the menu caption bar, the light and the
// labels that unlocks change.
#include "game/data/game_data.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/data/game_files.h"
#include "game/draw/draw_calls.h"
#include "game/savedata.h"

namespace {

constexpr int kLoopSoundBgm = 1;
constexpr int kTransitionFrames = 30;
constexpr int kTransitionEdge = 64;

// Files of the background-music numbers; number 1 is the looping sound the
// game data loads at start-up.
constexpr const char* kBgmFiles[14] = {
    "tpa\\Music\\game_velmoranti_4_field09.mp3",
    nullptr,
    "tpa\\Music\\tovelmi26.mp3",
    "tpa\\Music\\track020_desert_battle.mp3",
    "tpa\\Music\\pride.mp3",
    "tpa\\Music\\wolf.mp3",
    "tpa\\Music\\track023_warrior_angel.mp3",
    "tpa\\Music\\game_velmoranti_9_jingle05.mp3",
    "tpa\\Music\\05.mp3",
    "tpa\\Music\\theme01f.mp3",
    "tpa\\Music\\track035_phantom_road.mp3",
    "tpa\\Music\\whiteregret.mp3",
    "tpa\\Music\\koharu.mp3",
    "tpa\\Music\\TearsOfThunder.mp3",
};

}  // namespace

void GameData::PlayBgm(int n) {
    if (n == currentBgm) return;
    gamesound::StopMusic();
    gamesound::StopHandle(loopSound);
    if (n == kLoopSoundBgm) {
        gamesound::PlayHandle(loopSound, 3, 1);
    } else if (n >= 0 && n < 14) {
        // Without a sound device every piece fails alike; that is said once, at start-up.
        if (gamesound::PlayMusicFile(kBgmFiles[n], 3) != 0 && IsSoundSystemOpen())
            ReportUnusableContent(kBgmFiles[n], "music", "the game goes on without that music");
    }
    currentBgm = n;
}

void GameData::CaptureScreen() {
    transitionCount = 0;
    CaptureScreenToGraph(0, 0, 640, 480, captureGraph, 1);
}

void GameData::DrawScreenTransition(int threshold) {
    if (threshold < 0) {
        // Once dissolved the old screen is gone (its last level lets at most
        // 1/255 through): nothing is drawn, sparing a full-screen composite
        // every frame.
        if (transitionCount >= kTransitionFrames) return;
        threshold = transitionCount * 255 / kTransitionFrames;
    }
    gamedraw::Wipe(0, 0, captureGraph, transitionMask, threshold, kTransitionEdge);
    if (transitionCount < kTransitionFrames) ++transitionCount;
}

void DrawCaptionBar(const char* text) {
    SetBlendModeParam(BlendAlpha, 128);
    for (int y = 0; y <= 32; ++y) {
        const int c = 255 - (y * 255) / 33;
        DrawLineSegment(0, y, 640, y, MakeScreenColor(c, c, 255), 1);
    }
    SetBlendModeParam(BlendCopy, 255);
    DrawTextAt(10, 5, text, MakeScreenColor(255, 255, 255), 0);
}

void GameData::SetLightDirection() { SetDefaultLightDirection(0.2f, -0.7f, 1.0f); }

void GameData::UpdateUnlocks() {
    if (!save) return;
    if (save->finalSetUnlocked) mainMenuLabels[2] = GameText("ホントに最後のセット");
    if (save->soundTestUnlocked) optionLabels[6] = GameText("♪サウンドテスト♪");
}
