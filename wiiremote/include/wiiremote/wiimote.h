// The Wii remote driver: one Wiimote object per remote reached over HID,
// with a read thread that decodes input reports into a live state record,
// output reports for LEDs, rumble, report modes, the IR camera and register
// access, and extension handling (nunchuk, classic controller, MotionPlus,
// balance board). The owner reads the public record after
// TakeStateSnapshot, or in the change callback, which runs on the read
// thread with StateLock held. The owner writes the public dead zones, and
// reads the public record while a callback is installed, under StateLock.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "wiiremote/fair_lock.h"

struct AccelCalibration {
    uint8_t ZeroX, ZeroY, ZeroZ;
    uint8_t OneGX, OneGY, OneGZ;
};

struct AccelReading {
    uint8_t RawX, RawY, RawZ;
    float X, Y, Z;  // g
    float OrientationX, OrientationY, OrientationZ;
    uint32_t UpdateAge;  // reports since the orientation was last updated
    float Pitch, Roll;   // degrees

    // Updates the orientation once the reading has been near 1 g for two
    // samples in a row; stillCount is shared by the remote and the nunchuk.
    bool EstimateOrientation(uint32_t& stillCount);
};

struct IrDot {
    bool Visible;
    uint32_t RawX, RawY;  // 10 bits each
    float X, Y;
    int32_t Size;  // extended mode only
};

struct StickReading {
    float RawX, RawY;
    float X, Y;  // about -1..1
    float DeadZoneX, DeadZoneY;

    void ApplyDeadZone();
};

enum IrCameraMode : int32_t { IrOff = 0, IrBasic = 1, IrExtended = 3 };

enum WiimoteExtension : int32_t {
    ExtensionNone = 0,
    ExtensionNunchuk = 1,
    ExtensionClassicController = 2,
    ExtensionGuitarController = 3,
    ExtensionDrums = 4,
    ExtensionBalanceBoard = 5,
    ExtensionMotionPlus = 6,
    ExtensionPartiallyInserted = 7,
};

namespace WiimoteChange {
enum : uint32_t {
    ConnectionLost = 0x1,
    BatteryChanged = 0x2,
    BatteryDrained = 0x4,
    LedsChanged = 0x8,
    ButtonsChanged = 0x10,
    AccelChanged = 0x20,
    OrientationChanged = 0x40,
    IrChanged = 0x80,
    NunchukConnected = 0x100,
    NunchukButtonsChanged = 0x200,
    NunchukAccelChanged = 0x400,
    NunchukOrientationChanged = 0x800,
    NunchukStickChanged = 0x1000,
    ClassicConnected = 0x2000,
    ClassicButtonsChanged = 0x4000,
    ClassicLeftStickChanged = 0x8000,
    ClassicRightStickChanged = 0x10000,
    ClassicTriggersChanged = 0x20000,
    BalanceBoardConnected = 0x40000,
    BalanceBoardChanged = 0x80000,
    MotionPlusDetected = 0x100000,
    MotionPlusConnected = 0x200000,
    MotionPlusSpeedChanged = 0x400000,
    MotionPlusExtensionConnected = 0x800000,
    MotionPlusExtensionDisconnected = 0x1000000,
    ExtensionDisconnected = 0x2000000,
    ExtensionPartiallyInserted = 0x4000000,
};
}

struct WiimoteState {
    AccelCalibration AccelCal;
    uint16_t Buttons;
    AccelReading Accel;
    IrCameraMode IrMode;
    IrDot IrDots[4];
    uint8_t Leds;
    uint8_t BatteryRaw;
    uint8_t BatteryPercent;
    bool BatteryDrained;
    bool Rumble;
    bool ExtensionConnected;
    WiimoteExtension ExtensionType;
    AccelCalibration NunchukAccelCal;
    uint8_t NunchukStickCal[6];  // MinX, MidX, MaxX, MinY, MidY, MaxY
    AccelReading NunchukAccel;
    StickReading NunchukStick;
    bool NunchukC, NunchukZ;
    uint8_t ClassicStickCal[12];  // left MinX, MidX, MaxX, MinY, MidY, MaxY, then right
    uint8_t ClassicTriggerCal[4];  // left min, left max, right min, right max
    uint16_t ClassicButtons;
    StickReading ClassicLeftStick, ClassicRightStick;
    uint8_t LeftTriggerRaw, RightTriggerRaw;
    float LeftTrigger, RightTrigger;
    int16_t BoardCal[3][4];  // three calibration points (0, 68 and 136 kg)
    int16_t BoardRaw[4];
    float BoardRestOffset[5];
    float BoardKg[5];
    float BoardLb[5];
    uint16_t MotionPlusRaw[3];  // yaw, pitch, roll
    float MotionPlusSpeed[3];

    // Zeroes the record but keeps the six dead-zone floats.
    void Clear();
    // Copies every field of other but keeps this record's dead zones.
    void CopyKeepingDeadZones(const WiimoteState& other);
};

class Wiimote;
using WiimoteChangeCallback = void (*)(Wiimote& remote, uint32_t changed);

namespace WiimoteReport {
enum : uint8_t {
    Leds = 0x11, Mode = 0x12, Ir = 0x13, Status = 0x15, WriteMemory = 0x16, ReadMemory = 0x17, Ir2 = 0x1A,
    StatusIn = 0x20, ReadReply = 0x21,
};
}

class Wiimote {
public:
    static constexpr int kReportSize = 22;
    using Report = uint8_t[kReportSize];

    Wiimote();
    ~Wiimote();  // disconnects and joins every thread
    Wiimote(const Wiimote&) = delete;
    Wiimote& operator=(const Wiimote&) = delete;

    // Discovery and connection. number 1, 2, ... is the n-th remote in
    // enumeration order; -1 takes the first that answers.
    bool Connect(int number);
    void Disconnect();
    void Reset();

    uint32_t TakeStateSnapshot();
    bool IsBalanceBoardConnected();
    WiimoteExtension CurrentExtension();  // live type, None while no extension is connected

    // Output.
    bool SendOutputReport(const uint8_t* report);
    void SetLedBits(uint8_t bits);
    void SwitchRumble(bool on);
    void StartTimedRumble();
    void SelectReportMode(uint32_t mode);
    void SendStatusRequest();
    void SendReadRequest(uint32_t address, uint16_t size);
    void SendWriteRequest(uint32_t address, uint8_t size, const uint8_t* data);
    void EnableIrCamera(IrCameraMode mode);
    void DisableIrCamera();
    void EnableMotionPlus();
    void DisableMotionPlus();

    // Input decoding, called by the read thread (public for tests).
    void DispatchInputReport(const uint8_t* report);

    WiimoteState State{};  // public record
    std::atomic<WiimoteChangeCallback> ChangeCallback{nullptr};
    std::atomic<uint32_t> CallbackMask{0x3FFFFFF};
    std::atomic<bool> UseHidWrites{false};
    std::atomic<bool> Connected{false};
    std::atomic<bool> ConnectionLost{false};
    std::atomic<bool> MotionPlusProbePending{false};
    std::atomic<bool> MotionPlusDetected{false};
    std::atomic<bool> MotionPlusEnabled{false};
    std::atomic<bool> MotionPlusPassThroughPlugged{false};
    std::atomic<bool> CaptureBoardRestOffsets{false};
    std::atomic<uint32_t> ReportMode{0x30};
    FairRecursiveLock StateLock;  // live record, PendingChanges, public record

    // Live record and accumulated change bits; read them under StateLock.
    WiimoteState Live{};
    uint32_t PendingChanges = 0;

private:
    bool OpenAndTest(const char* path);
    bool CloseDevice(bool sendReset);
    void QueueNextRead();
    void ReaderThreadMain();
    void HandleConnectionLoss();
    void HidWriterThreadMain();
    void RumbleTimerThreadMain();
    void StopHelperThreads();
    bool WaitForConnected(int timeoutMs);

    void BuildReport(Report out, uint8_t id);
    uint32_t DecodeStatusReport(const uint8_t* report);
    uint32_t DecodeAcceleration(const uint8_t* report);
    uint32_t DecodeIrDots(const uint8_t* report);
    uint32_t DecodeExtensionBytes(const uint8_t* bytes, int count);
    uint32_t DecodeNunchuk(const uint8_t* e);
    uint32_t DecodeClassic(const uint8_t* e);
    uint32_t DecodeBoard(const uint8_t* e);
    uint32_t DecodeMotionPlus(const uint8_t* e);
    uint32_t HandleExtensionBit(bool plugged);
    uint32_t HandleReadReply(const uint8_t* report);
    uint32_t HandleIdentification(const uint8_t* d);
    uint32_t HandleExtensionCalibration(uint16_t address, const uint8_t* d, int count);
    void StartExtensionSetup();
    void ProbeMotionPlus();

    std::atomic<intptr_t> DeviceHandle{0};  // the platform's HID device, 0 for none
    std::mutex DeviceLock;     // held while a report goes out and while the device closes
    std::mutex TeardownLock;   // one teardown at a time
    std::atomic<bool> StopThreads{false};

    std::thread ReadThread;
    std::atomic<std::thread::id> ReadThreadId{};
    std::thread HidWriteThread;
    std::thread RumbleThread;

    std::deque<std::array<uint8_t, kReportSize>> WriteQueue;  // copies; the front stays put until popped
    std::mutex WriteQueueLock;  // also guards starting the write and rumble threads

    std::atomic<uint64_t> NextStatusTime{0};  // ms
    uint64_t RumbleEndTime = 0;   // ms, 0 when no timed rumble runs; under StateLock
    uint32_t StillSampleCount = 0;
    uint8_t BoardCalPart[16] = {};  // first reply of the balance-board calibration
    bool BoardCalPartValid = false;
};

// Formats one trace line ("Paddlewise! : " ...) to standard error.
void WiimoteTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Where trace lines go (tests capture them); null restores standard error.
using WiimoteTraceSink = void (*)(const char* line);
void SetWiimoteTraceSink(WiimoteTraceSink sink);

// Kilograms from one balance-board sensor and its three calibration points.
float BoardSensorToKilograms(int16_t reading, int16_t c0, int16_t c1, int16_t c2);
