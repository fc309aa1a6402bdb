// The game's entry: registers the window icon and runs the game.
#include "engine/window.h"
#include "game/app/game_app.h"
#include "icon.h"

int main() {
    RegisterIconResource(kIconResourceId, ProgramIconPixels(), kIconSize, kIconSize);
    return RunGame();
}
