#include "scripted_engine_fixture.h"

namespace {

using namespace script;

class JoypadTest : public ScriptedEngineTest {};

TEST_F(JoypadTest, HatDirectionsGiveTheirBits) {
    AtFrame(0, StickAttach(7));
    Start();
    const std::pair<int, int> cases[] = {
        {platform::kHatDown, PAD_DOWN}, {platform::kHatLeft, PAD_LEFT}, {platform::kHatRight, PAD_RIGHT},
        {platform::kHatUp, PAD_UP}, {platform::kHatUp | platform::kHatLeft, PAD_UP | PAD_LEFT}, {0, 0}};
    for (auto [hat, bits] : cases) {
        AtFrame(platform::ScriptedInputFrame(), StickHat(7, hat));
        Pass();
        EXPECT_EQ(QueryPadButtons(1), bits) << "hat " << hat;
    }
}

TEST_F(JoypadTest, StickCountsOnlyPastHalfDeflection) {
    AtFrame(0, StickAttach(1));
    Start();
    struct Case { int x, y, bits; };
    const Case cases[] = {
        {-16383, 0, 0}, {-16384, 0, PAD_LEFT}, {16383, 0, 0}, {16384, 0, PAD_RIGHT},
        {0, -32768, PAD_UP}, {0, 32767, PAD_DOWN}, {32767, -20000, PAD_RIGHT | PAD_UP}, {0, 0, 0}};
    for (const Case& c : cases) {
        AtFrame(platform::ScriptedInputFrame(), StickAxis(1, 0, c.x));
        AtFrame(platform::ScriptedInputFrame(), StickAxis(1, 1, c.y));
        Pass();
        EXPECT_EQ(QueryPadButtons(1), c.bits) << c.x << "," << c.y;
    }
}

TEST_F(JoypadTest, HatAndStickTogetherSetEachBitOnce) {
    AtFrame(0, StickAttach(1));
    AtFrame(0, StickHat(1, platform::kHatLeft));
    AtFrame(0, StickAxis(1, 0, -32768));
    Start();
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PAD_LEFT);
}

TEST_F(JoypadTest, ButtonsUpTo24AreShiftedByFour) {
    AtFrame(0, StickAttach(1, 2, 32));
    Start();
    for (int b = 0; b < 32; ++b) {
        AtFrame(platform::ScriptedInputFrame(), StickButton(1, b, true));
        Pass();
        EXPECT_EQ(QueryPadButtons(1), b < 24 ? 16 << b : 0) << "button " << b;
        AtFrame(platform::ScriptedInputFrame(), StickButton(1, b, false));
        Pass();
    }
    AtFrame(platform::ScriptedInputFrame(), StickButton(1, 0, true));
    AtFrame(platform::ScriptedInputFrame(), StickButton(1, 23, true));
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(0) | PadButtonBit(23));
}

TEST_F(JoypadTest, PadsPresentAtStartAreCountedAndNumberedInOrder) {
    AtFrame(0, StickAttach(10));
    AtFrame(0, StickAttach(20));
    AtFrame(0, StickButton(20, 2, true));
    Start();
    EXPECT_EQ(CountJoypads(), 2);
    EXPECT_EQ(QueryPadButtons(1), 0);
    EXPECT_EQ(QueryPadButtons(2), PadButtonBit(2));
    EXPECT_EQ(QueryPadButtons(3), 0);
}

TEST_F(JoypadTest, RemovedPadReadsZeroAndComesBackUnderItsNumber) {
    AtFrame(0, StickAttach(10));
    AtFrame(0, StickAttach(20));
    AtFrame(0, StickButton(10, 0, true));
    AtFrame(0, StickButton(20, 1, true));
    AtFrame(1, StickDetach(10));
    AtFrame(2, StickAttach(10));
    AtFrame(2, StickButton(10, 3, true));
    Start();
    Pass();  // frame 0
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(0));
    Pass();  // frame 1: pad 1 unplugged
    EXPECT_EQ(QueryPadButtons(1), 0);
    EXPECT_EQ(QueryPadButtons(2), PadButtonBit(1));
    EXPECT_EQ(CountJoypads(), 2);
    Pass();  // frame 2: back, with fresh state
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(3));
    EXPECT_EQ(QueryPadButtons(2), PadButtonBit(1));
    EXPECT_EQ(CountJoypads(), 2);
}

TEST_F(JoypadTest, ANewPadFillsAFreedNumberBeforeTakingANewOne) {
    AtFrame(0, StickAttach(10));
    AtFrame(0, StickAttach(20));
    AtFrame(1, StickDetach(10));
    AtFrame(2, StickAttach(30));
    AtFrame(2, StickButton(30, 5, true));
    AtFrame(3, StickAttach(10));
    AtFrame(3, StickButton(10, 6, true));
    Start();
    Pass();
    Pass();
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(5));
    EXPECT_EQ(CountJoypads(), 2);
    Pass();  // the first pad returns, its number taken: it gets a new one
    EXPECT_EQ(QueryPadButtons(3), PadButtonBit(6));
    EXPECT_EQ(CountJoypads(), 3);
}

TEST_F(JoypadTest, PadNumbersOutOfRangeReadZero) {
    AtFrame(0, StickAttach(1));
    AtFrame(0, StickButton(1, 0, true));
    Start();
    EXPECT_EQ(QueryPadButtons(0), 0);
    EXPECT_EQ(QueryPadButtons(-5), 0);
    EXPECT_EQ(QueryPadButtons(17), 0);
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(0));
}

TEST_F(JoypadTest, NoPadsBeforeStart) {
    AtFrame(0, StickAttach(1));
    EXPECT_EQ(CountJoypads(), 0);
    EXPECT_EQ(QueryPadButtons(1), 0);
}

}  // namespace
