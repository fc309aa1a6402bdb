// The high-score share: a message for a short-message service's share page,
// sent as a percent-encoded UTF-8 address of any length.
#include "game/savedata.h"

#include "engine/shell.h"
#include "game/data/game_data.h"
#include "game/data/player_notice.h"

#include <cstdio>

namespace {

constexpr const char* kSharePage = "https://twitter.com/share";
constexpr const char* kHomePage = "https://morpotta.example.org/";
constexpr const char* kHashtag = "#morpottagame";

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.' || c == '~';
        if (unreserved) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string ScoreWithCat(int32_t score, int32_t cat, int32_t check) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", score);
    char checkText[16];
    std::snprintf(checkText, sizeof checkText, "%d", check);
    // The name and the check value stand side by side, no separator.
    return std::string(number) + "(" + CatDisplayName(cat) + checkText + ")";
}

}  // namespace

const char* CatDisplayName(int32_t cat) {
    static const char* const kNames[] = {"次郎", "リモコンねこ", "均", "X", "忠二郎", "もも"};
    if (cat >= 1 && cat <= 6) return kNames[cat - 1];
    return "???";
}

std::string BuildShareText(const SaveData& r) {
    if (r.soundTestUnlocked) {
        return "【モルポッタハイスコア：" + ScoreWithCat(r.highScore, r.highScoreCat, r.highScoreCheck) +
               "】【エクストラハイスコア：" +
               ScoreWithCat(r.extraHighScore, r.extraHighScoreCat, r.extraHighScoreCheck) + "】" + kHashtag;
    }
    if (r.highScore <= 0) return std::string("【モルポッタ：ゲームをやってハイスコアをつぶやこう！】") + kHashtag;
    return "【モルポッタハイスコア：" + ScoreWithCat(r.highScore, r.highScoreCat, r.highScoreCheck) + "】" + kHashtag;
}

std::string BuildShareAddress(const SaveData& r) {
    return std::string(kSharePage) + "?url=" + PercentEncode(kHomePage) + "&text=" + PercentEncode(BuildShareText(r));
}

bool GameData::ShareHighScore() const {
    if (!save) return false;
    const std::string address = BuildShareAddress(*save);
    if (OpenWebAddress(address.c_str()) == 0) return true;
    ReportToPlayer("The high-score share page could not be opened: no web browser took the address");
    return false;
}
