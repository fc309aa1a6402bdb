// Fuzz target for the converter's PCM WAV reader: any bytes are refused or
// converted within bounds, by runs, seeks and a whole conversion alike.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/stream.h"
#include "sound/soundconv.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemStream* mem = OpenMemStream(data, size);
    if (!mem) return 0;
    StreamData stream = MakeMemStreamData(mem);
    SOUNDCONV conv;
    if (SetupSoundConverter(&stream, &conv) == 0) {
        int64_t total = GetSoundConverterTotalSize(&conv);
        if (total < 0 || total > int64_t(size)) std::abort();
        std::vector<uint8_t> out(4096);
        int64_t produced = 0;
        for (int n; (n = RunSoundConverter(&conv, out.data(), int(out.size()))) > 0;) produced += n;
        if (produced > total) std::abort();
        SeekSoundConverter(&conv, int(size % 97));
        RunSoundConverter(&conv, out.data(), int(out.size()));
        WAVEFORMATEX format;
        void* pcm;
        int pcmSize;
        if (ConvertWholeSound(&conv, &format, &pcm, &pcmSize) == 0) {
            if (pcmSize > total) std::abort();
            FreeMemory(pcm);
        }
        TerminateSoundConverter(&conv);
    }
    CloseMemStream(mem);
    return 0;
}
