// The texts the title's menus recognise their rows by and draw, in code
// page 932 as the game data holds its labels. Made once, on first use.
#pragma once
#include <string>

namespace titletext {

struct Labels {
    // Main-menu rows.
    std::string gameStart, timeAttack, vsMode, finalSet, options, quit;
    // Option rows.
    std::string backToTitle, difficulty, drawPeriod, windowMode, share, soundTest;
    std::string keyJump, keyAction, keyPause, keyDefaults;
    std::string joystickPage[4];  // page titles of joystick 1P..4P
    std::string unknown;          // "？？？"
    // Captions and headers.
    std::string captionTimeAttack, captionReplay, captionVersus, captionOptions, captionSoundTest;
    std::string captionEntry[4];  // normal, final set, versus, time attack
    std::string headerTimeAttack, headerVersus;
    // Option values.
    std::string easy, hard;
    std::string drawPeriodValues[3];
    std::string windowed, fullScreen, restartNote;
    std::string pressKey;
};

const Labels& Get();

}  // namespace titletext
