// A scene between stages, or the ending, as a small play: a text script
// ("tpa\scenario\scenario<n>.scn", "tpa\scenario\ending<n>.scn") with one
// command per line, run one frame at a time. Messages wait for decide,
// thirteen cat slots move, turn and hop on a background picture, the music
// changes, the screen flashes, and "catif"/"notif" pick lines by the cat
// the player plays. START skips the rest of the scene in one frame, still
// running its music, effect and condition commands.
//
// Commands (a five-character keyword after white space; unknown keywords
// skip their line):
//   mes "text"        a message of up to 3 lines: "\n" breaks, and a line
//                     holds at most 50 bytes (broken between characters)
//   wait n            n frames
//   move s,x,y,t,w    slot s goes to (x, y) in t frames; 'w' waits for
//                     every move to end, '-' goes on at once
//   pbgm n            background music n
//   turn s,r / s,l    slot s faces right / left
//   jumpstart s       slot s hops; jumpstop s: it stops at its hop's end
//   catif a,b,...     the lines up to "endif" run only for those cats;
//   notif a,b,...     ... or only for the others (conditions do not nest)
//   endif
//   effect n          0 background on, 1 background off, 2 a white flash
#pragma once
#include "game/input/input_blocks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct GameData;

class ScenarioScript {
public:
    static constexpr int kSlots = 13;            // slot s shows cat kind s + 1
    static constexpr int kMessageLines = 3;
    static constexpr int kMessageLineBytes = 50;
    static constexpr int kEndFadeFrames = 100;   // a closing scene's fade
    static constexpr int kFlashFrames = 180;
    static constexpr int kHopFrames = 15;        // one hop
    static constexpr int kHopHeight = 30;

    enum State : int32_t {
        kReady = 0,        // the next command runs this frame
        kMessage = 1,      // a message waits for decide
        kMoving = 2,       // a move runs (and may be waited for)
        kWaiting = 3,      // "wait"
        kSkipToEndif = 4,  // a condition failed
        kSkipToEnd = 5,    // START: the rest runs in one frame
        kEnded = 6,
    };

    // Reads the scene script `number` (the ending script when `ending` is
    // set); an unreadable file ends the script at once. playerCat is the
    // player's device type - 1 (0..5), what "catif" and "notif" test.
    // closingScene: the scene after a map set's last stage, which ends with
    // a fade to white, the music fading out and the set's end caption.
    ScenarioScript(int32_t number, bool ending, int32_t playerCat, GameData* data, bool closingScene);
    // The same over a script's text, for a script made in memory.
    static std::unique_ptr<ScenarioScript> FromText(std::string text, bool ending, int32_t playerCat,
                                                    GameData* data, bool closingScene);

    static std::string FilePath(int32_t number, bool ending);

    // One frame, with the per-frame button array (15 device slots, null
    // where none).
    void Run(input::ButtonBlock* const* buttons);
    // The scene: background, message window, cats, fades and the screen
    // transition (left to the caller without withTransition).
    void DrawMessageWindow(bool withTransition = true);
    // True once the script has ended (after a closing scene's fade); the
    // flag is cleared by the reading.
    bool TakeFinished();

    // A message's body split into the window's lines.
    static void SplitMessage(std::string_view body, std::string lines[kMessageLines]);

    int32_t number = 0;
    int32_t state = kReady;
    int32_t savedState = kReady;  // restored by "endif"
    std::string text;             // the whole file
    int32_t playerCat = -1;
    uint8_t isScene = 0;          // a map set's closing scene
    uint8_t isEnding = 0;
    int background = 0;           // graph handle
    GameData* data = nullptr;
    size_t position = 0;          // read position in text
    uint8_t finished = 0;
    std::string lines[kMessageLines];
    int32_t x[kSlots], y[kSlots];
    int32_t currentSlot = -1;
    int32_t fromX[kSlots] = {}, fromY[kSlots] = {};
    int32_t toX[kSlots], toY[kSlots];
    uint8_t facesRight[kSlots];
    int32_t moveLeft[kSlots] = {};
    int32_t moveTotal[kSlots] = {};
    int32_t hopFrames[kSlots] = {};  // 0: not hopping
    uint8_t hopStop[kSlots] = {};
    uint8_t waitForMove = 0;
    int32_t waitLeft = 0;
    int32_t effect = 0;
    int32_t flashLeft = 0;
    uint8_t noBackground = 0;
    int32_t frameCount = 0;       // calls of Run
    int32_t endCount = 0;         // frames since a closing scene ended
    uint8_t decideLatch = 0;      // decide was taken for the message shown
    uint8_t startLatch = 0;       // START is held (set while the scene starts)

private:
    ScenarioScript(std::string text, bool ending, int32_t playerCat, GameData* data, bool closingScene);
    void Init(int32_t number, bool ending, int32_t playerCat, GameData* data, bool closingScene);

    void RunCommand(bool skipping);
    void SkipToEndif();
    void UpdateMoves();
    void UpdateHops();
    void CheckSkip(input::ButtonBlock* const* buttons);
    void UpdateState(input::ButtonBlock* const* buttons);

    // Reading the text.
    void SkipWhiteSpace();
    bool ReadKeyword(std::string_view* keyword);  // false at the end (state 6)
    std::string_view RestOfLine();                // and moves past its line feed
    bool SlotOk(int32_t slot, const char* command) const;
    // A command of the file that cannot be run, said once per file.
    void SayDamage(std::string_view what) const;

    // The commands.
    void ShowMessage(std::string_view line);
    void StartMove(std::string_view arguments);
    void Turn(std::string_view arguments);
    void Hop(std::string_view arguments, bool start);
    void Condition(std::string_view arguments, bool runForListed);
    void Effect(std::string_view arguments);

    std::string path_;  // the file read; empty for a script made from text
};
