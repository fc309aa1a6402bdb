// The game data's texts and life: the menu and message tables filled at
// construction, and the device-restore callback.
#include "game/data/game_data.h"

#include "engine/camera.h"
#include "engine/screen.h"
#include "game/data/game_text.h"

int32_t GameData::currentBgm = -1;

namespace {

constexpr const char* kMainMenu[6] = {"ゲームスタート", "タイムアタック", "？？？", "vsモード", "オプション", "終了"};

constexpr const char* kOptionsPage[7] = {
    "<- いろいろ ->",    "[タイトルへ戻る]", "むずかしさ", "描画周期", "ウインドウ / フルスクリーン",
    "Twitterにハイスコアをツイートする", "？？？"};

constexpr const char* kJoystickPageTitles[4] = {
    "<- ジョイスティックセッティング 1P ->", "<- ジョイスティックセッティング 2P ->",
    "<- ジョイスティックセッティング 3P ->", "<- ジョイスティックセッティング 4P ->"};
constexpr const char* kJoystickRows[6] = {"[タイトルへ戻る]", "ジャンプ   / 決定", "アクション / キャンセル",
                                          "ポーズ", "デフォルトへ戻す", ""};

struct SoundTestRow {
    const char* label;
    int32_t bgm;
};
constexpr SoundTestRow kSoundTest[14] = {
    {"[オプションへ戻る]", -1},
    {"モルポッタ　タイトル", 0},
    {"はじまりのセット", 1},
    {"駆け抜けろセット", 2},
    {"砂漠のセット", 3},
    {"氷のセット", 5},
    {"最後のセット", 6},
    {"最後のセット(ねこVS十二支)", 13},
    {"VSモード・割り込みセット", 4},
    {"勝利！！", 7},
    {"ホントに最後のセット", 10},
    {"ホントに最後のセット(ねこVSマリア)", 11},
    {"エンディング", 12},
    {"スタッフロール", 9},
};

}  // namespace

GameData::GameData() {
    for (int i = 0; i < 6; ++i) mainMenuLabels[i] = GameText(kMainMenu[i]);
    for (int row = 0; row < 7; ++row) optionLabels[row] = GameText(kOptionsPage[row]);
    for (int page = 1; page <= 4; ++page) {
        optionLabels[page * 7] = GameText(kJoystickPageTitles[page - 1]);
        for (int row = 1; row < 7; ++row) optionLabels[page * 7 + row] = GameText(kJoystickRows[row - 1]);
    }
    for (int i = 0; i < 14; ++i) {
        soundTestLabels[i] = GameText(kSoundTest[i].label);
        soundTestBgm[i] = kSoundTest[i].bgm;
    }
    SetGraphRestoreHandler(&GameData::OnDeviceRestore);
}

bool GameData::LabelEquals(const std::string& label, const char* text) { return label == text; }

void GameData::OnDeviceRestore() { SetAmbientLightFloat(0.4f, 0.4f, 0.4f, 0.0f); }
