// Scenario scripts: the scenes between stages and the two endings; and the
// credits of the ending's staff roll.
// Slot s shows cat kind s + 1; slot 6 (kind 7) has no face and stays unused.
#include "generator.h"
#include "stages.h"

#include <string>
#include <vector>

namespace {

class Script {
public:
    Script& Line(const std::string& line) {
        text_ += line + "\n";
        return *this;
    }
    // A message of up to three lines (each at most 24 double-byte characters).
    Script& Message(const std::string& first, const std::string& second = "", const std::string& third = "") {
        std::string body = first;
        if (!second.empty()) body += "\\n" + second;
        if (!third.empty()) body += "\\n" + third;
        return Line("mes \"" + body + "\"");
    }
    Script& Music(int bgm) { return Line("pbgm " + std::to_string(bgm)); }
    Script& Wait(int frames) { return Line("wait " + std::to_string(frames)); }
    Script& Move(int slot, int x, int y, int frames, bool waitForIt) {
        return Line("move " + std::to_string(slot) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                    std::to_string(frames) + "," + (waitForIt ? "w" : "-"));
    }
    Script& Turn(int slot, bool right) { return Line("turn " + std::to_string(slot) + "," + (right ? "r" : "l")); }
    Script& Hop(int slot) { return Line("jumpstart " + std::to_string(slot)); }
    Script& StopHop(int slot) { return Line("jumpstop " + std::to_string(slot)); }
    Script& Flash() { return Line("effect 2"); }
    // The same steps for whichever of the six player cats is playing.
    template <typename Steps>
    Script& ForPlayer(Steps steps) {
        for (int cat = 0; cat < 6; ++cat) {
            Line("catif " + std::to_string(cat));
            steps(*this, cat);
            Line("endif");
        }
        return *this;
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

const char* const kCatNames[13] = {"次郎", "リモコンねこ", "均", "X", "忠二郎", "もも", "",
                                   "五郎", "牛田", "虎二郎", "飛太", "マリア", "？？？"};

Script SetIntro(int set, const std::string& line1, const std::string& line2, const std::string& line3) {
    Script s;
    s.ForPlayer([](Script& p, int cat) { p.Move(cat, 200, 240, 60, true).Hop(cat).Wait(30).StopHop(cat); });
    s.Message(NormalSets()[size_t(set)].title, line1);
    s.Message(line2, line3);
    s.ForPlayer([](Script& p, int cat) { p.Move(cat, 720, 240, 50, true); });
    return s;
}

std::string SceneText(int number) {
    switch (number) {
        case 0: {
            Script s;
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 180, 240, 70, true); });
            s.Message("ここは はじまりの のはら。", "きらきらの宝石が あちこちに", "おちているみたい！");
            s.ForPlayer([](Script& p, int cat) { p.Hop(cat).Wait(30).StopHop(cat); });
            s.Message("宝石をひろいながら", "ゴールのとびらを めざそう！");
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 720, 240, 50, true); });
            return s.text();
        }
        case 1: return SetIntro(1, "夕やけの森を 駆け抜けろ！", "道はながいぞ。", "とげに気をつけて すすもう！").text();
        case 2: return SetIntro(2, "あつい砂の上の 大ぼうけん。", "ピラミッドの中には", "リンゴの罠が まっている…").text();
        case 3: return SetIntro(3, "つめたい氷の せかいへ。", "足もとに気をつけて", "くるりとまわる床を 使いこなせ！").text();
        case 4: return SetIntro(4, "夜空の下の おしろ。", "ここをこえれば", "ぼうけんも おしまいだ！").text();
        case 5: {
            Script s;
            s.Music(13).Flash().Wait(40);
            for (int slot = 7; slot <= 10; ++slot) s.Move(slot, 330 + (slot - 7) * 70, 240, 40, false);
            s.Wait(50);
            s.Message("五郎「ここから先へは", "とおさないぞ！」");
            s.Message("十二支のねこたちが", "行く手を ふさいでいる！");
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 150, 240, 40, true).Hop(cat).Wait(30).StopHop(cat); });
            s.Message("まけないぞ！");
            for (int slot = 7; slot <= 10; ++slot) s.Move(slot, 760, 240, 60, false);
            s.Wait(60);
            return s.text();
        }
        case 6: {
            Script s;
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 320, 240, 60, true).Hop(cat).Wait(45).StopHop(cat); });
            s.Message("やった！ おしろの てっぺんに", "たどりついた！");
            s.Message("ぼうけんは ひとまず", "おしまい。");
            return s.text();
        }
        case 13: {
            Script s;
            s.Music(10).Line("effect 1").Wait(30).Line("effect 0");
            s.Move(11, 440, 240, 60, true);
            s.Message("マリア「ようこそ、", "ホントに最後のセットへ。」");
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 180, 240, 50, true); });
            s.Message("マリア「ここを こえられたら", "ほめてあげるわ。」");
            s.Move(11, 760, 240, 40, true);
            return s.text();
        }
        case 14: {
            Script s;
            s.Music(11).Flash().Wait(30);
            s.Move(12, 420, 240, 60, true).Hop(12).Wait(30).StopHop(12);
            s.Message("？？？「……。」");
            s.Message("なぞのねこが あらわれた！", "これが さいごの たたかいだ！");
            return s.text();
        }
        case 15: {
            Script s;
            s.Move(11, 460, 240, 50, false);
            s.ForPlayer([](Script& p, int cat) { p.Move(cat, 200, 240, 50, true); });
            s.Message("マリア「おみごと！", "あなたこそ ほんものの", "ねこの中のねこね。」");
            return s.text();
        }
        default: {  // 7..12: the interrupting cat meets each player cat
            int cat = number - 7;
            Script s;
            s.Music(4).Move(cat, 180, 240, 50, true);
            s.Move(12, 460, 240, 50, true).Turn(12, false);
            s.Message("？？？「" + std::string(kCatNames[cat]) + "か…。", "おまえの力を みせてもらおう。」");
            s.Hop(12).Wait(30).StopHop(12);
            s.Move(12, 760, 240, 30, true);
            s.Message("なぞのねこを おいかけよう！");
            return s.text();
        }
    }
}

constexpr int kStaffRollBgm = 9;

std::string EndingText(int kind) {
    Script s;
    if (kind == 0) {
        s.Music(12);
        s.ForPlayer([](Script& p, int cat) { p.Move(cat, 320, 240, 80, true); });
        s.Message("ぼうけんの おわりに", "ゴールの とびらが ひらいた。");
        static const int kPlaces[6] = {40, 130, 220, 420, 510, 600};  // around the player's cat at 320
        for (int slot = 0; slot < 6; ++slot) {
            s.Line("notif " + std::to_string(slot)).Move(slot, kPlaces[slot], 240, 60, false).Line("endif");
        }
        s.Wait(70);
        s.Message("なかまたちも", "おいわいに かけつけた！");
        for (int slot = 0; slot < 6; ++slot) s.Hop(slot);
        s.Wait(60).Flash().Wait(30);
        for (int slot = 0; slot < 6; ++slot) s.StopHop(slot);
        s.Message("ありがとう！", "モルポッタの ぼうけんは", "これで おしまい。");
    } else {
        s.Music(12).Move(11, 420, 240, 60, false).Move(12, 520, 240, 60, false);
        s.ForPlayer([](Script& p, int cat) { p.Move(cat, 200, 240, 60, true); });
        s.Message("マリア「ホントに最後のセットを", "こえるなんて…。」");
        s.Message("？？？「みとめよう。", "おまえが いちばんだ。」");
        s.Flash().Hop(11).Hop(12).Wait(45).StopHop(11).StopHop(12);
        s.Message("こうして ねこたちの", "ホントの ぼうけんも", "おわったのでした。");
    }
    // The ending scene plays no music of its own: the staff roll that
    // follows the script has its piece cued here.
    s.Music(kStaffRollBgm);
    return s.text();
}

// The staff roll's credits: this project's own team, by role.
std::string StaffRollText() {
    static const char* const kLines[] = {
        "graphics:モルポッタ開発チーム",
        "graphics:キャラクター・3Dモデル・背景 … すべて自作",
        "sound:モルポッタ開発チーム",
        "sound:BGM・効果音 … すべて自作",
        "thanks:プログラム　　　　モルポッタ開発チーム",
        "thanks:ステージデザイン　モルポッタ開発チーム",
        "thanks:シナリオ　　　　　モルポッタ開発チーム",
        "thanks:テストプレイ　　　モルポッタ開発チーム",
        "thanks:そして　遊んでくれた　あなた！",
        "closing:Presented by モルポッタ開発チーム",
    };
    std::string text;
    for (const char* line : kLines) text += std::string(line) + "\n";
    return text;
}

}  // namespace

void GenerateScenarios(OutputTree& out) {
    for (int number : SceneNumbers()) {
        out.WriteText("tpa\\scenario\\scenario" + std::to_string(number) + ".scn", SceneText(number));
    }
    for (int kind = 0; kind < 2; ++kind) {
        out.WriteText("tpa\\scenario\\ending" + std::to_string(kind) + ".scn", EndingText(kind));
    }
    out.WriteText("tpa\\scenario\\staffroll.txt", StaffRollText());
}
