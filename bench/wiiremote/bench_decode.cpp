// Decoding speed of input reports on the read thread (the lock, the
// decoding and the change bits; no callback installed).
#include <benchmark/benchmark.h>

#include <cstring>

#include "wiiremote/wiimote.h"

namespace {

void Prepare(Wiimote& remote, WiimoteExtension type, IrCameraMode ir) {
    std::lock_guard lock(remote.StateLock);
    remote.Live.AccelCal = {0x80, 0x80, 0x80, 0x9A, 0x9A, 0x9A};
    remote.Live.NunchukAccelCal = {0x80, 0x80, 0x80, 0xB3, 0xB3, 0xB3};
    const uint8_t stick[6] = {0x20, 0x80, 0xE0, 0x20, 0x80, 0xE0};
    std::memcpy(remote.Live.NunchukStickCal, stick, 6);
    remote.Live.ExtensionConnected = type != ExtensionNone;
    remote.Live.ExtensionType = type;
    remote.Live.IrMode = ir;
}

void Run(benchmark::State& state, uint8_t id, WiimoteExtension type, IrCameraMode ir) {
    SetWiimoteTraceSink([](const char*) {});
    Wiimote remote;
    Prepare(remote, type, ir);
    uint8_t report[22] = {id, 0, 0, 0x80, 0x80, 0x9A, 0x10, 0x20, 0x66, 0x30, 0x40, 0xFF, 0xFF, 0x0F, 0x01, 0x02,
                          0x80, 0x80, 0x80, 0x80, 0xB3, 0x03};
    int i = 0;
    for (auto _ : state) {
        report[1] = uint8_t(i & 1);   // buttons change every report
        report[3] = uint8_t(0x80 + (i & 7));
        remote.DispatchInputReport(report);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    SetWiimoteTraceSink(nullptr);
}

void BM_DecodeAccel(benchmark::State& state) { Run(state, 0x31, ExtensionNone, IrOff); }
void BM_DecodeAccelIrNunchuk(benchmark::State& state) { Run(state, 0x37, ExtensionNunchuk, IrBasic); }

}  // namespace

BENCHMARK(BM_DecodeAccel);
BENCHMARK(BM_DecodeAccelIrNunchuk);
