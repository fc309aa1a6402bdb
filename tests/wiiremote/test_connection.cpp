// Discovery and connection against simulated remotes: numbering, skipping
// remotes that do not answer or do not open, the fall-back to the
// output-report path, and what goes out on disconnect.
#include "wiimote_fixture.h"

using namespace wiitest;

using Connection = WiimoteTest;

TEST_F(Connection, ConnectsTheFirstRemoteAndReadsItsCalibration) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    EXPECT_TRUE(w.Connected);
    EXPECT_FALSE(w.UseHidWrites);
    EXPECT_TRUE(Traced("Connecting Wiimote 1:"));
    EXPECT_TRUE(Traced(".. opening:"));
    EXPECT_TRUE(Traced(".. WriteFile() succeeded."));
    EXPECT_TRUE(Traced(".. connected!"));
    EXPECT_TRUE(WaitFor([&] { return Traced(".. got wiimote calibration."); }));
    EXPECT_EQ(sim->Leds(), 0);
    EXPECT_EQ(sim->ReportMode(), 0x30);
    std::lock_guard lock(w.StateLock);
    EXPECT_EQ(w.Live.AccelCal.ZeroX, 0x80);
    EXPECT_EQ(w.Live.AccelCal.OneGZ, 0x9A);
}

TEST_F(Connection, SecondRemoteOfOneIsCountedNotOpened) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    Wiimote w;
    EXPECT_FALSE(w.Connect(2));
    EXPECT_TRUE(Traced(".. connection failed."));
    EXPECT_FALSE(Traced(".. opening:"));
    EXPECT_TRUE(sim->TakeOutputLog().empty());
    EXPECT_EQ(sim->OpenCount(), 0);
}

TEST_F(Connection, OnlyMatchingDevicesCount) {
    platform::SimulatedRemote* other = platform::AddSimulatedRemote(0x057E, 0x0330);
    platform::AddSimulatedRemote(0x1234, 0x0306);
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    EXPECT_EQ(sim->OpenCount(), 1);
    EXPECT_EQ(other->OpenCount(), 0);
    EXPECT_TRUE(other->TakeOutputLog().empty());
}

TEST_F(Connection, FirstAvailableSkipsSilentAndUnopenableRemotes) {
    platform::SimulatedRemote* locked = platform::AddSimulatedRemote();
    platform::SimFaults closed;
    closed.failOpen = true;
    locked->SetFaults(closed);
    platform::SimulatedRemote* silent = platform::AddSimulatedRemote();
    platform::SimFaults mute;
    mute.silentWrites = true;
    mute.silentOutputReports = true;
    silent->SetFaults(mute);
    platform::SimulatedRemote* good = platform::AddSimulatedRemote();

    Wiimote w;
    ASSERT_TRUE(w.Connect(-1));
    EXPECT_TRUE(Traced("Connecting first available Wiimote:"));
    EXPECT_TRUE(Traced(".. opening Wiimote 1:"));
    EXPECT_TRUE(Traced(".... failed with err d"));
    EXPECT_TRUE(Traced(".. opening Wiimote 2:"));
    EXPECT_TRUE(Traced(".. WriteFile() failed."));
    EXPECT_TRUE(Traced(".. HID write failed."));
    EXPECT_TRUE(Traced("* output failed - wiimote is not connected (or confused). *"));
    EXPECT_TRUE(Traced(".. opening Wiimote 3:"));
    EXPECT_EQ(silent->OpenCount(), 0);
    EXPECT_EQ(good->OpenCount(), 1);
    EXPECT_FALSE(w.UseHidWrites);
}

TEST_F(Connection, FallsBackToOutputReports) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    platform::SimFaults faults;
    faults.silentWrites = true;
    sim->SetFaults(faults);
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    EXPECT_TRUE(w.UseHidWrites);
    EXPECT_TRUE(Traced(".. WriteFile() failed."));
    EXPECT_TRUE(Traced(".. HID write succeeded."));
    EXPECT_TRUE(Traced("(starting HID write thread)"));
    w.SetLedBits(0x6);
    EXPECT_TRUE(WaitFor([&] { return sim->Leds() == 0x6; }));
}

TEST_F(Connection, BusyOutputReportsAreRetried) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    platform::SimFaults faults;
    faults.silentWrites = true;
    faults.outputReportStatus = platform::HidStatus::Busy;
    faults.outputReportStatusCount = 20;
    sim->SetFaults(faults);
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    w.SetLedBits(0x9);
    EXPECT_TRUE(WaitFor([&] { return sim->Leds() == 0x9; }));
}

TEST_F(Connection, StackWithoutOutputReportsFailsCleanly) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    platform::SimFaults faults;
    faults.silentWrites = true;
    sim->SetFaults(faults);
    platform::SetSimOutputReportAvailable(false);
    Wiimote w;
    EXPECT_FALSE(w.Connect(1));
    EXPECT_TRUE(Traced("* BT Stack doesn't suport HID writes! *"));
    EXPECT_TRUE(Traced(".. connection failed."));
    EXPECT_EQ(sim->OpenCount(), 0);
}

TEST_F(Connection, NoDevicesNoTraceOnIdleDisconnect) {
    Wiimote w;
    EXPECT_FALSE(w.Connect(1));
    EXPECT_TRUE(Traced(".. connection failed."));
    size_t before = Traces().size();
    w.Disconnect();
    EXPECT_EQ(Traces().size(), before);
}

TEST_F(Connection, DisconnectResetsTheRemoteAndReconnects) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    Wiimote w;
    {
        std::lock_guard lock(w.StateLock);
        w.State.NunchukStick.DeadZoneX = 0.2f;
    }
    ASSERT_TRUE(w.Connect(1));
    w.SetLedBits(0xF);
    w.SelectReportMode(0x37);
    sim->TakeOutputLog();
    w.Disconnect();
    EXPECT_FALSE(w.Connected);
    EXPECT_EQ(sim->OpenCount(), 0);
    EXPECT_EQ(sim->Leds(), 0);
    EXPECT_EQ(sim->ReportMode(), 0x30);
    EXPECT_EQ(sim->IrMode(), 0);
    EXPECT_TRUE(Traced("Disconnect()."));
    EXPECT_TRUE(Traced("Resetting wiimote."));
    EXPECT_EQ(w.State.NunchukStick.DeadZoneX, 0.2f);

    ASSERT_TRUE(w.Connect(1));
    EXPECT_EQ(sim->OpenCount(), 1);
    EXPECT_EQ(w.State.NunchukStick.DeadZoneX, 0.2f);
}

TEST_F(Connection, ReconnectWithOutputReportsStartsAFreshWriter) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    platform::SimFaults faults;
    faults.silentWrites = true;
    sim->SetFaults(faults);
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    w.Disconnect();
    EXPECT_TRUE(Traced("ending HID write thread"));
    ASSERT_TRUE(w.Connect(1));
    EXPECT_TRUE(w.UseHidWrites);
    w.SetLedBits(0x5);
    EXPECT_TRUE(WaitFor([&] { return sim->Leds() == 0x5; }));
}

TEST_F(Connection, NoResetAfterConnectionLoss) {
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    Wiimote w;
    ASSERT_TRUE(w.Connect(1));
    sim->TakeOutputLog();
    ClearTraces();
    sim->Unplug();
    ASSERT_TRUE(WaitFor([&] { return !w.Connected && sim->OpenCount() == 0; }));
    EXPECT_TRUE(Traced("read thread: connection to wiimote was lost"));
    EXPECT_FALSE(Traced("Resetting wiimote."));
    EXPECT_TRUE(sim->TakeOutputLog().empty());
}
