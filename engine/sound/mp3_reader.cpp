// MP3 reader: finds the MPEG audio frames between an ID3v2 head and an
// ID3v1 tail, counts their samples, holds them in memory and decodes them
// through the ACM path. A false sync refuses the whole stream, so that the
// converter's last decoder may try it.
#include "engine/memory.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

constexpr uint32_t kMp3FormatBytes = 30;  // the wave format head + 12 bytes of MPEG fields
constexpr uint16_t kMp3CodecDelay = 700;
bool ReadExactly(SOUNDCONV* c, void* buffer, size_t bytes) {
    return c->stream.functions.read(buffer, 1, bytes, c->stream.handle) == bytes;
}

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The bytes an ID3v2 tag at the start takes (0 without one).
int64_t MeasureId3v2(SOUNDCONV* c) {
    uint8_t id[3];
    if (!ReadExactly(c, id, 3) || std::memcmp(id, "ID3", 3) != 0) return 0;
    uint8_t rest[7];  // major version, revision, flags, four syncsafe size bytes
    if (!ReadExactly(c, rest, 7)) return 0;
    int64_t length = ((int64_t(rest[3]) * 128 + rest[4]) * 128 + rest[5]) * 128 + rest[6] + 10;
    if (rest[0] == 4 && (rest[2] & 0x10)) length += 10;  // footer
    return length;
}

// The bytes an ID3v1 tail takes: 128 with one; the whole of a stream too
// short to hold audio after one.
int64_t MeasureId3v1(SOUNDCONV* c, int64_t size) {
    if (size <= 128) return size;
    uint8_t id[3];
    if (SeekSoundStream(c, size - 128, 0) != 0 || !ReadExactly(c, id, 3)) return 0;
    return std::memcmp(id, "TAG", 3) == 0 ? 128 : 0;
}

struct FrameWalk {
    int64_t firstFrame = -1;
    int64_t audioEnd = -1;
    int64_t totalSamples = 0;
};

// Walks the frames from the stream's position: -1 on a false sync.
int WalkFrames(SOUNDCONV* c, int64_t size, int64_t tail, FrameWalk* walk) {
    int64_t position = TellSoundStream(c);
    uint8_t header[4];
    for (;;) {
        if (!ReadExactly(c, header, 1)) return 0;
        ++position;
        if (header[0] != 0xFF) continue;
        if (!ReadExactly(c, header + 1, 1)) return 0;
        ++position;
        if ((header[1] & 0xF0) != 0xF0) continue;
        if (!ReadExactly(c, header + 2, 2)) return 0;
        position += 2;
        MP3FRAMEINFO frame;
        if (ParseMp3FrameHeader(header, &frame) != 0 || frame.frameSize == 0) return -1;
        int64_t start = position - 4;
        if (walk->firstFrame < 0) walk->firstFrame = start;
        walk->totalSamples += frame.samplesPerFrame;
        int64_t frameEnd = start + frame.frameSize;
        walk->audioEnd = frameEnd;
        if (frameEnd >= size - tail) {
            walk->audioEnd = frameEnd < size - tail ? frameEnd : size - tail;
            return 0;
        }
        if (SeekSoundStream(c, frame.frameSize - 4, 1) != 0) return 0;
        position = frameEnd;
    }
}

// The MPEG Layer-3 wave format that describes the stream to the codec.
void FillMp3Format(uint8_t* f, const MP3FRAMEINFO& frame) {
    Put16(f + 0, platform::kWaveFormatMpegLayer3);
    Put16(f + 2, frame.channels);
    Put32(f + 4, frame.sampleRate);
    Put32(f + 8, frame.bitRate * 1000 / 8);
    Put16(f + 12, 1);   // block align
    Put16(f + 14, 0);   // bits per sample
    Put16(f + 16, 12);  // extra bytes
    Put16(f + 18, 1);   // MPEG
    Put32(f + 20, frame.padding);
    Put16(f + 24, uint16_t(frame.frameSize));
    Put16(f + 26, 1);  // frames per block
    Put16(f + 28, kMp3CodecDelay);
}

int FailMp3Reader(SOUNDCONV* c) {
    TerminateAcmReader(c);
    return -1;
}

int SetupMp3AcmReader(SOUNDCONV* c) {
    c->acm = {};
    if (!IsSoundAcmComplete()) return -1;
    if (SeekSoundStream(c, 0, 2) != 0) return -1;
    int64_t size = TellSoundStream(c);
    if (size < 0 || size > 0x7FFFFFFF || SeekSoundStream(c, 0, 0) != 0) return -1;
    int64_t tagLength = MeasureId3v2(c);
    int64_t tail = MeasureId3v1(c, size);
    if (SeekSoundStream(c, tagLength, 0) != 0) return -1;
    FrameWalk walk;
    if (WalkFrames(c, size, tail, &walk) != 0 || walk.firstFrame < 0) return -1;
    // A first frame at or past the tail leaves no audio.
    if (walk.audioEnd <= walk.firstFrame || walk.totalSamples > 0x7FFFFFFF) return -1;
    uint8_t header[4];
    MP3FRAMEINFO first;
    if (SeekSoundStream(c, walk.firstFrame, 0) != 0 || !ReadExactly(c, header, 4) ||
        ParseMp3FrameHeader(header, &first) != 0)
        return -1;

    const platform::AcmFunctions& acm = SoundAcmFunctions();
    uint32_t formatBytes = kMp3FormatBytes;
    if (acm.metrics(platform::kAcmMetricMaxFormatSize, &formatBytes) != 0 || formatBytes < kMp3FormatBytes)
        formatBytes = kMp3FormatBytes;
    c->acm.sourceFormat = static_cast<uint8_t*>(AllocMemory(formatBytes, "", 0));
    if (!c->acm.sourceFormat) return -1;
    std::memset(c->acm.sourceFormat, 0, formatBytes);
    FillMp3Format(c->acm.sourceFormat, first);
    c->acm.sourceFormatBytes = kMp3FormatBytes;
    c->acm.sourceBlockAlign = 1;
    c->acm.totalSamples = int32_t(walk.totalSamples);
    SeekSoundStream(c, walk.firstFrame, 0);
    c->dataStart = int32_t(walk.firstFrame);
    c->dataLength = int32_t(walk.audioEnd - walk.firstFrame);

    std::memset(&c->outputFormat, 0, sizeof c->outputFormat);
    c->outputFormat.formatTag = 1;
    const auto* source = reinterpret_cast<const platform::AcmWaveFormat*>(c->acm.sourceFormat);
    if (acm.formatSuggest(source, c->acm.sourceFormatBytes, reinterpret_cast<platform::AcmWaveFormat*>(&c->outputFormat),
                          sizeof c->outputFormat, platform::kAcmSuggestByTag) != 0)
        return FailMp3Reader(c);
    const WAVEFORMATEX& out = c->outputFormat;
    if (out.blockAlign == 0 || out.avgBytesPerSec < out.blockAlign || out.avgBytesPerSec > kMaxSoundBytesPerSecond)
        return FailMp3Reader(c);

    uint32_t length = uint32_t(c->dataLength);
    c->acm.data = static_cast<uint8_t*>(AllocMemory(length, "", 0));
    if (!c->acm.data) return FailMp3Reader(c);
    c->acm.length = uint32_t(c->stream.functions.read(c->acm.data, 1, length, c->stream.handle));
    SeekSoundStream(c, walk.firstFrame, 0);
    c->acm.consumed = 0;
    if (OpenSoundAcmStream(c, &c->acm.main) != 0 || OpenSoundAcmStream(c, &c->acm.spare) != 0)
        return FailMp3Reader(c);
    c->blockSize = int32_t(int64_t(out.avgBytesPerSec) * 4 / 3);
    c->type = SOUNDCONV_TYPE_ACM;
    return 0;
}

}  // namespace

int ParseMp3FrameHeader(const uint8_t header[4], MP3FRAMEINFO* out) {
    platform::MpegFrameHeader h;
    int result = platform::ParseMpegFrameHeader(header, &h);
    if (result != 0) return result;
    *out = {h.layer, h.version, h.bitRateIndex, h.sampleRateIndex, h.padding, h.channels,
            h.sampleRate, h.bitRate, h.frameSize, h.samplesPerFrame};
    return 0;
}

const SoundReader kMp3AcmReader = {3, SetupMp3AcmReader, StepAcmReader, SeekAcmReader, TerminateAcmReader, AcmTotal,
                                   false};

}  // namespace morpotta
