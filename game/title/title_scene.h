// The title and its menus (scene 1): the title with its intro, the main
// menu, the time-attack stage select (play and replay) with a preview of the
// chosen stage, the versus stage select, the options with four joystick
// pages and key assignment, the sound test, and the entry screen on which
// players join with their devices before a session starts. After 1800
// frames on the main menu it starts the attract demo.
//
// Menus act on new presses (a held counter per button group) and repeat
// cursor and page moves after 15 held frames, then every 5; menu rows are
// recognised by their label text (code page 932 bytes, as the game data
// holds them).
#pragma once
#include "game/app/scenes.h"
#include "game/input/input_blocks.h"

#include <cstdint>
#include <memory>
#include <string>

class InputDevice;
class Stage;
struct GameData;
struct SaveData;
class InputManager;

class TitleScene : public scene::Title {
public:
    // Screens.
    enum Screen : int32_t {
        kMainMenu = 0,
        kNoScreen = 1,  // decide and cancel do nothing
        kTimeAttack = 2,
        kTimeAttackReplay = 3,
        kVersusSelect = 4,
        kOptions = 5,
        kSoundTest = 6,
        kEntry = 7,
    };
    static constexpr int kMainMenuRows = 6;
    static constexpr int kVersusRows = 5;
    static constexpr int kOptionPages = 5;   // options, joystick 1P..4P
    static constexpr int kOptionRows = 7;    // row 0 is the page title
    static constexpr int kSoundTestRows = 14;
    static constexpr int kVisibleStageRows = 6;
    static constexpr int kIdleFramesToDemo = 1800;
    static constexpr int kIntroFrames = 180;
    static constexpr int kRepeatDelay = 15, kRepeatPeriod = 5;
    static constexpr int kFinalGroup = 11;   // the last stage group, offered once the sound test is open
    static constexpr int kDemoStage = -2;

    explicit TitleScene(const scene::Context& context);
    ~TitleScene() override;
    TitleScene(const TitleScene&) = delete;
    TitleScene& operator=(const TitleScene&) = delete;

    // ---- scene::Title ----
    void Init() override;
    void Reset() override;
    void Update(input::ButtonBlock* const* buttons) override;
    void Draw() override;
    bool TakeStartRequest() override;
    bool TakeQuitRequest() override;
    int32_t Stage() const override { return stage; }
    int32_t Mode() const override { return mode; }
    const int32_t* Entries() const override { return entries; }

    // ---- menus ----
    void DispatchMenuInput(input::ButtonBlock* const* buttons);
    void CursorUp();
    void CursorDown();
    void PagePrev();
    void PageNext();
    void OnDecide();
    void OnCancel();
    void RunTitleIntro(input::ButtonBlock* const* buttons);
    // Key assignment of joystick page player p (0..3): bit is the pad
    // button just read (0 none).
    void AssignKey(int p, int32_t bit);
    static const char* ButtonName(int32_t bit);
    void ClampCursorToPage();
    void PrepareStagePreview();
    void NoteDeviceKinds();
    static int MinPlayers(int mode);
    static int MaxPlayers(int mode);

    // The stage the time-attack cursor names: the stages of the groups
    // before the shown one plus the cursor. -1 when the cursor names no
    // stage of its group or the index lies past the save's 100 stages.
    int32_t StageIndex() const;
    // The time-attack groups in menu order: 0..4, and 11 once the sound
    // test is open.
    int NextGroup(int group) const;
    int PrevGroup(int group) const;
    // The player (0..3) of the joystick page shown, -1 on the options page.
    int JoystickPagePlayer() const;
    // The main-menu row with this label (code page 932), or 0.
    int MainMenuRow(const std::string& label) const;

    uint8_t quitRequested = 0;
    uint8_t startRequested = 0;
    uint8_t keyAssignActive = 0;
    int32_t cursor = 0;
    int32_t page = 0;  // options page, or stage group on the time-attack screens
    int32_t pageRepeat = 0;
    int32_t cursorRepeat = 0;
    int32_t decideHeld = 0;
    int32_t startHeld = 0;
    int32_t cursorDirection = 0;  // +1 after a move up, -1 after a move down
    int32_t scrollTop = 0;
    int32_t entries[4] = {-1, -1, -1, -1};  // device slot of player 1..4
    float panelPos[4] = {};
    float panelShift[4] = {};
    int32_t panelFrames[4] = {};
    uint8_t deviceKindPresent[7] = {};  // by device type 1..6
    int32_t frameCount = 0;
    int32_t introTimer = 0;
    int32_t cursorFlash = 0;
    int32_t idleFrames = 0;
    uint8_t windowModeChanged = 0;
    int32_t lastAssignBit = 0;
    GameData* data = nullptr;
    InputManager* input = nullptr;
    InputDevice* const* devices = nullptr;  // the input manager's 15 slots
    SaveData* save = nullptr;
    int32_t returnScreen = 0;
    int32_t mode = 0;
    int32_t stage = -1;
    uint8_t soundTestSilent = 0;
    std::unique_ptr<class Stage> preview;
    int32_t screen = kMainMenu;

private:
    void UpdateEntry(input::ButtonBlock* const* buttons);
    void StartSession();
    void MoveCursor(int step);
    void MovePage(int step);
    void MoveStageCursor(int step);
    void MoveOptionCursor(int step);
    void ChangeGroup(int step);
    void DecideMainMenu();
    void DecideOption();
    void StartKeyAssignment();
    void PlaySe(int sound) const;
    void PlayTitleMusic();
    const std::string& OptionLabel(int row) const;
    // Whether the key-repeat counter lets a held move act this frame; it
    // counts the frame.
    static bool RepeatStep(int32_t& counter);

    void DrawTitleBackground() const;
    void DrawMainMenu() const;
    void DrawStageSelect() const;
    void DrawVersusSelect() const;
    void DrawOptions() const;
    void DrawSoundTest() const;
    void DrawEntry() const;
    void DrawMenuRow(int x, int y, const char* text, bool selected, int font) const;
};
