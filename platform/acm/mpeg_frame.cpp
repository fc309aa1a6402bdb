// MPEG audio frame headers: the fields the frame walks and the decoders
// need to step from frame to frame. The general form also reads MPEG-2.5
// and free-format headers (whose frames have no size in the header); the
// compression layer's form refuses both.
#include "platform/acm.h"

namespace morpotta::platform {
namespace {

// kbit/s by [version][layer][index 1..14]; MPEG-2 and 2.5 share a row set,
// and so do their Layers II and III.
constexpr uint16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr uint32_t kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int ParseMpegAudioHeader(const uint8_t b[4], MpegFrameHeader* out) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return -2;
    MpegFrameHeader h{};
    switch ((b[1] >> 3) & 3) {
    case 3: h.version = 0; break;
    case 2: h.version = 1; break;
    case 0: h.version = 2; break;
    default: return -1;  // reserved version
    }
    int layer = 3 - ((b[1] >> 1) & 3);
    if (layer > 2) return -1;
    h.layer = uint8_t(layer);
    h.bitRateIndex = b[2] >> 4;
    if (h.bitRateIndex == 15) return -1;
    h.bitRate = kBitRates[h.version ? 1 : 0][h.layer][h.bitRateIndex];
    h.sampleRateIndex = (b[2] >> 2) & 3;
    if (h.sampleRateIndex == 3) return -1;
    h.sampleRate = kSampleRates[h.version][h.sampleRateIndex];
    h.padding = (b[2] >> 1) & 1;
    h.channels = (b[3] & 0xC0) == 0xC0 ? 1 : 2;
    // Bytes per frame = samples / 8 × bit rate / sample rate (Layer I in
    // 4-byte slots).
    uint32_t slotFactor;
    if (h.layer == 0) {
        h.samplesPerFrame = 384;
        slotFactor = 12000;
    } else if (h.layer == 2 && h.version != 0) {
        h.samplesPerFrame = 576;
        slotFactor = 72000;
    } else {
        h.samplesPerFrame = 1152;
        slotFactor = 144000;
    }
    if (h.bitRateIndex != 0) {
        uint32_t slots = slotFactor * h.bitRate / h.sampleRate + h.padding;
        h.frameSize = h.layer == 0 ? slots * 4 : slots;
    }
    *out = h;
    return 0;
}

int ParseMpegFrameHeader(const uint8_t b[4], MpegFrameHeader* out) {
    if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
    MpegFrameHeader h;
    int result = ParseMpegAudioHeader(b, &h);
    if (result != 0) return result;
    if (h.bitRateIndex == 0) return -1;
    *out = h;
    return 0;
}

}  // namespace morpotta::platform
