// Shared set-up for the driver's tests: the simulated HID back end with no
// remotes, captured trace lines, and helpers to build raw input reports.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid.h"
#include "platform/hidsim.h"
#include "wiiremote/wiimote.h"

using namespace morpotta;

namespace wiitest {

inline std::mutex traceLock;
inline std::vector<std::string> traceLines;

inline void CaptureTrace(const char* line) {
    std::lock_guard lock(traceLock);
    traceLines.emplace_back(line);
}

inline std::vector<std::string> Traces() {
    std::lock_guard lock(traceLock);
    return traceLines;
}

inline void ClearTraces() {
    std::lock_guard lock(traceLock);
    traceLines.clear();
}

inline bool Traced(const std::string& text) {
    std::string line = "Paddlewise! : " + text + "\n";
    auto lines = Traces();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline int TraceCount(const std::string& text) {
    std::string line = "Paddlewise! : " + text + "\n";
    auto lines = Traces();
    return int(std::count(lines.begin(), lines.end(), line));
}

using Bytes = std::array<uint8_t, 22>;

inline Bytes MakeReport(std::initializer_list<int> bytes) {
    Bytes r{};
    int i = 0;
    for (int b : bytes) r[size_t(i++)] = uint8_t(b);
    return r;
}

// Polls until the condition holds or the time runs out (real time). The
// deadline only matters when the condition never comes: it is generous, for
// a loaded machine under ThreadSanitizer.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A read reply: error/size byte, low 16 address bits, data.
inline Bytes ReadReply(uint16_t address, std::vector<uint8_t> data, uint8_t error = 0) {
    Bytes r{};
    r[0] = 0x21;
    uint8_t size = data.empty() ? 0 : uint8_t(data.size() - 1);
    r[3] = uint8_t((size << 4) | error);
    r[4] = uint8_t(address >> 8);
    r[5] = uint8_t(address);
    std::copy(data.begin(), data.end(), r.begin() + 6);
    return r;
}

class WiimoteTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SelectHidBackend("sim");
        platform::RemoveAllSimulatedRemotes();
        SetWiimoteTraceSink(CaptureTrace);
        std::lock_guard lock(traceLock);
        traceLines.clear();
    }
    void TearDown() override {
        platform::RemoveAllSimulatedRemotes();
        SetWiimoteTraceSink(nullptr);
    }

    // Feeds one report straight to the decoder, as the read thread does.
    static void Feed(Wiimote& w, const Bytes& report) { w.DispatchInputReport(report.data()); }

    // Sets fields of the live record as the read thread would.
    static void Edit(Wiimote& w, const std::function<void(WiimoteState&)>& change) {
        std::lock_guard lock(w.StateLock);
        change(w.Live);
    }

    static WiimoteState Live(Wiimote& w) {
        std::lock_guard lock(w.StateLock);
        return w.Live;
    }

    static WiimoteState Public(Wiimote& w) {
        std::lock_guard lock(w.StateLock);
        return w.State;
    }
};

// A fixture with one simulated remote and a driver object connected to it.
class ConnectedTest : public WiimoteTest {
protected:
    void SetUp() override {
        WiimoteTest::SetUp();
        sim = platform::AddSimulatedRemote();
        remote = std::make_unique<Wiimote>();
        ASSERT_TRUE(remote->Connect(1));
        sim->TakeOutputLog();
    }
    void TearDown() override {
        remote.reset();
        WiimoteTest::TearDown();
    }

    // What the remote received since the last call, without the periodic
    // status requests and MotionPlus probes of the read thread.
    std::vector<Bytes> Outputs() {
        std::vector<Bytes> out;
        for (const Bytes& r : sim->TakeOutputLog()) {
            bool probe = r[0] == 0x17 && r[2] == 0xA6 && r[4] == 0xFA;
            if (r[0] != 0x15 && !probe) out.push_back(r);
        }
        return out;
    }

    platform::SimulatedRemote* sim = nullptr;
    std::unique_ptr<Wiimote> remote;
};

inline std::string Hex(const Bytes& r, int count = 22) {
    std::string s;
    char buf[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", r[size_t(i)]);
        if (i) s += ' ';
        s += buf;
    }
    return s;
}

}  // namespace wiitest
