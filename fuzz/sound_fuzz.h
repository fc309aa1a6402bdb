// The body shared by the sound reader fuzz targets: any bytes are refused
// or converted within bounds, by runs, seeks both ways and a whole
// conversion alike, with only the readers the reader mask leaves on.
#pragma once
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "engine/stream.h"
#include "sound/soundconv.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace morpotta;

// A whole conversion allocates what the header promises: kept small here,
// as the loaders bound it by length.
constexpr int64_t kFuzzWholeLimit = 64 << 20;

inline int FuzzSoundReaders(const uint8_t* data, size_t size, int readerMask) {
    SetLogOutput(0);
    SetSoundReaderMask(readerMask);
    MemStream* mem = OpenMemStream(data, size);
    if (!mem) return 0;
    StreamData stream = MakeMemStreamData(mem);
    SOUNDCONV conv;
    if (SetupSoundConverter(&stream, &conv) == 0) {
        const int64_t total = GetSoundConverterTotalSize(&conv);
        if (total < 0) std::abort();
        std::vector<uint8_t> out(4096);
        for (int pass = 0; pass < 2; ++pass) {
            int64_t produced = 0;
            for (int n; (n = RunSoundConverter(&conv, out.data(), int(out.size()))) > 0;) {
                produced += n;
                if (produced > (int64_t(1) << 31)) break;
            }
            SeekSoundConverter(&conv, int(size % 97) + pass * 100000);
            RunSoundConverter(&conv, out.data(), int(out.size()));
            SeekSoundConverter(&conv, 0);
        }
        if (total <= kFuzzWholeLimit) {
            WAVEFORMATEX format;
            void* pcm;
            int pcmSize;
            if (ConvertWholeSound(&conv, &format, &pcm, &pcmSize) == 0) {
                if (pcmSize > total) std::abort();
                FreeMemory(pcm);
            }
        }
        TerminateSoundConverter(&conv);
    }
    CloseMemStream(mem);
    return 0;
}
