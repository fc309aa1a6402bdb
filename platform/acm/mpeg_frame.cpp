// MPEG audio frame headers: the fields the frame walk and the MPEG codec
// need to step from frame to frame. Free-format frames (bit-rate index 0)
// have no size in the header and are refused.
#include "platform/acm.h"

namespace platform {
namespace {

// kbit/s by [version][layer][index 1..14]; MPEG-2 Layers II and III share a row.
constexpr uint16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr uint32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

}  // namespace

int ParseMpegFrameHeader(const uint8_t b[4], MpegFrameHeader* out) {
    if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
    MpegFrameHeader h{};
    h.version = (b[1] & 0x08) ? 0 : 1;
    int layer = 3 - ((b[1] >> 1) & 3);
    if (layer > 2) return -1;
    h.layer = uint8_t(layer);
    h.bitRateIndex = b[2] >> 4;
    if (h.bitRateIndex == 15 || h.bitRateIndex == 0) return -1;
    h.bitRate = kBitRates[h.version][h.layer][h.bitRateIndex];
    h.sampleRateIndex = (b[2] >> 2) & 3;
    if (h.sampleRateIndex == 3) return -1;
    h.sampleRate = kSampleRates[h.version][h.sampleRateIndex];
    h.padding = (b[2] >> 1) & 1;
    h.channels = (b[3] & 0xC0) == 0xC0 ? 1 : 2;
    if (h.layer == 0) {
        h.frameSize = (12000 * h.bitRate / h.sampleRate + h.padding) * 4;
        h.samplesPerFrame = 384;
    } else if (h.layer == 2 && h.version == 1) {
        h.frameSize = 72000 * h.bitRate / h.sampleRate + h.padding;
        h.samplesPerFrame = 576;
    } else {
        h.frameSize = 144000 * h.bitRate / h.sampleRate + h.padding;
        h.samplesPerFrame = 1152;
    }
    *out = h;
    return 0;
}

}  // namespace platform
