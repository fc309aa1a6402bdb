// The music module's state, shared by its files. Music runs on the main
// thread only; the handle table changes under the sound lock like every
// other sound table.
#pragma once
#include "foundation/handle.h"

#include <cstdint>

namespace morpotta {

constexpr int kMusicTableSize = 256;
constexpr int kMusicStopPasses = 5;  // message passes that flush notifications still queued
constexpr int kTempPathBytes = 1024;

struct MusicEntry {
    int handle;
    void* image;  // owned copy of the file bytes
    int imageSize;
};

struct MusicModule {
    HandleTable table{};
    int currentMusic = 0;      // music handle, or sound handle when playedAsSound
    int playedAsSound = 0;
    uint32_t mciDeviceId = 0;
    int mciPlaying = 0;        // a sequencer is open and playing
    int loop = 0;              // the last MIDI play asked to loop
    int lastMidiHandle = -1;   // the one a new MIDI play stops first
    char tempPath[kTempPathBytes] = {};
    int tempFileExists = 0;
};

MusicModule& Music();
MusicEntry* LookupMusic(int handle);
// The music a public call names; null after a line saying why.
MusicEntry* GetMusicForCall(int handle);
// Removes the temporary MIDI file, if any (a missing file is no error).
void DeleteMusicTempFile();

// Sound start-up and shut-down.
int InitializeMusic();
void TerminateMusic();

// The sequencer's notification reached the main window: loop or close.
int HandleMidiMciNotify();
// Message processing calls it on every pass; 0, -1 before sound start-up.
int PollMidiPlayState();

}  // namespace morpotta
