// A window that prints the live state of the keyboard, the mouse, the
// joypads and the game pads, one line whenever something changes: for
// trying real devices. Runs until the window is closed, or for the given
// number of frames ("inputprobe 600").
#include "engine/engine.h"
#include "platform/input.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kFrameMilliseconds = 16;

std::string Format(const char* format, auto... args) {
    char line[256];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

std::string KeysLine() {
    unsigned char keys[256];
    QueryAllKeyStates(keys);
    std::string line = "keys:";
    for (int k = 0; k < 256; ++k)
        if (keys[k]) line += Format(" %02X", k);
    return line;
}

std::string MouseLine() {
    int x = 0, y = 0;
    GetMousePosition(&x, &y);
    return Format("mouse: %d,%d buttons %d wheel %d", x, y, ReadMouseButtons(), GetMouseWheelCount(0));
}

std::string JoypadsLine() {
    std::string line = Format("joypads %d:", CountJoypads());
    for (int pad = 1; pad <= CountJoypads(); ++pad) line += Format(" %d=%07X", pad, QueryPadButtons(pad));
    return line;
}

std::string GamePadsLine() {
    std::string line = "game pads:";
    for (uint32_t i = 0; i < platform::kMaxGamePads; ++i) {
        platform::GamePadState s;
        if (platform::GetGamePadState(i, &s) != platform::kGamePadSuccess) {
            line += Format(" %u=-", i);
            continue;
        }
        line += Format(" %u=[buttons %04X L %d,%d R %d,%d triggers %d,%d]", i, s.buttons, s.leftX, s.leftY,
                       s.rightX, s.rightY, s.leftTrigger, s.rightTrigger);
    }
    return line;
}

void WaitForFrameEnd(int frameStart) {
    while (ElapsedMilliseconds(frameStart, GetMillisecondCount()) < kFrameMilliseconds) SleepMilliseconds(1);
}

}  // namespace

int main(int argc, char** argv) {
    long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : -1;
    SetAppWindowTitle("inputprobe");
    SetLogOutput(0);
    SetDoubleStartCheck(0);  // a probe saves nothing: it may run beside the game
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, 60);
    if (InitializeEngine() != 0) {
        std::fprintf(stderr, "inputprobe: the engine did not start\n");
        return 1;
    }
    std::string last;
    for (long frame = 0; frames < 0 || frame < frames; ++frame) {
        int frameStart = GetMillisecondCount();
        if (ProcessWindowMessages() != 0) break;
        std::string now = KeysLine() + " | " + MouseLine() + " | " + JoypadsLine() + " | " + GamePadsLine();
        if (now != last) std::printf("%6ld %s\n", frame, now.c_str());
        std::fflush(stdout);
        last = now;
        WaitForFrameEnd(frameStart);
    }
    ShutdownEngine();
    return 0;
}
