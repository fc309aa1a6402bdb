// Movies: the 4:2:0 to XRGB conversion of a 640x480 frame, in megapixels
// per second, beside libswscale doing the same conversion; and whole-frame
// decoding of a 640x480 Ogg Theora movie, in frames per second, beside
// libavcodec's Theora decoder fed the same bytes (both on one thread, both
// parsing the Ogg pages as they go), with libtheora's own decoding loop as
// the floor under the engine's decoder.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "engine/log.h"
#include "engine/stream.h"
#include "movie/theora_decoder.h"
#include "memory_file_table.h"
#include "movie/yuv_to_rgb.h"
#include "theora_movie_writer.h"

#include <cstring>
#include <vector>

using namespace morpotta;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kMovieFrames = 60;

// A frame of varied samples, as a decoded picture would be.
struct Frame420 {
    std::vector<uint8_t> y, u, v, out;
    Frame420() : y(kWidth * kHeight), u(kWidth * kHeight / 4), v(kWidth * kHeight / 4), out(kWidth * kHeight * 4) {
        uint32_t seed = 7;
        auto next = [&seed] { return uint8_t((seed = seed * 1103515245u + 12345u) >> 16); };
        for (uint8_t& s : y) s = next();
        for (uint8_t& s : u) s = next();
        for (uint8_t& s : v) s = next();
    }
};

void SetPixelRate(benchmark::State& state) {
    state.counters["Mpix/s"] = benchmark::Counter(double(state.iterations()) * kWidth * kHeight / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_YuvToRgb_Engine(benchmark::State& state) {
    BuildYuvToRgbTables();
    Frame420 f;
    const YuvPlanes planes{f.y.data(), f.u.data(), f.v.data(), kWidth, kHeight, kWidth, kWidth / 2, kHeight / 2,
                           kWidth / 2};
    for (auto _ : state) {
        ConvertYuv420ToXrgb(planes, f.out.data(), kWidth * 4, kWidth, kHeight);
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    SetPixelRate(state);
}
BENCHMARK(BM_YuvToRgb_Engine);

void BM_YuvToRgb_Swscale(benchmark::State& state) {
    Frame420 f;
    SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGRA,
                                         SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("no swscale context");
        return;
    }
    const uint8_t* source[3] = {f.y.data(), f.u.data(), f.v.data()};
    const int sourceStride[3] = {kWidth, kWidth / 2, kWidth / 2};
    uint8_t* dest[1] = {f.out.data()};
    const int destStride[1] = {kWidth * 4};
    for (auto _ : state) {
        sws_scale(context, source, sourceStride, 0, kHeight, dest, destStride);
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    SetPixelRate(state);
}
BENCHMARK(BM_YuvToRgb_Swscale);

const std::vector<uint8_t>& Movie() {
    static const std::vector<uint8_t> bytes = [] {
        moviegen::MovieOptions o;
        o.width = kWidth;
        o.height = kHeight;
        o.frames = kMovieFrames;
        o.textured = true;
        o.keyFrameInterval = 30;
        return moviegen::WriteTheoraMovie(o);
    }();
    return bytes;
}

void SetFrameRate(benchmark::State& state) {
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()) * kMovieFrames, benchmark::Counter::kIsRate);
}

// Open (which indexes the file and decodes the first frame), then let the
// thread fill a ring as long as the movie, then close.
void BM_DecodeMovie_Engine(benchmark::State& state) {
    SetLogOutput(0);
    BuildYuvToRgbTables();
    const std::vector<uint8_t>& bytes = Movie();
    const FileAccessTable table = MemoryFileTable();
    for (auto _ : state) {
        MemStream* stream = OpenMemStream(bytes.data(), bytes.size());
        TheoraDecoder* d = OpenTheoraDecoder(&table, reinterpret_cast<FileHandle>(stream), kMovieFrames);
        if (!d) {
            state.SkipWithError("the movie did not open");
            CloseMemStream(stream);
            return;
        }
        {
            std::unique_lock<std::mutex> held(d->lock);
            d->mainWake.wait(held, [d] { return d->threadState == THEORA_THREAD_RING_FULL; });
        }
        CloseTheoraDecoder(d);
        CloseMemStream(stream);
    }
    SetFrameRate(state);
}
BENCHMARK(BM_DecodeMovie_Engine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Theora packets of the movie pulled from its Ogg pages as they come.
class OggPackets {
public:
    explicit OggPackets(const std::vector<uint8_t>& bytes) {
        ogg_sync_init(&sync_);
        char* buffer = ogg_sync_buffer(&sync_, long(bytes.size()));
        std::memcpy(buffer, bytes.data(), bytes.size());
        ogg_sync_wrote(&sync_, long(bytes.size()));
    }
    ~OggPackets() {
        if (streamOpen_) ogg_stream_clear(&stream_);
        ogg_sync_clear(&sync_);
    }
    bool Next(ogg_packet* packet) {
        for (;;) {
            if (streamOpen_ && ogg_stream_packetout(&stream_, packet) > 0) return true;
            ogg_page page;
            if (ogg_sync_pageout(&sync_, &page) != 1) return false;
            if (!streamOpen_) {
                ogg_stream_init(&stream_, ogg_page_serialno(&page));
                streamOpen_ = true;
            }
            ogg_stream_pagein(&stream_, &page);
        }
    }

private:
    ogg_sync_state sync_{};
    ogg_stream_state stream_{};
    bool streamOpen_ = false;
};

void BM_DecodeMovie_Libavcodec(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = Movie();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_THEORA);
    if (!codec) {
        state.SkipWithError("no Theora decoder in libavcodec");
        return;
    }
    AVPacket* avPacket = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (auto _ : state) {
        OggPackets packets(bytes);
        ogg_packet packet;
        // The three headers as extradata, each after its 16-bit length.
        std::vector<uint8_t> extra;
        for (int i = 0; i < 3 && packets.Next(&packet); ++i) {
            extra.push_back(uint8_t(packet.bytes >> 8));
            extra.push_back(uint8_t(packet.bytes));
            extra.insert(extra.end(), packet.packet, packet.packet + packet.bytes);
        }
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->thread_count = 1;
        context->extradata = static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, extra.data(), extra.size());
        context->extradata_size = int(extra.size());
        if (avcodec_open2(context, codec, nullptr) < 0) {
            state.SkipWithError("libavcodec refused the stream");
            avcodec_free_context(&context);
            break;
        }
        int decoded = 0;
        while (packets.Next(&packet)) {
            av_new_packet(avPacket, int(packet.bytes));
            std::memcpy(avPacket->data, packet.packet, size_t(packet.bytes));
            avcodec_send_packet(context, avPacket);
            av_packet_unref(avPacket);
            while (avcodec_receive_frame(context, frame) == 0) ++decoded;
        }
        avcodec_send_packet(context, nullptr);
        while (avcodec_receive_frame(context, frame) == 0) ++decoded;
        if (decoded != kMovieFrames) state.SkipWithError("libavcodec lost frames");
        avcodec_free_context(&context);
    }
    av_frame_free(&frame);
    av_packet_free(&avPacket);
    SetFrameRate(state);
}
BENCHMARK(BM_DecodeMovie_Libavcodec)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor under the engine's decoder: libtheora's decoding interface
// alone on the same packets, no index, no thread, no copies.
void BM_DecodeMovie_LibtheoraAlone(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = Movie();
    for (auto _ : state) {
        OggPackets packets(bytes);
        ogg_packet packet;
        theora_info info;
        theora_comment comment;
        theora_info_init(&info);
        theora_comment_init(&comment);
        for (int i = 0; i < 3 && packets.Next(&packet); ++i) theora_decode_header(&info, &comment, &packet);
        theora_state decoder;
        theora_decode_init(&decoder, &info);
        int decoded = 0;
        yuv_buffer yuv;
        while (packets.Next(&packet))
            if (theora_decode_packetin(&decoder, &packet) == 0 && theora_decode_YUVout(&decoder, &yuv) == 0) ++decoded;
        benchmark::DoNotOptimize(yuv.y);
        if (decoded != kMovieFrames) state.SkipWithError("libtheora lost frames");
        theora_clear(&decoder);
        theora_comment_clear(&comment);
        theora_info_clear(&info);
    }
    SetFrameRate(state);
}
BENCHMARK(BM_DecodeMovie_LibtheoraAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
