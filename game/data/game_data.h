// The one record through which every scene reaches the game's fixed content:
// menu and message texts, stage-name lists, and every picture, model, sound
// and font the game uses, held as engine handles (0 empty, -1 failed to
// load). Play logic reads the handle fields only; the loading, the music,
// the screen transition and the other shared services are defined beside it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

struct SaveData;
struct TimeTable;

struct GameData {
    static constexpr int kWorldCount = 12;
    static constexpr int kBlockKinds = 5;
    static constexpr int kCatKinds = 13;  // cat kinds 1..13, row kind - 1
    static constexpr int kCatPoses = 4;   // poses 0, 1, 2 and the jump pose
    static constexpr int kFontCount = 10; // sizes 16, 18, ..., 34
    static constexpr int kStageGroupCount = 12;  // the normal stage lists' groups

    // Texts (code page 932 bytes).
    std::string mainMenuLabels[6];
    std::string optionLabels[35];
    std::string soundTestLabels[14];
    int32_t soundTestBgm[14] = {};
    std::string vsStageNames[5];
    std::string vsStageNotes[5];
    std::string stageNameText;
    int32_t stageListStart[kStageGroupCount + 1] = {};
    int32_t stageListCount[kStageGroupCount] = {};

    // Pictures, models, sounds and fonts.
    int titleLogo = 0, endLogo = 0, bootPicture = 0;
    int captureGraph = 0;
    int32_t transitionCount = 0;
    int workGraph = 0;
    int blockModels[kWorldCount][kBlockKinds] = {};
    int sceneBackgrounds[kWorldCount] = {};
    int spikeModel = 0, appleModel = 0;
    int transitionMask = 0;
    int loopSound = 0;
    int normalThumbs[12] = {};
    int vsThumbs[5] = {};
    int fonts[kFontCount] = {};
    int pedestalModels[4] = {};
    int seCursorMove = 0, seCursorCancel = 0, seCursorDecide = 0, seMind = 0;
    int clearBlockModels[2] = {};
    int turnRightPic = 0, turnUpDownPic = 0, turnLeftPic = 0;
    int flashPics[3] = {};
    int jewelRedModel = 0, jewelYellowModel = 0;
    int jewelPic = 0;
    int textReady = 0, textFinal = 0, textGo = 0, textClear = 0, textTimeAttack = 0, textFailure = 0,
        textGameSet = 0, textSuddenDeath = 0, textNewRecord = 0;
    int sePower1 = 0, seMetalHit = 0, seDeath0 = 0, seDeath1 = 0, seSlash = 0, seKitty = 0, seCounter = 0;
    int doorPics[2] = {};
    int catModels[kCatKinds][kCatPoses] = {};
    int catFaces[kCatKinds] = {};
    int magicRingPic = 0;
    int chargeAnim[15] = {};
    int chargeRedAnim[15] = {};
    int magicRingGuidePic = 0, chargeGuide2Pic = 0, chargeGuide1Pic = 0;
    int seShoot = 0, seSlash2 = 0, seScratch = 0, sePower0 = 0;

    float cameraMatrix[16] = {};
    SaveData* save = nullptr;
    TimeTable* timeTable = nullptr;
    uint8_t ready = 0;

    // The background-music number now playing, process-wide: -1 none, 0 the
    // title music (see PlayBgm).
    static int32_t currentBgm;

    // Fills the menu and message texts (every handle 0) and registers
    // OnDeviceRestore as the engine's device-restore callback.
    GameData();

    // Loads every picture, model, sound and font (releasing first, so it
    // may run again) and the stage lists; a file that fails leaves -1 in
    // its field and loading goes on. Sets `ready`.
    void LoadAll();
    // Deletes every handle the game data holds (each once) and zeroes it.
    void ReleaseAll();
    enum class ResourceKind { kGraph, kModel, kSound, kFont };
    // Every handle field, with the kind of resource it holds.
    void ForEachHandle(const std::function<void(int& handle, ResourceKind kind)>& visit);
    // Reads the normal and versus stage lists; a missing file leaves empty
    // texts and zero counts.
    void LoadStageLists();
    // A stage-list text: entry -1 the title of group `list`, entry n its
    // n-th stage name, "end" at the group's end line, "???" outside.
    std::string MenuLabelText(int list, int entry) const;
    static bool LabelEquals(const std::string& label, const char* text);

    // Background music by number (0..13, the sound-test table); the number
    // already playing is not restarted, any other number stops the music.
    void PlayBgm(int n);
    // The screen transition: the current screen goes into captureGraph and
    // dissolves through transitionMask over 30 drawn frames.
    void CaptureScreen();
    // threshold < 0: from transitionCount, and nothing once it has run out.
    void DrawScreenTransition(int threshold);
    void SetLightDirection();
    // The menu labels that unlocks change, from the save's flags.
    void UpdateUnlocks();
    // Opens the high-score share of the save's records through the platform
    // shell; false without a save or when the address could not be handed on.
    bool ShareHighScore() const;
    // Toon material, faint specular and outline width 3 on every material.
    static void SetItemMaterials(int model);
    // After the graphics device was lost and rebuilt.
    static void OnDeviceRestore();
};

// The menu screens' caption: a band fading from white to blue across the
// top 33 rows, with text over it.
void DrawCaptionBar(const char* text);
