// Object creation by class id, and media type helpers.
#include "mediagraph/mediagraph_internal.h"

#include <cstring>

namespace morpotta::platform::media {
namespace {

const MediaClass kClasses[] = {
    {kClassAudioRenderer, "Audio Renderer", kMeritPreferred, CreateAudioRenderer},
    {kClassMpegAudioDecoder, "MPEG Audio Decoder", kMeritNormal, CreateMpegAudioDecoder},
    {kClassFilterGraph, "Filter Graph", kMeritDoNotUse, CreateFilterGraph},
    {kClassNullRenderer, "Null Renderer", kMeritDoNotUse, CreateNullRenderer},
    {kClassMemoryAllocator, "Memory Allocator", kMeritDoNotUse, CreateMemoryAllocator},
    {kClassMovieSource, "Movie Source", kMeritDoNotUse, CreateMovieSource},
};

}  // namespace

std::span<const MediaClass> RegisteredMediaClasses() { return kClasses; }

Result CreateMediaObject(const Guid& classId, Unknown* outer, uint32_t, const Guid& iid, void** out) {
    if (!out) return kPointer;
    *out = nullptr;
    if (outer) return kNoAggregation;
    for (const MediaClass& c : kClasses) {
        if (!(c.id == classId)) continue;
        Unknown* object = c.create();
        if (!object) return kOutOfMemory;
        Result r = object->QueryInterface(iid, out);
        object->Release();
        return r;
    }
    return kClassNotRegistered;
}

bool MediaTypeMatches(const MediaType& pattern, const MediaType& type) {
    auto part = [](const Guid& want, const Guid& have) { return want == kGuidNull || want == have; };
    return part(pattern.majorType, type.majorType) && part(pattern.subtype, type.subtype) &&
           part(pattern.formatType, type.formatType);
}

const AcmWaveFormat* WaveFormatOf(const MediaType& type) {
    if (!(type.formatType == kFormatWaveFormatEx) || type.format.size() < sizeof(AcmWaveFormat)) return nullptr;
    return reinterpret_cast<const AcmWaveFormat*>(type.format.data());
}

MediaType MakePcmMediaType(const AcmWaveFormat& format) {
    MediaType t;
    t.majorType = kMediaTypeAudio;
    t.subtype = kSubtypePcm;
    t.fixedSizeSamples = true;
    t.sampleSize = format.blockAlign;
    t.formatType = kFormatWaveFormatEx;
    t.format.resize(sizeof format);
    std::memcpy(t.format.data(), &format, sizeof format);
    return t;
}

const VideoInfoHeader* VideoInfoOf(const MediaType& type) {
    if (!(type.formatType == kFormatVideoInfo) || type.format.size() < sizeof(VideoInfoHeader)) return nullptr;
    return reinterpret_cast<const VideoInfoHeader*>(type.format.data());
}

MediaType MakeRgb24VideoType(int32_t width, int32_t height, int64_t timePerFrame) {
    VideoInfoHeader info{};
    info.averageTimePerFrame = timePerFrame;
    info.bitmap.size = sizeof info.bitmap;
    info.bitmap.width = width;
    info.bitmap.height = height;
    info.bitmap.planes = 1;
    info.bitmap.bitCount = 24;
    info.bitmap.sizeImage = uint32_t((uint32_t(width) * 3 + 3) / 4 * 4 * uint32_t(height < 0 ? -height : height));
    MediaType t;
    t.majorType = kMediaTypeVideo;
    t.subtype = kSubtypeRgb24;
    t.fixedSizeSamples = true;
    t.sampleSize = info.bitmap.sizeImage;
    t.formatType = kFormatVideoInfo;
    t.format.resize(sizeof info);
    std::memcpy(t.format.data(), &info, sizeof info);
    return t;
}

}  // namespace morpotta::platform::media
