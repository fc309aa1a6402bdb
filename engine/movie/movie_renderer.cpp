// The movie renderer's type checks, frame buffer and samples.
#include "movie/movie_renderer.h"

#include "engine/memory.h"

#include <cstring>
#include <new>

namespace morpotta {

namespace {

// Beyond this the buffer's size no longer fits an int.
constexpr int kLargestSide = 16384;

}  // namespace

D_CMovieRenderer* D_CMovieRenderer::Create(mg::Unknown*, mg::Result* result) {
    auto* renderer = new (std::nothrow) D_CMovieRenderer;
    if (result) *result = renderer ? mg::kOk : mg::kOutOfMemory;
    return renderer;
}

D_CMovieRenderer::D_CMovieRenderer() : BaseRenderer(kClassMovieRenderer) {}

D_CMovieRenderer::~D_CMovieRenderer() { FreeMemory(frameBuffer_); }

mg::Result D_CMovieRenderer::CheckMediaType(const mg::MediaType* type) {
    if (!type) return mg::kPointer;
    if (!(type->formatType == mg::kFormatVideoInfo)) return mg::kInvalidArg;
    if (!(type->majorType == mg::kMediaTypeVideo)) return mg::kFail;
    if (!(type->subtype == mg::kSubtypeRgb24)) return mg::kFail;
    return mg::kOk;
}

mg::Result D_CMovieRenderer::SetMediaType(const mg::MediaType& type) {
    const mg::VideoInfoHeader* info = mg::VideoInfoOf(type);
    if (!info) return mg::kInvalidArg;
    const int width = info->bitmap.width;
    const int64_t height = info->bitmap.height < 0 ? -int64_t(info->bitmap.height) : info->bitmap.height;
    // A size the format cannot mean would overflow the pitch or the buffer.
    if (width <= 0 || width > kLargestSide || height > kLargestSide) return mg::kInvalidArg;
    width_ = width;
    height_ = int(height);
    pitch_ = ((width_ + 1) * 3) & ~3;
    FreeMemory(frameBuffer_);
    frameBuffer_ = static_cast<uint8_t*>(AllocMemory(size_t(pitch_) * size_t(height_), "", 0));
    return mg::kOk;
}

mg::Result D_CMovieRenderer::DoRenderSample(mg::MediaSample* sample) {
    uint8_t* bytes = nullptr;
    if (!frameBuffer_ || mg::Failed(sample->GetPointer(&bytes)) || !bytes) return mg::kOk;
    const size_t room = size_t(pitch_) * size_t(height_);
    const int32_t length = sample->GetActualDataLength();
    std::memcpy(frameBuffer_, bytes, length > 0 && size_t(length) < room ? size_t(length) : (length > 0 ? room : 0));
    return mg::kOk;
}

}  // namespace morpotta
