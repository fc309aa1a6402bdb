// own_names: a program on the engine that defines functions of its own
// under names the engine also uses inside it (a camera reset, a log start,
// a handle table, a clamp), some with the very signatures they have there.
// It links against the installed engine and runs: the engine's own names
// stay out of the program's way, and the engine never calls the program's
// functions in place of its own. It moves a box across the screen.
//
//   own_names [frames [picture.png]]
// frames: end after that many frames (default 30); picture.png: the last
// frame saved there as PNG. Ends with status 1 when the engine called one
// of the functions below.
#include "engine/engine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int cameraX = 0;
int resetCalls = 0, logStarts = 0, entriesAdded = 0;

}  // namespace

// The program's own log start and camera reset, as the engine names its own.
void StartLog() {
    ++logStarts;
    std::printf("own_names: started\n");
}

void ResetCamera() {
    ++resetCalls;
    cameraX = 0;
}

// The program's own table of things by handle.
struct HandleTable {
    std::vector<void*> entries;
};

int AddHandleEntry(HandleTable* table, void* entry, int* handleInEntry) {
    ++entriesAdded;
    table->entries.push_back(entry);
    const int handle = int(table->entries.size()) - 1;
    if (handleInEntry) *handleInEntry = handle;
    return handle;
}

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 30;
    const char* picturePath = argc > 2 ? argv[2] : nullptr;

    StartLog();
    ResetCamera();
    SetDoubleStartCheck(0);
    ChangeWindowMode(1);
    if (InitializeEngine() != 0) {
        std::fprintf(stderr, "own_names: the engine did not start (its log, Log.txt, says why)\n");
        return 1;
    }
    struct Box {
        int x, y;
        uint32_t colour;
    } box{0, 200, MakeScreenColor(240, 180, 40)};
    HandleTable boxes;
    AddHandleEntry(&boxes, &box, nullptr);

    for (int frame = 1; frame <= frames && ProcessWindowMessages() == 0; ++frame) {
        Box* moving = static_cast<Box*>(boxes.entries[0]);
        moving->x = Clamp(moving->x + 24, 0, 640 - 64);
        ClearDrawScreenToBackColor(nullptr);
        DrawRectangle(moving->x - cameraX, moving->y, moving->x - cameraX + 64, moving->y + 64, moving->colour, 1);
        if (frame == frames && picturePath && SaveDrawScreenToPng(picturePath) != 0)
            std::fprintf(stderr, "own_names: %s could not be written\n", picturePath);
        PresentFrame();
    }
    ShutdownEngine();

    if (logStarts != 1 || resetCalls != 1 || entriesAdded != 1) {
        std::fprintf(stderr, "own_names: the engine called the program's functions (log starts %d, camera resets %d, "
                     "entries added %d; the program made one of each)\n", logStarts, resetCalls, entriesAdded);
        return 1;
    }
    return 0;
}
