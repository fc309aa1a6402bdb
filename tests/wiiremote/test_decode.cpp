// Input-report decoding: exact fields and change bits for every report id
// and extension, the numeric pins of acceleration, orientation, sticks and
// the balance board, and the callback/snapshot split of the change bits.
#include <cmath>

#include "wiimote_fixture.h"

using namespace wiitest;
namespace C = WiimoteChange;

namespace {

class Decode : public WiimoteTest {
protected:
    Wiimote w;

    void Calibrate() {
        Edit(w, [](WiimoteState& s) { s.AccelCal = {0x80, 0x80, 0x80, 0x9A, 0x9A, 0x9A}; });
    }
    void UseExtension(WiimoteExtension type) {
        Edit(w, [&](WiimoteState& s) {
            s.ExtensionConnected = true;
            s.ExtensionType = type;
        });
    }
    uint32_t FeedBits(const Bytes& r) {
        uint32_t before;
        {
            std::lock_guard lock(w.StateLock);
            before = w.PendingChanges;
            w.PendingChanges = 0;
        }
        Feed(w, r);
        std::lock_guard lock(w.StateLock);
        uint32_t bits = w.PendingChanges;
        w.PendingChanges |= before;
        return bits;
    }
};

// Builds report `id` with the extension bytes at the place that id carries them.
Bytes WithExtension(uint8_t id, const std::vector<uint8_t>& e) {
    Bytes r{};
    r[0] = id;
    size_t at = id == 0x32 ? 3 : id == 0x35 ? 6 : 16;
    for (size_t i = 0; i < e.size() && at + i < r.size(); ++i) r[at + i] = e[i];
    return r;
}

TEST_F(Decode, ButtonsAndUnknownReports) {
    EXPECT_EQ(FeedBits(MakeReport({0x30, 0x0C, 0x81})), C::ButtonsChanged);
    EXPECT_EQ(Live(w).Buttons, 0x810C);
    EXPECT_EQ(FeedBits(MakeReport({0x30, 0x0C, 0x81})), 0u);
    // Ids outside the decoded set change nothing, not even the buttons.
    for (int id : {0x22, 0x34, 0x36, 0x3D, 0x10}) EXPECT_EQ(FeedBits(MakeReport({id, 0xFF, 0xFF})), 0u) << id;
    EXPECT_EQ(Live(w).Buttons, 0x810C);
}

TEST_F(Decode, StatusReportFieldsAndBits) {
    EXPECT_EQ(FeedBits(MakeReport({0x20, 0, 0, 0x51, 0, 0, 0xC9})),
              C::BatteryChanged | C::BatteryDrained | C::LedsChanged);
    WiimoteState s = Live(w);
    EXPECT_EQ(s.BatteryRaw, 0xC9);
    EXPECT_EQ(s.BatteryPercent, 0x64);
    EXPECT_TRUE(s.BatteryDrained);
    EXPECT_EQ(s.Leds, 5);
    EXPECT_TRUE(w.Connected);
    // Drained is raised only when the bit becomes set.
    EXPECT_EQ(FeedBits(MakeReport({0x20, 0, 0, 0x51, 0, 0, 0xC9})), 0u);
    EXPECT_EQ(FeedBits(MakeReport({0x20, 0, 0, 0x50, 0, 0, 0xC9})), 0u);
    EXPECT_EQ(FeedBits(MakeReport({0x20, 0, 0, 0x51, 0, 0, 0xC9})), C::BatteryDrained);
}

TEST_F(Decode, AccelerationBeforeAndAfterCalibration) {
    EXPECT_EQ(FeedBits(MakeReport({0x31, 0, 0, 0x80, 0x90, 0xA0})), C::AccelChanged);
    WiimoteState s = Live(w);
    EXPECT_EQ(s.Accel.RawY, 0x90);
    EXPECT_EQ(s.Accel.X, 0.0f);
    EXPECT_EQ(s.Accel.Y, 0.0f);
    EXPECT_EQ(s.Accel.Z, 0.0f);
    EXPECT_EQ(s.Accel.UpdateAge, 1u);

    Calibrate();
    // 1 g on z: still, but only the second still sample sets the orientation.
    EXPECT_EQ(FeedBits(MakeReport({0x31, 0, 0, 0x80, 0x80, 0x9A})), C::AccelChanged);
    EXPECT_EQ(FeedBits(MakeReport({0x31, 0, 0, 0x80, 0x80, 0x9A})), C::OrientationChanged);
    s = Live(w);
    EXPECT_EQ(s.Accel.Z, 1.0f);
    EXPECT_EQ(s.Accel.OrientationZ, 1.0f);
    EXPECT_EQ(s.Accel.Pitch, 0.0f);
    EXPECT_EQ(s.Accel.Roll, 0.0f);
    EXPECT_EQ(s.Accel.UpdateAge, 0u);
    EXPECT_FLOAT_EQ(Live(w).Accel.Y, 0.0f);
    FeedBits(MakeReport({0x31, 0, 0, 0x80, 0x8D, 0x80}));
    EXPECT_FLOAT_EQ(Live(w).Accel.Y, 0.5f);
}

TEST_F(Decode, AxisWithEqualCalibrationPointsReadsUncalibrated) {
    Edit(w, [](WiimoteState& s) { s.AccelCal = {0x80, 0x80, 0x80, 0x80, 0x9A, 0x9A}; });
    for (int i = 0; i < 3; ++i) FeedBits(MakeReport({0x31, 0, 0, 0x90, 0x80, 0x9A}));
    WiimoteState s = Live(w);
    EXPECT_EQ(s.Accel.X, 0.0f);
    EXPECT_FALSE(std::isnan(s.Accel.Pitch));
    EXPECT_FALSE(std::isnan(s.Accel.Roll));
    EXPECT_EQ(s.Accel.Z, 1.0f);
}

TEST_F(Decode, StillnessBoundsAreInclusive) {
    auto still = [](float x, float y, float z, uint32_t& count) {
        AccelReading a{};
        a.X = x;
        a.Y = y;
        a.Z = z;
        a.EstimateOrientation(count);
        return count;
    };
    const float lowX = 0x1.99999ap-4f, lowY = 0x1.c71358p-1f, high = 0x1.186f18p+0f;
    ASSERT_EQ(lowX * lowX + lowY * lowY + 0.0f, 0.8f);
    ASSERT_EQ(high * high + 0.0f + 0.0f, 1.2f);
    uint32_t count = 0;
    EXPECT_EQ(still(lowX, lowY, 0, count), 1u);
    EXPECT_EQ(still(high, 0, 0, count), 2u);
    EXPECT_EQ(still(std::nextafter(high, 2.0f), 0, 0, count), 0u);
    EXPECT_EQ(still(lowX, std::nextafter(lowY, 0.0f), 0, count), 0u);
    // NaN is never still.
    EXPECT_EQ(still(NAN, 0, 1, count), 0u);
}

TEST_F(Decode, PitchAndRollQuadrants) {
    struct Case {
        float x, y, z, pitch, roll;
    } cases[] = {
        {0, 0, 1, 0, 0},          {1, 0, 0, 0, 90},         {0, 1, 0, -90, 0},
        {0, 0, -1, -180, 0},      {0, -0.6f, -0.8f, 143.130102f, 0},
        {-0.6f, 0, -0.8f, -180, -36.869898f}, {0.6f, 0.0f, -0.8f, -180, 36.869898f},
        {0, 0.6f, -0.8f, -143.130102f, 0},
    };
    for (const Case& c : cases) {
        AccelReading a{};
        a.X = c.x;
        a.Y = c.y;
        a.Z = c.z;
        uint32_t count = 1;
        ASSERT_TRUE(a.EstimateOrientation(count));
        EXPECT_NEAR(a.Pitch, c.pitch, 1e-3) << c.x << "," << c.y << "," << c.z;
        EXPECT_NEAR(a.Roll, c.roll, 1e-3) << c.x << "," << c.y << "," << c.z;
        EXPECT_EQ(a.UpdateAge, 0u);
    }
}

TEST_F(Decode, IrExtendedAndBasic) {
    Edit(w, [](WiimoteState& s) { s.IrMode = IrExtended; });
    Bytes r = MakeReport({0x33, 0, 0, 0x80, 0x80, 0x80, 0xAB, 0xCD, 0x65, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                          0xFF, 0xFF, 0xFF});
    EXPECT_EQ(FeedBits(r) & C::IrChanged, C::IrChanged);
    WiimoteState s = Live(w);
    EXPECT_TRUE(s.IrDots[0].Visible);
    EXPECT_EQ(s.IrDots[0].RawX, 0x2ABu);
    EXPECT_EQ(s.IrDots[0].RawY, 0x1CDu);
    EXPECT_EQ(s.IrDots[0].Size, 5);
    EXPECT_FLOAT_EQ(s.IrDots[0].X, 1.0f - 683.0f / 1016.0f);
    EXPECT_FLOAT_EQ(s.IrDots[0].Y, 461.0f / 760.0f);
    EXPECT_FALSE(s.IrDots[1].Visible);
    EXPECT_TRUE(s.IrDots[2].Visible);
    EXPECT_EQ(s.IrDots[2].X, 1.0f);
    EXPECT_EQ(FeedBits(r) & C::IrChanged, 0u);

    // Hidden dots keep their last coordinates.
    r[6] = r[7] = r[8] = 0xFF;
    EXPECT_EQ(FeedBits(r) & C::IrChanged, C::IrChanged);
    s = Live(w);
    EXPECT_FALSE(s.IrDots[0].Visible);
    EXPECT_EQ(s.IrDots[0].RawX, 0x2ABu);

    // Basic: two five-byte groups of two dots each; Size untouched.
    Edit(w, [](WiimoteState& st) { st.IrMode = IrBasic; });
    Bytes b = MakeReport({0x37, 0, 0, 0x80, 0x80, 0x80, 0x10, 0x20, 0b01100110, 0x30, 0x40, 0xFF, 0xFF, 0x0F,
                          0x01, 0x02});
    FeedBits(b);
    s = Live(w);
    EXPECT_EQ(s.IrDots[0].RawX, 0x210u);
    EXPECT_EQ(s.IrDots[0].RawY, 0x120u);
    EXPECT_EQ(s.IrDots[0].Size, 5);
    EXPECT_EQ(s.IrDots[1].RawX, 0x230u);
    EXPECT_EQ(s.IrDots[1].RawY, 0x140u);
    EXPECT_FALSE(s.IrDots[2].Visible);
    EXPECT_EQ(s.IrDots[3].RawX, 0x301u);
    EXPECT_EQ(s.IrDots[3].RawY, 0x302u);

    // With the camera off nothing is decoded.
    Edit(w, [](WiimoteState& st) { st.IrMode = IrOff; });
    Bytes zero = MakeReport({0x33, 0, 0, 0x80, 0x80, 0x80});
    EXPECT_EQ(FeedBits(zero) & C::IrChanged, 0u);
}

TEST_F(Decode, NunchukInEveryExtensionReport) {
    for (uint8_t id : {0x32, 0x35, 0x37}) {
        Wiimote n;
        {
            std::lock_guard lock(n.StateLock);
            n.Live.ExtensionConnected = true;
            n.Live.ExtensionType = ExtensionNunchuk;
            n.Live.NunchukAccelCal = {0x80, 0x80, 0x80, 0xB3, 0xB3, 0xB3};
            const uint8_t cal[6] = {0x20, 0x80, 0xE0, 0x20, 0x80, 0xE0};
            std::memcpy(n.Live.NunchukStickCal, cal, 6);
        }
        Bytes r = WithExtension(id, {0xE0, 0x50, 0x80, 0x80, 0xB3, 0x01});
        n.DispatchInputReport(r.data());
        uint32_t bits;
        WiimoteState s;
        {
            std::lock_guard lock(n.StateLock);
            bits = n.PendingChanges;
            s = n.Live;
        }
        EXPECT_EQ(bits & 0xFF00, C::NunchukButtonsChanged | C::NunchukAccelChanged | C::NunchukStickChanged) << int(id);
        EXPECT_TRUE(s.NunchukC);
        EXPECT_FALSE(s.NunchukZ);
        EXPECT_EQ(s.NunchukStick.RawX, 224.0f);
        EXPECT_EQ(s.NunchukStick.X, 1.0f);
        EXPECT_EQ(s.NunchukStick.Y, -0.5f);
        EXPECT_EQ(s.NunchukAccel.Z, 1.0f);
        EXPECT_EQ(s.NunchukAccel.X, 0.0f);
    }
}

TEST_F(Decode, NunchukBeforeCalibrationStaysFinite) {
    UseExtension(ExtensionNunchuk);
    FeedBits(WithExtension(0x32, {0x90, 0x70, 0x85, 0x86, 0x87, 0x03}));
    WiimoteState s = Live(w);
    EXPECT_EQ(s.NunchukAccel.X, 0.0f);
    EXPECT_EQ(s.NunchukStick.X, 0.0f);
    EXPECT_EQ(s.NunchukStick.RawX, 144.0f);
    EXPECT_FALSE(s.NunchukC);
    EXPECT_FALSE(s.NunchukZ);
}

TEST_F(Decode, DeadZonesApplyAndSurvive) {
    UseExtension(ExtensionNunchuk);
    Edit(w, [](WiimoteState& s) {
        const uint8_t cal[6] = {0x00, 0x80, 0xFF, 0x00, 0x80, 0xFF};
        std::memcpy(s.NunchukStickCal, cal, 6);
    });
    {
        std::lock_guard lock(w.StateLock);
        w.State.NunchukStick.DeadZoneX = 0.25f;
        w.State.NunchukStick.DeadZoneY = 0.5f;
        w.State.ClassicRightStick.DeadZoneY = 0.125f;
    }
    // x = 2 × (0xA0 − 0x80) / 0xFF ≈ 0.251 → just outside; y ≈ −0.494 → inside.
    FeedBits(WithExtension(0x32, {0xA0, 0x61, 0x80, 0x80, 0x80, 0x03}));
    WiimoteState live = Live(w);
    float raw = 2.0f * 32.0f / 255.0f;
    EXPECT_FLOAT_EQ(live.NunchukStick.X, (raw - 0.25f) / 0.75f);
    EXPECT_EQ(live.NunchukStick.Y, 0.0f);
    EXPECT_EQ(live.NunchukStick.DeadZoneX, 0.25f);

    EXPECT_NE(w.TakeStateSnapshot(), 0u);
    WiimoteState pub = Public(w);
    EXPECT_EQ(pub.NunchukStick.DeadZoneY, 0.5f);
    EXPECT_EQ(pub.ClassicRightStick.DeadZoneY, 0.125f);
    // Clear keeps them as well.
    pub.Clear();
    EXPECT_EQ(pub.NunchukStick.DeadZoneX, 0.25f);
    EXPECT_EQ(pub.NunchukStick.RawX, 0.0f);

    StickReading s{};
    s.X = -0.6f;
    s.Y = 0.3f;
    s.DeadZoneX = 0.5f;
    s.DeadZoneY = 1.5f;  // out of range: left alone
    s.ApplyDeadZone();
    EXPECT_FLOAT_EQ(s.X, -0.2f);
    EXPECT_EQ(s.Y, 0.3f);
}

TEST_F(Decode, ClassicControllerFamily) {
    for (WiimoteExtension type : {ExtensionClassicController, ExtensionGuitarController, ExtensionDrums}) {
        Wiimote c;
        {
            std::lock_guard lock(c.StateLock);
            c.Live.ExtensionConnected = true;
            c.Live.ExtensionType = type;
            const uint8_t cal[12] = {0, 32, 63, 0, 32, 63, 0, 16, 31, 0, 16, 31};
            std::memcpy(c.Live.ClassicStickCal, cal, 12);
            const uint8_t triggers[4] = {0, 31, 0, 31};
            std::memcpy(c.Live.ClassicTriggerCal, triggers, 4);
        }
        Bytes r = WithExtension(0x35, {0xE0, 0x50, 0xB5, 0xA7, 0xFE, 0xFF});
        c.DispatchInputReport(r.data());
        std::lock_guard lock(c.StateLock);
        const WiimoteState& s = c.Live;
        EXPECT_EQ(c.PendingChanges & 0x3E000u, C::ClassicButtonsChanged | C::ClassicLeftStickChanged |
                                                   C::ClassicRightStickChanged | C::ClassicTriggersChanged);
        EXPECT_EQ(s.ClassicButtons, 0x0001);
        EXPECT_EQ(s.ClassicLeftStick.RawX, 32.0f);
        EXPECT_EQ(s.ClassicLeftStick.RawY, 16.0f);
        EXPECT_EQ(s.ClassicRightStick.RawX, 27.0f);
        EXPECT_EQ(s.ClassicRightStick.RawY, 21.0f);
        EXPECT_EQ(s.ClassicLeftStick.X, 0.0f);
        EXPECT_FLOAT_EQ(s.ClassicLeftStick.Y, 2.0f * (16 - 32) / 63.0f);
        EXPECT_FLOAT_EQ(s.ClassicRightStick.X, 2.0f * (27 - 16) / 31.0f);
        EXPECT_EQ(s.LeftTriggerRaw, 13);
        EXPECT_EQ(s.RightTriggerRaw, 7);
        EXPECT_FLOAT_EQ(s.LeftTrigger, 13.0f / 31.0f);
    }
}

TEST_F(Decode, BalanceBoardSensorOrderAndKilograms) {
    UseExtension(ExtensionBalanceBoard);
    Edit(w, [](WiimoteState& s) {
        for (int point = 0; point < 3; ++point)
            for (int p = 0; p < 4; ++p) s.BoardCal[point][p] = int16_t((point + 1) * 1000 + p * 100);
    });
    auto board = [](int r0, int r1, int r2, int r3) {
        return WithExtension(0x32, {uint8_t(r0 >> 8), uint8_t(r0), uint8_t(r1 >> 8), uint8_t(r1), uint8_t(r2 >> 8),
                                    uint8_t(r2), uint8_t(r3 >> 8), uint8_t(r3)});
    };
    EXPECT_EQ(FeedBits(board(1500, 2700, 1100, 3300)), C::BalanceBoardChanged);
    WiimoteState s = Live(w);
    const int16_t raw[4] = {1500, 1100, 2700, 3300};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.BoardRaw[i], raw[i]);
    const float kg[5] = {0.0f, 34.0f, 136.0f, 102.0f, 68.0f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(s.BoardKg[i], kg[i]) << i;
        EXPECT_FLOAT_EQ(s.BoardLb[i], kg[i] * 2.204622507095337f) << i;
    }
    EXPECT_EQ(FeedBits(board(1500, 2700, 1100, 3300)), 0u);

    // The first weights after connecting become the at-rest offsets.
    w.CaptureBoardRestOffsets = true;
    FeedBits(board(1500, 2700, 1100, 3300));
    s = Live(w);
    EXPECT_TRUE(Traced(".. Auto-removing 'at rest' BBoard offsets."));
    EXPECT_FALSE(w.CaptureBoardRestOffsets);
    EXPECT_FLOAT_EQ(s.BoardRestOffset[1], 34.0f);
    EXPECT_FLOAT_EQ(s.BoardRestOffset[4], 68.0f);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.BoardKg[i], 0.0f);

    // Acceleration and IR are left alone while a board is connected.
    Edit(w, [](WiimoteState& st) { st.IrMode = IrExtended; });
    for (int id : {0x31, 0x33, 0x35, 0x37}) {
        Bytes r = MakeReport({id, 0, 0, 0x11, 0x22, 0x33, 0x01, 0x02, 0x03});
        EXPECT_EQ(FeedBits(r) & (C::AccelChanged | C::IrChanged | C::OrientationChanged), 0u) << id;
    }
    EXPECT_EQ(Live(w).Accel.RawX, 0);
    EXPECT_FALSE(Live(w).IrDots[0].Visible);
}

TEST_F(Decode, BoardSensorToKilogramsPins) {
    EXPECT_EQ(BoardSensorToKilograms(500, 100, 100, 900), 0.0f);   // c1 = c0
    EXPECT_EQ(BoardSensorToKilograms(500, 100, 300, 300), 0.0f);   // c2 = c1, above c1
    EXPECT_FLOAT_EQ(BoardSensorToKilograms(200, 100, 300, 300), 34.0f);
    EXPECT_FLOAT_EQ(BoardSensorToKilograms(0, 100, 300, 500), -34.0f);
    EXPECT_FLOAT_EQ(BoardSensorToKilograms(400, 100, 300, 500), 102.0f);
    EXPECT_FLOAT_EQ(BoardSensorToKilograms(-32768, -32768, 0, 32767), 0.0f);
    EXPECT_FLOAT_EQ(BoardSensorToKilograms(32767, -32768, 0, 32767), 136.0f);
}

TEST_F(Decode, BoardDataNeedsEightBytes) {
    UseExtension(ExtensionBalanceBoard);
    // Report 0x37 carries six extension bytes, too few for four sensors.
    Bytes r = WithExtension(0x37, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    EXPECT_EQ(FeedBits(r) & C::BalanceBoardChanged, 0u);
    EXPECT_EQ(Live(w).BoardRaw[0], 0);
}

TEST_F(Decode, MotionPlusSpeedsAndPassThrough) {
    UseExtension(ExtensionMotionPlus);
    // yaw 8083 slow, pitch 8063 fast, roll 8023 fast, extension plugged.
    Bytes r = WithExtension(0x35, {0x93, 0x57, 0x7F, 0x7E, 0x7D, 0x7C});
    EXPECT_EQ(FeedBits(r) & 0x3FFFF00u, C::MotionPlusSpeedChanged | C::MotionPlusExtensionConnected);
    WiimoteState s = Live(w);
    EXPECT_EQ(s.MotionPlusRaw[0], 8083);
    EXPECT_EQ(s.MotionPlusRaw[1], 8063);
    EXPECT_EQ(s.MotionPlusRaw[2], 8023);
    EXPECT_FLOAT_EQ(s.MotionPlusSpeed[0], -1.0f);
    EXPECT_EQ(s.MotionPlusSpeed[1], 0.0f);
    EXPECT_FLOAT_EQ(s.MotionPlusSpeed[2], 10.0f);
    EXPECT_TRUE(Traced(".. MotionPlus extension found."));

    // All three at 0x3FFF: ignored, even the plugged bit.
    Bytes blank = WithExtension(0x35, {0xFF, 0xFF, 0xFF, 0xFC, 0xFC, 0xFC});
    EXPECT_EQ(FeedBits(blank) & 0x3FFFF00u, 0u);
    EXPECT_TRUE(w.MotionPlusPassThroughPlugged);

    Bytes unplugged = WithExtension(0x32, {0x93, 0x57, 0x7F, 0x7E, 0x7C, 0x7C});
    EXPECT_EQ(FeedBits(unplugged) & 0x3FFFF00u, C::MotionPlusExtensionDisconnected);
    EXPECT_TRUE(Traced(".. MotionPlus' extension disconnected."));
}

TEST_F(Decode, NothingDecodedWithoutAnExtension) {
    for (WiimoteExtension type : {ExtensionNone, ExtensionPartiallyInserted}) {
        Edit(w, [&](WiimoteState& s) { s.ExtensionType = type; });
        EXPECT_EQ(FeedBits(WithExtension(0x32, {1, 2, 3, 4, 5, 6, 7, 8})), 0u);
    }
}

struct CallbackLog {
    std::vector<uint32_t> bits;
    WiimoteState seen{};
};
CallbackLog* callbackLog = nullptr;
void RecordCallback(Wiimote& remote, uint32_t changed) {
    callbackLog->bits.push_back(changed);
    callbackLog->seen = remote.State;
}

TEST_F(Decode, CallbackGetsReportBitsSnapshotGetsAll) {
    CallbackLog log;
    callbackLog = &log;
    w.ChangeCallback = RecordCallback;
    w.CallbackMask = C::ButtonsChanged;
    Calibrate();

    Feed(w, MakeReport({0x31, 0x01, 0, 0x80, 0x80, 0x9A}));
    Feed(w, MakeReport({0x31, 0x01, 0, 0x80, 0x80, 0x9A}));  // orientation only: outside the mask
    Feed(w, MakeReport({0x30, 0x02, 0}));
    ASSERT_EQ(log.bits.size(), 2u);
    EXPECT_EQ(log.bits[0], C::ButtonsChanged | C::AccelChanged);
    EXPECT_EQ(log.bits[1], C::ButtonsChanged);
    // The public record was refreshed before the call.
    EXPECT_EQ(log.seen.Buttons, 0x0002);

    EXPECT_EQ(w.TakeStateSnapshot(), C::ButtonsChanged | C::AccelChanged | C::OrientationChanged);
    // Nothing pending: the public record, owner edits included, stays as it is.
    {
        std::lock_guard lock(w.StateLock);
        w.State.Buttons = 0x7777;
    }
    EXPECT_EQ(w.TakeStateSnapshot(), 0u);
    EXPECT_EQ(Public(w).Buttons, 0x7777);
    callbackLog = nullptr;
}

// Every extension in every report that carries extension bytes: the same
// bytes give the same fields, and only the ids with acceleration (and IR)
// raise those bits.
TEST_F(Decode, ExtensionBytesInEveryReportId) {
    struct Ext {
        WiimoteExtension type;
        uint32_t bit;
    } exts[] = {{ExtensionNunchuk, C::NunchukStickChanged},
                {ExtensionClassicController, C::ClassicLeftStickChanged},
                {ExtensionMotionPlus, C::MotionPlusSpeedChanged}};
    const std::vector<uint8_t> e = {0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB};
    for (const Ext& ext : exts) {
        WiimoteState reference{};
        for (uint8_t id : {0x35, 0x32, 0x37}) {
            Wiimote r;
            {
                std::lock_guard lock(r.StateLock);
                r.Live.ExtensionConnected = true;
                r.Live.ExtensionType = ext.type;
                r.Live.IrMode = IrBasic;
            }
            Bytes report = WithExtension(id, e);
            if (id != 0x32) report[3] = report[4] = report[5] = 0x40;
            if (id == 0x37) report[6] = 0x10;
            r.DispatchInputReport(report.data());
            std::lock_guard lock(r.StateLock);
            const uint32_t bits = r.PendingChanges;
            EXPECT_EQ(bits & ext.bit, ext.bit) << int(id) << " " << ext.type;
            EXPECT_EQ(bool(bits & C::AccelChanged), id != 0x32) << int(id);
            EXPECT_EQ(bool(bits & C::IrChanged), id == 0x37) << int(id);
            if (id == 0x35) {
                reference = r.Live;
                continue;
            }
            EXPECT_EQ(r.Live.NunchukStick.RawX, reference.NunchukStick.RawX);
            EXPECT_EQ(r.Live.NunchukC, reference.NunchukC);
            EXPECT_EQ(r.Live.ClassicButtons, reference.ClassicButtons);
            EXPECT_EQ(r.Live.ClassicRightStick.RawX, reference.ClassicRightStick.RawX);
            EXPECT_EQ(r.Live.LeftTriggerRaw, reference.LeftTriggerRaw);
            EXPECT_EQ(r.Live.MotionPlusRaw[2], reference.MotionPlusRaw[2]);
        }
    }
}

TEST_F(Decode, FullDeadZoneDoesNotDivideByZero) {
    StickReading s{};
    s.X = 1.02f;
    s.Y = -0.5f;
    s.DeadZoneX = 1.0f;
    s.DeadZoneY = 1.0f;
    s.ApplyDeadZone();
    EXPECT_FALSE(std::isinf(s.X) || std::isnan(s.X));
    EXPECT_EQ(s.Y, 0.0f);
}

}  // namespace
