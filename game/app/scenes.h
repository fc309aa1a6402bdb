// The scenes GameApp switches between after the boot scene, as GameApp sees
// them: the title with its menus, a play session, and the ending. Each
// scene's own class derives from one of these; GameApp makes them through a
// SceneFactory, so the game's scenes and a test's stand-ins plug in alike.
#pragma once
#include "game/input/input_blocks.h"

#include <cstdint>
#include <functional>
#include <memory>

struct GameData;
struct SaveData;
class InputManager;

namespace scene {

// What every scene is made with.
struct Context {
    GameData* data = nullptr;
    InputManager* input = nullptr;  // its device slots are the players' devices
    SaveData* save = nullptr;
};

// The six per-frame input arrays, 15 device slots each, as the input
// manager last filled them.
struct FrameInput {
    input::ButtonBlock* const* buttons;
    int32_t* const* actions;
    float* const* slopes;
    int32_t* const* analogs;
    int32_t* const* mice;
    int32_t* const* keyboards;
};

// Scene 1: the title and its menus.
class Title {
public:
    virtual ~Title() = default;
    // Back to the title's first screen (unless a time-attack select is up),
    // with the title music and the unlocked menu labels.
    virtual void Init() = 0;
    virtual void Reset() = 0;  // players leave their entries
    virtual void Update(input::ButtonBlock* const* buttons) = 0;
    virtual void Draw() = 0;
    // When a session is to start: clears the request, sets the menus back to
    // the screen play began from, and answers true.
    virtual bool TakeStartRequest() = 0;
    virtual bool TakeQuitRequest() = 0;  // clears it
    // The session to start: its map set or stage, game mode and the device
    // slot of players 1..4 (-1 not entered).
    virtual int32_t Stage() const = 0;
    virtual int32_t Mode() const = 0;
    virtual const int32_t* Entries() const = 0;
};

// Scene 2: a play session.
struct SessionRequests {
    bool title = false;    // back to the title
    bool replace = false;  // on to the next session of the run
    bool ending = false;   // the run is complete
};

// What the ending is told about the run that led to it.
struct RunResult {
    bool isLastSet = false;
    bool finalSetUnlocked = false;
    bool soundTestUnlocked = false;
    int32_t score = 0;
    bool newHighScore = false;
};

class Session {
public:
    virtual ~Session() = default;
    virtual void Update(const FrameInput& input) = 0;
    virtual void Draw() = 0;
    virtual SessionRequests TakeRequests() = 0;  // reads and clears them
    virtual int32_t Phase() const = 0;
    // The next session of a run takes over the run's state from the last.
    virtual void CarryOver(Session& previous) = 0;
    virtual RunResult Result() const = 0;
};

// Scene 3: the ending.
class Ending {
public:
    virtual ~Ending() = default;
    virtual void ChooseMessages(bool newSetMessage, bool soundTestMessage, int32_t score, bool highScoreMessage) = 0;
    virtual void Update(input::ButtonBlock* const* buttons) = 0;
    virtual void Draw() = 0;
    virtual bool TakeDone() = 0;  // the player left the ending; clears it
};

struct SessionSetup {
    int32_t setNumber;  // -1: the next set of a run
    int32_t mode;
    const int32_t* entries;
    int32_t lives;
};

struct EndingSetup {
    int32_t kind;  // 0 after the normal sets, 1 after the final set
    const int32_t* entries;
};

// Makes the scenes; a maker that is empty or answers null leaves the scene
// out (the title stays up).
struct Factory {
    std::function<std::unique_ptr<Title>(const Context&)> makeTitle;
    std::function<std::unique_ptr<Session>(const Context&, const SessionSetup&)> makeSession;
    std::function<std::unique_ptr<Ending>(const Context&, const EndingSetup&)> makeEnding;
};

// The game's own scenes.
Factory GameScenes();

}  // namespace scene
