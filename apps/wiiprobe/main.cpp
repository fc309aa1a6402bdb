// wiiprobe: lists the Wii remotes that connect and prints their live state.
//   wiiprobe [seconds]        real remotes over hidraw (see README)
//   wiiprobe --sim [seconds]  one simulated remote with a nunchuk
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/hid.h"
#include "platform/hidsim.h"
#include "wiiremote/wiimote.h"

using namespace morpotta;

namespace {

const char* ExtensionName(WiimoteExtension type) {
    static const char* const names[] = {"none", "nunchuk", "classic", "guitar", "drums",
                                        "balance board", "MotionPlus", "partially inserted"};
    return type >= 0 && type <= 7 ? names[type] : "?";
}

void PrintState(int number, Wiimote& remote) {
    remote.TakeStateSnapshot();
    std::lock_guard lock(remote.StateLock);
    const WiimoteState& s = remote.State;
    int dots = 0;
    for (const IrDot& d : s.IrDots) dots += d.Visible;
    std::printf("#%d buttons %04X accel %+5.2f %+5.2f %+5.2f pitch %+7.1f roll %+7.1f battery %3u%% ir %d ext %s",
                number, s.Buttons, s.Accel.X, s.Accel.Y, s.Accel.Z, s.Accel.Pitch, s.Accel.Roll,
                unsigned(s.BatteryPercent), dots, ExtensionName(s.ExtensionConnected ? s.ExtensionType : ExtensionNone));
    if (s.ExtensionConnected && s.ExtensionType == ExtensionNunchuk)
        std::printf(" stick %+5.2f %+5.2f %c%c", s.NunchukStick.X, s.NunchukStick.Y, s.NunchukC ? 'C' : '-',
                    s.NunchukZ ? 'Z' : '-');
    if (s.ExtensionConnected && s.ExtensionType == ExtensionBalanceBoard) std::printf(" %.1f kg", s.BoardKg[4]);
    std::printf("\n");
}

// A simulated remote that tilts and presses buttons, for trying the probe
// without hardware.
void StartSimulation(std::atomic<bool>& running, std::thread& animator) {
    platform::SelectHidBackend("sim");
    platform::SimulatedRemote* sim = platform::AddSimulatedRemote();
    const uint8_t nunchukCal[16] = {0x80, 0x80, 0x80, 0, 0xB3, 0xB3, 0xB3, 0, 0xE0, 0x20, 0x80, 0xE0, 0x20, 0x80};
    sim->SetMemory(0xA40020, nunchukCal, 16);
    sim->PlugExtension(platform::SimExtension::Nunchuk);
    animator = std::thread([sim, &running] {
        for (int t = 0; running; ++t) {
            sim->SetButtons(uint16_t((t / 50) % 2 ? 0x0800 : 0));
            sim->SetAccel(0x80, uint8_t(0x80 + (t % 40) - 20), 0x9A);
            sim->SetNunchuk(uint8_t(0x80 + (t % 64)), 0x80, 0x80, 0x80, 0xB3, t % 100 < 50, false);
            sim->SendDataReport();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    bool simulate = false;
    int seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sim") == 0) simulate = true;
        else seconds = std::atoi(argv[i]);
    }
    std::atomic<bool> running{true};
    std::thread animator;
    if (simulate) StartSimulation(running, animator);

    std::vector<std::pair<int, std::unique_ptr<Wiimote>>> remotes;
    for (int n = 1; n <= 4; ++n) {
        auto remote = std::make_unique<Wiimote>();
        if (!remote->Connect(n)) break;
        remote->SetLedBits(uint8_t(1 << (n - 1)));
        remote->SelectReportMode(remote->CurrentExtension() == ExtensionNunchuk ? 0x35 : 0x31);
        std::printf("remote %d connected, extension %s\n", n, ExtensionName(remote->CurrentExtension()));
        remotes.emplace_back(n, std::move(remote));
    }
    if (remotes.empty()) std::printf("no Wii remote connected\n");

    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!remotes.empty() && std::chrono::steady_clock::now() < end) {
        for (auto& [number, remote] : remotes) {
            if (remote->Connected) PrintState(number, *remote);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    remotes.clear();
    running = false;
    if (animator.joinable()) animator.join();
    return 0;
}
