#include "focus_return.h"
#include "scripted_engine_fixture.h"

#include <array>

namespace {

using namespace script;

class KeyboardTest : public ScriptedEngineTest {};

std::array<unsigned char, 256> AllKeys() {
    std::array<unsigned char, 256> keys;
    keys.fill(0xCC);
    EXPECT_EQ(QueryAllKeyStates(keys.data()), 0);
    return keys;
}

TEST_F(KeyboardTest, ScriptedKeysShowFromTheirFrameUntilReleased) {
    AtFrame(1, Key(KEYCODE_F12, true));
    AtFrame(1, Key(KEYCODE_LEFTSHIFT, true));
    AtFrame(3, Key(KEYCODE_F12, false));
    Start();
    Pass();  // frame 0
    EXPECT_EQ(QueryKeyState(KEYCODE_F12), 0);
    Pass();  // frame 1
    EXPECT_EQ(QueryKeyState(0x58), 1);
    EXPECT_EQ(QueryKeyState(0x2A), 1);
    Pass();
    EXPECT_EQ(QueryKeyState(0x58), 1);
    Pass();  // frame 3
    EXPECT_EQ(QueryKeyState(0x58), 0);
    auto keys = AllKeys();
    for (int k = 0; k < 256; ++k) EXPECT_EQ(keys[k], k == 0x2A ? 1 : 0) << "key " << k;
}

TEST_F(KeyboardTest, AllKeyStatesReportEveryHeldKeyOfTheGamesTable) {
    // The four rows of a Japanese keyboard and the space bar.
    const int table[] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x90, 0x7D,
                         0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x91, 0x1A,
                         0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x92, 0x1B,
                         0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x2B, 0x39};
    for (int k : table) AtFrame(0, Key(k, true));
    Start();
    Pass();
    auto keys = AllKeys();
    int held = 0;
    for (int k = 0; k < 256; ++k) held += keys[k];
    EXPECT_EQ(held, 49);
    for (int k : table) EXPECT_EQ(keys[k], 1) << "key " << k;
}

TEST_F(KeyboardTest, KeysFollowTheVirtualClock) {
    platform::ScriptInputAtTime(50000, Key(KEYCODE_ENTER, true));
    platform::ScriptInputAtTime(80000, Key(KEYCODE_ENTER, false));
    Start();
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ENTER), 0);
    platform::AdvanceVirtualClock(50000);
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ENTER), 1);
    platform::AdvanceVirtualClock(29999);
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ENTER), 1);
    platform::AdvanceVirtualClock(1);
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ENTER), 0);
}

TEST_F(KeyboardTest, WindowKeyEventsReachTheKeyTable) {
    Start();
    platform::HeadlessPushEvent({platform::EventType::KeyDown, KEYCODE_ESCAPE});
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ESCAPE), 1);
    platform::HeadlessPushEvent({platform::EventType::KeyUp, KEYCODE_ESCAPE});
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_ESCAPE), 0);
}

TEST_F(KeyboardTest, QueryWaitsWhileTheWindowIsInactive) {
    Start();
    SetRunWhileInactive(1);
    platform::HeadlessPushEvent({platform::EventType::FocusLost});
    Pass();
    SetRunWhileInactive(0);
    ASSERT_EQ(IsWindowActive(), 0);
    // The key goes down while the window is away; the query sees it only
    // once the window is back.
    platform::ScriptInputAtFrame(3, Key(KEYCODE_F1, true));
    FocusReturn focus(240000);
    EXPECT_EQ(QueryKeyState(KEYCODE_F1), 1);
    EXPECT_TRUE(focus.WaitedThroughout());
    EXPECT_EQ(IsWindowActive(), 1);
}

TEST_F(KeyboardTest, BadArgumentsAreRefused) {
    Start();
    EXPECT_EQ(QueryKeyState(-1), 0);
    EXPECT_EQ(QueryKeyState(256), 0);
    EXPECT_EQ(QueryAllKeyStates(nullptr), -1);
}

TEST_F(KeyboardTest, NothingIsHeldBeforeStartOrAfterShutdown) {
    AtFrame(0, Key(KEYCODE_A, true));
    EXPECT_EQ(QueryKeyState(KEYCODE_A), 0);
    Start();
    Pass();
    EXPECT_EQ(QueryKeyState(KEYCODE_A), 1);
    ShutdownEngine();
    EXPECT_EQ(QueryKeyState(KEYCODE_A), 0);
    EXPECT_EQ(AllKeys()[KEYCODE_A], 0);
}

}  // namespace
