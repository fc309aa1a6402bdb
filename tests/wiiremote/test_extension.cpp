// The extension state machine: read replies (errors, identification,
// calibration), and the set-up, MotionPlus and balance-board sequences
// against a simulated remote.
#include "wiimote_fixture.h"

using namespace wiitest;
namespace C = WiimoteChange;

namespace {

class Replies : public WiimoteTest {
protected:
    Wiimote w;
    uint32_t Reply(const Bytes& r) {
        {
            std::lock_guard lock(w.StateLock);
            w.PendingChanges = 0;
        }
        Feed(w, r);
        std::lock_guard lock(w.StateLock);
        return w.PendingChanges;
    }
    WiimoteExtension Type() {
        std::lock_guard lock(w.StateLock);
        return w.Live.ExtensionType;
    }
};

const std::vector<uint8_t> kNunchukId = {0x00, 0x00, 0xA4, 0x20, 0x00, 0x00, 0, 0};
const std::vector<uint8_t> kProbeAnswer = {0x00, 0x00, 0xA6, 0x20, 0x00, 0x05, 0, 0};

TEST_F(Replies, ErrorRepliesOnlyTrace) {
    EXPECT_EQ(Reply(ReadReply(0x0016, {1, 2, 3}, 0x08)), 0u);
    EXPECT_TRUE(Traced("* error: read address not valid. *"));
    EXPECT_EQ(Reply(ReadReply(0x00FA, {}, 0x07)), 0u);
    EXPECT_TRUE(Traced("* error: attempt to read from write-only register 0xFA. *"));
    EXPECT_EQ(Live(w).AccelCal.ZeroX, 0);
}

TEST_F(Replies, ProbeAnswersAndFailedProbes) {
    w.MotionPlusProbePending = true;
    EXPECT_EQ(Reply(ReadReply(0x00FA, kProbeAnswer)), C::MotionPlusDetected);
    EXPECT_TRUE(w.MotionPlusDetected);
    EXPECT_FALSE(w.MotionPlusProbePending);
    w.MotionPlusProbePending = true;
    std::vector<uint8_t> second = kProbeAnswer;
    second[4] = 0x04;
    EXPECT_EQ(Reply(ReadReply(0x00FA, second)), 0u);
    EXPECT_EQ(TraceCount("Motion Plus detected!"), 1);

    // An error while a probe is pending forgets the MotionPlus.
    w.MotionPlusProbePending = true;
    w.MotionPlusEnabled = true;
    EXPECT_EQ(Reply(ReadReply(0x00FA, {}, 0x07)), 0u);
    EXPECT_FALSE(w.MotionPlusDetected);
    EXPECT_FALSE(w.MotionPlusEnabled);
    EXPECT_TRUE(Traced(".. MotionPlus removed."));
    EXPECT_FALSE(Traced("* error: attempt to read from write-only register 0xFA. *"));
}

TEST_F(Replies, IdentificationRows) {
    struct Row {
        std::vector<uint8_t> id;
        WiimoteExtension type;
        const char* trace;
    } rows[] = {
        {{0x00, 0x00, 0xA4, 0x20, 0x00, 0x00, 0, 0}, ExtensionNunchuk, ".. Nunchuk!"},
        {{0x01, 0x01, 0xA4, 0x20, 0x00, 0x00, 0, 0}, ExtensionClassicController, ".. Classic Controller!"},
        {{0x01, 0x03, 0xA4, 0x20, 0x00, 0x00, 0, 0}, ExtensionGuitarController, ".. GH3/GHWT Guitar Controller!"},
        {{0x01, 0x03, 0xA4, 0x20, 0x01, 0x00, 0, 0}, ExtensionDrums, ".. GHWT Drums!"},
        {{0x00, 0x00, 0xA4, 0x20, 0x04, 0x02, 0, 0}, ExtensionBalanceBoard, ".. Balance Board!"},
        {{0x00, 0x00, 0xA4, 0x20, 0x04, 0x05, 0, 0}, ExtensionMotionPlus, ".. Motion Plus!"},
    };
    for (const Row& row : rows) {
        ClearTraces();
        EXPECT_EQ(Reply(ReadReply(0x00FA, row.id)), 0u);
        EXPECT_EQ(Type(), row.type);
        EXPECT_TRUE(Traced(row.trace)) << row.trace;
        EXPECT_EQ(w.MotionPlusEnabled.load(), row.type == ExtensionMotionPlus);
        // The same identification again: no trace.
        ClearTraces();
        Reply(ReadReply(0x00FA, row.id));
        EXPECT_TRUE(Traces().empty()) << row.trace;
    }
    EXPECT_TRUE(w.MotionPlusDetected);
}

TEST_F(Replies, UnknownAndPartialIdentification) {
    std::vector<uint8_t> odd = kNunchukId;
    odd[6] = 1;  // trailing bytes must be zero
    EXPECT_EQ(Reply(ReadReply(0x00FA, odd)), 0u);
    EXPECT_TRUE(Traced("unknown extension controller found (0x20a40000)"));
    EXPECT_EQ(Type(), ExtensionNone);

    Edit(w, [](WiimoteState& s) { s.ExtensionConnected = true; });
    EXPECT_EQ(Reply(ReadReply(0x00FA, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0})), C::ExtensionPartiallyInserted);
    EXPECT_EQ(Type(), ExtensionPartiallyInserted);
    EXPECT_FALSE(Live(w).ExtensionConnected);
    EXPECT_TRUE(Traced(".. partially inserted!"));
}

TEST_F(Replies, CalibrationBlocks) {
    EXPECT_EQ(Reply(ReadReply(0x0016, {0x81, 0x82, 0x83, 0x00, 0x9B, 0x9C, 0x9D})), 0u);
    WiimoteState s = Live(w);
    EXPECT_EQ(s.AccelCal.ZeroY, 0x82);
    EXPECT_EQ(s.AccelCal.OneGZ, 0x9D);
    EXPECT_TRUE(Traced(".. got wiimote calibration."));

    // No extension type yet: a calibration reply changes nothing.
    const std::vector<uint8_t> nunchuk = {0x80, 0x81, 0x82, 0, 0xB0, 0xB1, 0xB2, 0, 0xE0, 0x20, 0x80, 0xE1, 0x21, 0x81, 0, 0};
    EXPECT_EQ(Reply(ReadReply(0x0020, nunchuk)), 0u);
    EXPECT_EQ(Live(w).NunchukAccelCal.ZeroX, 0);

    Reply(ReadReply(0x00FA, kNunchukId));
    EXPECT_EQ(Reply(ReadReply(0x0020, nunchuk)), C::NunchukConnected);
    s = Live(w);
    EXPECT_EQ(s.NunchukAccelCal.ZeroZ, 0x82);
    EXPECT_EQ(s.NunchukAccelCal.OneGX, 0xB0);
    const uint8_t stick[6] = {0x20, 0x80, 0xE0, 0x21, 0x81, 0xE1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.NunchukStickCal[i], stick[i]) << i;
}

TEST_F(Replies, ClassicFamilyCalibration) {
    const std::vector<uint8_t> cal = {0xFC, 0x04, 0x80, 0xF8, 0x08, 0x84, 0xF8, 0x08, 0x80, 0xF0, 0x10, 0x88, 0, 0, 0, 0};
    for (auto id : {std::vector<uint8_t>{0x01, 0x01, 0xA4, 0x20, 0x00, 0x00, 0, 0},
                    std::vector<uint8_t>{0x01, 0x03, 0xA4, 0x20, 0x00, 0x00, 0, 0},
                    std::vector<uint8_t>{0x01, 0x03, 0xA4, 0x20, 0x01, 0x00, 0, 0}}) {
        Reply(ReadReply(0x00FA, id));
        EXPECT_EQ(Reply(ReadReply(0x0020, cal)), C::ClassicConnected);
        WiimoteState s = Live(w);
        const uint8_t sticks[12] = {0x01, 0x20, 0x3F, 0x02, 0x21, 0x3E, 0x01, 0x10, 0x1F, 0x02, 0x11, 0x1E};
        for (int i = 0; i < 12; ++i) EXPECT_EQ(s.ClassicStickCal[i], sticks[i]) << i;
        EXPECT_EQ(s.ClassicTriggerCal[1], 31);
        EXPECT_EQ(s.ClassicTriggerCal[3], 31);
    }
}

TEST_F(Replies, BalanceBoardCalibrationSpansTwoReplies) {
    Reply(ReadReply(0x00FA, {0x00, 0x00, 0xA4, 0x20, 0x04, 0x02, 0, 0}));
    std::vector<uint8_t> block(24);
    for (int i = 0; i < 12; ++i) {
        block[size_t(2 * i)] = uint8_t(i);
        block[size_t(2 * i + 1)] = uint8_t(0x10 + i);
    }
    EXPECT_EQ(Reply(ReadReply(0x0024, {block.begin(), block.begin() + 16})), 0u);
    EXPECT_EQ(Live(w).BoardCal[0][0], 0);
    EXPECT_EQ(Reply(ReadReply(0x0034, {block.begin() + 16, block.end()})), C::BalanceBoardConnected);
    WiimoteState s = Live(w);
    for (int point = 0; point < 3; ++point) {
        int w0 = 4 * point;
        EXPECT_EQ(s.BoardCal[point][0], (w0 << 8) | (0x10 + w0));
        EXPECT_EQ(s.BoardCal[point][1], ((w0 + 2) << 8) | (0x10 + w0 + 2));
        EXPECT_EQ(s.BoardCal[point][2], ((w0 + 1) << 8) | (0x10 + w0 + 1));
        EXPECT_EQ(s.BoardCal[point][3], ((w0 + 3) << 8) | (0x10 + w0 + 3));
    }
    // A stray second half without a first one is ignored.
    EXPECT_EQ(Reply(ReadReply(0x0034, {block.begin() + 16, block.end()})), 0u);
}

TEST_F(Replies, MotionPlusCalibrationReply) {
    Reply(ReadReply(0x00FA, {0x00, 0x00, 0xA4, 0x20, 0x04, 0x05, 0, 0}));
    EXPECT_EQ(Reply(ReadReply(0x0020, std::vector<uint8_t>(16, 0x33))), C::MotionPlusConnected);
}

// Against a simulated remote.
using Extensions = ConnectedTest;

uint32_t WaitForBits(Wiimote& w, uint32_t bits, uint32_t* all = nullptr) {
    uint32_t seen = 0;
    WaitFor([&] {
        seen |= w.TakeStateSnapshot();
        return (seen & bits) == bits;
    });
    if (all) *all = seen;
    return seen & bits;
}

TEST_F(Extensions, NunchukSetUpAndRoundTrip) {
    const uint8_t cal[16] = {0x80, 0x80, 0x80, 0, 0xB3, 0xB3, 0xB3, 0, 0xE0, 0x20, 0x80, 0xE0, 0x20, 0x80};
    sim->SetMemory(0xA40020, cal, 16);
    sim->PlugExtension(platform::SimExtension::Nunchuk);
    ASSERT_EQ(WaitForBits(*remote, C::NunchukConnected), C::NunchukConnected);
    EXPECT_TRUE(Traced("Extension connected:"));
    EXPECT_EQ(remote->CurrentExtension(), ExtensionNunchuk);
    auto out = Outputs();
    std::vector<std::string> hex;
    for (const Bytes& r : out) hex.push_back(Hex(r, 7));
    EXPECT_EQ(hex, (std::vector<std::string>{
        "16 04 A4 00 F0 01 55", "16 04 A4 00 FB 01 00", "17 04 A4 00 FA 00 06", "17 04 A4 00 20 00 10",
        "13 00 00 00 00 00 00", "1A 00 00 00 00 00 00", "12 00 30 00 00 00 00",
    }));

    for (uint32_t mode : {0x32u, 0x35u, 0x37u}) {
        remote->SelectReportMode(mode);
        sim->SetNunchuk(0x20, 0xE0, 0x80, 0x80, 0xB3, true, true);
        sim->SendDataReport();
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(remote->StateLock);
            return remote->Live.NunchukZ;
        }));
        WiimoteState s = Live(*remote);
        EXPECT_TRUE(s.NunchukC);
        EXPECT_EQ(s.NunchukStick.X, -1.0f);
        EXPECT_EQ(s.NunchukStick.Y, 1.0f);
        EXPECT_EQ(s.NunchukAccel.Z, 1.0f);
        sim->SetNunchuk(0x80, 0x80, 0x80, 0x80, 0x80, false, false);
        sim->SendDataReport();
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard lock(remote->StateLock);
            return !remote->Live.NunchukZ;
        }));
    }

    sim->PlugExtension(platform::SimExtension::None);
    EXPECT_EQ(WaitForBits(*remote, C::ExtensionDisconnected), C::ExtensionDisconnected);
    EXPECT_EQ(remote->CurrentExtension(), ExtensionNone);
    EXPECT_TRUE(Traced("Extension disconnected."));
    EXPECT_TRUE(WaitFor([&] { return sim->ReportMode() == 0x37 && sim->IrMode() == 1; }));
}

TEST_F(Extensions, DataReportsRoundTripInEveryMode) {
    sim->SetButtons(0x0A05);
    sim->SetAccel(0x8D, 0x80, 0x9A);
    sim->SetIrDot(0, {true, 0x2AB, 0x1CD, 5});
    sim->SetIrDot(3, {true, 0x301, 0x2FF, 2});
    for (uint32_t mode : {0x30u, 0x31u, 0x33u, 0x37u}) {
        remote->SelectReportMode(mode);
        {
            std::lock_guard lock(remote->StateLock);
            remote->Live.Buttons = 0;
            remote->Live.Accel.RawX = 0;
            for (IrDot& d : remote->Live.IrDots) d = IrDot{};
        }
        sim->SendDataReport();
        ASSERT_TRUE(WaitFor([&] { return Live(*remote).Buttons == 0x0A05; })) << mode;
        WiimoteState s = Live(*remote);
        if (mode == 0x30) continue;
        EXPECT_EQ(s.Accel.RawX, 0x8D);
        EXPECT_FLOAT_EQ(s.Accel.X, 0.5f);
        if (mode == 0x31) continue;
        EXPECT_TRUE(s.IrDots[0].Visible) << mode;
        EXPECT_EQ(s.IrDots[0].RawX, 0x2ABu);
        EXPECT_EQ(s.IrDots[0].RawY, 0x1CDu);
        EXPECT_EQ(s.IrDots[0].Size, mode == 0x33 ? 5 : 0);
        EXPECT_FALSE(s.IrDots[1].Visible);
        EXPECT_FALSE(s.IrDots[2].Visible);
        EXPECT_EQ(s.IrDots[3].RawX, 0x301u);
        EXPECT_EQ(s.IrDots[3].RawY, 0x2FFu);
    }
}

TEST_F(Extensions, ClassicControllerRoundTrip) {
    const uint8_t cal[16] = {0xFC, 0x04, 0x80, 0xFC, 0x04, 0x80, 0xF8, 0x08, 0x80, 0xF8, 0x08, 0x80};
    sim->SetMemory(0xA40020, cal, 16);
    sim->PlugExtension(platform::SimExtension::ClassicController);
    ASSERT_EQ(WaitForBits(*remote, C::ClassicConnected), C::ClassicConnected);
    remote->SelectReportMode(0x35);
    const uint8_t bytes[6] = {0xE0, 0x50, 0xB5, 0xA7, 0xFE, 0xFF};
    sim->SetExtensionBytes(bytes, 6);
    sim->SendDataReport();
    ASSERT_TRUE(WaitFor([&] { return Live(*remote).ClassicButtons == 0x0001; }));
    WiimoteState s = Live(*remote);
    EXPECT_EQ(s.ClassicLeftStick.RawX, 32.0f);
    EXPECT_FLOAT_EQ(s.ClassicLeftStick.X, 0.0f);
    EXPECT_EQ(s.ClassicRightStick.RawX, 27.0f);
    EXPECT_EQ(s.LeftTriggerRaw, 13);
}

TEST_F(Extensions, BalanceBoardSetUp) {
    uint8_t cal[24];
    const int16_t points[3] = {1000, 2000, 3000};
    for (int point = 0; point < 3; ++point)
        for (int word = 0; word < 4; ++word) {
            cal[8 * point + 2 * word] = uint8_t(points[point] >> 8);
            cal[8 * point + 2 * word + 1] = uint8_t(points[point]);
        }
    sim->SetMemory(0xA40024, cal, 24);
    sim->PlugExtension(platform::SimExtension::BalanceBoard);
    ASSERT_EQ(WaitForBits(*remote, C::BalanceBoardConnected), C::BalanceBoardConnected);
    EXPECT_TRUE(remote->IsBalanceBoardConnected());
    EXPECT_TRUE(WaitFor([&] { return sim->ReportMode() == 0x32; }));
    remote->CaptureBoardRestOffsets = false;
    sim->SetBoard(1500, 2000, 2500, 3000);
    sim->SendDataReport();
    ASSERT_TRUE(WaitFor([&] { return Live(*remote).BoardRaw[0] == 1500; }));
    WiimoteState s = Live(*remote);
    EXPECT_FLOAT_EQ(s.BoardKg[0], 102.0f);  // r2
    EXPECT_FLOAT_EQ(s.BoardKg[1], 34.0f);   // r0
    EXPECT_FLOAT_EQ(s.BoardKg[2], 136.0f);  // r3
    EXPECT_FLOAT_EQ(s.BoardKg[3], 68.0f);   // r1
    remote->SelectReportMode(0x31);
    EXPECT_EQ(sim->ReportMode(), 0x32);
}

TEST_F(Extensions, MotionPlusProbeEnableAndDisable) {
    sim->PlugExtension(platform::SimExtension::MotionPlus);
    // The periodic status request probes for it.
    ASSERT_EQ(WaitForBits(*remote, C::MotionPlusDetected), C::MotionPlusDetected);
    EXPECT_TRUE(remote->MotionPlusDetected);
    EXPECT_FALSE(remote->MotionPlusEnabled);

    remote->EnableMotionPlus();
    EXPECT_TRUE(Traced("Enabling Motion Plus:"));
    ASSERT_EQ(WaitForBits(*remote, C::MotionPlusConnected), C::MotionPlusConnected);
    EXPECT_TRUE(sim->MotionPlusActive());
    EXPECT_TRUE(remote->MotionPlusEnabled);
    EXPECT_EQ(remote->CurrentExtension(), ExtensionMotionPlus);
    EXPECT_TRUE(Traced(".. Motion Plus!"));

    remote->DisableMotionPlus();
    EXPECT_TRUE(Traced("Disabling Motion Plus:"));
    EXPECT_EQ(remote->CurrentExtension(), ExtensionNone);
}

TEST_F(Extensions, RemovedMotionPlusIsForgotten) {
    sim->PlugExtension(platform::SimExtension::MotionPlus);
    ASSERT_EQ(WaitForBits(*remote, C::MotionPlusDetected), C::MotionPlusDetected);
    sim->SetMotionPlusAttached(false);
    EXPECT_TRUE(WaitFor([&] { return !remote->MotionPlusDetected; }));
    EXPECT_TRUE(Traced(".. MotionPlus removed."));
}

TEST_F(Extensions, PartiallyInsertedAsksForStatusAtOnce) {
    sim->PlugExtension(platform::SimExtension::PartiallyInserted);
    ASSERT_EQ(WaitForBits(*remote, C::ExtensionPartiallyInserted), C::ExtensionPartiallyInserted);
    EXPECT_TRUE(WaitFor([&] { return TraceCount(".. partially inserted!") >= 2; }));
    // Each identification read is followed at once by a status request. The
    // trace line comes before that request goes out, so gather the output
    // until two identifications have something after them.
    std::vector<platform::SimulatedRemote::Report> log;
    int identifications = 0, followedByStatus = 0;
    auto count = [&] {
        for (auto& r : sim->TakeOutputLog()) log.push_back(std::move(r));
        identifications = followedByStatus = 0;
        for (size_t i = 0; i + 1 < log.size(); ++i) {
            if (log[i][0] == 0x17 && log[i][2] == 0xA4 && log[i][4] == 0xFA) {
                ++identifications;
                if (log[i + 1][0] == 0x15) ++followedByStatus;
            }
        }
        return identifications >= 2;
    };
    WaitFor(count);
    EXPECT_GE(identifications, 2);
    EXPECT_EQ(followedByStatus, identifications);
    const uint8_t cal[16] = {0x80, 0x80, 0x80, 0, 0xB3, 0xB3, 0xB3, 0, 0xE0, 0x20, 0x80, 0xE0, 0x20, 0x80};
    sim->SetMemory(0xA40020, cal, 16);
    sim->PlugExtension(platform::SimExtension::Nunchuk);
    EXPECT_EQ(WaitForBits(*remote, C::NunchukConnected), C::NunchukConnected);
    EXPECT_EQ(remote->CurrentExtension(), ExtensionNunchuk);
}

}  // namespace
