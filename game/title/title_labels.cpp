#include "game/title/title_labels.h"

#include "game/data/game_text.h"

namespace titletext {
namespace {

Labels Make() {
    Labels t;
    t.gameStart = GameText("ゲームスタート");
    t.timeAttack = GameText("タイムアタック");
    t.vsMode = GameText("vsモード");
    t.finalSet = GameText("ホントに最後のセット");
    t.options = GameText("オプション");
    t.quit = GameText("終了");
    t.backToTitle = GameText("[タイトルへ戻る]");
    t.difficulty = GameText("むずかしさ");
    t.drawPeriod = GameText("描画周期");
    t.windowMode = GameText("ウインドウ / フルスクリーン");
    t.share = GameText("Twitterにハイスコアをツイートする");
    t.soundTest = GameText("♪サウンドテスト♪");
    t.keyJump = GameText("ジャンプ   / 決定");
    t.keyAction = GameText("アクション / キャンセル");
    t.keyPause = GameText("ポーズ");
    t.keyDefaults = GameText("デフォルトへ戻す");
    for (int p = 0; p < 4; ++p)
        t.joystickPage[p] = GameText(("<- ジョイスティックセッティング " + std::to_string(p + 1) + "P ->").c_str());
    t.unknown = GameText("？？？");
    t.captionTimeAttack = GameText("モルポッタ >> タイムアタック");
    t.captionReplay = GameText("モルポッタ >> タイムアタック(リプレイ)");
    t.captionVersus = GameText("モルポッタ >> vsモード");
    t.captionOptions = GameText("モルポッタ >> オプション");
    t.captionSoundTest = GameText("モルポッタ >> オプション >> ♪サウンドテスト♪");
    t.captionEntry[0] = GameText("モルポッタ >> ノーマル >> エントリー");
    t.captionEntry[1] = GameText("モルポッタ >> ホントに最後のセット >> エントリー");
    t.captionEntry[2] = GameText("モルポッタ >> vsモード >> エントリー");
    t.captionEntry[3] = GameText("モルポッタ >> タイムアタック >> エントリー");
    t.headerTimeAttack = GameText("<- タイムアタックマップ選択 ->");
    t.headerVersus = GameText("<- VSモードセット選択 ->");
    t.easy = GameText("EASY (制限時間なし)");
    t.hard = GameText("HARD (制限時間あり+α)");
    t.drawPeriodValues[0] = GameText("描画スキップなし");
    t.drawPeriodValues[1] = GameText("1/2描画");
    t.drawPeriodValues[2] = GameText("1/3描画");
    t.windowed = GameText("ウインドウモード表示");
    t.fullScreen = GameText("フルスクリーン表示");
    t.restartNote = GameText("<再起動したら変わるよ！>");
    t.pressKey = GameText("設定したいキーを入力 (F1キーで終了)");
    return t;
}

}  // namespace

const Labels& Get() {
    static const Labels labels = Make();
    return labels;
}

}  // namespace titletext
