// The application object: owns every game object, starts the engine in its
// fixed order and runs one frame per call (draw the scene, read the input
// devices, update the scene, wait out the 16 ms frame). Scenes: 0 boot
// (waits for the resources), 1 title, 2 play session, 3 ending; F12 returns
// to the title from any of them.
#pragma once
#include "game/app/scenes.h"
#include "game/input/input_blocks.h"

#include <cstdint>
#include <memory>

struct GameData;
class InputManager;
namespace replay {
class ReplayFiles;
}
struct SaveData;
struct TimeTable;

class GameApp {
public:
    static constexpr int kSceneBoot = 0, kSceneTitle = 1, kScenePlay = 2, kSceneEnding = 3;
    static constexpr int kFrameMilliseconds = 16;

    // Builds the game data, reads the save file, starts the engine, loads the
    // time table and every resource. When the engine cannot be started,
    // startFailed is 1 and nothing after the start is made.
    explicit GameApp(scene::Factory factory = scene::GameScenes());
    ~GameApp();
    GameApp(const GameApp&) = delete;
    GameApp& operator=(const GameApp&) = delete;

    int StartLibrary();  // 0, or -1
    bool RunFrame();     // false once the game is to end
    void Draw();
    void ReadInput();
    void UpdateScene();
    // Destroys the play session (none is left running).
    void DeleteSession();

    int32_t scene = kSceneBoot;
    // The six per-frame input arrays of 15 device slots; outside play only
    // the button array is refreshed.
    input::ButtonBlock* const* buttons;
    int32_t* const* actions;
    float* const* slopes;
    int32_t* const* analogs;
    int32_t* const* mice;
    int32_t* const* keyboards;
    int32_t frameCount = 0;
    int32_t quitRequested = 0;
    int32_t returnToTitle = 0;  // 1 only on the frame F12 went down
    std::unique_ptr<InputManager> input;  // its device slots are the players' devices
    std::unique_ptr<scene::Session> session;
    std::unique_ptr<scene::Title> title;
    std::unique_ptr<scene::Ending> ending;
    std::unique_ptr<GameData> data;
    int32_t startFailed = 0;

private:
    scene::Context SceneContext();
    scene::FrameInput CurrentInput() const;
    void UpdateBoot();
    void UpdateTitle();
    void UpdateSession();
    void UpdateEnding();
    void ReturnToTitleScreen();
    void StoreSave();

    scene::Factory factory_;
    std::unique_ptr<SaveData> save_;
    std::unique_ptr<TimeTable> timeTable_;
    std::unique_ptr<replay::ReplayFiles> replays_;  // the stages' replay source while the game runs
    input::InputArrays noInput_;  // what the arrays show before the first read
    int32_t bootUpdates_ = 0;     // boot updates made while the resources were ready
};

// The program: names the window, starts the game and runs the message and
// frame loop until the game quits or the window is closed. 0 after a normal
// end, -1 when start-up failed (whatever had started is shut down again).
int RunGame(scene::Factory factory = scene::GameScenes());
