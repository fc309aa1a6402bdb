// The game's entry: it names the window, starts the engine and runs the
// main loop until the window is closed.
#include "engine/engine.h"
#include "game/savedata.h"
#include "icon.h"

namespace {

// "モルポッタ_v1.00" in code page 932.
constexpr char kWindowTitle[] = "\x83\x82\x83\x8B\x83\x7C\x83\x62\x83\x5E_v1.00";
constexpr int kFrameMilliseconds = 16;

void WaitForFrameEnd(int frameStart) {
    while (ElapsedMilliseconds(frameStart, GetMillisecondCount()) < kFrameMilliseconds) SleepMilliseconds(1);
}

}  // namespace

int main() {
    SetAppWindowTitle(kWindowTitle);
    RegisterIconResource(kIconResourceId, ProgramIconPixels(), kIconSize, kIconSize);
    SetAppWindowIcon(kIconResourceId);
    SetLogOutput(0);
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, 60);
    if (InitializeEngine() != 0) return -1;
    // Only now, with the double-start lock held, is no other copy storing.
    SaveData::DiscardUnfinishedStore();
    while (ProcessWindowMessages() == 0) {
        int frameStart = GetMillisecondCount();
        WaitForFrameEnd(frameStart);
    }
    ShutdownEngine();
    return 0;
}
