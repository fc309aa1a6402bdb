// Simulated Wii remotes as HID devices, for tests and for running the
// driver without hardware. Stands in for the HID services together with a
// remote at the far end: output reports are answered synchronously in the
// writer's call (the reply lands in the remote's input queue), reads take
// from that queue. Limits: only the reports and registers the driver uses
// are modelled; data reports go out only when the test asks for one.
// Depends on: nothing beyond the standard library.
#include "hidsim/hid_sim.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/hidsim.h"

namespace morpotta::platform {

using Report = SimulatedRemote::Report;

struct SimulatedRemote::State {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool removed = false;
    bool unplugged = false;
    int openCount = 0;

    uint16_t buttons = 0;
    uint8_t accel[3] = {0x80, 0x80, 0x80};
    SimIrDot dots[4];
    uint8_t battery = 0xC0;
    bool batteryLow = false;
    uint8_t extBytes[16] = {};
    std::map<uint32_t, uint8_t> memory;

    SimExtension extension = SimExtension::None;
    bool motionPlusAttached = false;
    bool motionPlusActive = false;
    bool motionPlusInitWritten = false;

    uint8_t leds = 0;
    bool rumble = false;
    uint8_t mode = 0x30;
    int irMode = 0;

    SimFaults faults;
    struct Pending {
        Report report;
        int size;
        std::chrono::steady_clock::time_point readyAt;
    };
    std::deque<Pending> input;
    std::vector<Report> outputLog;
};

namespace {

struct SimDevice {
    SimulatedRemote* remote;
    bool woken = false;
};

std::mutex simLock;
std::condition_variable simChanged;
std::vector<std::unique_ptr<SimulatedRemote>> remotes;    // listed
std::vector<std::unique_ptr<SimulatedRemote>> graveyard;  // removed, kept for open handles
std::vector<std::unique_ptr<SimulatedRemote::State>> states;
bool outputReportAvailable = true;

bool ExtensionBit(const SimulatedRemote::State& s) {
    return s.motionPlusActive || s.extension != SimExtension::None;
}

// Answers to output reports arrive after a short delay, as over a radio
// link; the reader is idle meanwhile.
constexpr auto kReplyDelay = std::chrono::milliseconds(1);

void Push(SimulatedRemote::State& s, const Report& r,
          std::chrono::steady_clock::duration delay = kReplyDelay) {
    s.input.push_back({r, 22, std::chrono::steady_clock::now() + delay});
    simChanged.notify_all();
}

Report WithButtons(uint8_t id, const SimulatedRemote::State& s) {
    Report r{};
    r[0] = id;
    r[1] = uint8_t(s.buttons & 0xFF);
    r[2] = uint8_t(s.buttons >> 8);
    return r;
}

void PushStatus(SimulatedRemote::State& s, bool extensionBit) {
    Report r = WithButtons(0x20, s);
    r[3] = uint8_t((s.batteryLow ? 0x01 : 0) | (extensionBit ? 0x02 : 0) | (s.irMode ? 0x08 : 0) | (s.leds << 4));
    r[6] = s.battery;
    Push(s, r);
}

void PushReadError(SimulatedRemote::State& s, uint32_t address, uint8_t error) {
    Report r = WithButtons(0x21, s);
    r[3] = error;
    r[4] = uint8_t(address >> 8);
    r[5] = uint8_t(address);
    Push(s, r);
}

void PushReadData(SimulatedRemote::State& s, uint32_t address, const uint8_t* data, int size) {
    for (int done = 0; done < size; done += 16) {
        int n = std::min(16, size - done);
        Report r = WithButtons(0x21, s);
        uint32_t at = address + uint32_t(done);
        r[3] = uint8_t((n - 1) << 4);
        r[4] = uint8_t(at >> 8);
        r[5] = uint8_t(at);
        std::memcpy(&r[6], data + done, size_t(n));
        Push(s, r);
    }
}

bool Identification(const SimulatedRemote::State& s, uint8_t id[6]) {
    static const uint8_t kMotionPlus[6] = {0x00, 0x00, 0xA4, 0x20, 0x04, 0x05};
    static const uint8_t kNunchuk[6] = {0x00, 0x00, 0xA4, 0x20, 0x00, 0x00};
    static const uint8_t kClassic[6] = {0x01, 0x01, 0xA4, 0x20, 0x00, 0x00};
    static const uint8_t kBoard[6] = {0x00, 0x00, 0xA4, 0x20, 0x04, 0x02};
    const uint8_t* src = nullptr;
    if (s.motionPlusActive) src = kMotionPlus;
    else if (s.extension == SimExtension::Nunchuk) src = kNunchuk;
    else if (s.extension == SimExtension::ClassicController) src = kClassic;
    else if (s.extension == SimExtension::BalanceBoard) src = kBoard;
    else if (s.extension == SimExtension::PartiallyInserted) {
        std::memset(id, 0xFF, 6);
        return true;
    }
    if (!src) return false;
    std::memcpy(id, src, 6);
    return true;
}

void AnswerRead(SimulatedRemote::State& s, uint32_t address, int size) {
    const uint32_t kExtensionId = 0xA400FA, kMotionPlusProbe = 0xA600FA;
    std::vector<uint8_t> data(size_t(std::max(size, 0)));
    if (address == kExtensionId || address == kMotionPlusProbe) {
        uint8_t id[6];
        bool answered = address == kExtensionId ? Identification(s, id)
                                                : (s.motionPlusAttached && !s.motionPlusActive);
        if (address == kMotionPlusProbe && answered) {
            const uint8_t probe[6] = {0x00, 0x00, 0xA6, 0x20, 0x00, 0x05};
            std::memcpy(id, probe, 6);
        }
        if (!answered) {
            PushReadError(s, address, 0x07);
            return;
        }
        std::memcpy(data.data(), id, std::min<size_t>(6, data.size()));
    } else {
        bool extensionSpace = (address >> 16) == 0xA4;
        if (extensionSpace && !ExtensionBit(s)) {
            PushReadError(s, address, 0x07);
            return;
        }
        for (int i = 0; i < size; ++i) {
            auto it = s.memory.find(address + uint32_t(i));
            data[size_t(i)] = it == s.memory.end() ? 0 : it->second;
        }
    }
    PushReadData(s, address, data.data(), size);
}

void ActivateMotionPlus(SimulatedRemote::State& s) {
    if (!s.motionPlusAttached || s.motionPlusActive) return;
    if (ExtensionBit(s)) PushStatus(s, false);
    s.motionPlusActive = true;
    PushStatus(s, true);
}

void AnswerWrite(SimulatedRemote::State& s, uint32_t address, const uint8_t* data, int size) {
    for (int i = 0; i < size; ++i) s.memory[address + uint32_t(i)] = data[i];
    if (address == 0xA600F0 && size >= 1 && data[0] == 0x55) s.motionPlusInitWritten = true;
    if (address == 0xA600FE && size >= 1 && data[0] == 0x04 && s.motionPlusInitWritten) ActivateMotionPlus(s);
    if (address == 0xB00033 && size >= 1) s.irMode = data[0];
    Report ack = WithButtons(0x22, s);
    ack[3] = 0x16;
    Push(s, ack);
}

void FillIrExtended(const SimulatedRemote::State& s, uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const SimIrDot& d = s.dots[i];
        uint8_t* g = out + 3 * i;
        if (!d.visible) {
            g[0] = g[1] = g[2] = 0xFF;
            continue;
        }
        g[0] = uint8_t(d.x);
        g[1] = uint8_t(d.y);
        g[2] = uint8_t((((d.y >> 8) & 3) << 6) | (((d.x >> 8) & 3) << 4) | (d.size & 0x0F));
    }
}

void FillIrBasic(const SimulatedRemote::State& s, uint8_t* out) {
    for (int pair = 0; pair < 2; ++pair) {
        const SimIrDot& a = s.dots[2 * pair];
        const SimIrDot& b = s.dots[2 * pair + 1];
        uint8_t* g = out + 5 * pair;
        g[0] = a.visible ? uint8_t(a.x) : 0xFF;
        g[1] = a.visible ? uint8_t(a.y) : 0xFF;
        g[3] = b.visible ? uint8_t(b.x) : 0xFF;
        g[4] = b.visible ? uint8_t(b.y) : 0xFF;
        uint8_t high = a.visible ? uint8_t((((a.y >> 8) & 3) << 6) | (((a.x >> 8) & 3) << 4)) : 0xF0;
        uint8_t low = b.visible ? uint8_t((((b.y >> 8) & 3) << 2) | ((b.x >> 8) & 3)) : 0x0F;
        g[2] = uint8_t(high | low);
    }
}

Report DataReport(const SimulatedRemote::State& s) {
    Report r = WithButtons(s.mode, s);
    auto accel = [&] { std::memcpy(&r[3], s.accel, 3); };
    switch (s.mode) {
    case 0x31: accel(); break;
    case 0x32: std::memcpy(&r[3], s.extBytes, 8); break;
    case 0x33: accel(); FillIrExtended(s, &r[6]); break;
    case 0x35: accel(); std::memcpy(&r[6], s.extBytes, 16); break;
    case 0x37: accel(); FillIrBasic(s, &r[6]); std::memcpy(&r[16], s.extBytes, 6); break;
    default: r[0] = 0x30; break;
    }
    return r;
}

void Receive(SimulatedRemote::State& s, const uint8_t* report, int size) {
    Report r{};
    std::memcpy(r.data(), report, size_t(std::min(size, 22)));
    s.outputLog.push_back(r);
    s.rumble = r[1] & 0x01;
    uint32_t address = (uint32_t(r[2]) << 16) | (uint32_t(r[3]) << 8) | r[4];
    switch (r[0]) {
    case 0x11: s.leds = uint8_t(r[1] >> 4); break;
    case 0x12: s.mode = r[2]; break;
    case 0x13: case 0x1A:
        if (!(r[1] & 0x04)) s.irMode = 0;
        break;
    case 0x15: PushStatus(s, ExtensionBit(s)); break;
    case 0x16: AnswerWrite(s, address, &r[6], std::min<int>(r[5], 16)); break;
    case 0x17: AnswerRead(s, address, (r[5] << 8) | r[6]); break;
    default: break;
    }
}

SimDevice* SimFromHandle(HidDevice device) { return reinterpret_cast<SimDevice*>(device); }

bool Dead(const SimulatedRemote::State& s) { return s.unplugged || s.removed; }

int SimEnumerate(HidDeviceInfo* out, int capacity) {
    std::lock_guard lock(simLock);
    int count = 0;
    for (auto& remote : remotes) {
        if (count < capacity) {
            std::snprintf(out[count].path, sizeof out[count].path, "sim:%d", count);
            out[count].vendorId = remote->state->vendorId;
            out[count].productId = remote->state->productId;
        }
        ++count;
    }
    return count;
}

HidDevice SimOpen(const char* path, int* errorCode) {
    std::lock_guard lock(simLock);
    int index = -1;
    if (std::sscanf(path, "sim:%d", &index) != 1 || index < 0 || index >= int(remotes.size())) {
        if (errorCode) *errorCode = 2;  // no such file
        return 0;
    }
    SimulatedRemote* remote = remotes[size_t(index)].get();
    if (remote->state->faults.failOpen || Dead(*remote->state)) {
        if (errorCode) *errorCode = 13;  // access denied
        return 0;
    }
    ++remote->state->openCount;
    return reinterpret_cast<HidDevice>(new SimDevice{remote});
}

void SimClose(HidDevice device) {
    SimDevice* d = SimFromHandle(device);
    if (!d) return;
    {
        std::lock_guard lock(simLock);
        --d->remote->state->openCount;
    }
    delete d;
}

int SimRead(HidDevice device, uint8_t* buffer, int size, int timeoutMs) {
    SimDevice* d = SimFromHandle(device);
    if (!d) return -1;
    std::unique_lock lock(simLock);
    SimulatedRemote::State& s = *d->remote->state;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto ready = [&] {
        return d->woken || Dead(s) || s.faults.failReads || s.faults.emptyReads > 0 ||
               (!s.input.empty() && s.input.front().readyAt <= std::chrono::steady_clock::now());
    };
    while (!ready()) {
        auto until = deadline;
        if (!s.input.empty()) until = std::min(until, s.input.front().readyAt);
        if (simChanged.wait_until(lock, until) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline)
            break;
    }
    if (Dead(s) || s.faults.failReads) return -1;
    if (d->woken) {
        d->woken = false;
        return 0;
    }
    if (s.faults.emptyReads > 0) {
        --s.faults.emptyReads;
        return 0;
    }
    if (!ready()) return 0;
    int n = std::min({size, 22, s.input.front().size});
    std::memcpy(buffer, s.input.front().report.data(), size_t(n));
    s.input.pop_front();
    return n;
}

void SimWake(HidDevice device) {
    SimDevice* d = SimFromHandle(device);
    if (!d) return;
    std::lock_guard lock(simLock);
    d->woken = true;
    simChanged.notify_all();
}

HidStatus SimWrite(HidDevice device, const uint8_t* report, int size, int* errorCode) {
    SimDevice* d = SimFromHandle(device);
    if (!d) return HidStatus::Failed;
    std::lock_guard lock(simLock);
    SimulatedRemote::State& s = *d->remote->state;
    if (Dead(s)) {
        if (errorCode) *errorCode = 19;  // no such device
        return HidStatus::Gone;
    }
    if (s.faults.failWrites) {
        if (errorCode) *errorCode = 5;  // I/O error
        return HidStatus::Failed;
    }
    if (!s.faults.silentWrites) Receive(s, report, size);
    return HidStatus::Ok;
}

HidStatus SimSendOutputReport(HidDevice device, const uint8_t* report, int size, int* errorCode) {
    SimDevice* d = SimFromHandle(device);
    if (!d) return HidStatus::Failed;
    std::lock_guard lock(simLock);
    SimulatedRemote::State& s = *d->remote->state;
    if (!outputReportAvailable) {
        if (errorCode) *errorCode = 25;  // not a typewriter: no such call
        return HidStatus::NotSupported;
    }
    if (Dead(s)) {
        if (errorCode) *errorCode = 19;
        return HidStatus::Gone;
    }
    if (s.faults.outputReportStatusCount != 0 && s.faults.outputReportStatus != HidStatus::Ok) {
        if (s.faults.outputReportStatusCount > 0) --s.faults.outputReportStatusCount;
        if (errorCode) *errorCode = 11;
        return s.faults.outputReportStatus;
    }
    if (!s.faults.silentOutputReports) Receive(s, report, size);
    return HidStatus::Ok;
}

}  // namespace

const HidBackend kHidSimBackend = {
    "sim", SimEnumerate, SimOpen, SimClose, SimRead, SimWake, SimWrite, SimSendOutputReport,
};

SimulatedRemote* AddSimulatedRemote(uint16_t vendorId, uint16_t productId) {
    std::lock_guard lock(simLock);
    auto remote = std::make_unique<SimulatedRemote>();
    states.push_back(std::make_unique<SimulatedRemote::State>());
    remote->state = states.back().get();
    remote->state->vendorId = vendorId;
    remote->state->productId = productId;
    // The factory calibration: zero at 0x80, one g 0x1A above.
    const uint8_t calibration[7] = {0x80, 0x80, 0x80, 0x00, 0x9A, 0x9A, 0x9A};
    for (int i = 0; i < 7; ++i) remote->state->memory[0x16 + uint32_t(i)] = calibration[i];
    remotes.push_back(std::move(remote));
    return remotes.back().get();
}

void RemoveAllSimulatedRemotes() {
    std::lock_guard lock(simLock);
    for (auto& remote : remotes) {
        remote->state->removed = true;
        graveyard.push_back(std::move(remote));
    }
    remotes.clear();
    outputReportAvailable = true;
    simChanged.notify_all();
}

void SetSimOutputReportAvailable(bool available) {
    std::lock_guard lock(simLock);
    outputReportAvailable = available;
}

void SimulatedRemote::SetButtons(uint16_t buttons) {
    std::lock_guard lock(simLock);
    state->buttons = buttons;
}

void SimulatedRemote::SetAccel(uint8_t x, uint8_t y, uint8_t z) {
    std::lock_guard lock(simLock);
    state->accel[0] = x;
    state->accel[1] = y;
    state->accel[2] = z;
}

void SimulatedRemote::SetIrDot(int index, const SimIrDot& dot) {
    if (index < 0 || index >= 4) return;
    std::lock_guard lock(simLock);
    state->dots[index] = dot;
}

void SimulatedRemote::SetBattery(uint8_t level, bool low) {
    std::lock_guard lock(simLock);
    state->battery = level;
    state->batteryLow = low;
}

void SimulatedRemote::SetExtensionBytes(const uint8_t* bytes, int count) {
    std::lock_guard lock(simLock);
    std::memset(state->extBytes, 0, sizeof state->extBytes);
    std::memcpy(state->extBytes, bytes, size_t(std::clamp(count, 0, 16)));
}

void SimulatedRemote::SetNunchuk(uint8_t stickX, uint8_t stickY, uint8_t ax, uint8_t ay, uint8_t az, bool c, bool z) {
    const uint8_t bytes[6] = {stickX, stickY, ax, ay, az, uint8_t((z ? 0 : 0x01) | (c ? 0 : 0x02))};
    SetExtensionBytes(bytes, 6);
}

void SimulatedRemote::SetBoard(uint16_t r0, uint16_t r1, uint16_t r2, uint16_t r3) {
    const uint8_t bytes[8] = {uint8_t(r0 >> 8), uint8_t(r0), uint8_t(r1 >> 8), uint8_t(r1),
                              uint8_t(r2 >> 8), uint8_t(r2), uint8_t(r3 >> 8), uint8_t(r3)};
    SetExtensionBytes(bytes, 8);
}

void SimulatedRemote::SetMemory(uint32_t address, const uint8_t* bytes, int count) {
    std::lock_guard lock(simLock);
    for (int i = 0; i < count; ++i) state->memory[(address + uint32_t(i)) & 0xFFFFFF] = bytes[i];
}

void SimulatedRemote::PlugExtension(SimExtension type) {
    std::lock_guard lock(simLock);
    bool before = ExtensionBit(*state);
    if (type == SimExtension::MotionPlus) {
        state->motionPlusAttached = true;
        type = SimExtension::None;
    }
    state->extension = type;
    if (type == SimExtension::None && !state->motionPlusAttached) state->motionPlusActive = false;
    bool after = ExtensionBit(*state);
    if (state->openCount > 0 && (before != after || after)) PushStatus(*state, after);
}

void SimulatedRemote::SetMotionPlusAttached(bool attached) {
    std::lock_guard lock(simLock);
    bool before = ExtensionBit(*state);
    state->motionPlusAttached = attached;
    if (!attached) state->motionPlusActive = false;
    if (state->openCount > 0 && before != ExtensionBit(*state)) PushStatus(*state, ExtensionBit(*state));
}

void SimulatedRemote::SendDataReport() {
    std::lock_guard lock(simLock);
    if (!Dead(*state)) Push(*state, DataReport(*state), {});
}

void SimulatedRemote::InjectReport(const uint8_t* bytes, int size) {
    std::lock_guard lock(simLock);
    Report r{};
    std::memcpy(r.data(), bytes, size_t(std::clamp(size, 0, 22)));
    state->input.push_back({r, std::clamp(size, 0, 22), std::chrono::steady_clock::now()});
    simChanged.notify_all();
}

void SimulatedRemote::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(simLock);
    state->faults = faults;
    simChanged.notify_all();
}

void SimulatedRemote::Unplug() {
    std::lock_guard lock(simLock);
    state->unplugged = true;
    simChanged.notify_all();
}

std::vector<Report> SimulatedRemote::TakeOutputLog() {
    std::lock_guard lock(simLock);
    std::vector<Report> log;
    log.swap(state->outputLog);
    return log;
}

uint8_t SimulatedRemote::Leds() const {
    std::lock_guard lock(simLock);
    return state->leds;
}

bool SimulatedRemote::Rumble() const {
    std::lock_guard lock(simLock);
    return state->rumble;
}

uint8_t SimulatedRemote::ReportMode() const {
    std::lock_guard lock(simLock);
    return state->mode;
}

int SimulatedRemote::IrMode() const {
    std::lock_guard lock(simLock);
    return state->irMode;
}

bool SimulatedRemote::MotionPlusActive() const {
    std::lock_guard lock(simLock);
    return state->motionPlusActive;
}

int SimulatedRemote::OpenCount() const {
    std::lock_guard lock(simLock);
    return state->openCount;
}

}  // namespace morpotta::platform
