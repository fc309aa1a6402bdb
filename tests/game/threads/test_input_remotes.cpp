// The input manager with simulated Wii remotes: their read threads decode
// reports and call the manager's change callback while the main thread
// polls, so these cases run on the real clock and under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "input_test_support.h"

namespace {

using namespace script;
using input::kAction;
using input::kExtra;
using input::kJump;
using input::kPause;
using input::kRight;
using input::kUp;
using platform::SimExtension;
using platform::SimulatedRemote;

using Words = std::vector<int32_t>;

// Wii remote button bits.
constexpr uint16_t kLeft = 1 << 0, kRightBit = 1 << 1, kDownBit = 1 << 2, kUpBit = 1 << 3, kPlus = 1 << 4;
constexpr uint16_t kTwo = 1 << 8, kOne = 1 << 9, kB = 1 << 10, kA = 1 << 11;

// Accelerometer bytes: zero at 0x80 and one g 26 above (the simulated
// remote's factory calibration); the nunchuk's one g is 51 above.
constexpr uint8_t kRest = 0x80;
constexpr uint8_t kNunchukOneG = 0x80 + 51;

// Every data-report mode change is one unbroken run of output reports:
// the IR camera switched off (0x13, 0x1A) before modes 0x30..0x35, or on
// and set up (0x13, 0x1A, register writes, camera mode last) before 0x33
// and 0x37 -- then the mode report 0x12. Reports of other kinds (status
// requests, register reads, extension set-up) may come between runs. The
// log is taken between runs, so a run it ends in the middle of is broken.
std::string CheckModeChanges(const std::vector<SimulatedRemote::Report>& log) {
    std::vector<SimulatedRemote::Report> runs;
    for (const auto& r : log) {
        bool irRegister = r[0] == 0x16 && r[2] == 0xB0;
        if (r[0] == 0x12 || r[0] == 0x13 || r[0] == 0x1A || irRegister) runs.push_back(r);
    }
    size_t i = 0;
    auto at = [&](size_t k) -> const SimulatedRemote::Report* { return k < runs.size() ? &runs[k] : nullptr; };
    while (i < runs.size()) {
        const auto* camera = at(i);
        const auto* camera2 = at(i + 1);
        if (camera->at(0) != 0x13 || !camera2 || camera2->at(0) != 0x1A)
            return "a run does not begin with both camera reports at " + std::to_string(i);
        const bool on = camera->at(1) & 0x04;
        if (bool(camera2->at(1) & 0x04) != on) return "camera reports disagree at " + std::to_string(i);
        i += 2;
        int cameraMode = 0;
        if (on) {
            const uint8_t registers[4] = {0x30, 0x00, 0x1A, 0x33};
            for (uint8_t reg : registers) {
                const auto* w = at(i++);
                if (!w || w->at(0) != 0x16 || w->at(4) != reg) return "camera set-up broken at " + std::to_string(i);
                if (reg == 0x33) cameraMode = w->at(6);
            }
        }
        const auto* mode = at(i++);
        if (!mode || mode->at(0) != 0x12) return "no mode report closes the run at " + std::to_string(i);
        const int m = mode->at(2);
        const int expectedCamera = m == 0x33 ? 3 : m == 0x37 ? 1 : 0;
        if (cameraMode != expectedCamera)
            return "mode " + std::to_string(m) + " after camera mode " + std::to_string(cameraMode);
    }
    return "";
}

// The last reports of the log, one line each in hex, for a failure message.
std::string LogTail(const std::vector<SimulatedRemote::Report>& log, size_t count = 24) {
    std::string text;
    char line[48];
    for (size_t k = log.size() > count ? log.size() - count : 0; k < log.size(); ++k) {
        const auto& r = log[k];
        std::snprintf(line, sizeof line, "%4zu: %02X %02X %02X %02X %02X %02X %02X\n", k, r[0], r[1], r[2], r[3], r[4],
                      r[5], r[6]);
        text += line;
    }
    return text;
}

class RemoteInputTest : public GameInputTest {
protected:
    void SetUp() override {
        GameInputTest::SetUp();
        // The driver's connection and its read thread run on real time.
        platform::UseVirtualClock(false);
    }

    SimulatedRemote* AddRemote(bool nunchuk = false) {
        SimulatedRemote* sim = platform::AddSimulatedRemote();
        // Nunchuk calibration: accelerometer zero and one g, then the
        // stick's max, min and centre per axis.
        const uint8_t calibration[16] = {0x80, 0x80, 0x80, 0, kNunchukOneG, kNunchukOneG, kNunchukOneG, 0,
                                         0xE0, 0x20, 0x80, 0xE0, 0x20, 0x80, 0, 0};
        sim->SetMemory(0xA40020, calibration, 16);
        sim->SetNunchuk(0x80, 0x80, kRest, kRest, kNunchukOneG, false, false);
        if (nunchuk) sim->PlugExtension(SimExtension::Nunchuk);
        return sim;
    }

    // Frames until the condition holds (real time; the deadline is generous,
    // for a loaded machine under ThreadSanitizer).
    bool PollUntil(const std::function<bool()>& condition, int timeoutMs = 15000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Frame();
            if (condition()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Sends a data report with the buttons and waits for the frame that
    // shows it: a marker button that this report flips tells when the
    // device has taken a snapshot with it.
    void Deliver(SimulatedRemote* sim, int slot, uint16_t buttons, uint16_t markerBit, int markerWord) {
        const int32_t before = Held(slot)[markerWord];
        const uint16_t marker = before ? 0 : markerBit;
        sim->SetButtons(uint16_t(buttons | marker));
        sim->SendDataReport();
        ASSERT_TRUE(PollUntil([&] { return (Held(slot)[markerWord] != 0) == (marker != 0); }));
    }
    // Sideways the marker is B (the extra button); upright it is plus.
    void DeliverSideways(SimulatedRemote* sim, int slot, uint16_t buttons) { Deliver(sim, slot, buttons, kB, kExtra); }
    void DeliverUpright(SimulatedRemote* sim, int slot, uint16_t buttons) { Deliver(sim, slot, buttons, kPlus, kPause); }

    Words HeldWords(int slot) const { return Words(Held(slot), Held(slot) + 8); }
    Words HeldWithout(int slot, int markerWord) const {
        Words w = HeldWords(slot);
        w[size_t(markerWord)] = 0;
        return w;
    }
    Words Actions(int slot) const { return Words(Arrays().actions[slot], Arrays().actions[slot] + 3); }
    Wiimote& Remote(int slot) const { return *manager->devices[slot]->remote; }
};

TEST_F(RemoteInputTest, ARemoteHeldSidewaysTurnsItsPadAQuarter) {
    SimulatedRemote* sim = AddRemote();
    ASSERT_EQ(StartAndEnumerate(), 3);
    EXPECT_EQ(Type(0), input::kWiiRemote);
    EXPECT_EQ(Type(1), input::kKeyboard);
    EXPECT_EQ(Type(2), input::kMouse);
    EXPECT_EQ(sim->Leds(), 1);
    EXPECT_EQ(sim->ReportMode(), 0x31);
    EXPECT_EQ(sim->IrMode(), 0);
    EXPECT_EQ(Remote(0).CallbackMask, InputManager::kRemoteChangeMask);
    EXPECT_EQ(Remote(0).ChangeCallback.load(), &InputManager::OnWiiRemoteChange);

    DeliverSideways(sim, 0, kRightBit | kOne | kTwo | kPlus);
    EXPECT_EQ(HeldWithout(0, kExtra), Words({1, 0, 0, 0, 1, 0, 1, 1}));
    DeliverSideways(sim, 0, kDownBit | kLeft | kUpBit | kA);
    EXPECT_EQ(HeldWithout(0, kExtra), Words({0, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(Blocks(0), "110000");
}

// A tilt past 1.1 g starts its 30-frame timer; no other starts until all
// three are back at 0 (the cat counts them down).
TEST_F(RemoteInputTest, TiltActionsWaitUntilEveryTimerIsBackAtZero) {
    SimulatedRemote* sim = AddRemote();
    StartAndEnumerate();
    sim->SetAccel(kRest, kRest + 28, kRest);  // y 1.077 g: 10 tenths, not above
    DeliverSideways(sim, 0, 0);
    EXPECT_EQ(Actions(0), Words({0, 0, 0}));
    sim->SetAccel(kRest, kRest + 29, kRest);  // y 1.115 g
    DeliverSideways(sim, 0, 0);
    EXPECT_EQ(Actions(0), Words({0, 30, 0}));

    sim->SetAccel(kRest, kRest - 29, kRest - 29);  // y and z below -1.1 g
    DeliverSideways(sim, 0, 0);
    EXPECT_EQ(Actions(0), Words({0, 30, 0}));
    Arrays().actions[0][1] = 1;
    Frame();
    EXPECT_EQ(Actions(0), Words({0, 1, 0}));
    Arrays().actions[0][1] = 0;
    Frame();
    EXPECT_EQ(Actions(0), Words({30, 0, 30}));
}

// Plugging the nunchuk in turns the device upright (type 3, report mode
// 0x37 with the IR camera in basic mode); pulling it out turns it back
// (type 2, 0x31, camera off).
TEST_F(RemoteInputTest, TheNunchukSwitchesTypeAndReportMode) {
    SimulatedRemote* sim = AddRemote();
    StartAndEnumerate();
    DeliverSideways(sim, 0, kB);  // B held while the nunchuk goes in
    ASSERT_EQ(Held(0)[kExtra], 1);

    sim->SetNunchuk(0x80, 0x80, kRest + 25, kRest, kNunchukOneG, false, false);
    sim->PlugExtension(SimExtension::Nunchuk);
    ASSERT_TRUE(PollUntil([&] { return Type(0) == input::kWiiRemoteNunchuk; }));
    ASSERT_TRUE(PollUntil([&] { return sim->ReportMode() == 0x37 && sim->IrMode() == 1; }));
    EXPECT_EQ(Blocks(0), "101000");

    // Stick right and C with B: two sources in one word; the extra button
    // no longer counts.
    sim->SetNunchuk(0xE0, 0x80, kRest + 25, kRest, kNunchukOneG, true, false);
    DeliverUpright(sim, 0, kB);
    EXPECT_EQ(HeldWithout(0, kPause), Words({0, 1, 0, 0, 2, 0, 0, 0}));
    const float* slope = Arrays().slopes[0];
    EXPECT_FLOAT_EQ(slope[0], 25.0f / 51.0f);
    EXPECT_FLOAT_EQ(slope[1], 0.0f);
    EXPECT_FLOAT_EQ(slope[2], 1.0f);
    sim->SetNunchuk(0x80, 0x20, kRest, kRest, kNunchukOneG, false, true);
    DeliverUpright(sim, 0, kUpBit | kLeft | kA);
    EXPECT_EQ(HeldWithout(0, kPause), Words({1, 0, 1, 1, 0, 0, 2, 0}));

    sim->PlugExtension(SimExtension::None);
    ASSERT_TRUE(PollUntil([&] { return Type(0) == input::kWiiRemote; }));
    ASSERT_TRUE(PollUntil([&] { return sim->ReportMode() == 0x31 && sim->IrMode() == 0; }));
    Frame();
    EXPECT_EQ(Blocks(0), "110000");
    EXPECT_EQ(sim->ReportMode(), 0x31);
}

TEST_F(RemoteInputTest, EnumerationOrderWithEveryKindOfDevice) {
    SimulatedRemote* first = AddRemote();
    SimulatedRemote* second = AddRemote(true);
    AtFrame(0, PadAttach(40));
    AtFrame(0, StickAttach(1));
    AtFrame(0, StickAttach(2));
    ASSERT_EQ(StartAndEnumerate(), 7);
    const int types[] = {2, 3, 4, 1, 1, 6, 5};
    const int numbers[] = {0, 1, 0, 0, 1, 0, 0};
    for (int slot = 0; slot < 7; ++slot) {
        EXPECT_EQ(Type(slot), types[slot]) << slot;
        EXPECT_EQ(manager->devices[slot]->number, numbers[slot]) << slot;
    }
    EXPECT_EQ(first->Leds(), 1);
    EXPECT_EQ(second->Leds(), 2);
    for (int i = 0; i < 5; ++i) Frame();
    const char* blocks[] = {"110000", "101000", "100100", "100000", "100000", "100001", "100010"};
    for (int slot = 0; slot < 7; ++slot) EXPECT_EQ(Blocks(slot), blocks[slot]) << slot;
    // A remote found with its nunchuk in reports in mode 0x35 until the
    // nunchuk comes out.
    EXPECT_EQ(first->ReportMode(), 0x31);
    EXPECT_EQ(second->ReportMode(), 0x35);

    manager->Shutdown();
    EXPECT_EQ(first->OpenCount(), 0);
    EXPECT_EQ(second->OpenCount(), 0);
    EXPECT_EQ(first->Leds(), 0);
    EXPECT_EQ(manager->deviceCount, 0);
    for (int slot = 0; slot < input::kSlotCount; ++slot) EXPECT_EQ(Blocks(slot), "000000") << slot;
}

// A remote lost in play keeps its slot and reads as released.
TEST_F(RemoteInputTest, ALostRemoteReadsReleased) {
    SimulatedRemote* sim = AddRemote(true);
    StartAndEnumerate();
    sim->SetNunchuk(0xE0, 0x80, kRest, kRest, kNunchukOneG, true, true);
    DeliverUpright(sim, 0, kA | kB | kUpBit);
    EXPECT_EQ(HeldWithout(0, kPause), Words({1, 1, 0, 0, 2, 0, 2, 0}));

    sim->Unplug();
    ASSERT_TRUE(PollUntil([&] { return !Remote(0).Connected; }));
    Frame();
    EXPECT_EQ(manager->deviceCount, 3);
    EXPECT_EQ(HeldWords(0), Words(8, 0));
    // Without its nunchuk the device reads as held sideways, at rest.
    EXPECT_EQ(Type(0), input::kWiiRemote);
    EXPECT_EQ(Actions(0), Words({0, 0, 0}));
    for (int i = 0; i < 3; ++i) Frame();
    EXPECT_EQ(HeldWords(0), Words(8, 0));
}

// A MotionPlus found later is switched on by the change callback, and its
// arrival selects report mode 0x37.
TEST_F(RemoteInputTest, TheCallbackSwitchesOnAMotionPlus) {
    SimulatedRemote* sim = AddRemote();
    StartAndEnumerate();
    sim->SetMotionPlusAttached(true);
    EXPECT_TRUE(PollUntil([&] { return sim->MotionPlusActive() && sim->ReportMode() == 0x37 && sim->IrMode() == 1; }));
}

// Reports, nunchuk changes and the callback's mode changes on the read
// thread while the main thread polls and changes modes too. Afterwards the
// device and the remote agree on the nunchuk.
TEST_F(RemoteInputTest, ReportsArriveWhilePolling) {
    SimulatedRemote* sim = AddRemote();
    StartAndEnumerate();
    sim->TakeOutputLog();
    std::atomic<bool> done{false};
    std::thread sender([&] {
        // A count of reports, not a span of time: a slow machine sends them
        // all too, with every extension change among them.
        std::mt19937 random(7);
        for (int reports = 0; reports < 760;) {
            sim->SetButtons(uint16_t(random() & 0x9F1F));
            sim->SetAccel(uint8_t(random()), uint8_t(random()), uint8_t(random()));
            sim->SetNunchuk(uint8_t(random()), uint8_t(random()), uint8_t(random()), uint8_t(random()),
                            uint8_t(random()), random() & 1, random() & 1);
            sim->SendDataReport();
            if (++reports % 40 == 0)
                sim->PlugExtension((reports / 40) % 2 ? SimExtension::Nunchuk : SimExtension::None);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        sim->PlugExtension(SimExtension::Nunchuk);
        done = true;
    });
    int frames = 0;
    for (; !done; ++frames) Frame();
    sender.join();
    EXPECT_GT(frames, 10);
    EXPECT_TRUE(PollUntil([&] {
        return Type(0) == input::kWiiRemoteNunchuk && sim->ReportMode() == 0x37 && sim->IrMode() == 1;
    }));
    EXPECT_EQ(manager->deviceCount, 3);
    // The frames above may end while the read thread has just begun another
    // mode change (the nunchuk's calibration reply selects the mode again,
    // then the change callback does): the remote already shows mode 0x37
    // with the camera on, but the run is still being written. Every mode
    // change is written under the remote's state lock, so holding it here
    // waits for a run in progress and keeps the next from starting.
    std::vector<SimulatedRemote::Report> log;
    {
        std::lock_guard lock(Remote(0).StateLock);
        log = sim->TakeOutputLog();
    }
    EXPECT_GT(std::count_if(log.begin(), log.end(), [](const auto& r) { return r[0] == 0x12; }), 10);
    EXPECT_EQ(CheckModeChanges(log), "") << LogTail(log);
}

}  // namespace
