// Movie handles from the inside: the record behind each handle, the frame
// callback through which the graph layer takes the picture, the movie graph
// of files the Theora decoder does not take, and the message loop's entries.
#pragma once
#include "engine/baseimage.h"
#include "engine/files.h"
#include "engine/movie.h"
#include "platform/mediagraph.h"

#include <cstdint>

namespace morpotta {

struct TheoraDecoder;
class D_CMovieRenderer;
struct MovieRecord;

constexpr int kMovieTableSize = 100;
constexpr int kMovieFileNameUnits = 260;

// Called by UpdateMovieFrame with the record and the value given with it;
// its result is ignored.
using MovieFrameCallback = int (*)(MovieRecord* record, uint32_t user);

// Made zero-filled, so that every field not set at open is 0.
struct MovieRecord {
    uint32_t checkId;
    int32_t theora;            // 1: the Theora decoder reads the movie; 0: the movie graph
    TheoraDecoder* decoder;    // owned; Theora movies
    FileHandle file;           // the file the decoder reads; 0 when none
    int soundHandle;           // the movie's own sound, -1 when none
    // The movie graph's interfaces (each an owned reference) and its
    // renderer, which the graph holds and destroys with itself.
    platform::media::GraphBuilder* graphBuilder;
    platform::media::MediaControl* mediaControl;
    platform::media::MediaSeeking* mediaSeeking;
    platform::media::BasicAudio* basicAudio;
    D_CMovieRenderer* renderer;
    int32_t temporaryFile;     // 1: the graph renders a temporary copy, named below
    char16_t fileName[kMovieFileNameUnits];  // what the graph rendered (a host path)
    BASEIMAGE frameImage;      // the movie graph's picture; it never receives pixels
    BASEIMAGE* currentFrame;   // Theora: the decoder's XRGB image; else &frameImage
    MovieFrameCallback frameCallback;
    uint32_t callbackUser;
};

MovieRecord* GetMovieRecord(int movie);  // null for a bad handle
// Replaces the callback; 0, or -1 for a bad handle.
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uint32_t user);
// Open movies (tests).
int CountOpenMovies();
// Closes every open movie and drops the table (the engine's end). 0.
int CloseAllMovies();

// The message loop's entries while the window is inactive; movies never
// play, so they have nothing to do.
int SuspendAllMovies();
int ResumeSuspendedMovies();
int UpdateMovieOverlays();

// Builds the movie graph of a file for the record: the file rendered into
// the movie renderer, from a temporary copy when the graph cannot open the
// file by name. The graph is left stopped. 0, or -1 after a log line.
int BuildMovieGraph(MovieRecord* record, const char* fileName, int* width, int* height);
// Copies the whole file, read through files, into a new temporary file
// named in the record (its flag set). False when no whole copy could be
// made (a short read or write, a copy that cannot be written out): what
// was copied is deleted again and the flag cleared.
bool CopyMovieToTemporaryFile(MovieRecord* record, const FileAccessTable* files, const char* fileName);
// Deletes the record's temporary copy, if any, and clears the flag.
void RemoveMovieTemporaryFile(MovieRecord* record);
// Releases the graph's interfaces, basic audio first, graph builder last.
void ReleaseMovieGraph(MovieRecord* record);

}  // namespace morpotta
