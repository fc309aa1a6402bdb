// Scenario scripts: message lines, moves, waits, hops, conditions, effects,
// the START skip and the scene's end, on scripts made in memory; then the
// generated scripts and a drawn scene on the generated content.
#include "engine/draw2d.h"
#include "engine/graph.h"
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/data/game_text.h"
#include "game/script/scenario_script.h"
#include "game_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Buttons of one device, as the per-frame array shows them.
struct Pad {
    input::ButtonBlock block{};
    input::ButtonBlock* slots[input::kSlotCount] = {&block};
    Pad& Set(int button, bool down) {
        block.held[button] = down ? 1 : 0;
        return *this;
    }
};

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        GameData::currentBgm = -1;
        data_.seCursorMove = 77;
        for (int s = 0; s < GameData::kCatKinds; ++s) data_.catFaces[s] = 100 + s;
        gamesound::SetRecorder([this](const gamesound::Call& c) {
            if (c.kind == gamesound::Call::kPlayMusicFile) sounds_.push_back(std::string("music ") + c.file);
            if (c.kind == gamesound::Call::kPlayHandle) sounds_.push_back("play " + std::to_string(c.handle));
            if (c.kind == gamesound::Call::kStopMusic) sounds_.push_back("stop music");
        });
    }
    void TearDown() override { gamesound::SetRecorder({}); }

    std::unique_ptr<ScenarioScript> Script(const std::string& text, int playerCat = 0, bool closing = false) {
        return ScenarioScript::FromText(text, false, playerCat, &data_, closing);
    }
    // Runs frames until the state is `state` (at most `limit` frames); the frames it took.
    int RunUntilState(ScenarioScript& s, int state, int limit = 1000) {
        for (int frames = 0; frames < limit; ++frames) {
            if (s.state == state) return frames;
            s.Run(pad_.slots);
        }
        return -1;
    }

    GameData data_;
    Pad pad_;
    std::vector<std::string> sounds_;
};

TEST(ScenarioMessage, SplitsAtEscapesAtFiftyBytesAndBetweenCharacters) {
    const std::string a49(49, 'a'), a50(50, 'a');
    const std::string aa = GameText("あ"), hyo = GameText("表");  // "表" ends in a backslash byte
    ASSERT_EQ(hyo.size(), 2u);
    ASSERT_EQ(hyo[1], '\\');
    struct Case {
        std::string body;
        std::vector<std::string> lines;
    } cases[] = {
        {"abc\\ndef", {"abc", "def", ""}},
        {std::string(60, 'a'), {a50, std::string(10, 'a'), ""}},
        {a49 + aa + "b", {a49, aa + "b", ""}},      // "あ" does not fit: it starts the next line
        {a50 + "\\nb", {a50, "b", ""}},             // a full line then "\n": no empty line between
        {hyo + "n" + aa, {hyo + "n" + aa, "", ""}},  // not a line break
        {"a\\nb\\nc\\nd", {"a", "b", "c"}},           // beyond the third line is lost
        {std::string(160, 'x'), {std::string(50, 'x'), std::string(50, 'x'), std::string(50, 'x')}},
        {"", {"", "", ""}},
    };
    for (const Case& c : cases) {
        std::string lines[3];
        ScenarioScript::SplitMessage(c.body, lines);
        EXPECT_EQ(std::vector<std::string>(lines, lines + 3), c.lines) << c.body;
    }
}

TEST_F(ScriptTest, MessagesWaitForANewDecidePress) {
    auto s = Script("mes \"one\\ntwo\"\r\nmes \"three\"\n  mes \"no closing quote\r\n");
    s->Run(pad_.slots);
    ASSERT_EQ(s->state, ScenarioScript::kMessage);
    EXPECT_EQ(s->lines[0], "one");
    EXPECT_EQ(s->lines[1], "two");
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kMessage);  // waits
    pad_.Set(input::kJump, true);
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kReady);
    EXPECT_EQ(sounds_, std::vector<std::string>{"play 77"});
    s->Run(pad_.slots);  // the next message, decide still held
    EXPECT_EQ(s->lines[0], "three");
    for (int i = 0; i < 5; ++i) s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kMessage);  // held decide does not advance it
    pad_.Set(input::kJump, false);
    s->Run(pad_.slots);
    pad_.Set(input::kJump, true);
    s->Run(pad_.slots);
    s->Run(pad_.slots);
    EXPECT_EQ(s->lines[0], "no closing quote");  // ends at its line's end
    pad_.Set(input::kJump, false);
    s->Run(pad_.slots);
    pad_.Set(input::kJump, true);
    s->Run(pad_.slots);
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kEnded);
    EXPECT_TRUE(s->TakeFinished());
    EXPECT_FALSE(s->TakeFinished());  // taken
}

TEST_F(ScriptTest, MovesInterpolateAndWaitWhenAsked) {
    auto s = Script("move 0,100,200,4,w\nmove 1,50,240,10,-\nturn 1,l\nwait 3\n");
    std::vector<int> xs, ys;
    for (int frame = 0; frame < 4; ++frame) {
        s->Run(pad_.slots);
        xs.push_back(s->x[0]);
        ys.push_back(s->y[0]);
        EXPECT_EQ(s->state, frame < 3 ? ScenarioScript::kMoving : ScenarioScript::kReady) << frame;
    }
    // From (-100, 240): to - (to - from) * left / total with 3, 2, 1, 0 frames left.
    EXPECT_EQ(xs, (std::vector<int>{-50, 0, 50, 100}));
    EXPECT_EQ(ys, (std::vector<int>{230, 220, 210, 200}));
    s->Run(pad_.slots);  // a move that is not waited for goes on at once
    EXPECT_EQ(s->state, ScenarioScript::kReady);
    EXPECT_EQ(s->currentSlot, 1);
    EXPECT_EQ(s->moveLeft[1], 9);
    s->Run(pad_.slots);
    EXPECT_EQ(s->facesRight[1], 0);
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kWaiting);
    EXPECT_EQ(RunUntilState(*s, ScenarioScript::kReady), 2);  // "wait 3" takes 3 frames in all
    EXPECT_EQ(s->x[1], 50 - (50 + 100) * 5 / 10);
    for (int i = 0; i < 10; ++i) s->Run(pad_.slots);
    EXPECT_EQ(s->x[1], 50);
}

TEST_F(ScriptTest, BadSlotsAreIgnored) {
    auto s = Script("move 13,5,5,5,w\nturn -1,l\njumpstart 40\nmove 12,7,240,1,-\n");
    for (int i = 0; i < 4; ++i) s->Run(pad_.slots);
    EXPECT_EQ(s->currentSlot, 12);
    EXPECT_EQ(s->x[12], 7);
    for (int slot = 0; slot < 12; ++slot) {
        EXPECT_EQ(s->x[slot], -100);
        EXPECT_EQ(s->facesRight[slot], 1);
        EXPECT_EQ(s->hopFrames[slot], 0);
    }
}

TEST_F(ScriptTest, HopsStopAtTheEndOfTheHop) {
    auto s = Script("jumpstart 2\nwait 20\njumpstop 2\nwait 40\n");
    s->Run(pad_.slots);
    EXPECT_GT(s->hopFrames[2], 0);
    std::vector<int> hop;
    for (int i = 0; i < 30; ++i) {
        s->Run(pad_.slots);
        hop.push_back(s->hopFrames[2]);
    }
    // The stop comes at count 23; the hop lands when the count reaches 30.
    EXPECT_EQ(hop[20], 23);
    EXPECT_EQ(s->hopStop[2], 0);
    EXPECT_EQ(hop[26], 29);
    EXPECT_EQ(hop[27], 0);
    EXPECT_EQ(s->hopStop[2], 0);
}

TEST_F(ScriptTest, ConditionsPickLinesByThePlayersCat) {
    const std::string text =
        "catif 0,2\nmove 0,1,240,0,-\nendif\n"
        "notif 0,2\nmove 1,1,240,0,-\nendif\n"
        "catif 5\nmove 2,1,240,0,-\nendif\n"
        "move 3,1,240,0,-\n";
    struct Case {
        int playerCat;
        bool moved[4];
    } cases[] = {
        {0, {true, false, false, true}},
        {1, {false, true, false, true}},
        {2, {true, false, false, true}},
        {5, {false, true, true, true}},
    };
    for (const Case& c : cases) {
        auto s = Script(text, c.playerCat);
        RunUntilState(*s, ScenarioScript::kEnded);
        for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(s->x[slot] == 1, c.moved[slot]) << c.playerCat << " " << slot;
    }
}

TEST_F(ScriptTest, EffectsFlashAndHideTheBackground) {
    auto s = Script("effect 1\neffect 2\nwait 500\n");
    s->Run(pad_.slots);
    EXPECT_EQ(s->noBackground, 1);
    s->Run(pad_.slots);
    EXPECT_EQ(s->effect, 2);
    EXPECT_EQ(s->flashLeft, 179);
    for (int i = 0; i < 178; ++i) s->Run(pad_.slots);
    EXPECT_EQ(s->effect, 2);
    s->Run(pad_.slots);
    EXPECT_EQ(s->flashLeft, 0);
    EXPECT_EQ(s->effect, 0);
    EXPECT_EQ(s->noBackground, 1);  // the flash leaves the background setting alone
}

TEST_F(ScriptTest, StartSkipsTheRestInOneFrameRunningMusicEffectsAndConditions) {
    const std::string text =
        "mes \"hello\"\n"
        "pbgm 3\n"
        "catif 1\npbgm 5\nendif\n"
        "notif 1\npbgm 7\nmes \"skipped\"\nmove 0,300,240,50,w\nendif\n"
        "effect 1\n"
        "wait 100\nmes \"last\"\n";
    auto s = Script(text, 0);
    s->Run(pad_.slots);
    s->Run(pad_.slots);
    ASSERT_EQ(s->state, ScenarioScript::kMessage);
    pad_.Set(input::kPause, true);
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kSkipToEnd);
    EXPECT_TRUE(sounds_.empty());
    s->Run(pad_.slots);  // the whole rest in this frame
    EXPECT_EQ(sounds_, (std::vector<std::string>{"stop music", "music tpa\\Music\\track020_desert_battle.mp3", "stop music",
                                                 "music tpa\\Music\\game_velmoranti_9_jingle05.mp3"}));
    EXPECT_EQ(s->noBackground, 1);
    EXPECT_EQ(s->x[0], -100);  // moves are passed over
    EXPECT_EQ(s->state, ScenarioScript::kEnded);
    EXPECT_TRUE(s->TakeFinished());
    EXPECT_EQ(GameData::currentBgm, 7);
}

TEST_F(ScriptTest, StartHeldAsTheSceneBeginsIsIgnoredUntilPressedAgain) {
    auto s = Script("wait 100\n");
    pad_.Set(input::kPause, true);
    for (int i = 0; i < 10; ++i) s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kWaiting);
    pad_.Set(input::kPause, false);
    s->Run(pad_.slots);
    pad_.Set(input::kPause, true);
    s->Run(pad_.slots);
    EXPECT_EQ(s->state, ScenarioScript::kSkipToEnd);
    // A press on the first frame after the start is not a skip either.
    auto t = Script("wait 100\n");
    Pad idle;
    t->Run(idle.slots);
    t->Run(pad_.slots);
    t->Run(pad_.slots);
    EXPECT_EQ(t->state, ScenarioScript::kWaiting);
}

TEST_F(ScriptTest, AClosingSceneEndsAfterItsFadeOthersAtOnce) {
    auto scene = Script("wait 1\n", 0, true);
    auto plain = Script("wait 1\n");
    int frames = 0;
    while (!scene->finished && frames < 500) {
        scene->Run(pad_.slots);
        plain->Run(pad_.slots);
        ++frames;
        if (frames == 3) {
            EXPECT_TRUE(plain->finished);
        }
    }
    EXPECT_EQ(scene->state, ScenarioScript::kEnded);
    EXPECT_EQ(frames, 1 + 101);  // the wait, then 101 frames of the end
    EXPECT_EQ(scene->endCount, 101);
    scene->TakeFinished();
    for (int i = 0; i < 1000; ++i) scene->Run(pad_.slots);
    EXPECT_EQ(scene->endCount, 101);  // stays put
    EXPECT_TRUE(scene->finished);
}

TEST_F(ScriptTest, UnreadableOrCutScriptsEnd) {
    auto missing = std::make_unique<ScenarioScript>(987, false, 0, &data_, false);
    EXPECT_EQ(missing->state, ScenarioScript::kEnded);
    missing->Run(pad_.slots);
    EXPECT_TRUE(missing->finished);
    for (const char* text : {"", "   \n\n", "mes", "move 1,2,3", "catif 0\nwait 5\n", "jumpsxxxx\nwai"}) {
        auto s = Script(text, 3);
        EXPECT_GE(RunUntilState(*s, ScenarioScript::kEnded, 10), 0) << text;
    }
}

// ---------------------------------------------------------------- on the generated content

class ScriptSceneTest : public GameTest {
protected:
    // The scene drawn on a cleared screen, as 0xRRGGBB pixels.
    static std::vector<uint32_t> Draw(ScenarioScript& s) {
        return DrawnScreen([&s] { s.DrawMessageWindow(); });
    }
    static void SavePng(const char* name) { SaveScreenPng(name); }
};

TEST_F(ScriptSceneTest, GeneratedScriptsRunToTheirEndWithEveryCat) {
    Start();
    Pad decide;
    for (const std::string& name : {std::string("ending0"), std::string("ending1"), std::string("scenario5"),
                                    std::string("scenario0"), std::string("scenario13")}) {
        const bool ending = name.rfind("ending", 0) == 0;
        const int number = std::atoi(name.c_str() + (ending ? 6 : 8));
        for (int cat = 0; cat < 6; ++cat) {
            ScenarioScript s(number, ending, cat, app_->data.get(), false);
            ASSERT_NE(s.state, ScenarioScript::kEnded) << name;
            int frames = 0, messages = 0;
            for (; frames < 5000 && !s.finished; ++frames) {
                decide.Set(input::kJump, frames % 2 == 0);  // a press every other frame
                const int before = s.state;
                s.Run(decide.slots);
                messages += before != ScenarioScript::kMessage && s.state == ScenarioScript::kMessage;
            }
            EXPECT_TRUE(s.finished) << name << " cat " << cat;
            EXPECT_GE(messages, 1) << name;
        }
    }
}

TEST_F(ScriptSceneTest, DrawsTheSceneWithItsWindowCatsAndText) {
    Start();
    GameData& data = *app_->data;
    data.transitionCount = 30;  // no dissolve over it
    ScenarioScript s(5, false, 0, &data, false);
    s.background = data.sceneBackgrounds[4];
    Pad idle;
    for (int i = 0; i < 400 && s.state != ScenarioScript::kMessage; ++i) s.Run(idle.slots);
    ASSERT_EQ(s.state, ScenarioScript::kMessage);
    s.effect = s.flashLeft = 0;  // the flash is over
    s.frameCount = 60;           // the skip hint on
    s.hopFrames[7] = 8;
    const std::vector<uint32_t> scene = Draw(s);
    SavePng("scenario_scene.png");
    // The same without the cats, and the background alone.
    const int32_t xs[4] = {s.x[7], s.x[8], s.x[9], s.x[10]};
    for (int slot = 7; slot <= 10; ++slot) s.x[slot] = -100;
    const std::vector<uint32_t> noCats = Draw(s);
    ClearDrawScreenToBackColor(nullptr);
    DrawGraphAt(0, 0, s.background, 1);
    std::vector<uint32_t> background(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(background.data()), 0);

    auto at = [](const std::vector<uint32_t>& p, int x, int y) { return p[size_t(y) * 640 + size_t(x)] & 0xFFFFFF; };
    auto brightness = [](uint32_t c) { return int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255); };
    // The message window lets about half of the background through.
    int window = 0, behind = 0;
    for (int y = 305; y < 325; ++y)
        for (int x = 55; x < 75; ++x) {
            window += brightness(at(scene, x, y));
            behind += brightness(at(background, x, y));
        }
    ASSERT_GT(behind, 0);
    EXPECT_NEAR(double(window) / behind, 130.0 / 255.0, 0.1);
    // White text in the window, the yellow hint under it.
    int white = 0, yellow = 0;
    for (int y = 330; y < 410; ++y)
        for (int x = 80; x < 400; ++x) white += at(scene, x, y) == 0xFFFFFF;
    for (int y = 455; y < 475; ++y)
        for (int x = 380; x < 640; ++x) yellow += at(scene, x, y) == 0xFFFF00;
    EXPECT_GT(white, 100);
    EXPECT_GT(yellow, 50);
    // The four cats that walked in stand at their places, drawn by their
    // faces; the hopping one higher.
    int width = 0, height = 0;
    ASSERT_EQ(GetGraphDimensions(data.catFaces[7], &width, &height), 0);
    const int hop = int(std::fabs(std::sin(8 * M_PI / 15) * 30));
    for (int slot = 7; slot <= 10; ++slot) {
        EXPECT_EQ(xs[slot - 7], 330 + (slot - 7) * 70);
        const int cy = 240 - (slot == 7 ? hop : 0);
        int inside = 0, below = 0;
        for (int dy = -height / 4; dy <= height / 4; ++dy)
            for (int dx = -width / 4; dx <= width / 4; ++dx) {
                inside += at(scene, xs[slot - 7] + dx, cy + dy) != at(noCats, xs[slot - 7] + dx, cy + dy);
                below += at(scene, xs[slot - 7] + dx, cy + height + dy) != at(noCats, xs[slot - 7] + dx, cy + height + dy);
            }
        EXPECT_GT(inside, width * height / 16) << slot;
        EXPECT_EQ(below, 0) << slot;
    }
}

TEST_F(ScriptSceneTest, AClosingSceneFadesToWhiteWithTheEndCaption) {
    Start();
    GameData& data = *app_->data;
    data.transitionCount = 30;
    std::vector<gamesound::Call> calls;
    gamesound::SetRecorder([&](const gamesound::Call& c) { calls.push_back(c); });
    ScenarioScript s(6, false, 0, &data, true);
    s.state = ScenarioScript::kEnded;
    s.frameCount = 0;  // no skip hint
    auto draw = [&](int endCount) {
        s.endCount = endCount;
        return Draw(s);
    };
    const std::vector<uint32_t> before = draw(0);
    const std::vector<uint32_t> half = draw(50);
    SavePng("scenario_closing.png");
    const std::vector<uint32_t> end = draw(101);
    gamesound::SetRecorder({});
    // The music fades with the picture, and stays silent past the end.
    std::vector<int> volumes;
    for (const gamesound::Call& c : calls)
        if (c.kind == gamesound::Call::kSetMusicVolume) volumes.push_back(c.playType);
    EXPECT_EQ(volumes, (std::vector<int>{255, 128, 0}));
    auto at = [](const std::vector<uint32_t>& p, int x, int y) { return p[size_t(y) * 640 + size_t(x)]; };
    // Half way: everything (below the band) half way to white; at the end white.
    for (int x : {5, 300, 600}) {
        const uint32_t was = at(before, x, 250), mid = at(half, x, 250);
        for (int shift : {0, 8, 16}) {
            const int a = int((was >> shift) & 255), m = int((mid >> shift) & 255);
            EXPECT_NEAR(m, a + (255 - a) * 127 / 255, 3) << x;
        }
        EXPECT_EQ(at(end, x, 250), 0xFFFFFFu);
    }
    // The end caption has slid in to the left edge over the band.
    int width = 0, height = 0;
    ASSERT_EQ(GetGraphDimensions(data.textGameSet, &width, &height), 0);
    int differs = 0;
    for (int y = 30; y < 30 + height; ++y)
        for (int x = 0; x < width; ++x) differs += at(end, x, y) != 0xFFFFFFu && at(end, x, y) != at(end, 639, 35);
    EXPECT_GT(differs, width * height / 20);
}

}  // namespace
