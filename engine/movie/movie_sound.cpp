// The sound track of a Theora movie: the same file loaded as a sound by the
// Ogg Vorbis reader alone, on the vorbisfile instance that serves movies.
#include "engine/sound.h"
#include "movie/theora_decoder.h"
#include "sound/soundconv.h"

namespace {

constexpr int kOnlyOggVorbisReader = -5;  // every reader bit set but the Ogg Vorbis one (bit 2)
constexpr int kStreamFromSource = 3;

}  // namespace

int LoadTheoraMovieSound(const char* fileName) {
    const int createType = GetSoundCreateType();
    OggDecoderSelect = 1;
    SetSoundCreateType(kStreamFromSource);
    const int mask = GetSoundReaderMask();
    SetSoundReaderMask(kOnlyOggVorbisReader);
    const int handle = LoadSoundFile(fileName, 1, -1);
    SetSoundReaderMask(mask);
    OggDecoderSelect = 0;
    SetSoundCreateType(createType);
    return handle < 0 ? -1 : handle;
}
