// Simulated Wii remotes behind the HID interface (back end "sim"). Each
// remote answers output reports the way the real protocol does: status
// reports on request and when an extension is plugged or removed, register
// and memory reads in replies of at most 16 bytes, register writes,
// extension identification and activation (nunchuk, classic controller,
// MotionPlus, balance board), and data reports in the selected mode. Fault
// knobs make the write paths silent or failing, reads fail, or the remote
// vanish. Everything here is thread-safe.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "platform/hid.h"

namespace morpotta::platform {

enum class SimExtension : int { None, Nunchuk, ClassicController, BalanceBoard, MotionPlus, PartiallyInserted };

struct SimIrDot {
    bool visible = false;
    int x = 0;     // 10 bits
    int y = 0;     // 10 bits
    int size = 0;  // 4 bits
};

struct SimFaults {
    bool silentWrites = false;         // plain writes are accepted and ignored
    bool failWrites = false;           // plain writes fail (connection lost)
    bool silentOutputReports = false;  // output reports are accepted and ignored
    HidStatus outputReportStatus = HidStatus::Ok;  // forced result of the output-report call
    int outputReportStatusCount = 0;   // for that many calls; < 0: for ever
    bool failReads = false;            // reads fail (connection lost)
    int emptyReads = 0;                // the next reads complete with no bytes
    bool failOpen = false;             // opening fails (access denied)
};

class SimulatedRemote;

// The remote registry; remotes are listed in the order they were added.
SimulatedRemote* AddSimulatedRemote(uint16_t vendorId = 0x057E, uint16_t productId = 0x0306);
void RemoveAllSimulatedRemotes();  // also makes open devices fail
// Without the output-report call the back end behaves like a host that lacks it.
void SetSimOutputReportAvailable(bool available);

class SimulatedRemote {
public:
    using Report = std::array<uint8_t, 22>;

    // What the remote reports.
    void SetButtons(uint16_t buttons);
    void SetAccel(uint8_t x, uint8_t y, uint8_t z);
    void SetIrDot(int index, const SimIrDot& dot);
    void SetBattery(uint8_t level, bool low);
    // Raw extension bytes as they appear in data reports (up to 16).
    void SetExtensionBytes(const uint8_t* bytes, int count);
    void SetNunchuk(uint8_t stickX, uint8_t stickY, uint8_t ax, uint8_t ay, uint8_t az, bool c, bool z);
    void SetBoard(uint16_t r0, uint16_t r1, uint16_t r2, uint16_t r3);
    // Memory and registers by their 24-bit address (the calibration blocks).
    void SetMemory(uint32_t address, const uint8_t* bytes, int count);

    // Plugs an extension into the port (a status report follows when the
    // remote is open); None removes it. MotionPlus attaches one, which takes
    // over the port once activated.
    void PlugExtension(SimExtension type);
    void SetMotionPlusAttached(bool attached);  // a MotionPlus between remote and extension

    // Sends one data report in the selected mode, or a raw report.
    void SendDataReport();
    void InjectReport(const uint8_t* bytes, int size);

    void SetFaults(const SimFaults& faults);
    void Unplug();  // reads and writes fail from now on

    // What the remote received and shows.
    std::vector<Report> TakeOutputLog();
    uint8_t Leds() const;
    bool Rumble() const;
    uint8_t ReportMode() const;
    int IrMode() const;  // 0 off, else the mode byte written to the camera
    bool MotionPlusActive() const;
    int OpenCount() const;  // devices open on this remote now

    struct State;
    State* state;
};

}  // namespace morpotta::platform
