// Movie handles: the table of open movies, opening (the Theora decoder
// first, then the movie graph), closing and the per-draw frame update.
// Everything runs on the main thread.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "foundation/engine_thread.h"
#include "foundation/handle.h"
#include "foundation/log_internal.h"
#include "movie/movie_record.h"
#include "movie/theora_decoder.h"
#include "platform/lasting_state.h"

using namespace morpotta;

namespace {

constexpr int kTheoraRingFrames = 10;

struct MovieModule {
    HandleTable table;
};

MovieModule& MovieHandles() {
    return platform::LastingState<MovieModule>();
}

bool EnsureTable() {
    return InitHandleTable(&MovieHandles().table, HANDLE_KIND_MOVIE, kMovieTableSize, kMovieTableSize, 0) == 0;
}

// The movie's sound track, or -1 for a movie without one: the movie plays
// silent then, and the attempt to read one is no refusal of the call.
int LoadMovieSoundTrack(const char* fileName) {
    InnerAttempt soundTrack;
    return LoadTheoraMovieSound(fileName);
}

// The Theora decoder over the file, with the movie's sound beside it; false
// when the file is no Theora movie (it is then closed again).
bool OpenTheoraMovie(MovieRecord* r, const char* fileName, int* width, int* height) {
    r->file = OpenFileStream(fileName, 0, 1, 0);
    if (!r->file) return false;
    r->decoder = OpenTheoraDecoder(GetFileAccessTable(), r->file, kTheoraRingFrames);
    if (!r->decoder) {
        CloseFileStream(r->file);
        r->file = 0;
        return false;
    }
    r->soundHandle = LoadMovieSoundTrack(fileName);
    TheoraMovieInfo info{};
    GetTheoraMovieInfo(r->decoder, &info);
    if (width) *width = info.width;
    if (height) *height = info.height;
    r->theora = 1;
    r->currentFrame = GetTheoraFrameImage(r->decoder);
    return true;
}

// The decoder goes first: its thread reads the file until it is joined.
void CloseTheoraMovie(MovieRecord* r) {
    CloseTheoraDecoder(r->decoder);
    r->decoder = nullptr;
    if (r->file) CloseFileStream(r->file);
    r->file = 0;
    if (r->soundHandle != -1) DeleteSoundHandle(r->soundHandle, 0);
    r->soundHandle = -1;
    r->theora = 0;
}

// The Theora decoder first, then the movie graph; 0, or -1 after the one
// refusal of a file neither opens, for what decided it: the file itself
// (missing, a folder), the reason of a way that knew the data and found it
// broken (a Theora movie cut short), or that neither way reads it.
int OpenMovieRecord(MovieRecord* r, const char* fileName, int* width, int* height) {
    InnerAttempt eachWay;
    if (OpenTheoraMovie(r, fileName, width, height)) return 0;
    r->temporaryFile = 0;
    if (BuildMovieGraph(r, fileName, width, height) == -1)
        return eachWay.RefuseCall("%s is no movie: neither an Ogg Theora movie nor one the media graph reads",
                                  fileName);
    r->currentFrame = &r->frameImage;
    return 0;
}

}  // namespace

int OpenMovie(const char* fileName, int* width, int* height, int) {
    const PublicCall call("OpenMovie");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!fileName) return RefuseNull("file name");
    if (!EnsureTable()) return Refuse("the movie table cannot be made");
    if (CountHandleEntries(&MovieHandles().table) >= kMovieTableSize)
        return Refuse("%d movies are open, as many as can be", kMovieTableSize);
    auto* r = static_cast<MovieRecord*>(ENGINE_ALLOC_ZERO(sizeof(MovieRecord)));
    if (!r) return Refuse("メモリの確保に失敗しました");
    r->soundHandle = -1;
    if (OpenMovieRecord(r, fileName, width, height) != 0) {
        FreeMemory(r);
        return -1;
    }
    // The table had room, and nothing else opened a movie meanwhile.
    const int handle = AddHandleEntry(&MovieHandles().table, r);
    r->checkId = uint32_t(HandleCheckOf(handle));
    return handle;
}

namespace morpotta {

MovieRecord* GetMovieRecord(int movie) {
    return static_cast<MovieRecord*>(LookupHandleEntry(&MovieHandles().table, movie));
}

namespace {

// The movie a public call names; null after a line saying why.
MovieRecord* GetMovieForCall(int movie) {
    MovieRecord* r = GetMovieRecord(movie);
    if (!r) RefuseHandle(movie, HANDLE_KIND_MOVIE);
    return r;
}

}  // namespace

}  // namespace morpotta

int CloseMovie(int movie) {
    const PublicCall call("CloseMovie");
    if (!AllowOnlyOnEngineThread()) return -1;
    MovieRecord* r = GetMovieForCall(movie);
    if (!r) return -1;
    if (r->theora) CloseTheoraMovie(r);
    RemoveMovieTemporaryFile(r);
    ReleaseMovieGraph(r);
    RemoveHandleEntry(&MovieHandles().table, movie);
    FreeMemory(r);
    return 0;
}

int UpdateMovieFrame(int movie, int) {
    const PublicCall call("UpdateMovieFrame");
    if (!AllowOnlyOnEngineThread()) return -1;
    MovieRecord* r = GetMovieForCall(movie);
    if (!r) return -1;
    if (!r->theora) return 0;  // a movie graph never delivers a frame
    TheoraMovieInfo info{};
    GetTheoraMovieInfo(r->decoder, &info);
    if (r->frameCallback) r->frameCallback(r, r->callbackUser);
    return 0;
}

namespace morpotta {

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uint32_t user) {
    MovieRecord* r = GetMovieRecord(movie);
    if (!r) return -1;
    r->frameCallback = callback;
    r->callbackUser = user;
    return 0;
}

int CountOpenMovies() { return CountHandleEntries(&MovieHandles().table); }

int CloseAllMovies() {
    ForEachHandle(&MovieHandles().table, CloseMovie);
    TerminateHandleTable(&MovieHandles().table);
    return 0;
}

int SuspendAllMovies() { return 0; }
int ResumeSuspendedMovies() { return 0; }
int UpdateMovieOverlays() { return 0; }

}  // namespace morpotta
