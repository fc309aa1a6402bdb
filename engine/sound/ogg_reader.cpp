// Ogg Vorbis reader: vorbisfile decodes through callbacks over the
// converter's copy of its StreamData, so files, archive members and memory
// images decode alike; the output is 16-bit PCM, 4096 bytes per step.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "engine/memory.h"
#include "sound/sound_internal.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

constexpr int kOggBlockBytes = 4096;
// Holes in the data are skipped, but not without end.
constexpr int kMaxHolesPerStep = 64;

StreamData* Source(void* source) { return static_cast<StreamData*>(source); }

size_t OggReadCallback(void* buffer, size_t elementSize, size_t count, void* source) {
    if (!source) return size_t(-1);
    return Source(source)->functions.read(buffer, elementSize, count, Source(source)->handle);
}

int OggSeekCallback(void* source, ogg_int64_t offset, int origin) {
    if (!source) return -1;
    return Source(source)->functions.seek(Source(source)->handle, offset, origin);
}

int OggCloseCallback(void*) { return 0; }  // the stream belongs to the converter's caller

long OggTellCallback(void* source) {
    if (!source) return -1;
    return long(Source(source)->functions.tell(Source(source)->handle));
}

int64_t GetOggVorbisTotalSize(SOUNDCONV* c) {
    if (!c->ogg.opened) return 0;
    ogg_int64_t samples = ov_pcm_total(c->ogg.file, -1);
    if (samples < 0) return 0;
    return int64_t(samples) * c->outputFormat.channels * c->ogg.sampleBytes;
}

void TerminateOggVorbisReader(SOUNDCONV* c) {
    if (c->ogg.opened) ov_clear(c->ogg.file);
    c->ogg.opened = 0;
    FreeMemory(c->ogg.file);
    c->ogg.file = nullptr;
}

int SetupOggVorbisReader(SOUNDCONV* c) {
    c->ogg = {};
    c->ogg.file = static_cast<OggVorbis_File*>(AllocMemory(sizeof(OggVorbis_File), "", 0));
    if (!c->ogg.file) return -1;
    // Both decoder instances are this one library: the selector changes nothing else.
    const ov_callbacks callbacks = {OggReadCallback, OggSeekCallback, OggCloseCallback, OggTellCallback};
    if (ov_open_callbacks(&c->stream, c->ogg.file, nullptr, 0, callbacks) != 0) {
        TerminateOggVorbisReader(c);
        return -1;
    }
    c->ogg.opened = 1;
    vorbis_info* info = ov_info(c->ogg.file, -1);
    if (!info || info->channels < 1 || info->channels > 255 || info->rate < 1 || info->rate > 384000) {
        TerminateOggVorbisReader(c);
        return -1;
    }
    c->ogg.sampleBytes = 2;
    WAVEFORMATEX& f = c->outputFormat;
    std::memset(&f, 0, sizeof f);
    f.formatTag = 1;
    f.channels = uint16_t(info->channels);
    f.samplesPerSec = uint32_t(info->rate);
    f.blockAlign = uint16_t(info->channels * 2);
    f.bitsPerSample = 16;
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    f.extraSize = 0;
    c->blockSize = kOggBlockBytes;
    int64_t total = GetOggVorbisTotalSize(c);
    c->dataLength = int32_t(total < 0x7FFFFFFF ? total : 0x7FFFFFFF);
    c->type = SOUNDCONV_TYPE_OGG;
    return 0;
}

int StepOggVorbisReader(SOUNDCONV* c) {
    if (!c->ogg.opened || c->ogg.atEnd) return -1;
    const int word = c->ogg.sampleBytes;
    for (int holes = 0; holes < kMaxHolesPerStep; ++holes) {
        int section = 0;
        long got = ov_read(c->ogg.file, reinterpret_cast<char*>(c->buffer), kOggBlockBytes, 0, word,
                           word == 1 ? 0 : 1, &section);
        if (got > 0) {
            c->bytesLeft = int32_t(got < kOggBlockBytes ? got : kOggBlockBytes);
            return 0;
        }
        // A hole in the data is skipped; any other error ends the sound.
        if (got != OV_HOLE) break;
    }
    c->ogg.atEnd = 1;
    return -1;
}

int SeekOggVorbisReader(SOUNDCONV* c, int32_t target) {
    const int32_t align = c->outputFormat.blockAlign;
    const int64_t sample = target / align;
    // A position vorbisfile cannot reach (the end or beyond) leaves nothing
    // to decode rather than the old position.
    c->ogg.atEnd = !c->ogg.opened || ov_pcm_seek(c->ogg.file, sample) != 0;
    c->bytesLeft = 0;
    c->readOffset = 0;
    c->outputPosition = int32_t(sample * align);
    return 0;
}

}  // namespace

const SoundReader kOggVorbisReader = {2,
                                      SetupOggVorbisReader,
                                      StepOggVorbisReader,
                                      SeekOggVorbisReader,
                                      TerminateOggVorbisReader,
                                      GetOggVorbisTotalSize,
                                      true};

}  // namespace morpotta
