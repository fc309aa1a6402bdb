// The converter's frame: reader choice, the conversion buffer, runs, seeks
// and whole conversion. The readers themselves live in their own files.
#include "sound/soundconv.h"

#include "engine/memory.h"
#include "foundation/log_internal.h"
#include "foundation/public_call.h"
#include "sound/sound_internal.h"

#include <cstring>

namespace morpotta {

namespace {

// In the order they are tried; the last decodes the whole stream through a
// media graph when every other reader refused it.
const SoundReader* const kReaders[] = {&kWavePcmReader, &kWaveAcmReader, &kOggVorbisReader, &kMp3AcmReader,
                                       &kMemPcmReader};

bool HoldsASample(SOUNDCONV* conv, const SoundReader* reader) {
    const int blockAlign = conv->outputFormat.blockAlign;
    return blockAlign > 0 && reader->totalSize(conv) >= blockAlign;
}

}  // namespace

const SoundReader* FindSoundReader(int type) {
    switch (type) {
    case SOUNDCONV_TYPE_WAVE: return &kWavePcmReader;
    case SOUNDCONV_TYPE_ACM: return &kWaveAcmReader;  // the MP3 reader shares its functions
    case SOUNDCONV_TYPE_OGG: return &kOggVorbisReader;
    case SOUNDCONV_TYPE_MEMPCM: return &kMemPcmReader;
    default: return nullptr;
    }
}

SoundReaderChoice CurrentSoundReaderChoice() { return SoundReaderChoice{GetSoundReaderMask(), 0}; }

namespace {

constexpr char kNoSoundReader[] = "the data is no sound any reader takes (PCM or compressed WAVE, Ogg Vorbis, MP3)";

// The first reader that takes the stream and gives a sample; or null after
// the refusal: the reason of a reader that knew the data and found it
// broken (a WAVE file cut short), else noneTakesIt. A reader that does not
// know the data declines it without a word.
const SoundReader* ChooseSoundReader(SOUNDCONV* conv, const SoundReaderChoice& choice, const char* noneTakesIt) {
    InnerAttempt readers;
    for (const SoundReader* reader : kReaders) {
        if (choice.skipMask & (1 << reader->maskBit)) continue;
        if (reader->setup(conv) == 0) {
            if (HoldsASample(conv, reader)) return reader;
            // Data a reader takes but from which no sample can be read (a
            // picture with a stray frame header at its end) is no sound.
            if (reader->terminate) reader->terminate(conv);
            conv->stream.functions.seek(conv->stream.handle, 0, 0);
            continue;
        }
        if (reader->rewindOnRefusal) conv->stream.functions.seek(conv->stream.handle, 0, 0);
    }
    readers.RefuseCall("%s", noneTakesIt);
    return nullptr;
}

int SetupSoundConverterOr(StreamData* stream, SOUNDCONV* conv, const SoundReaderChoice& choice,
                          const char* noneTakesIt) {
    if (!stream || !conv) return RefuseNull("stream");
    std::memset(conv, 0, sizeof *conv);
    conv->oggSelect = choice.oggSelect;
    conv->stream = *stream;
    conv->stream.functions.seek(conv->stream.handle, 0, 0);
    const SoundReader* chosen = ChooseSoundReader(conv, choice, noneTakesIt);
    if (!chosen) return -1;
    conv->initialized = 0;
    conv->endOfData = 0;
    conv->buffer = static_cast<uint8_t*>(AllocMemory(size_t(conv->blockSize), "", 0));
    if (!conv->buffer) {
        if (chosen->terminate) chosen->terminate(conv);
        return Refuse("out of memory for the sound converter's buffer");
    }
    conv->bytesLeft = 0;
    conv->readOffset = 0;
    conv->outputPosition = 0;
    conv->initialized = 1;
    return 0;
}

}  // namespace

int SetupSoundConverter(StreamData* stream, SOUNDCONV* conv, const SoundReaderChoice& choice) {
    return SetupSoundConverterOr(stream, conv, choice, kNoSoundReader);
}

int CheckSoundImage(const void* image, size_t size, const SoundReaderChoice& choice, const char* noneTakesIt) {
    MemStream* memStream = OpenMemStream(image, size);
    if (!memStream) return Refuse("out of memory for a stream over the sound's %zu bytes", size);
    StreamData stream = MakeMemStreamData(memStream);
    SOUNDCONV conv;
    const int taken = SetupSoundConverterOr(&stream, &conv, choice, noneTakesIt);
    if (taken == 0) TerminateSoundConverter(&conv);
    CloseMemStream(memStream);
    return taken;
}

int RunSoundConverter(SOUNDCONV* conv, void* dest, int bytes) {
    if (!conv || !conv->initialized) return -1;
    if (conv->endOfData) return 0;
    const SoundReader* reader = FindSoundReader(conv->type);
    auto* out = static_cast<uint8_t*>(dest);
    int written = 0;
    while (written < bytes) {
        if (conv->bytesLeft <= 0) {
            conv->readOffset = 0;
            conv->bytesLeft = 0;
            if (reader->step(conv) != 0 || conv->bytesLeft <= 0) {
                conv->bytesLeft = 0;
                conv->endOfData = 1;
                return written;
            }
        }
        int n = conv->bytesLeft < bytes - written ? conv->bytesLeft : bytes - written;
        std::memcpy(out + written, conv->buffer + conv->readOffset, size_t(n));
        conv->bytesLeft -= n;
        conv->readOffset += n;
        conv->outputPosition += n;
        written += n;
    }
    return written;
}

int SeekSoundConverter(SOUNDCONV* conv, int samplePosition) {
    if (!conv || !conv->initialized) return -1;
    int64_t target = int64_t(conv->outputFormat.blockAlign) * (samplePosition < 0 ? 0 : samplePosition);
    int64_t distance = target - conv->outputPosition;
    if (distance > -16 && distance < 16) return 0;
    // A target past the end leaves the converter empty: the next run
    // reports the end without reading outside the data.
    int64_t total = GetSoundConverterTotalSize(conv);
    if (target > total) target = total;
    FindSoundReader(conv->type)->seek(conv, int32_t(target));
    conv->endOfData = 0;
    return 0;
}

int TerminateSoundConverter(SOUNDCONV* conv) {
    if (!conv || !conv->initialized) return -1;
    FreeMemory(conv->buffer);
    conv->buffer = nullptr;
    const SoundReader* reader = FindSoundReader(conv->type);
    if (reader && reader->terminate) reader->terminate(conv);
    conv->initialized = 0;
    return 0;
}

int GetSoundConverterFormat(SOUNDCONV* conv, WAVEFORMATEX* out) {
    if (!conv || !out) return -1;
    *out = conv->outputFormat;
    return 0;
}

int64_t GetSoundConverterTotalSize(SOUNDCONV* conv) {
    if (!conv) return -1;
    const SoundReader* reader = FindSoundReader(conv->type);
    return reader ? reader->totalSize(conv) : -1;
}

int ConvertWholeSound(SOUNDCONV* conv, WAVEFORMATEX* formatOut, void** dataOut, int* sizeOut) {
    if (!conv || !conv->initialized || !formatOut || !dataOut || !sizeOut) return -1;
    int64_t total = GetSoundConverterTotalSize(conv);
    if (total < 0 || total > 0x7FFFFFFF) return -1;
    void* block = AllocMemory(size_t(total ? total : 1), "", 0);
    if (!block) return -1;
    // A run from the very start (even from a few bytes in, where a seek
    // would not move); a short stream gives fewer bytes than its header
    // promised, never bytes that were not read.
    FindSoundReader(conv->type)->seek(conv, 0);
    conv->endOfData = 0;
    int size = total ? RunSoundConverter(conv, block, int(total)) : 0;
    if (size < 0) {
        FreeMemory(block);
        return -1;
    }
    *formatOut = conv->outputFormat;
    *dataOut = block;
    *sizeOut = size;
    return 0;
}

}  // namespace morpotta
