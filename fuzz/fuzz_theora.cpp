// Fuzz target for the Theora movie decoder: any bytes are refused, or open
// as a movie whose first frame is converted (to XRGB and, on the recording
// device, into a YUV surface), then sought to another frame and converted
// again before the decoder closes.
#include "graphics/device/device.h"
#include "engine/log.h"
#include "engine/stream.h"
#include "movie/theora_decoder.h"
#include "memory_file_table.h"
#include "movie/yuv_to_rgb.h"

#include <cstddef>
#include <cstdint>

using namespace morpotta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    BuildYuvToRgbTables();
    CreateGraphicsDevice("recording");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FileAccessTable table = MemoryFileTable();
    MemStream* stream = OpenMemStream(data, size);
    if (!stream) return 0;
    TheoraDecoder* d = OpenTheoraDecoder(&table, reinterpret_cast<FileHandle>(stream), 3);
    if (d) {
        TheoraMovieInfo info;
        GetTheoraMovieInfo(d, &info);
        SeekTheoraFrame(d, int(size % 7));
        ConvertTheoraFrame(d, 1, 1);
        CloseTheoraDecoder(d);
    }
    CloseMemStream(stream);
    return 0;
}
