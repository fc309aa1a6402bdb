// Ogg Theora movies made at test time: pictures of flat colour cells
// (16x16 pixels, so every chroma block is flat too) that change from frame
// to frame, encoded with libtheora's encoder in 4:2:0, 4:2:2 or 4:4:4, with
// an optional Vorbis tone beside them. Deterministic for given options.
#pragma once
#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace moviegen {

struct MovieOptions {
    int width = 160;  // coded size, multiples of 16 (smaller pictures come out as key frames only)
    int height = 96;
    int frames = 3;  // 0: the stream headers alone
    bool video = true;  // false: the sound alone (a frame's time of tone per frame)
    bool textured = false;  // a moving luma texture over the cells, as in filmed pictures (for benchmarks)
    th_pixel_fmt pixelFormat = TH_PF_420;
    bool sound = false;
    int keyFrameInterval = 8;  // a key frame at least every so many frames
    int framesPerPage = 0;     // 0: libogg chooses the pages; n: a page after every n frames
    int fpsNumerator = 30;
    int fpsDenominator = 1;
};

struct Rgb {
    int red, green, blue;
};

constexpr int kCellSide = 16;

// Colours well inside the video range, so that their conversion there and
// back is close.
inline Rgb PaletteColour(int index) {
    static const Rgb kPalette[] = {{200, 40, 40},  {40, 190, 60},   {50, 60, 210},   {230, 220, 70},
                                   {60, 200, 200}, {180, 70, 180},  {128, 128, 128}, {30, 30, 30},
                                   {240, 240, 240}, {250, 140, 20}, {90, 40, 10},    {120, 220, 150}};
    constexpr int n = int(sizeof kPalette / sizeof kPalette[0]);
    return kPalette[((index % n) + n) % n];
}

// The colour of pixel (x, y) of a frame, counted from the top-left corner:
// a fixed pattern of cells in which one cell, moving along the rows from
// frame to frame, stands out (so that frames differ but need no key frame).
inline Rgb PictureColour(int x, int y, int frame) {
    const int cellX = x / kCellSide;
    const int cellY = y / kCellSide;
    const int cell = cellX + 5 * cellY;
    return cell == frame % 12 ? PaletteColour(cell + 6) : PaletteColour(cell);
}

// Video-range YUV of a colour, rounded to the nearest step.
inline void RgbToYuv(const Rgb& c, uint8_t* y, uint8_t* u, uint8_t* v) {
    auto round = [](double value) { return uint8_t(std::clamp(int(std::lround(value)), 0, 255)); };
    *y = round(16.0 + 0.257 * c.red + 0.504 * c.green + 0.098 * c.blue);
    *u = round(128.0 - 0.148 * c.red - 0.291 * c.green + 0.439 * c.blue);
    *v = round(128.0 + 0.439 * c.red - 0.368 * c.green - 0.071 * c.blue);
}

class MovieWriter {
public:
    explicit MovieWriter(const MovieOptions& o) : o_(o) {}

    // Which frames the encoder made key frames, once written.
    const std::vector<bool>& keyFrames() const { return keyFrames_; }

    std::vector<uint8_t> Write() {
        th_enc_ctx* encoder = o_.video ? StartVideo() : nullptr;
        if (o_.video && !encoder) return {};
        if (o_.sound) StartSound();

        // Identification headers first, each on a page of its own.
        th_comment comment;
        th_comment_init(&comment);
        ogg_packet packet;
        if (encoder) {
            th_encode_flushheader(encoder, &comment, &packet);
            ogg_stream_packetin(&video_, &packet);
            Flush(&video_);
        }
        if (o_.sound) {
            ogg_stream_packetin(&audio_, &soundHeaders_[0]);
            Flush(&audio_);
        }
        if (encoder) {
            while (th_encode_flushheader(encoder, &comment, &packet) > 0) ogg_stream_packetin(&video_, &packet);
            Flush(&video_);
        }
        th_comment_clear(&comment);
        if (o_.sound) {
            ogg_stream_packetin(&audio_, &soundHeaders_[1]);
            ogg_stream_packetin(&audio_, &soundHeaders_[2]);
            Flush(&audio_);
        }

        for (int f = 0; f < o_.frames; ++f) {
            if (encoder) EncodeFrame(encoder, f, f + 1 == o_.frames);
            if (o_.sound) EncodeSound(f + 1 == o_.frames);
        }
        if (encoder) {
            Flush(&video_);
            th_encode_free(encoder);
            ogg_stream_clear(&video_);
        }
        if (o_.sound) EndSound();
        return std::move(bytes_);
    }

private:
    th_enc_ctx* StartVideo() {
        th_info info;
        th_info_init(&info);
        info.frame_width = uint32_t(o_.width);
        info.frame_height = uint32_t(o_.height);
        info.pic_width = uint32_t(o_.width);
        info.pic_height = uint32_t(o_.height);
        info.fps_numerator = uint32_t(o_.fpsNumerator);
        info.fps_denominator = uint32_t(o_.fpsDenominator);
        info.aspect_numerator = info.aspect_denominator = 1;
        info.colorspace = TH_CS_UNSPECIFIED;
        info.pixel_fmt = o_.pixelFormat;
        info.quality = 63;
        info.keyframe_granule_shift = 6;
        th_enc_ctx* encoder = th_encode_alloc(&info);
        th_info_clear(&info);
        if (!encoder) return nullptr;
        ogg_uint32_t interval = uint32_t(std::max(1, o_.keyFrameInterval));
        th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
        ogg_stream_init(&video_, 0x7e0);
        return encoder;
    }

    void EncodeFrame(th_enc_ctx* encoder, int frame, bool last) {
        const int cw = o_.pixelFormat == TH_PF_444 ? o_.width : o_.width / 2;
        const int ch = o_.pixelFormat == TH_PF_420 ? o_.height / 2 : o_.height;
        std::vector<uint8_t> y(size_t(o_.width) * o_.height), u(size_t(cw) * ch), v(size_t(cw) * ch);
        for (int row = 0; row < o_.height; ++row) {
            for (int x = 0; x < o_.width; ++x) {
                uint8_t py, pu, pv;
                RgbToYuv(PictureColour(x, row, frame), &py, &pu, &pv);
                if (o_.textured) py = uint8_t(std::clamp(py + Texture(x, row, frame), 16, 235));
                y[size_t(row) * o_.width + x] = py;
                // Cells are flat, so any sample of a chroma block's area is its value.
                const int cx = x * cw / o_.width;
                const int cy = row * ch / o_.height;
                u[size_t(cy) * cw + cx] = pu;
                v[size_t(cy) * cw + cx] = pv;
            }
        }
        th_ycbcr_buffer buffer = {{o_.width, o_.height, o_.width, y.data()},
                                  {cw, ch, cw, u.data()},
                                  {cw, ch, cw, v.data()}};
        th_encode_ycbcr_in(encoder, buffer);
        ogg_packet packet;
        while (th_encode_packetout(encoder, last ? 1 : 0, &packet) > 0) {
            keyFrames_.push_back(th_packet_iskeyframe(&packet) == 1);
            ogg_stream_packetin(&video_, &packet);
        }
        if (o_.framesPerPage > 0 && (frame + 1) % o_.framesPerPage == 0)
            Flush(&video_);
        else
            PageOut(&video_);
    }

    static int Texture(int x, int y, int frame) {
        const double t = frame * 0.15;
        return int(24.0 * std::sin(x * 0.11 + t) * std::cos(y * 0.07 - t) + 8.0 * std::sin((x + 2 * y) * 0.9));
    }

    void StartSound() {
        vorbis_info_init(&vorbisInfo_);
        vorbis_encode_init_vbr(&vorbisInfo_, 1, kSoundRate, 0.1f);
        vorbis_comment_init(&vorbisComment_);
        vorbis_analysis_init(&dsp_, &vorbisInfo_);
        vorbis_block_init(&dsp_, &block_);
        vorbis_analysis_headerout(&dsp_, &vorbisComment_, &soundHeaders_[0], &soundHeaders_[1], &soundHeaders_[2]);
        ogg_stream_init(&audio_, 0x50d);
    }

    // The tone for one frame's time.
    void EncodeSound(bool last) {
        const int samples = kSoundRate * o_.fpsDenominator / o_.fpsNumerator;
        float** buffer = vorbis_analysis_buffer(&dsp_, samples);
        for (int i = 0; i < samples; ++i, ++soundSample_)
            buffer[0][i] = 0.3f * float(std::sin(double(soundSample_) * 2.0 * 3.14159265358979 * 440.0 / kSoundRate));
        vorbis_analysis_wrote(&dsp_, samples);
        if (last) vorbis_analysis_wrote(&dsp_, 0);
        ogg_packet packet;
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            while (vorbis_bitrate_flushpacket(&dsp_, &packet)) ogg_stream_packetin(&audio_, &packet);
        }
        if (last)
            Flush(&audio_);
        else
            PageOut(&audio_);
    }

    void EndSound() {
        ogg_stream_clear(&audio_);
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
        vorbis_comment_clear(&vorbisComment_);
        vorbis_info_clear(&vorbisInfo_);
    }

    void Append(const ogg_page& page) {
        bytes_.insert(bytes_.end(), page.header, page.header + page.header_len);
        bytes_.insert(bytes_.end(), page.body, page.body + page.body_len);
    }
    void Flush(ogg_stream_state* stream) {
        ogg_page page;
        while (ogg_stream_flush(stream, &page) > 0) Append(page);
    }
    void PageOut(ogg_stream_state* stream) {
        ogg_page page;
        while (ogg_stream_pageout(stream, &page) > 0) Append(page);
    }

    static constexpr int kSoundRate = 22050;
    MovieOptions o_;
    std::vector<uint8_t> bytes_;
    std::vector<bool> keyFrames_;
    ogg_stream_state video_{};
    ogg_stream_state audio_{};
    vorbis_info vorbisInfo_{};
    vorbis_comment vorbisComment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_packet soundHeaders_[3]{};
    int64_t soundSample_ = 0;
};

inline std::vector<uint8_t> WriteTheoraMovie(const MovieOptions& options) { return MovieWriter(options).Write(); }

// An Ogg file that carries only a Vorbis tone.
inline std::vector<uint8_t> WriteVorbisOnly(int frames = 10) {
    MovieOptions o;
    o.frames = frames;
    o.video = false;
    o.sound = true;
    return WriteTheoraMovie(o);
}

}  // namespace moviegen
