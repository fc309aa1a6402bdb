// The game's own frame rate: runs the game in its window as a player would
// and, once the title has handed over to the attract demo, counts the
// frames the game loop makes against the wall clock. Prints the rate of
// every second and the mean over the measured span. Run it from the build
// directory (where tpa/ is) on a display; scripts/attract-fps.sh starts a
// virtual one with the rasteriser's thread count and processors set.
//   framerate [seconds, default 20]
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/window.h"
#include "game/app/game_app.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    SetLogOutput(0);
    auto game = std::make_unique<GameApp>();
    GameApp& app = *game;
    if (app.startFailed) {
        std::fprintf(stderr, "framerate: the game did not start\n");
        game.reset();
        if (IsEngineInitialized()) ShutdownEngine();
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point start{}, second{};
    int frames = 0, inSecond = 0;
    bool measuring = false;
    while (ProcessWindowMessages() == 0 && app.RunFrame()) {
        if (!measuring) {
            if (app.scene != GameApp::kScenePlay) continue;
            measuring = true;  // the attract demo's first frame
            start = second = Clock::now();
            continue;
        }
        if (app.scene != GameApp::kScenePlay) {
            std::printf("the attract demo ended after %d frames\n", frames);
            break;
        }
        ++frames, ++inSecond;
        const Clock::time_point now = Clock::now();
        if (now - second >= std::chrono::seconds(1)) {
            std::printf("%.1f fps\n", inSecond / std::chrono::duration<double>(now - second).count());
            std::fflush(stdout);
            second = now, inSecond = 0;
        }
        if (now - start >= std::chrono::duration<double>(seconds)) break;
    }
    const double span = std::chrono::duration<double>(Clock::now() - start).count();
    if (frames > 0 && span > 0) std::printf("mean %.1f fps over %.1f s (%d frames)\n", frames / span, span, frames);
    game.reset();
    ShutdownEngine();
    return 0;
}
