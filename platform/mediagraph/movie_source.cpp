// The movie source: the filter that RenderFile puts at the head of a movie
// file. It stands in for the system's file source and video decoders
// together: at Load it opens the container with libavformat, picks the
// best video stream and opens its decoder with libavcodec, and keeps what
// a connection needs: the coded frame size, the frame time and the
// duration. Its one output pin, "Video", offers 24-bit RGB frames of that
// size, the type a movie renderer takes.
// Limitations: it reads no sound, and it does not stream (pausing or
// running it warns and fails), so a graph with it in is built and queried
// but never run. Files are closed again once Load has read them.
// Depends on: libavformat, libavcodec, libavutil.
#include "mediagraph/mediagraph_internal.h"
#include "platform/warning.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>

namespace morpotta::platform::media {
namespace {

// Beyond this a frame's RGB buffer no longer fits the sample sizes.
constexpr int kLargestSide = 16384;

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

// The libraries write their complaints to standard error by default; the
// filter reports through its results instead.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

class MovieSource;

class VideoPin final : public BaseOutputPin {
public:
    VideoPin(BaseFilter* filter, const MediaType* offered) : BaseOutputPin(filter, "Video"), offered_(offered) {}

    Result CheckMediaType(const MediaType& type) override {
        return type == *offered_ ? kOk : kTypeNotAccepted;
    }
    Result GetMediaType(int position, MediaType* out) override {
        if (position < 0) return kInvalidArg;
        if (position > 0) return kNoMoreItems;
        *out = *offered_;
        return kOk;
    }
    Result DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) override {
        request->buffers = request->buffers > 0 ? request->buffers : 1;
        request->bufferSize = int32_t(offered_->sampleSize);
        AllocatorProperties actual;
        Result r = allocator->SetProperties(*request, &actual);
        if (Failed(r)) return r;
        return actual.bufferSize < request->bufferSize ? kFail : kOk;
    }

private:
    const MediaType* offered_;
};

class MovieSource final : public BaseFilter, public FileSourceFilter, public MediaSeeking {
public:
    MovieSource() : BaseFilter(kClassMovieSource), pin_(this, &offered_) {}

    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out) return kPointer;
        if (iid == kIidFileSource) return HandOut<FileSourceFilter>(this, out);
        if (iid == kIidMediaSeeking) return HandOut<MediaSeeking>(this, out);
        return BaseFilter::QueryInterface(iid, out);
    }
    uint32_t AddRef() override { return BaseFilter::AddRef(); }
    uint32_t Release() override { return BaseFilter::Release(); }

    int PinCount() override { return loaded_ ? 1 : 0; }
    BasePin* GetPin(int n) override { return loaded_ && n == 0 ? &pin_ : nullptr; }

    Result Pause() override { return RefuseToStream(); }
    Result Run(int64_t) override { return RefuseToStream(); }

    Result Load(const char* hostPath) override;

    Result GetDuration(int64_t* duration) override {
        if (!duration) return kPointer;
        if (duration_ < 0) return kNotImplemented;
        *duration = duration_;
        return kOk;
    }
    Result GetCurrentPosition(int64_t* position) override {
        if (!position) return kPointer;
        *position = 0;  // it never streams
        return kOk;
    }

private:
    Result RefuseToStream() {
        Warn("The movie source does not stream: its graph cannot be paused or run");
        return kNotImplemented;
    }

    VideoPin pin_;
    MediaType offered_;
    bool loaded_ = false;
    int64_t duration_ = -1;
};

Result MovieSource::Load(const char* hostPath) {
    if (!hostPath) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(FilterLock());
    if (loaded_) return kUnexpected;
    struct stat info{};
    if (stat(hostPath, &info) != 0 || !S_ISREG(info.st_mode)) return kFileNotFound;
    QuietLibraries();

    // Named as a file, so that a name that looks like another protocol's
    // (a "concat:" or "http:" prefix) is read as the file it is.
    const std::string url = std::string("file:") + hostPath;
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, url.c_str(), nullptr, nullptr) < 0) return kUnknownFileType;
    std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return kUnknownFileType;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return kUnknownFileType;
    const AVStream* stream = format->streams[index];

    // The decoder must open: a stream nobody can decode is no movie here.
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder) return kOutOfMemory;
    if (avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return kUnknownFileType;
    const int width = decoder->coded_width > 0 ? decoder->coded_width : decoder->width;
    const int height = decoder->coded_height > 0 ? decoder->coded_height : decoder->height;
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return kUnknownFileType;

    int64_t timePerFrame = 0;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) timePerFrame = av_rescale(kTimeUnitsPerSecond, rate.den, rate.num);
    if (stream->duration != AV_NOPTS_VALUE && stream->time_base.den > 0)
        duration_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, int(kTimeUnitsPerSecond)});
    else if (format->duration != AV_NOPTS_VALUE)
        duration_ = av_rescale(format->duration, kTimeUnitsPerSecond, AV_TIME_BASE);

    offered_ = MakeRgb24VideoType(width, height, timePerFrame);
    loaded_ = true;
    return kOk;
}

}  // namespace

Unknown* CreateMovieSource() { return static_cast<Filter*>(new (std::nothrow) MovieSource); }

}  // namespace morpotta::platform::media
