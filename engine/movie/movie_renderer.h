// The movie renderer: the filter at the end of a movie graph. It takes
// 24-bit RGB video only (the graph puts whatever decoder and converter it
// needs before it) and sizes a frame buffer of its own from the connected
// format; a sample that reaches it is copied into that buffer.
#pragma once
#include "platform/mediagraph_base.h"

namespace morpotta {

namespace mg = platform::media;

class D_CMovieRenderer final : public mg::BaseRenderer {
public:
    // Null when memory is short; result (when not null) gets kOk or
    // kOutOfMemory. The caller holds the one reference.
    static D_CMovieRenderer* Create(mg::Unknown* outer, mg::Result* result);

    // kPointer without a type, kInvalidArg for a format other than video
    // info, kFail for anything but 24-bit RGB video.
    mg::Result CheckMediaType(const mg::MediaType* type);
    mg::Result CheckMediaType(const mg::MediaType& type) override { return CheckMediaType(&type); }
    // Takes the frame size of the video info and makes the frame buffer;
    // kInvalidArg for a size no buffer can hold (the old buffer stays).
    mg::Result SetMediaType(const mg::MediaType& type) override;
    mg::Result DoRenderSample(mg::MediaSample* sample) override;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }
    const uint8_t* FrameBuffer() const { return frameBuffer_; }

private:
    D_CMovieRenderer();
    ~D_CMovieRenderer() override;

    uint8_t* frameBuffer_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int pitch_ = 0;
};

inline constexpr mg::Guid kClassMovieRenderer{0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

}  // namespace morpotta
