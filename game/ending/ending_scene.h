// The ending, shown after a story run was completed: the ending script,
// a fade to black, the staff roll (the player's cat with the
// congratulation, then the cast, the cat models and the credits), and the
// closing screen with the score and the congratulation messages until the
// first player presses START. Kind 0 follows the normal sets; kind 1, the
// final set, leaves out the long roll and closes after the congratulation.
#pragma once
#include "game/app/scenes.h"
#include "game/ending/staff_roll.h"
#include "game/input/input_blocks.h"
#include "game/script/scenario_script.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct GameData;
class InputDevice;

class EndingScene : public scene::Ending {
public:
    enum Phase : int32_t { kScript = 0, kRoll = 1, kClosing = 2 };
    static constexpr int32_t kFadeFrames = 240;
    // The roll position where the congratulation gives way to the roll (and
    // where the final set's ending closes), and where the long roll ends.
    static constexpr int32_t kRollCongratulation = 900;
    static constexpr int32_t kRollEnd = 5700;
    static constexpr int32_t kDecideRollSpeed = 5;  // roll positions a frame while decide is held
    static constexpr int kMessageCount = 4;

    // kind 0 or 1; entries: the device slot of players 1..4 (-1 none);
    // devices: the input manager's 15 device slots (null: none).
    EndingScene(int32_t kind, const int32_t* entries, InputDevice* const* devices, GameData* data);

    void ChooseMessages(bool newSetMessage, bool soundTestMessage, int32_t score, bool highScoreMessage) override;
    void Update(input::ButtonBlock* const* buttons) override;
    void Draw() override;
    bool TakeDone() override;

    // The first player's device type (its cat kind, 1..6), 0 when none.
    int32_t PlayerKind() const;

    int32_t phase = kScript;
    int32_t kind = 0;
    uint8_t done = 0;
    int32_t entries[4] = {-1, -1, -1, -1};
    int32_t frameCount = 0;
    int32_t fade = 0;
    int32_t rollPos = 0;
    uint8_t startLatch = 0;  // START is held (set as the scene starts)
    uint8_t newSetMessage = 0, soundTestMessage = 0, highScoreMessage = 0;
    int32_t score = 0;
    std::string messages[kMessageCount];  // empty: no line
    std::unique_ptr<ScenarioScript> script;
    GameData* data = nullptr;
    InputDevice* const* devices = nullptr;
    // The roll went past the congratulation: its screen was captured (once,
    // however far decide moved the roll in one frame).
    uint8_t pastCongratulation = 0;
    std::vector<staffroll::Row> rollRows;

private:
    input::ButtonBlock* PlayerBlock(input::ButtonBlock* const* buttons) const;
    void UpdateScript();
    void UpdateRoll(const input::ButtonBlock* player);
    void UpdateClosing(const input::ButtonBlock* player);

    void DrawFade() const;
    void DrawCongratulation() const;
    void DrawRoll() const;
    void DrawModelLineUp(int32_t top) const;
    void DrawClosing() const;
};
