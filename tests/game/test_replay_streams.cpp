// Replay streams without files: what the recorder stores for each kind of
// block, the stored text forms and their reading (bad lines skipped), the
// meta text, and playback of what was stored.
#include "game/data/game_files.h"
#include "game/play/sim/input_script.h"
#include "game/replay/replay_format.h"
#include "game/replay/replay_playback.h"
#include "game/replay/replay_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using replay::PlayerStreams;
using replay::ReplayPlayback;
using replay::ReplayRecorder;
using S = ReplayStreams;

// All six blocks of one device.
struct Blocks : playsim::DeviceBlocks {
    PlayerInput All() {
        PlayerInput in;
        in.buttons = &buttons;
        in.actions = actions;
        in.slope = slope;
        in.analog = analog;
        in.mouse = mouse;
        in.keyboard = keyboard;
        return in;
    }
};

PlayerStreams Reparsed(const PlayerStreams& s) {
    PlayerStreams back;
    for (int k = 0; k < S::kStreamCount; ++k) {
        const replay::ParseReport r = replay::ParseStoredText(replay::StoredText(s, S::Stream(k)), S::Stream(k), &back);
        EXPECT_EQ(r.badLines, 0) << k;
    }
    return back;
}

TEST(ReplayStreams, HeldButtonsAndKeysAreStoredAsHexadecimalRuns) {
    ReplayRecorder rec;
    Blocks b;
    PlayerInput in = b.All();
    in.mouse = in.analog = nullptr;
    in.slope = nullptr;
    in.actions = nullptr;
    for (int f = 1; f <= 60; ++f) {
        b.buttons = {};
        std::fill(std::begin(b.keyboard), std::end(b.keyboard), 0);
        if (f >= 16 && f <= 45) b.buttons.held[6] = 1;
        if (f >= 20 && f <= 21) b.buttons.held[1] = 2;  // two sources of one button
        if (f >= 20 && f <= 22) b.buttons.held[0] = 1;
        if (f == 30 || f == 32) b.keyboard[48] = 1;     // let go in between: two runs
        rec.Record(f, in);
    }
    const PlayerStreams& s = rec.streams();
    EXPECT_EQ(replay::StoredText(s, S::kIn), "10,6:1e\n14,0:3\n14,1:2\n");
    EXPECT_EQ(replay::StoredText(s, S::kKeyboard), "1e,30:1\r\n20,30:1\r\n");
    // A keyboard player has no mouse, slope, analog or action blocks.
    for (S::Stream absent : {S::kAction, S::kSlope, S::kAnalog, S::kMouse})
        EXPECT_EQ(replay::StoredText(s, absent), "n") << absent;
    EXPECT_EQ(Reparsed(s), s);

    // Played back: the same words on every frame, 1 for a held button; no
    // block where the stream is "n".
    ReplayPlayback play(std::make_shared<const PlayerStreams>(Reparsed(s)));
    for (int f = 1; f <= 60; ++f) {
        const PlayerInput out = play.Play(f);
        ASSERT_TRUE(out.buttons && out.keyboard);
        EXPECT_FALSE(out.actions || out.slope || out.analog || out.mouse);
        EXPECT_EQ(out.buttons->held[6], f >= 16 && f <= 45 ? 1 : 0) << f;
        EXPECT_EQ(out.buttons->held[1], f >= 20 && f <= 21 ? 1 : 0) << f;
        EXPECT_EQ(out.keyboard[48], f == 30 || f == 32 ? 1 : 0) << f;
    }
}

TEST(ReplayStreams, TheCursorSlopeAndStickAreKeptFrameForFrame) {
    ReplayRecorder rec;
    Blocks b;
    const float slopes[3][3] = {{0.1234567f, -0.7654321f, 1e-7f}, {-0.0f, 2.5f, 0.3f}, {0.3f, 0.3f, 0.3f}};
    std::vector<std::vector<int32_t>> seen;
    for (int f = 5; f <= 40; ++f) {
        b.mouse[0] = f < 20 ? -5 : 600;
        b.mouse[1] = f < 10 ? 7 : f;  // moves every frame from frame 10
        std::memcpy(b.slope, slopes[(f / 10) % 3], sizeof b.slope);
        b.analog[input::kLeftX] = f < 25 ? -32768 : 32767;
        b.analog[input::kLeftY] = 1234;  // not read by any cat, not kept
        b.analog[input::kRightTrigger] = 255;
        b.analog[input::kRightShoulder] = f % 2;
        rec.Record(f, b.All());
        seen.push_back({b.mouse[0], b.mouse[1], b.analog[0], b.analog[6], b.analog[7]});
    }
    const PlayerStreams& s = rec.streams();
    const std::string mouse = replay::StoredText(s, S::kMouse);
    EXPECT_EQ(mouse.substr(0, 30), "5,fffffffb,7:5\na,fffffffb,a:1\n");  // negative x as 32-bit hex
    const std::string slope = replay::StoredText(s, S::kSlope);
    EXPECT_EQ(slope.substr(0, slope.find('\n')), "5,0.1234567,-0.7654321,0.0000001");
    EXPECT_NE(slope.find("\n10,-0.000000,2.500000,0.300000\n"), std::string::npos);
    EXPECT_EQ(replay::StoredText(s, S::kAnalog).substr(0, 20), "-32768,0,0,0,255,1:1");
    const PlayerStreams back = Reparsed(s);
    EXPECT_EQ(back, s);

    ReplayPlayback play(std::make_shared<const PlayerStreams>(back));
    for (int f = 5; f <= 40; ++f) {
        const PlayerInput out = play.Play(f);
        const std::vector<int32_t>& want = seen[size_t(f - 5)];
        EXPECT_EQ((std::vector<int32_t>{out.mouse[0], out.mouse[1], out.analog[0], out.analog[6], out.analog[7]}), want)
            << f;
        EXPECT_EQ(std::memcmp(out.slope, slopes[(f / 10) % 3], sizeof(float) * 3), 0) << f;
        EXPECT_EQ(out.analog[input::kLeftY], 0);
    }
    // Past the end of the streams the cursor, slope and stick stay; buttons
    // let go.
    const PlayerInput after = play.Play(100);
    EXPECT_EQ(after.mouse[0], 600);
    EXPECT_EQ(after.analog[0], 32767);
    EXPECT_EQ(after.slope[0], slopes[1][0]);
    EXPECT_EQ(after.buttons->held[6], 0);
}

// A Wii remote's tilt timers as the device sets them (all at rest: 30) and
// as a cat takes them: counted down when taken, cleared when not.
void TiltFrame(int32_t* timers, bool tilt, int slot) {
    if (tilt && timers[0] == 0 && timers[1] == 0 && timers[2] == 0) timers[slot] = 30;
}
void CatTakes(int32_t* timers, bool takes) {
    for (int k = 0; k < 3; ++k) {
        if (!takes && timers[k] == 30) timers[k] = 0;
        timers[k] = std::max(timers[k] - 1, 0);
    }
}

TEST(ReplayStreams, ATiltTheCatDiscardedIsReplayedAsDiscarded) {
    // Frames 10..14: a shake held on while the cat discards it (a new pulse
    // every frame); 30..: one taken and counted down; 60..65: the cat does
    // not run (knocked out) and the timer stands.
    auto tilt = [](int f) { return (f >= 10 && f <= 14) || f == 30 || (f >= 58 && f <= 70); };
    auto takes = [](int f) { return f >= 30; };
    auto runs = [](int f) { return f < 60 || f > 65; };
    ReplayRecorder rec;
    int32_t device[3] = {};
    std::vector<std::vector<int32_t>> live;
    PlayerInput in;
    in.actions = device;
    for (int f = 1; f <= 100; ++f) {
        TiltFrame(device, tilt(f), f < 50 ? 1 : 2);
        rec.Record(f, in);
        live.emplace_back(device, device + 3);
        if (runs(f)) CatTakes(device, takes(f));
        rec.Finish(in);
    }
    EXPECT_EQ(replay::StoredText(rec.streams(), S::kAction), "10,1\n11,1\n12,1\n13,1\n14,1\n30,1\n60,2\n");

    ReplayPlayback play(std::make_shared<const PlayerStreams>(Reparsed(rec.streams())));
    for (int f = 1; f <= 100; ++f) {
        const PlayerInput out = play.Play(f);
        ASSERT_TRUE(out.actions);
        EXPECT_EQ(std::vector<int32_t>(out.actions, out.actions + 3), live[size_t(f - 1)]) << f;
        if (runs(f)) CatTakes(out.actions, takes(f));
    }
}

TEST(ReplayStreams, PlaybackJoinsRunsBegunBeforeItsFirstFrame) {
    PlayerStreams s;
    ASSERT_EQ(replay::ParseStoredText("5,2:a\n", S::kIn, &s).badLines, 0);      // frames 5..14
    ASSERT_EQ(replay::ParseStoredText("3,1\n9,0\n", S::kAction, &s).badLines, 0);
    ASSERT_EQ(replay::ParseStoredText("1,2,3:4\n", S::kMouse, &s).badLines, 0);
    ReplayPlayback play(std::make_shared<const PlayerStreams>(s));
    PlayerInput out = play.Play(10);
    EXPECT_EQ(out.buttons->held[2], 1);
    EXPECT_EQ(out.actions[1] + out.actions[0], 0);  // a tilt long gone is not started late
    EXPECT_EQ(out.mouse[0], 2);
    for (int f = 11; f <= 14; ++f) EXPECT_EQ(play.Play(f).buttons->held[2], 1) << f;
    EXPECT_EQ(play.Play(15).buttons->held[2], 0);
    // Empty text is a device with nothing recorded, not a missing device.
    PlayerStreams none;
    replay::ParseStoredText("", S::kKeyboard, &none);
    ReplayPlayback idle(std::make_shared<const PlayerStreams>(none));
    EXPECT_NE(idle.Play(1).keyboard, nullptr);
}

TEST(ReplayStreams, LinesThatCannotBePlayedAreSkippedAndCounted) {
    struct Case {
        S::Stream stream;
        const char* text;
        int good, bad, firstBad;
    };
    const Case cases[] = {
        {S::kIn, "10,6:1e\r\n10,8:1\n10,-1:1\n12,1:0\n12,1\n12,1:2x\n\n  \n11,1:1\n9,1:1\n", 2, 6, 2},
        {S::kIn, "100000000,1:1\nffffffff,1:1\n7fffffff,1:ffffffff\nzz\n", 0, 4, 1},
        {S::kKeyboard, "1,30:1\n1,2f:1\n1,31:1\n", 2, 1, 3},
        {S::kAction, "5,0\n5,3\n4,1\n-1,0\n6, 2\n", 2, 3, 2},
        {S::kSlope, "1,0.5,0.5,1\n2,nan,0,0\n3,inf,0,0\n4,1e7,0,0\n5,1,2\n6,1,2,3,4\n7,-1e-3,0,0\n", 2, 5, 2},
        {S::kAnalog, "1,2,1,0,5,1:2\n32768,0,0,0,0,0:1\n0,256,0,0,0,0:1\n0,0,2,0,0,0:1\n0,0,0,0,0,0:0\n"
                     "0,0,0,0,0,0\n-32768,0,1,32767,255,1:9\n", 2, 5, 2},
        {S::kMouse, "1,ffffffff,80000000:1\n2,1,1:0\n3,1:1\n", 1, 2, 2},
    };
    for (const Case& c : cases) {
        PlayerStreams s;
        const replay::ParseReport r = replay::ParseStoredText(c.text, c.stream, &s);
        EXPECT_EQ(r.badLines, c.bad) << c.text;
        EXPECT_EQ(r.firstBadLine, c.firstBad) << c.text;
        EXPECT_FALSE(s.absent[c.stream]);
        const size_t good = c.stream == S::kIn ? s.buttons.size() : c.stream == S::kKeyboard ? s.keys.size()
                          : c.stream == S::kAction ? s.actions.size() : c.stream == S::kSlope ? s.slopes.size()
                          : c.stream == S::kAnalog ? s.analogs.size() : s.mice.size();
        EXPECT_EQ(good, size_t(c.good)) << c.text;
    }
    PlayerStreams s;
    replay::ParseStoredText("n\n1,1:1\n", S::kIn, &s);
    EXPECT_TRUE(s.absent[S::kIn]);
    EXPECT_TRUE(s.buttons.empty());
    replay::ParseStoredText("1,ffffffff,80000000:1\n", S::kMouse, &s);
    EXPECT_EQ(s.mice[0].x, -1);
    EXPECT_EQ(s.mice[0].y, INT32_MIN);
}

// The recorder's count of each stream's stored size.
void ExpectCountedSizes(const ReplayRecorder& rec) {
    for (int k = 0; k < S::kStreamCount; ++k)
        EXPECT_EQ(rec.StoredBytes(S::Stream(k)), int64_t(replay::StoredText(rec.streams(), S::Stream(k)).size())) << k;
}

TEST(ReplayStreams, HoursOfPlayPackIntoSmallStreamsAndAreKeptWhole) {
    // Seven hours of a pad player: the stick and a button change every few
    // seconds, so the runs stay long and the streams small.
    constexpr int kFrames = 7 * 3600 * 1000 / 16;
    ReplayRecorder rec;
    Blocks b;
    PlayerInput in = b.All();
    in.actions = nullptr;
    in.slope = nullptr;
    in.mouse = nullptr;
    in.keyboard = nullptr;
    auto stick = [](int f) { return (f / 700) % 3 * 10000 - 10000; };
    for (int f = 1; f <= kFrames; ++f) {
        b.buttons.held[4] = (f / 500) % 2;
        b.analog[input::kLeftX] = stick(f);
        rec.Record(f, in);
    }
    EXPECT_EQ(rec.stoppedAt(), 0);
    ExpectCountedSizes(rec);
    EXPECT_LT(rec.StoredBytes(S::kAnalog), 1 << 20);
    ReplayPlayback play(std::make_shared<const PlayerStreams>(Reparsed(rec.streams())));
    for (int f = 1; f <= kFrames; ++f) {
        const PlayerInput out = play.Play(f);
        if (f % 9973 != 0 && f < kFrames - 3) continue;
        ASSERT_EQ(out.buttons->held[4], (f / 500) % 2) << f;
        ASSERT_EQ(out.analog[input::kLeftX], stick(f)) << f;
    }
}

TEST(ReplayStreams, ARecordingStopsBeforeAStreamOutgrowsWhatPlaybackReads) {
    // A nunchuk tilted a little differently every frame, with the cursor
    // and keys as busy: the slope stream grows fastest.
    constexpr int64_t kLimit = 64 << 10;
    ReplayRecorder rec(2, kLimit);
    EXPECT_EQ(ReplayRecorder::kDefaultStreamLimit, kMaxGameFileBytes);
    Blocks b;
    auto slopeOf = [](int f, int k) { return float(std::sin(f * 0.37 + k)) * 0.9f; };
    int frame = 0;
    for (frame = 1; frame <= 100000 && rec.stoppedAt() == 0; ++frame) {
        for (int k = 0; k < 3; ++k) b.slope[k] = slopeOf(frame, k);
        b.mouse[0] = frame % 640;
        b.keyboard[frame % 49] = frame % 3 != 0;
        rec.Record(frame, b.All());
    }
    const int stopped = rec.stoppedAt();
    ASSERT_GT(stopped, 1000);
    ExpectCountedSizes(rec);
    for (int k = 0; k < S::kStreamCount; ++k) EXPECT_LE(rec.StoredBytes(S::Stream(k)), kLimit) << k;
    EXPECT_GT(rec.StoredBytes(S::kSlope), kLimit - 4096);  // stopped no sooner than it had to

    // Nothing more is recorded once it stopped.
    const PlayerStreams kept = rec.streams();
    b.buttons.held[0] = 1;
    rec.Record(stopped + 50, b.All());
    EXPECT_EQ(rec.streams(), kept);

    // Played back: every frame up to the stop as it was recorded; after it
    // the slope stays and the keys are let go.
    ReplayPlayback play(std::make_shared<const PlayerStreams>(Reparsed(kept)));
    for (int f = 1; f < stopped; ++f) {
        const PlayerInput out = play.Play(f);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(out.slope[k], slopeOf(f, k)) << f;
        ASSERT_EQ(out.mouse[0], f % 640) << f;
    }
    const PlayerInput after = play.Play(stopped + 1);
    EXPECT_EQ(after.slope[0], slopeOf(stopped - 1, 0));
    EXPECT_EQ(std::count(after.keyboard, after.keyboard + 49, 0), 49);
}

TEST(ReplayStreams, AMetaFileNamesOneToFourDevices) {
    EXPECT_EQ(replay::MetaText({1, 2}), "1,2,");
    std::vector<int32_t> types;
    std::string why;
    for (const char* good : {"1,2,", "1,2", " 6 ,3,\r\n", "4,4,4,4,"}) {
        EXPECT_TRUE(replay::ParseMeta(good, &types, &why)) << good;
    }
    ASSERT_TRUE(replay::ParseMeta("5,1,", &types, &why));
    EXPECT_EQ(types, (std::vector<int32_t>{5, 1}));
    for (const char* bad : {"", ",", "1,,2", "0,", "7,", "-1,", "1,2,3,4,5,", "a,", "1x,", "99999999999,"}) {
        why.clear();
        EXPECT_FALSE(replay::ParseMeta(bad, &types, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
        EXPECT_TRUE(types.empty()) << bad;
    }
}

}  // namespace
