// Music: one current background music at a time. A file is first played as
// MIDI through the MCI "sequencer" from a temporary copy, restarted on its
// end notification when it loops; any file the sequencer refuses (MP3, WAV)
// plays as a looping stream sound instead. Every function returns -1 (or
// does nothing) while the sound system is not open.
#pragma once

// Music handles: a private copy of a file's bytes. Only music is taken: a
// MIDI file, or a sound a sound reader takes (WAVE, Ogg Vorbis, MP3); other
// data (a text file, a MIDI file cut short) is refused with -1 and a log
// line saying which it is not.
int AddMusicData();
int CreateMusicFromImage(const void* image, int size);
int LoadMusicMem(const char* fileName);
int DeleteMusicHandle(int handle);
int DeleteAllMusic();
// 1 while MIDI music plays (one state for every handle), 0 when not, -1 for
// an invalid handle.
int GetMusicPlayState(int handle);

// MIDI play of a music handle: play type 0 waits until the end, 1 plays in
// the background, 3 loops.
int PlayMidiMusic(int handle, int playType);
int StopMidiMusic(int handle);

// The game's music: play a file (MIDI, or else as a stream sound), stop it,
// and set the volume (0..255, on the curve of SetSoundVolume) of the music
// playing, MIDI or sound; the next music starts at full volume.
int PlayMusicFile(const char* fileName, int playType);
int StopCurrentMusic();
int SetMusicVolume(int volume);
