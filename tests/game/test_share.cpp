#include "game/data/game_data.h"
#include "game/savedata.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>

using namespace morpotta;

namespace {

// Decodes %XX escapes so that the message can be compared as text.
std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string TextOf(const std::string& address) {
    size_t at = address.find("&text=");
    return at == std::string::npos ? "" : PercentDecode(address.substr(at + 6));
}

SaveData Fresh() {
    SaveData r;
    SaveData::SetDefaults(r);
    return r;
}

TEST(ShareText, WithoutAHighScoreInvitesToPlay) {
    SaveData r = Fresh();
    EXPECT_EQ(BuildShareText(r), "【モルポッタ：ゲームをやってハイスコアをつぶやこう！】#morpottagame");
}

TEST(ShareText, NameAndCheckValueStandSideBySide) {
    SaveData r = Fresh();
    r.saveId = 5;
    SaveData::RecordHighScore(r, 1234, 1);
    EXPECT_EQ(BuildShareText(r), "【モルポッタハイスコア：1234(次郎136)】#morpottagame");
    r.highScoreCat = 9;
    EXPECT_EQ(BuildShareText(r), "【モルポッタハイスコア：1234(???136)】#morpottagame");
}

TEST(ShareText, BothScoresAtTheirMaximaFitAndAreEncoded) {
    SaveData r = Fresh();
    r.soundTestUnlocked = 1;
    r.saveId = 1000;
    SaveData::RecordHighScore(r, 99999999, 2);
    SaveData::RecordExtraHighScore(r, 99999999, 5);
    std::string address = BuildShareAddress(r);
    EXPECT_GT(address.size(), 200u);
    EXPECT_TRUE(platform::IsSafeWebAddress(address.c_str()));
    EXPECT_NE(address.find("%23morpottagame"), std::string::npos);
    std::string expected = "【モルポッタハイスコア：99999999(リモコンねこ" + std::to_string(r.highScoreCheck) +
                           ")】【エクストラハイスコア：99999999(忠二郎" + std::to_string(r.extraHighScoreCheck) +
                           ")】#morpottagame";
    EXPECT_EQ(TextOf(address), expected);
}

TEST(ShareAddress, OpensThroughTheShellService) {
    ASSERT_TRUE(platform::SelectShellBackend("headless"));
    platform::HeadlessClearOpenedAddresses();
    SaveData r = Fresh();
    GameData data;
    EXPECT_FALSE(data.ShareHighScore());  // no save to share
    data.save = &r;
    EXPECT_TRUE(data.ShareHighScore());
    auto opened = platform::HeadlessOpenedAddresses();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], BuildShareAddress(r));
    EXPECT_EQ(opened[0].rfind("https://", 0), 0u);
    platform::SelectShellBackend("posix");
}

TEST(ShellService, RefusesAddressesAHostProgramCouldMisread) {
    ASSERT_TRUE(platform::SelectShellBackend("headless"));
    platform::HeadlessClearOpenedAddresses();
    EXPECT_FALSE(platform::OpenWebAddress(nullptr));
    EXPECT_FALSE(platform::OpenWebAddress("--help"));
    EXPECT_FALSE(platform::OpenWebAddress("file:///etc/passwd"));
    EXPECT_FALSE(platform::OpenWebAddress("https://a.example/x y"));
    EXPECT_FALSE(platform::OpenWebAddress("https://a.example/\xE6\x97\xA5"));
    EXPECT_TRUE(platform::HeadlessOpenedAddresses().empty());
    EXPECT_TRUE(platform::OpenWebAddress("http://a.example/?q=%20"));
    EXPECT_EQ(platform::HeadlessOpenedAddresses().size(), 1u);
    EXPECT_FALSE(platform::SelectShellBackend("nonexistent"));
    platform::SelectShellBackend("posix");
}

}  // namespace
