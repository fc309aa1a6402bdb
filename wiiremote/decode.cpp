// Decoding of input reports into the live record: buttons, status,
// acceleration and orientation, IR dots and the extension bytes of each
// extension type. Runs on the read thread with StateLock held.
#include <cmath>
#include <cstring>

#include "wiiremote/wiimote.h"

namespace {

constexpr float kDegreesPerRadian = 57.29578f;
constexpr float kPoundsPerKilogram = 2.204622507095337f;

// (raw − zero) / (one g − zero); an axis whose two calibration points are
// equal cannot be scaled and reads as uncalibrated (0).
float ScaleAxis(uint8_t raw, uint8_t zero, uint8_t oneG) {
    if (oneG == zero) return 0.0f;
    return float(int(raw) - int(zero)) / float(int(oneG) - int(zero));
}

void ScaleAccel(AccelReading& a, const AccelCalibration& cal) {
    a.X = ScaleAxis(a.RawX, cal.ZeroX, cal.OneGX);
    a.Y = ScaleAxis(a.RawY, cal.ZeroY, cal.OneGY);
    a.Z = ScaleAxis(a.RawZ, cal.ZeroZ, cal.OneGZ);
}

bool SetRawAccel(AccelReading& a, uint8_t x, uint8_t y, uint8_t z) {
    bool changed = a.RawX != x || a.RawY != y || a.RawZ != z;
    a.RawX = x;
    a.RawY = y;
    a.RawZ = z;
    return changed;
}

// 2 × (raw − mid) / (max − min); left alone while uncalibrated.
void ScaleStickAxis(float raw, uint8_t min, uint8_t mid, uint8_t max, float& out) {
    if (max == 0 || max == min) return;
    out = 2.0f * (raw - float(mid)) / float(int(max) - int(min));
}

bool SetStickRaw(StickReading& s, float x, float y) {
    bool changed = s.RawX != x || s.RawY != y;
    s.RawX = x;
    s.RawY = y;
    return changed;
}

bool SameDot(const IrDot& a, const IrDot& b) {
    return a.Visible == b.Visible && a.RawX == b.RawX && a.RawY == b.RawY && a.X == b.X && a.Y == b.Y &&
           a.Size == b.Size;
}

void PlaceDot(IrDot& dot, uint32_t rawX, uint32_t rawY) {
    dot.Visible = true;
    dot.RawX = rawX;
    dot.RawY = rawY;
    dot.X = 1.0f - float(rawX) / 1016.0f;
    dot.Y = float(rawY) / 760.0f;
}

uint16_t BigEndian16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

}  // namespace

bool AccelReading::EstimateOrientation(uint32_t& stillCount) {
    float s = X * X + Y * Y + Z * Z;
    if (!(s >= 0.8f && s <= 1.2f)) {
        stillCount = 0;
        ++UpdateAge;
        return false;
    }
    if (++stillCount < 2) return false;
    float len = std::sqrt(s);
    OrientationX = X / len;
    OrientationY = Y / len;
    OrientationZ = Z / len;
    float pitch = -std::asin(OrientationY) * kDegreesPerRadian;
    float roll = std::atan2(OrientationX, OrientationZ) * kDegreesPerRadian;
    if (OrientationZ < 0) {
        pitch = OrientationY >= 0 ? -180.0f - pitch : 180.0f - pitch;
        roll = OrientationX >= 0 ? 180.0f - roll : -180.0f - roll;
    }
    UpdateAge = 0;
    Pitch = pitch;
    Roll = roll;
    return true;
}

void StickReading::ApplyDeadZone() {
    auto apply = [](float& v, float d) {
        if (!(d > 0.0f && d <= 1.0f)) return;
        if (std::fabs(v) <= d) {
            v = 0.0f;
            return;
        }
        if (d == 1.0f) return;  // |v| > 1: nothing left to rescale into
        float sign = v >= 0 ? 1.0f : -1.0f;
        v = (v - sign * d) / (1.0f - d);
    };
    apply(X, DeadZoneX);
    apply(Y, DeadZoneY);
}

float BoardSensorToKilograms(int16_t reading, int16_t c0, int16_t c1, int16_t c2) {
    if (c1 == c0) return 0.0f;
    if (reading < c1) return 68.0f * float(reading - c0) / float(c1 - c0);
    if (c2 == c1) return 0.0f;
    return 68.0f + 68.0f * float(reading - c1) / float(c2 - c1);
}

void Wiimote::DispatchInputReport(const uint8_t* report) {
    std::lock_guard lock(StateLock);
    const uint8_t id = report[0];
    if (id != 0x20 && id != 0x21 && (id < 0x30 || id > 0x37 || id == 0x34 || id == 0x36)) return;

    uint32_t changed = 0;
    uint16_t buttons = uint16_t(report[1] | (report[2] << 8));
    if (buttons != Live.Buttons) changed |= WiimoteChange::ButtonsChanged;
    Live.Buttons = buttons;

    const bool board = IsBalanceBoardConnected();
    switch (id) {
    case 0x20:
        changed |= DecodeStatusReport(report);
        if (!StopThreads) Connected = true;
        break;
    case 0x21: changed |= HandleReadReply(report); break;
    case 0x30: break;
    case 0x31:
        if (!board) changed |= DecodeAcceleration(report);
        break;
    case 0x32: changed |= DecodeExtensionBytes(report + 3, 8); break;
    case 0x33:
        if (!board) changed |= DecodeAcceleration(report) | DecodeIrDots(report);
        break;
    case 0x35:
        changed |= DecodeExtensionBytes(report + 6, 16);
        if (!board) changed |= DecodeAcceleration(report);
        break;
    case 0x37:
        changed |= DecodeExtensionBytes(report + 16, 6);
        if (!board) {
            changed |= DecodeAcceleration(report);
            changed |= DecodeIrDots(report);
        }
        break;
    }

    PendingChanges |= changed;
    WiimoteChangeCallback callback = ChangeCallback;
    if (callback && (changed & CallbackMask)) {
        State.CopyKeepingDeadZones(Live);
        callback(*this, changed);
    }
}

uint32_t Wiimote::DecodeStatusReport(const uint8_t* report) {
    uint32_t changed = 0;
    const uint8_t flags = report[3], battery = report[6];
    if (battery != Live.BatteryRaw) changed |= WiimoteChange::BatteryChanged;
    Live.BatteryRaw = battery;
    Live.BatteryPercent = battery / 2;
    bool drained = flags & 0x01;
    if (drained && !Live.BatteryDrained) changed |= WiimoteChange::BatteryDrained;
    Live.BatteryDrained = drained;
    uint8_t leds = flags >> 4;
    if (leds != Live.Leds) changed |= WiimoteChange::LedsChanged;
    Live.Leds = leds;
    return changed | HandleExtensionBit(flags & 0x02);
}

uint32_t Wiimote::DecodeAcceleration(const uint8_t* report) {
    uint32_t changed = 0;
    AccelReading& a = Live.Accel;
    if (SetRawAccel(a, report[3], report[4], report[5])) changed |= WiimoteChange::AccelChanged;
    if (Live.AccelCal.ZeroX == 0) {
        a.X = a.Y = a.Z = 0.0f;
    } else {
        ScaleAccel(a, Live.AccelCal);
    }
    if (a.EstimateOrientation(StillSampleCount)) changed |= WiimoteChange::OrientationChanged;
    return changed;
}

uint32_t Wiimote::DecodeIrDots(const uint8_t* report) {
    if (Live.IrMode != IrBasic && Live.IrMode != IrExtended) return 0;
    IrDot before[4];
    std::memcpy(before, Live.IrDots, sizeof before);
    const uint8_t* ir = report + 6;
    if (Live.IrMode == IrExtended) {
        for (int i = 0; i < 4; ++i) {
            const uint8_t* g = ir + 3 * i;
            IrDot& dot = Live.IrDots[i];
            if (g[0] == 0xFF && g[1] == 0xFF && g[2] == 0xFF) {
                dot.Visible = false;
                continue;
            }
            PlaceDot(dot, g[0] | ((g[2] & 0x30u) << 4), g[1] | ((g[2] & 0xC0u) << 2));
            dot.Size = g[2] & 0x0F;
        }
    } else {
        for (int pair = 0; pair < 2; ++pair) {
            const uint8_t* g = ir + 5 * pair;
            IrDot& first = Live.IrDots[2 * pair];
            IrDot& second = Live.IrDots[2 * pair + 1];
            if (g[0] == 0xFF && g[1] == 0xFF) first.Visible = false;
            else PlaceDot(first, g[0] | ((g[2] & 0x30u) << 4), g[1] | ((g[2] & 0xC0u) << 2));
            if (g[3] == 0xFF && g[4] == 0xFF) second.Visible = false;
            else PlaceDot(second, g[3] | ((g[2] & 0x03u) << 8), g[4] | ((g[2] & 0x0Cu) << 6));
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (!SameDot(before[i], Live.IrDots[i])) return WiimoteChange::IrChanged;
    }
    return 0;
}

uint32_t Wiimote::DecodeExtensionBytes(const uint8_t* e, int count) {
    // The balance board needs eight bytes, which report 0x37 does not carry.
    if (count < 6 || (Live.ExtensionType == ExtensionBalanceBoard && count < 8)) return 0;
    switch (Live.ExtensionType) {
    case ExtensionNunchuk: return DecodeNunchuk(e);
    case ExtensionClassicController:
    case ExtensionGuitarController:
    case ExtensionDrums: return DecodeClassic(e);
    case ExtensionBalanceBoard: return DecodeBoard(e);
    case ExtensionMotionPlus: return DecodeMotionPlus(e);
    default: return 0;
    }
}

uint32_t Wiimote::DecodeNunchuk(const uint8_t* e) {
    uint32_t changed = 0;
    bool c = !(e[5] & 0x02), z = !(e[5] & 0x01);
    if (c != Live.NunchukC || z != Live.NunchukZ) changed |= WiimoteChange::NunchukButtonsChanged;
    Live.NunchukC = c;
    Live.NunchukZ = z;

    AccelReading& a = Live.NunchukAccel;
    if (SetRawAccel(a, e[2], e[3], e[4])) changed |= WiimoteChange::NunchukAccelChanged;
    ScaleAccel(a, Live.NunchukAccelCal);
    if (a.EstimateOrientation(StillSampleCount)) changed |= WiimoteChange::NunchukOrientationChanged;

    StickReading& s = Live.NunchukStick;
    if (SetStickRaw(s, e[0], e[1])) changed |= WiimoteChange::NunchukStickChanged;
    const uint8_t* cal = Live.NunchukStickCal;
    ScaleStickAxis(s.RawX, cal[0], cal[1], cal[2], s.X);
    ScaleStickAxis(s.RawY, cal[3], cal[4], cal[5], s.Y);
    s.DeadZoneX = State.NunchukStick.DeadZoneX;
    s.DeadZoneY = State.NunchukStick.DeadZoneY;
    s.ApplyDeadZone();
    return changed;
}

uint32_t Wiimote::DecodeClassic(const uint8_t* e) {
    uint32_t changed = 0;
    uint16_t buttons = uint16_t(~(e[4] | (e[5] << 8)));
    if (buttons != Live.ClassicButtons) changed |= WiimoteChange::ClassicButtonsChanged;
    Live.ClassicButtons = buttons;

    StickReading& left = Live.ClassicLeftStick;
    StickReading& right = Live.ClassicRightStick;
    if (SetStickRaw(left, float(e[0] & 0x3F), float(e[1] & 0x3F))) changed |= WiimoteChange::ClassicLeftStickChanged;
    float rightX = float(((e[0] & 0xC0) >> 3) | ((e[1] & 0xC0) >> 5) | ((e[2] & 0x80) >> 7));
    if (SetStickRaw(right, rightX, float(e[2] & 0x1F))) changed |= WiimoteChange::ClassicRightStickChanged;
    const uint8_t* cal = Live.ClassicStickCal;
    ScaleStickAxis(left.RawX, cal[0], cal[1], cal[2], left.X);
    ScaleStickAxis(left.RawY, cal[3], cal[4], cal[5], left.Y);
    ScaleStickAxis(right.RawX, cal[6], cal[7], cal[8], right.X);
    ScaleStickAxis(right.RawY, cal[9], cal[10], cal[11], right.Y);
    left.DeadZoneX = State.ClassicLeftStick.DeadZoneX;
    left.DeadZoneY = State.ClassicLeftStick.DeadZoneY;
    right.DeadZoneX = State.ClassicRightStick.DeadZoneX;
    right.DeadZoneY = State.ClassicRightStick.DeadZoneY;
    left.ApplyDeadZone();
    right.ApplyDeadZone();

    uint8_t leftRaw = uint8_t(((e[2] & 0x60) >> 2) | (e[3] >> 5));
    uint8_t rightRaw = e[3] & 0x1F;
    if (leftRaw != Live.LeftTriggerRaw || rightRaw != Live.RightTriggerRaw)
        changed |= WiimoteChange::ClassicTriggersChanged;
    Live.LeftTriggerRaw = leftRaw;
    Live.RightTriggerRaw = rightRaw;
    const uint8_t* t = Live.ClassicTriggerCal;
    if (t[1] != 0 && t[1] != t[0]) Live.LeftTrigger = float(leftRaw) / float(int(t[1]) - int(t[0]));
    if (t[3] != 0 && t[3] != t[2]) Live.RightTrigger = float(rightRaw) / float(int(t[3]) - int(t[2]));
    return changed;
}

uint32_t Wiimote::DecodeBoard(const uint8_t* e) {
    uint32_t changed = 0;
    const int16_t r0 = int16_t(BigEndian16(e)), r1 = int16_t(BigEndian16(e + 2)),
                  r2 = int16_t(BigEndian16(e + 4)), r3 = int16_t(BigEndian16(e + 6));
    const int16_t raw[4] = {r0, r2, r1, r3};
    if (std::memcmp(raw, Live.BoardRaw, sizeof raw) != 0) changed |= WiimoteChange::BalanceBoardChanged;
    std::memcpy(Live.BoardRaw, raw, sizeof raw);

    // Kilogram order: r2, r0, r3, r1, each with the calibration stored at
    // that reading's place in BoardRaw.
    const int place[4] = {1, 0, 3, 2};
    float kg[4];
    for (int i = 0; i < 4; ++i) {
        int p = place[i];
        kg[i] = BoardSensorToKilograms(raw[p], Live.BoardCal[0][p], Live.BoardCal[1][p], Live.BoardCal[2][p]);
    }
    if (CaptureBoardRestOffsets) {
        WiimoteTrace(".. Auto-removing 'at rest' BBoard offsets.");
        CaptureBoardRestOffsets = false;
        for (int i = 0; i < 4; ++i) Live.BoardRestOffset[i] = kg[i];
        Live.BoardRestOffset[4] = Live.BoardKg[4];
    }
    float sum = 0.0f;
    for (int i = 0; i < 4; ++i) {
        Live.BoardKg[i] = kg[i] - Live.BoardRestOffset[i];
        sum += Live.BoardKg[i];
    }
    Live.BoardKg[4] = 0.25f * sum;
    for (int i = 0; i < 5; ++i) Live.BoardLb[i] = Live.BoardKg[i] * kPoundsPerKilogram;
    return changed;
}

uint32_t Wiimote::DecodeMotionPlus(const uint8_t* e) {
    const uint16_t raw[3] = {uint16_t(((e[3] & 0xFC) << 6) | e[0]), uint16_t(((e[5] & 0xFC) << 6) | e[2]),
                             uint16_t(((e[4] & 0xFC) << 6) | e[1])};
    if (raw[0] == 0x3FFF && raw[1] == 0x3FFF && raw[2] == 0x3FFF) return 0;
    uint32_t changed = 0;
    if (std::memcmp(raw, Live.MotionPlusRaw, sizeof raw) != 0) changed |= WiimoteChange::MotionPlusSpeedChanged;
    std::memcpy(Live.MotionPlusRaw, raw, sizeof raw);
    const bool slow[3] = {bool(e[3] & 0x02), bool(e[3] & 0x01), bool(e[4] & 0x02)};
    for (int i = 0; i < 3; ++i) Live.MotionPlusSpeed[i] = float(8063 - int(raw[i])) * (slow[i] ? 0.05f : 0.25f);

    bool plugged = e[4] & 0x01;
    if (plugged != MotionPlusPassThroughPlugged) {
        if (plugged) {
            WiimoteTrace(".. MotionPlus extension found.");
            changed |= WiimoteChange::MotionPlusExtensionConnected;
        } else {
            WiimoteTrace(".. MotionPlus' extension disconnected.");
            changed |= WiimoteChange::MotionPlusExtensionDisconnected;
        }
        MotionPlusPassThroughPlugged = plugged;
    }
    return changed;
}
