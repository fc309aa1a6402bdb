// The sound track of a Theora movie: the same file loaded as a sound by the
// Ogg Vorbis reader alone, on the vorbisfile instance that serves movies.
#include "engine/sound.h"
#include "movie/theora_decoder.h"
#include "sound/sound_internal.h"

namespace morpotta {

namespace {

constexpr int kOnlyOggVorbisReader = -5;  // every reader bit set but the Ogg Vorbis one (bit 2)
constexpr int kStreamFromSource = 3;
constexpr int kMovieOggInstance = 1;

}  // namespace

// With settings of its own: those of other loads, which a loader may be
// making meanwhile, are left alone.
int LoadTheoraMovieSound(const char* fileName) {
    const SoundLoadSettings settings{kStreamFromSource, SoundReaderChoice{kOnlyOggVorbisReader, kMovieOggInstance}};
    const int handle = CreateSoundHandleFromFileWith(fileName, 1, settings);
    return handle < 0 ? -1 : handle;
}

}  // namespace morpotta
