// Fuzz target for scenario scripts: any text runs, frame by frame under
// buttons the input picks, with every message line within the window,
// slots and states in range, and START ending the script within two frames.
#include "engine/log.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/script/scenario_script.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

GameData* Data() {
    static GameData* data = new GameData;
    return data;
}

void CheckLines(const ScenarioScript& s) {
    for (const std::string& line : s.lines) {
        if (line.size() > size_t(ScenarioScript::kMessageLineBytes)) std::abort();
    }
    if (s.state < ScenarioScript::kReady || s.state > ScenarioScript::kEnded) std::abort();
    if (s.position > s.text.size()) std::abort();
    if (s.currentSlot < -1 || s.currentSlot >= ScenarioScript::kSlots) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    gamesound::SetRecorder([](const gamesound::Call&) {});
    Data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2) return 0;
    const int playerCat = bytes[0] % 7 - 1;
    const uint8_t pattern = bytes[1];
    GameData::currentBgm = -1;
    auto s = ScenarioScript::FromText(std::string(reinterpret_cast<const char*>(bytes) + 2, size - 2), false, playerCat,
                                      Data(), pattern & 1);
    input::ButtonBlock block{};
    input::ButtonBlock* buttons[input::kSlotCount] = {&block};
    for (int frame = 0; frame < 400 && !s->finished; ++frame) {
        block.held[input::kJump] = (frame >> (pattern >> 5)) & 1;
        s->Run(buttons);
        CheckLines(*s);
    }
    // START ends whatever is left: one frame to see it, one to run the rest.
    block.held[input::kPause] = 0;
    s->Run(buttons);
    block.held[input::kPause] = 1;
    s->Run(buttons);
    s->Run(buttons);
    if (s->state != ScenarioScript::kEnded) std::abort();
    std::string lines[ScenarioScript::kMessageLines];
    ScenarioScript::SplitMessage(s->text, lines);
    return 0;
}
