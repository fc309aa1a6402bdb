// A window that prints the live state of the keyboard, the mouse, the
// joypads and the game pads, one line whenever something changes: for
// trying real devices. Runs until the window is closed, or for the given
// number of frames ("inputprobe 600").
// "inputprobe --game [frames]" prints the game's view instead: the devices
// the game finds (Wii remotes included) and their six per-frame blocks, with
// the key rows of the save file in the working directory when there is one.
#include "engine/engine.h"
#include "game/input/input_manager.h"
#include "game/savedata.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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
    for (int i = 0; i < 4; ++i) {
        GamePadInput s;
        if (QueryGamePadState(i, &s) != 0) {
            line += Format(" %d=-", i);
            continue;
        }
        line += Format(" %d=[buttons %04X L %d,%d R %d,%d triggers %d,%d]", i, s.buttons, s.leftX, s.leftY,
                       s.rightX, s.rightY, s.leftTrigger, s.rightTrigger);
    }
    return line;
}

std::string Words(const int32_t* words, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += Format(i ? " %d" : "%d", words[i]);
    return text;
}

// One slot's blocks: the buttons always, then whichever of the other five
// the device's type has this frame.
std::string SlotLine(const InputManager& manager, int slot) {
    const input::InputArrays& a = manager.arrays;
    std::string line = Format("slot %d type %d: buttons [%s]", slot, manager.devices[slot]->type,
                              Words(a.buttons[slot]->held, 8).c_str());
    if (a.actions[slot]) line += " actions [" + Words(a.actions[slot], input::kActionWords) + "]";
    if (const float* s = a.slopes[slot]) line += Format(" slope [%+.2f %+.2f %+.2f]", s[0], s[1], s[2]);
    if (a.analogs[slot]) line += " analog [" + Words(a.analogs[slot], input::kAnalogWords) + "]";
    if (a.mice[slot]) line += " mouse [" + Words(a.mice[slot], input::kMouseWords) + "]";
    if (const int32_t* keys = a.keyboards[slot]) {
        line += " keys [";
        for (int i = 0; i < input::kKeyboardWords; ++i)
            if (keys[i]) line += Format(line.back() == '[' ? "%d" : " %d", i);
        line += "]";
    }
    return line;
}

// The game's frame: the six gatherings in the order play makes them. A
// tilt action is consumed at once here, as a cat would over its frames.
std::string GameBlocksLine(InputManager& manager) {
    manager.GatherButtons();
    manager.GatherActions();
    manager.GatherSlopes();
    manager.GatherAnalog();
    manager.GatherMouse();
    manager.GatherKeyboard();
    std::string line;
    for (int slot = 0; slot < input::kSlotCount && manager.devices[slot]; ++slot) {
        line += (slot ? "\n       " : "") + SlotLine(manager, slot);
        if (int32_t* actions = manager.arrays.actions[slot])
            for (int i = 0; i < input::kActionWords; ++i) actions[i] = actions[i] > 0 ? actions[i] - 1 : 0;
    }
    return line;
}

void WaitForFrameEnd(int frameStart) {
    while (ElapsedMilliseconds(frameStart, GetMillisecondCount()) < kFrameMilliseconds) SleepMilliseconds(1);
}

}  // namespace

int main(int argc, char** argv) {
    const bool gameView = argc > 1 && std::strcmp(argv[1], "--game") == 0;
    if (gameView) --argc, ++argv;
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
    SaveData save;
    std::unique_ptr<InputManager> manager;
    if (gameView) {
        SaveData::Load(save);
        manager = std::make_unique<InputManager>(save.keyRows);
        std::printf("%d devices\n", manager->EnumerateDevices());
    }
    std::string last;
    for (long frame = 0; frames < 0 || frame < frames; ++frame) {
        int frameStart = GetMillisecondCount();
        if (ProcessWindowMessages() != 0) break;
        std::string now = manager ? GameBlocksLine(*manager)
                                  : KeysLine() + " | " + MouseLine() + " | " + JoypadsLine() + " | " + GamePadsLine();
        if (now != last) std::printf("%6ld %s\n", frame, now.c_str());
        std::fflush(stdout);
        last = now;
        WaitForFrameEnd(frameStart);
    }
    manager.reset();
    ShutdownEngine();
    return 0;
}
