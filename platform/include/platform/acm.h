// Audio compression: converts a compressed wave format into the PCM format
// its codec suggests, stream by stream, in whole source blocks. The sound
// converter's readers call it through this table; an entry left null means
// the service is missing and the readers refuse what needs it.
// Back end: builtin (PCM, MS ADPCM, IMA ADPCM, A-law, mu-law written here,
// MPEG audio over libmpg123).
#pragma once
#include <cstdint>

namespace morpotta::platform {

// A wave format as a RIFF "fmt " chunk stores it; extraSize codec bytes
// follow the 18 bytes.
#pragma pack(push, 2)
struct AcmWaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(AcmWaveFormat) == 18, "a wave format head is 18 bytes");

enum AcmFormatTag : uint16_t {
    kWaveFormatPcm = 1,
    kWaveFormatMsAdpcm = 2,
    kWaveFormatAlaw = 6,
    kWaveFormatMulaw = 7,
    kWaveFormatImaAdpcm = 0x11,
    kWaveFormatMpegLayer3 = 0x55,
};

// Results: 0 success, else one of these.
enum AcmResult {
    kAcmOk = 0,
    kAcmError = 1,
    kAcmBadFormat = 2,   // no codec converts it, or not into that output
    kAcmBadHandle = 3,
    kAcmBadHeader = 4,   // wrong size, unprepared, or prepared twice
    kAcmNoMemory = 5,
};

// Flags and metrics the readers use.
constexpr uint32_t kAcmSuggestByTag = 0x00010000;         // only the output's format tag is fixed
constexpr uint32_t kAcmOpenNonRealtime = 0x00000004;
constexpr uint32_t kAcmConvertBlockAlign = 0x00000004;
constexpr uint32_t kAcmSizeFromSource = 0x00000000;      // output bytes for source bytes
constexpr uint32_t kAcmSizeFromDestination = 0x00000001; // source bytes for output bytes
constexpr uint32_t kAcmMetricMaxFormatSize = 50;

// One conversion: the caller owns both buffers.
struct AcmStreamHeader {
    uint32_t size;  // sizeof(AcmStreamHeader)
    uint32_t status;
    const uint8_t* source;
    uint32_t sourceLength;
    uint32_t sourceLengthUsed;
    uint8_t* dest;
    uint32_t destLength;
    uint32_t destLengthUsed;
};

struct AcmStreamState;
using AcmStream = AcmStreamState*;

struct AcmFunctions {
    const char* name;
    // Fills dest (destBytes >= 18) with the PCM format the source converts to.
    int (*formatSuggest)(const AcmWaveFormat* source, uint32_t sourceBytes, AcmWaveFormat* dest, uint32_t destBytes,
                         uint32_t flags);
    // The source format is copied: the caller may free it afterwards.
    int (*streamOpen)(AcmStream* out, const AcmWaveFormat* source, uint32_t sourceBytes, const AcmWaveFormat* dest,
                      uint32_t flags);
    int (*streamClose)(AcmStream stream, uint32_t flags);
    int (*metrics)(uint32_t metric, uint32_t* value);
    int (*streamPrepareHeader)(AcmStream stream, AcmStreamHeader* header, uint32_t flags);
    // Converts whole source blocks while their output fits the destination.
    int (*streamConvert)(AcmStream stream, AcmStreamHeader* header, uint32_t flags);
    int (*streamUnprepareHeader)(AcmStream stream, AcmStreamHeader* header, uint32_t flags);
    // Exact for the block codecs; for MPEG audio a bound from the bit rate.
    int (*streamSize)(AcmStream stream, uint32_t input, uint32_t* output, uint32_t flags);
};

const AcmFunctions& Acm();

// An MPEG audio frame header (4 bytes). Result 0, -2 without the frame
// sync, -1 for a reserved layer, bit-rate index 0 (free format) or 15, or
// sample-rate index 3. MPEG-2.5 headers have no sync here.
struct MpegFrameHeader {
    uint8_t layer;    // 0 Layer I, 1 Layer II, 2 Layer III
    uint8_t version;  // 0 MPEG-1, 1 MPEG-2 low sampling frequencies, 2 MPEG-2.5
    uint8_t bitRateIndex;
    uint8_t sampleRateIndex;
    uint8_t padding;
    uint8_t channels;
    uint32_t sampleRate;  // Hz
    uint32_t bitRate;     // kbit/s
    uint32_t frameSize;   // bytes with the header
    uint32_t samplesPerFrame;
};
int ParseMpegFrameHeader(const uint8_t header[4], MpegFrameHeader* out);
// Also MPEG-2.5 (11-bit sync) and free format (bit-rate index 0: bit rate
// and frame size 0); -1 for a reserved version, layer, bit-rate index 15 or
// sample-rate index 3.
int ParseMpegAudioHeader(const uint8_t header[4], MpegFrameHeader* out);

}  // namespace morpotta::platform
