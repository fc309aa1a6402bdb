// The MPEG audio decoder filter: pulls an MPEG audio byte stream from a
// source's asynchronous reader and pushes 16-bit PCM downstream from a
// streaming thread of its own, which runs while the filter is paused or
// running and is joined when it stops.
// On connection it looks for the first frame (after an ID3v2 tag, within
// the first 64 KiB) that starts a chain of consistent frames, so that a
// stream that merely holds a false sync is read from its real first frame
// and one that holds no MPEG audio is refused; the output format is the
// first frame's rate and channel count. MPEG-1, 2 and 2.5, Layers I to III
// and free format decode through libmpg123, with the platform's shared
// decoder settings.
// Depends on: libmpg123.
#include "acm/mpg123_decoder.h"
#include "mediagraph/mediagraph_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace morpotta::platform::media {
namespace {

constexpr int64_t kSearchBytes = 65536;   // where the first frame may start
constexpr int64_t kMaxFrameBytes = 4096;  // beyond any frame, free format included
constexpr int kChainFrames = 4;           // consistent frames that make a stream
constexpr int32_t kPullBytes = 32768;     // bytes asked of the source at a time
constexpr uint32_t kWaitStepMs = 1000;

bool SameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRateIndex == b.sampleRateIndex &&
           (a.bitRateIndex == 0) == (b.bitRateIndex == 0);
}

bool IsTail(const uint8_t* p, int64_t left) { return left == 128 && std::memcmp(p, "TAG", 3) == 0; }

// The size of the frame at pos: from its header, or for free format the
// distance to the next header of the same stream (or to the end of a
// window that reaches the stream's end). 0 when it cannot be told.
int64_t FrameBytes(const uint8_t* d, int64_t n, int64_t pos, const MpegFrameHeader& h, bool reachesEnd) {
    if (h.frameSize) return h.frameSize;
    for (int64_t next = pos + 4; next + 4 <= n && next < pos + kMaxFrameBytes; ++next) {
        MpegFrameHeader k;
        if (ParseMpegAudioHeader(d + next, &k) == 0 && SameStream(h, k) && d[next + 1] == d[pos + 1] &&
            (d[next + 2] & 0xFC) == (d[pos + 2] & 0xFC))
            return next - pos;
    }
    if (!reachesEnd) return 0;
    int64_t end = n >= 128 && std::memcmp(d + n - 128, "TAG", 3) == 0 ? n - 128 : n;
    return end - pos > 4 && end - pos <= kMaxFrameBytes ? end - pos : 0;
}

// A run of consistent frames from pos: kChainFrames of them, or fewer that
// end exactly where the stream (or its ID3v1 tail) ends.
bool StartsChain(const uint8_t* d, int64_t n, int64_t pos, bool reachesEnd, MpegFrameHeader* first) {
    if (ParseMpegAudioHeader(d + pos, first) != 0) return false;
    MpegFrameHeader h = *first;
    for (int frames = 0; frames < kChainFrames; ++frames) {
        int64_t size = FrameBytes(d, n, pos, h, reachesEnd);
        if (size < 4) return false;
        pos += size;
        if (reachesEnd && (pos == n || IsTail(d + pos, n - pos))) return true;
        if (pos + 4 > n) return false;
        if (frames + 1 < kChainFrames && (ParseMpegAudioHeader(d + pos, &h) != 0 || !SameStream(*first, h)))
            return false;
    }
    return true;
}

class MpegAudioDecoder;

// Pulls from the source's reader; connects only to a pin that has one.
class PullPin final : public BasePin {
public:
    explicit PullPin(MpegAudioDecoder* decoder);
    Result CheckMediaType(const MediaType& type) override {
        return type.majorType == kMediaTypeStream &&
                       (type.subtype == kSubtypeMpeg1Audio || type.subtype == kGuidNull)
                   ? kOk
                   : kTypeNotAccepted;
    }
    Result CheckConnect(Pin* peer) override;
    Result CompleteConnect(Pin* peer) override;
    Result BreakConnect() override;
    Result Active() override { return allocator_ ? allocator_->Commit() : kOk; }
    Result Inactive() override { return allocator_ ? allocator_->Decommit() : kOk; }

    AsyncReader* Reader() const { return reader_.Get(); }
    MemAllocator* Allocator() const { return allocator_.Get(); }

private:
    MpegAudioDecoder* decoder_;
    Ref<AsyncReader> reader_;
    Ref<MemAllocator> allocator_;
};

class PcmOutputPin final : public BaseOutputPin {
public:
    explicit PcmOutputPin(MpegAudioDecoder* decoder);
    Result CheckMediaType(const MediaType& type) override;
    Result GetMediaType(int position, MediaType* out) override;
    Result DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) override;

private:
    MpegAudioDecoder* decoder_;
};

class MpegAudioDecoder final : public BaseFilter {
public:
    MpegAudioDecoder() : BaseFilter(kClassMpegAudioDecoder), input_(this), output_(this) {}

    int PinCount() override { return 2; }
    BasePin* GetPin(int n) override {
        if (n == 0) return &input_;
        if (n == 1) return &output_;
        return nullptr;
    }
    Result Pause() override;
    Result Stop() override;

    // Finds the first frame in the source; kOk or kInvalidMediaType.
    Result Probe(AsyncReader* reader);
    bool HasFormat() const { return probed_; }
    void ForgetFormat() { probed_ = false; }
    const AcmWaveFormat& Format() const { return format_; }

private:
    ~MpegAudioDecoder() override { StopThread(); }
    void StopThread();
    void Stream();
    bool DecodeInto(mpg123_handle* decoder, MediaSample* sample, int64_t* frames, bool* ended, bool* failed);
    // The source seen from the first frame on, for libmpg123.
    static ssize_t ReadSource(void* self, void* buffer, size_t bytes);
    static off_t SeekSource(void* self, off_t offset, int whence);
    bool FetchChunk(int64_t position);

    PullPin input_;
    PcmOutputPin output_;
    bool probed_ = false;
    AcmWaveFormat format_{};
    int64_t firstFrame_ = 0;
    int64_t length_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    // Streaming thread only.
    int64_t position_ = 0;  // from the first frame
    Ref<MediaSample> chunk_;
    int64_t chunkStart_ = 0;
    int64_t chunkLength_ = 0;
};

PullPin::PullPin(MpegAudioDecoder* decoder) : BasePin(decoder, "Input", PinDirection::Input), decoder_(decoder) {}

Result PullPin::CheckConnect(Pin* peer) {
    Result r = BasePin::CheckConnect(peer);
    if (Failed(r)) return r;
    reader_ = Query<AsyncReader>(peer, kIidAsyncReader);
    return reader_ ? kOk : kNoTransport;
}

Result PullPin::CompleteConnect(Pin*) {
    Result r = decoder_->Probe(reader_.Get());
    if (Failed(r)) return r;
    Unknown* object = CreateMemoryAllocator();
    if (!object) return kOutOfMemory;
    Ref<MemAllocator> preferred = Query<MemAllocator>(object, kIidMemAllocator);
    object->Release();
    AllocatorProperties wanted{1, kPullBytes, 1, 0};
    return reader_->RequestAllocator(preferred.Get(), &wanted, allocator_.Out());
}

Result PullPin::BreakConnect() {
    reader_.Reset();
    allocator_.Reset();
    decoder_->ForgetFormat();
    return kOk;
}

PcmOutputPin::PcmOutputPin(MpegAudioDecoder* decoder) : BaseOutputPin(decoder, "Output"), decoder_(decoder) {}

Result PcmOutputPin::GetMediaType(int position, MediaType* out) {
    if (position < 0) return kInvalidArg;
    if (position > 0 || !decoder_->HasFormat()) return kNoMoreItems;
    *out = MakePcmMediaType(decoder_->Format());
    return kOk;
}

Result PcmOutputPin::CheckMediaType(const MediaType& type) {
    return decoder_->HasFormat() && type == MakePcmMediaType(decoder_->Format()) ? kOk : kTypeNotAccepted;
}

// About a tenth of a second a buffer, in whole sample frames.
Result PcmOutputPin::DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) {
    const int32_t frameBytes = decoder_->Format().blockAlign;
    const int32_t wanted = int32_t(decoder_->Format().avgBytesPerSec / 10 / uint32_t(frameBytes)) * frameBytes;
    request->buffers = std::max(request->buffers, 2);
    request->bufferSize = std::max(request->bufferSize, std::max(wanted, frameBytes));
    AllocatorProperties actual;
    Result r = allocator->SetProperties(*request, &actual);
    if (Failed(r)) return r;
    return actual.bufferSize >= frameBytes ? kOk : kFail;
}

Result MpegAudioDecoder::Probe(AsyncReader* reader) {
    int64_t total = 0, available = 0;
    if (!reader || Failed(reader->Length(&total, &available)) || total < 4) return kInvalidMediaType;
    // Past an ID3v2 tag.
    uint8_t head[10];
    int64_t start = 0;
    if (total >= 10 && reader->SyncRead(0, 10, head) == kOk && std::memcmp(head, "ID3", 3) == 0 &&
        ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0) {
        start = ((int64_t(head[6]) * 128 + head[7]) * 128 + head[8]) * 128 + head[9] + 10;
        if (head[3] == 4 && (head[5] & 0x10)) start += 10;
        if (start >= total) return kInvalidMediaType;
    }
    const int64_t window = std::min(total - start, kSearchBytes + kChainFrames * kMaxFrameBytes);
    const bool reachesEnd = start + window == total;
    std::vector<uint8_t> bytes(size_t(window), 0);
    Result r = reader->SyncRead(start, int32_t(window), bytes.data());
    if (r != kOk) return kInvalidMediaType;
    for (int64_t pos = 0; pos + 4 <= window && pos < kSearchBytes; ++pos) {
        MpegFrameHeader first;
        if (bytes[size_t(pos)] != 0xFF || !StartsChain(bytes.data(), window, pos, reachesEnd, &first)) continue;
        format_ = {kWaveFormatPcm, first.channels, first.sampleRate, first.sampleRate * 2u * first.channels,
                   uint16_t(2 * first.channels), 16, 0};
        firstFrame_ = start + pos;
        length_ = total;
        probed_ = true;
        return kOk;
    }
    return kInvalidMediaType;
}

Result MpegAudioDecoder::Pause() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const bool starting = state_.load() == FilterState::Stopped;
    Result r = BaseFilter::Pause();
    if (Failed(r) || !starting || !input_.IsConnected() || !output_.IsConnected()) return r;
    stopping_.store(false);
    try {
        thread_ = std::thread([this] { Stream(); });
    } catch (const std::system_error&) {
        BaseFilter::Stop();
        return kFail;
    }
    return kOk;
}

// Flushing the reader hands back a request the thread waits for; the
// decommit frees it from a wait for an output buffer.
void MpegAudioDecoder::StopThread() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    AsyncReader* reader = input_.Reader();
    if (reader) reader->BeginFlush();
    if (output_.Allocator()) output_.Allocator()->Decommit();
    thread_.join();
    if (reader) reader->EndFlush();
}

Result MpegAudioDecoder::Stop() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    StopThread();
    return BaseFilter::Stop();
}

bool MpegAudioDecoder::FetchChunk(int64_t position) {
    chunk_.Reset();
    chunkLength_ = 0;
    const int64_t from = firstFrame_ + position;
    const int64_t bytes = std::min<int64_t>(kPullBytes, length_ - from);
    if (bytes <= 0) return true;  // the end
    Ref<MediaSample> sample;
    if (Failed(input_.Allocator()->GetBuffer(sample.Out()))) return false;
    int64_t start = from * kTimeUnitsPerSecond, stop = (from + bytes) * kTimeUnitsPerSecond;
    sample->SetTime(&start, &stop);
    AsyncReader* reader = input_.Reader();
    if (Failed(reader->Request(sample.Get(), 0))) return false;
    // The request always comes back, if only cancelled by a flush, before
    // its buffer may be let go.
    for (;;) {
        MediaSample* done = nullptr;
        uintptr_t user = 0;
        Result r = reader->WaitForNext(kWaitStepMs, &done, &user);
        if (!done) {
            if (r == kTimeout) continue;
            return false;
        }
        if (Failed(r) || stopping_.load()) return false;
        chunk_ = sample;
        chunkStart_ = position;
        chunkLength_ = done->GetActualDataLength();
        return true;
    }
}

ssize_t MpegAudioDecoder::ReadSource(void* self, void* buffer, size_t bytes) {
    auto* d = static_cast<MpegAudioDecoder*>(self);
    if (d->stopping_.load()) return -1;
    if (!d->chunk_ || d->position_ < d->chunkStart_ || d->position_ >= d->chunkStart_ + d->chunkLength_) {
        if (!d->FetchChunk(d->position_)) return -1;
        if (!d->chunk_ || d->chunkLength_ == 0) return 0;
    }
    uint8_t* data = nullptr;
    d->chunk_->GetPointer(&data);
    const int64_t offset = d->position_ - d->chunkStart_;
    const size_t n = std::min<size_t>(bytes, size_t(d->chunkLength_ - offset));
    std::memcpy(buffer, data + offset, n);
    d->position_ += int64_t(n);
    return ssize_t(n);
}

off_t MpegAudioDecoder::SeekSource(void* self, off_t offset, int whence) {
    auto* d = static_cast<MpegAudioDecoder*>(self);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? d->position_ : d->length_ - d->firstFrame_;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    if (base + offset < 0) return -1;
    d->position_ = base + offset;
    return off_t(d->position_);
}

// Fills one output sample with whole sample frames.
bool MpegAudioDecoder::DecodeInto(mpg123_handle* decoder, MediaSample* sample, int64_t* frames, bool* ended,
                                  bool* failed) {
    uint8_t* data = nullptr;
    sample->GetPointer(&data);
    const size_t frameBytes = format_.blockAlign;
    const size_t room = size_t(sample->GetSize()) / frameBytes * frameBytes;
    size_t filled = 0;
    while (filled < room) {
        size_t done = 0;
        int status = mpg123_read(decoder, data + filled, room - filled, &done);
        filled += done;
        if (status == MPG123_NEW_FORMAT || (status == MPG123_OK && done > 0)) continue;
        if (status == MPG123_DONE) *ended = true;
        else if (status != MPG123_OK) *failed = true;
        else *ended = true;  // nothing more comes
        break;
    }
    filled = filled / frameBytes * frameBytes;
    const int64_t count = int64_t(filled / frameBytes);
    int64_t start = *frames * kTimeUnitsPerSecond / format_.samplesPerSec;
    int64_t stop = (*frames + count) * kTimeUnitsPerSecond / format_.samplesPerSec;
    sample->SetActualDataLength(int32_t(filled));
    sample->SetTime(&start, &stop);
    sample->SetDiscontinuity(*frames == 0);
    *frames += count;
    return filled > 0;
}

void MpegAudioDecoder::Stream() {
    position_ = 0;
    chunk_.Reset();
    chunkLength_ = 0;
    mpg123_handle* decoder = NewMpegDecoder(long(format_.samplesPerSec), format_.channels);
    if (!decoder || mpg123_replace_reader_handle(decoder, ReadSource, SeekSource, nullptr) != MPG123_OK ||
        mpg123_open_handle(decoder, this) != MPG123_OK) {
        if (decoder) mpg123_delete(decoder);
        NotifyEvent(kEventErrorAbort, kOutOfMemory, 0);
        return;
    }
    output_.DeliverNewSegment(0, INT64_MAX, 1.0);
    int64_t frames = 0;
    for (;;) {
        Ref<MediaSample> sample;
        if (stopping_.load() || Failed(output_.GetDeliveryBuffer(sample.Out()))) break;
        bool ended = false, failed = false;
        if (DecodeInto(decoder, sample.Get(), &frames, &ended, &failed)) {
            Result r = output_.Deliver(sample.Get());
            // A stopped filter downstream means the graph is stopping.
            if (Failed(r)) {
                if (r != kWrongState && !stopping_.load()) NotifyEvent(kEventErrorAbort, r, 0);
                break;
            }
        }
        if (stopping_.load()) break;
        // What decoded before an error stands; a stream with none failed.
        if (ended || (failed && frames > 0)) {
            output_.DeliverEndOfStream();
            break;
        }
        if (failed) {
            NotifyEvent(kEventErrorAbort, kFail, 0);
            break;
        }
    }
    chunk_.Reset();
    mpg123_delete(decoder);
}

}  // namespace

Unknown* CreateMpegAudioDecoder() { return static_cast<Filter*>(new (std::nothrow) MpegAudioDecoder); }

}  // namespace morpotta::platform::media
