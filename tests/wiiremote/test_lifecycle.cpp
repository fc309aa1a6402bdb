// Threads and life cycle (run under ThreadSanitizer too): connection loss
// from either write path or the read side, disconnecting while the callback
// re-enters the driver or from inside it, reconnecting, destruction while
// busy, and a long stream of reports.
#include <atomic>

#include "wiimote_fixture.h"

using namespace wiitest;
namespace C = WiimoteChange;

namespace {

struct Calls {
    std::atomic<int> lost{0};
    std::atomic<int> buttons{0};
    std::atomic<int> total{0};
    std::atomic<uint16_t> disconnectOn{0};
};
Calls* calls = nullptr;

void Count(Wiimote&, uint32_t changed) {
    ++calls->total;
    if (changed & C::ConnectionLost) ++calls->lost;
    if (changed & C::ButtonsChanged) ++calls->buttons;
}

// Like the game's callback: answers changes by sending to the same remote.
void Reenter(Wiimote& remote, uint32_t changed) {
    Count(remote, changed);
    if (changed & C::ButtonsChanged) {
        remote.SelectReportMode(remote.State.Buttons & 1 ? 0x37 : 0x31);
        remote.SetLedBits(uint8_t(remote.State.Buttons));
    }
    if (changed & C::MotionPlusDetected) remote.EnableMotionPlus();
    if (calls->disconnectOn && remote.State.Buttons == calls->disconnectOn) remote.Disconnect();
}

class Lifecycle : public ConnectedTest {
protected:
    void SetUp() override {
        calls = &counts;
        ConnectedTest::SetUp();
    }
    void TearDown() override {
        ConnectedTest::TearDown();
        calls = nullptr;
    }
    void InjectButtons(uint16_t buttons) {
        const uint8_t r[22] = {0x30, uint8_t(buttons), uint8_t(buttons >> 8)};
        sim->InjectReport(r, 22);
    }
    Calls counts;
};

TEST_F(Lifecycle, LossGivesOneCallback) {
    remote->ChangeCallback = Count;
    InjectButtons(0x0010);
    ASSERT_TRUE(WaitFor([&] { return counts.buttons == 1; }));
    sim->Unplug();
    ASSERT_TRUE(WaitFor([&] { return counts.lost == 1 && !remote->Connected; }));
    EXPECT_TRUE(WaitFor([&] { return Traced("(ending read thread)"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(counts.lost, 1);
    EXPECT_EQ(remote->TakeStateSnapshot(), C::ConnectionLost);
    EXPECT_EQ(Public(*remote).Buttons, 0);
    EXPECT_EQ(sim->OpenCount(), 0);
    // Disconnecting after the loss does nothing more.
    remote->Disconnect();
    EXPECT_EQ(counts.lost, 1);
}

TEST_F(Lifecycle, FailedPlainWriteMeansLoss) {
    remote->ChangeCallback = Count;
    platform::SimFaults faults;
    faults.failWrites = true;
    sim->SetFaults(faults);
    // The read thread's once-a-second status request finds out.
    ASSERT_TRUE(WaitFor([&] { return counts.lost == 1; }));
    EXPECT_TRUE(Traced("WriteFile failed, err: 5!"));
    EXPECT_FALSE(remote->Connected);
    EXPECT_EQ(sim->OpenCount(), 0);
}

TEST_F(Lifecycle, FailedOutputReportMeansLoss) {
    remote.reset();
    platform::SimFaults faults;
    faults.silentWrites = true;
    sim->SetFaults(faults);
    remote = std::make_unique<Wiimote>();
    ASSERT_TRUE(remote->Connect(1));
    ASSERT_TRUE(remote->UseHidWrites);
    remote->ChangeCallback = Count;
    faults.outputReportStatus = platform::HidStatus::Failed;
    faults.outputReportStatusCount = -1;
    sim->SetFaults(faults);
    ASSERT_TRUE(WaitFor([&] { return counts.lost == 1; }));
    EXPECT_TRUE(WaitFor([&] { return Traced("ending HID write thread"); }));
    EXPECT_EQ(sim->OpenCount(), 0);
}

TEST_F(Lifecycle, EmptyReadsDoNotDeafenTheRemote) {
    platform::SimFaults faults;
    faults.emptyReads = 5;
    sim->SetFaults(faults);
    const uint8_t empty[1] = {};
    sim->InjectReport(empty, 0);
    InjectButtons(0x0800);
    EXPECT_TRUE(WaitFor([&] { return Live(*remote).Buttons == 0x0800; }));
    EXPECT_TRUE(remote->Connected);
}

TEST_F(Lifecycle, DisconnectWhileTheCallbackReenters) {
    remote->ChangeCallback = Reenter;
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        for (uint16_t i = 1; feeding; ++i) {
            InjectButtons(i);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(WaitFor([&] { return counts.buttons > 5; }));
    remote->Disconnect();
    feeding = false;
    feeder.join();
    EXPECT_FALSE(remote->Connected);
    EXPECT_EQ(sim->OpenCount(), 0);
    EXPECT_EQ(counts.lost, 0);
    // And the object connects again.
    ASSERT_TRUE(remote->Connect(1));
    InjectButtons(0x1000);
    EXPECT_TRUE(WaitFor([&] { return Live(*remote).Buttons == 0x1000; }));
}

TEST_F(Lifecycle, DisconnectFromInsideTheCallback) {
    remote->StartTimedRumble();  // a rumble thread to stop as well
    counts.disconnectOn = 0x0004;
    remote->ChangeCallback = Reenter;
    InjectButtons(0x0002);
    InjectButtons(0x0004);
    ASSERT_TRUE(WaitFor([&] { return !remote->Connected && sim->OpenCount() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return Traced("(ending read thread)"); }));
    ASSERT_TRUE(remote->Connect(1));
    EXPECT_TRUE(remote->Connected);
}

TEST_F(Lifecycle, ReconnectAfterLoss) {
    platform::SimFaults faults;
    faults.failReads = true;
    sim->SetFaults(faults);
    ASSERT_TRUE(WaitFor([&] { return !remote->Connected && sim->OpenCount() == 0; }));
    sim->SetFaults({});
    ASSERT_TRUE(remote->Connect(1));
    remote->SetLedBits(0x3);
    EXPECT_EQ(sim->Leds(), 0x3);
    InjectButtons(0x0200);
    EXPECT_TRUE(WaitFor([&] { return Live(*remote).Buttons == 0x0200; }));
}

TEST_F(Lifecycle, CallbackEnablesMotionPlusFromTheReadThread) {
    remote->ChangeCallback = Reenter;
    sim->PlugExtension(platform::SimExtension::MotionPlus);
    EXPECT_TRUE(WaitFor([&] { return remote->MotionPlusEnabled.load(); }));
    EXPECT_TRUE(sim->MotionPlusActive());
}

TEST_F(Lifecycle, DestroyedWhileBusy) {
    remote->ChangeCallback = Reenter;
    remote->StartTimedRumble();
    for (uint16_t i = 1; i < 50; ++i) InjectButtons(i);
    remote.reset();
    EXPECT_EQ(sim->OpenCount(), 0);
}

TEST_F(Lifecycle, TenThousandReportSoak) {
    remote->ChangeCallback = Count;
    remote->CallbackMask = C::ButtonsChanged;
    std::atomic<bool> reading{true};
    uint32_t seen = 0;
    std::thread owner([&] {
        while (reading) {
            seen |= remote->TakeStateSnapshot();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const int kReports = 10000;
    for (int i = 0; i < kReports; ++i) {
        const uint8_t r[22] = {0x31, uint8_t(i & 1 ? 0x01 : 0x02), 0, uint8_t(0x80 + (i % 7)), 0x80, 0x9A};
        sim->InjectReport(r, 22);
    }
    EXPECT_TRUE(WaitFor([&] { return counts.buttons == kReports; }, 60000));
    reading = false;
    owner.join();
    seen |= remote->TakeStateSnapshot();
    EXPECT_EQ(counts.total, kReports);
    EXPECT_EQ(seen & (C::ButtonsChanged | C::AccelChanged | C::OrientationChanged),
              C::ButtonsChanged | C::AccelChanged | C::OrientationChanged);
    EXPECT_TRUE(remote->Connected);
}

}  // namespace
