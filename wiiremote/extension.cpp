// The extension port: the extension bit of status reports, the set-up and
// identification of an extension, calibration replies, and the MotionPlus
// probe, enable and disable. All but EnableMotionPlus and DisableMotionPlus
// run on the read thread with StateLock held.
#include <cstring>

#include "platform/clock.h"
#include "wiiremote/wiimote.h"

namespace platform = morpotta::platform;

namespace {

struct ExtensionId {
    uint8_t bytes[6];
    WiimoteExtension type;
    const char* trace;
};

const ExtensionId kExtensionIds[] = {
    {{0x00, 0x00, 0xA4, 0x20, 0x04, 0x05}, ExtensionMotionPlus, ".. Motion Plus!"},
    {{0x00, 0x00, 0xA4, 0x20, 0x00, 0x00}, ExtensionNunchuk, ".. Nunchuk!"},
    {{0x01, 0x01, 0xA4, 0x20, 0x00, 0x00}, ExtensionClassicController, ".. Classic Controller!"},
    {{0x01, 0x03, 0xA4, 0x20, 0x00, 0x00}, ExtensionGuitarController, ".. GH3/GHWT Guitar Controller!"},
    {{0x01, 0x03, 0xA4, 0x20, 0x01, 0x00}, ExtensionDrums, ".. GHWT Drums!"},
    {{0x00, 0x00, 0xA4, 0x20, 0x04, 0x02}, ExtensionBalanceBoard, ".. Balance Board!"},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ExtensionPartiallyInserted, ".. partially inserted!"},
};

bool IsProbeAnswer(const uint8_t* d) {
    static const uint8_t a[6] = {0x00, 0x00, 0xA6, 0x20, 0x00, 0x05};
    static const uint8_t b[6] = {0x00, 0x00, 0xA6, 0x20, 0x04, 0x05};
    return d[6] == 0 && d[7] == 0 && (std::memcmp(d, a, 6) == 0 || std::memcmp(d, b, 6) == 0);
}

void StoreAccelCal(AccelCalibration& cal, const uint8_t* d) {
    cal.ZeroX = d[0];
    cal.ZeroY = d[1];
    cal.ZeroZ = d[2];
    cal.OneGX = d[4];
    cal.OneGY = d[5];
    cal.OneGZ = d[6];
}

// Stored max, min, mid per axis as min, mid, max.
void StoreStickCal(uint8_t* cal, const uint8_t* d, int shift) {
    for (int axis = 0; axis < 2; ++axis) {
        const uint8_t* src = d + 3 * axis;
        uint8_t* dst = cal + 3 * axis;
        dst[0] = uint8_t(src[1] >> shift);
        dst[1] = uint8_t(src[2] >> shift);
        dst[2] = uint8_t(src[0] >> shift);
    }
}

}  // namespace

uint32_t Wiimote::HandleExtensionBit(bool plugged) {
    if (plugged && !Live.ExtensionConnected) {
        WiimoteTrace("Extension connected:");
        Live.ExtensionConnected = true;
        StartExtensionSetup();
        return 0;
    }
    if (!plugged && Live.ExtensionConnected) {
        WiimoteTrace("Extension disconnected.");
        Live.ExtensionConnected = false;
        Live.ExtensionType = ExtensionNone;
        MotionPlusEnabled = false;
        MotionPlusDetected = false;
        BoardCalPartValid = false;
        SelectReportMode(ReportMode);
        return WiimoteChange::ExtensionDisconnected;
    }
    return 0;
}

void Wiimote::StartExtensionSetup() {
    const uint8_t init1 = 0x55, init2 = 0x00;
    SendWriteRequest(0x04A400F0, 1, &init1);
    SendWriteRequest(0x04A400FB, 1, &init2);
    platform::SleepMilliseconds(50);
    SendReadRequest(0x04A400FA, 6);
}

uint32_t Wiimote::HandleReadReply(const uint8_t* report) {
    const uint8_t flags = report[3];
    const uint16_t address = uint16_t((report[4] << 8) | report[5]);
    const uint8_t* d = report + 6;
    if (flags & 0x08) {
        WiimoteTrace("* error: read address not valid. *");
        return 0;
    }
    if (flags & 0x07) {
        if (MotionPlusProbePending) {
            MotionPlusProbePending = false;
            if (MotionPlusDetected) WiimoteTrace(".. MotionPlus removed.");
            MotionPlusDetected = false;
            MotionPlusEnabled = false;
        } else {
            WiimoteTrace("* error: attempt to read from write-only register 0x%X. *", unsigned(address));
        }
        return 0;
    }
    const int count = (flags >> 4) + 1;
    switch (address) {
    case 0x0016:
        WiimoteTrace(".. got wiimote calibration.");
        StoreAccelCal(Live.AccelCal, d);
        return 0;
    case 0x00FA:
        if (IsProbeAnswer(d)) {
            bool first = !MotionPlusDetected;
            if (first) WiimoteTrace("Motion Plus detected!");
            MotionPlusDetected = true;
            MotionPlusProbePending = false;
            return first ? uint32_t(WiimoteChange::MotionPlusDetected) : 0u;
        }
        if (MotionPlusProbePending) {
            MotionPlusProbePending = false;
            MotionPlusDetected = false;
        }
        return HandleIdentification(d);
    case 0x0020:
    case 0x0024:
    case 0x0034: return HandleExtensionCalibration(address, d, count);
    default: return 0;
    }
}

uint32_t Wiimote::HandleIdentification(const uint8_t* d) {
    const ExtensionId* match = nullptr;
    if (d[6] == 0 && d[7] == 0) {
        for (const ExtensionId& id : kExtensionIds) {
            if (std::memcmp(id.bytes, d, 6) == 0) match = &id;
        }
    }
    if (!match) {
        WiimoteTrace("unknown extension controller found (0x%x)",
                     unsigned(d[0] | (d[1] << 8) | (d[2] << 16) | (uint32_t(d[3]) << 24)));
        return 0;
    }
    if (match->type == ExtensionPartiallyInserted) {
        if (Live.ExtensionType == ExtensionPartiallyInserted) platform::SleepMilliseconds(50);
        WiimoteTrace("%s", match->trace);
        MotionPlusEnabled = false;
        Live.ExtensionType = ExtensionPartiallyInserted;
        Live.ExtensionConnected = false;
        SendStatusRequest();
        return WiimoteChange::ExtensionPartiallyInserted;
    }
    if (match->type != ExtensionMotionPlus) MotionPlusEnabled = false;
    if (match->type == Live.ExtensionType) return 0;
    WiimoteTrace("%s", match->trace);
    Live.ExtensionType = match->type;
    BoardCalPartValid = false;
    if (match->type == ExtensionMotionPlus) {
        MotionPlusDetected = true;
        MotionPlusEnabled = true;
    }
    if (match->type == ExtensionBalanceBoard) SendReadRequest(0x04A40024, 24);
    else SendReadRequest(0x04A40020, 16);
    return 0;
}

uint32_t Wiimote::HandleExtensionCalibration(uint16_t address, const uint8_t* d, int count) {
    switch (Live.ExtensionType) {
    case ExtensionNunchuk:
        if (address != 0x0020) return 0;
        StoreAccelCal(Live.NunchukAccelCal, d);
        // Device order: max, min, mid per axis.
        Live.NunchukStickCal[2] = d[8];
        Live.NunchukStickCal[0] = d[9];
        Live.NunchukStickCal[1] = d[10];
        Live.NunchukStickCal[5] = d[11];
        Live.NunchukStickCal[3] = d[12];
        Live.NunchukStickCal[4] = d[13];
        SelectReportMode(ReportMode);
        return WiimoteChange::NunchukConnected;
    case ExtensionClassicController:
    case ExtensionGuitarController:
    case ExtensionDrums: {
        if (address != 0x0020) return 0;
        StoreStickCal(Live.ClassicStickCal, d, 2);
        StoreStickCal(Live.ClassicStickCal + 6, d + 6, 3);
        const uint8_t triggers[4] = {0, 31, 0, 31};
        std::memcpy(Live.ClassicTriggerCal, triggers, sizeof triggers);
        SelectReportMode(ReportMode);
        return WiimoteChange::ClassicConnected;
    }
    case ExtensionBalanceBoard: {
        // The 24-byte block comes in two replies: 16 bytes at 0x24, then 8 at 0x34.
        if (address == 0x0024) {
            if (count != 16) return 0;
            std::memcpy(BoardCalPart, d, 16);
            BoardCalPartValid = true;
            return 0;
        }
        if (address != 0x0034 || !BoardCalPartValid || count < 8) return 0;
        BoardCalPartValid = false;
        uint8_t block[24];
        std::memcpy(block, BoardCalPart, 16);
        std::memcpy(block + 16, d, 8);
        for (int point = 0; point < 3; ++point) {
            const uint8_t* w = block + 8 * point;
            auto word = [&](int i) { return int16_t((w[2 * i] << 8) | w[2 * i + 1]); };
            Live.BoardCal[point][0] = word(0);
            Live.BoardCal[point][1] = word(2);
            Live.BoardCal[point][2] = word(1);
            Live.BoardCal[point][3] = word(3);
        }
        SelectReportMode(0x32);
        return WiimoteChange::BalanceBoardConnected;
    }
    case ExtensionMotionPlus: return address == 0x0020 ? uint32_t(WiimoteChange::MotionPlusConnected) : 0u;
    default: return 0;
    }
}

void Wiimote::EnableMotionPlus() {
    if (!MotionPlusDetected || MotionPlusEnabled) return;
    WiimoteTrace("Enabling Motion Plus:");
    const uint8_t init = 0x55, activate = 0x04;
    SendWriteRequest(0x04A600F0, 1, &init);
    SendWriteRequest(0x04A600FE, 1, &activate);
    platform::SleepMilliseconds(50);
}

void Wiimote::DisableMotionPlus() {
    if (!MotionPlusDetected || !MotionPlusEnabled) return;
    WiimoteTrace("Disabling Motion Plus:");
    std::lock_guard lock(StateLock);
    Live.ExtensionConnected = false;
}
