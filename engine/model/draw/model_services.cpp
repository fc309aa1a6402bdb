// Hands the model system the graphics functions its textures use, through
// the table it reads them from.
#include "engine/graph.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"
#include "model/base/graphics_services.h"
#include "model/draw/model_services.h"

namespace morpotta {

namespace {

int BlitRects(const int sourceRect[4], const BASEIMAGE* source, const int destRect[4], BASEIMAGE* dest, int filter) {
    if (!sourceRect || !destRect) return -1;
    ImageRect s = {sourceRect[0], sourceRect[1], sourceRect[2], sourceRect[3]};
    ImageRect d = {destRect[0], destRect[1], destRect[2], destRect[3]};
    return BlitBaseImageScaled(&s, source, &d, dest, filter);
}

int MakeFromMemory(const void* data, size_t size, int, int, int transparency, int) {
    return MakeGraphFromImageMemory(data, size, nullptr, 0, transparency, 0);
}

int MaxTextureSize(int* width, int* height) {
    if (width) *width = kMaxDeviceTextureSide;
    if (height) *height = kMaxDeviceTextureSide;
    return 0;
}

const ModelGraphicsServices kServices = {
    ReadImageFromMemoryWithBmp32Alpha, CreateBaseImageWithFormat, CreateBaseImageXrgb32, FreeBaseImagePixels,
    GetBaseImageAlphaKind, GetBaseImagePixel, BlitRects, RotateBaseImage180, MakeGraphFromBaseImage,
    MakeTextureGraphFromBaseImage, RefillGraphFromBaseImage, MakeFromMemory, RefillGraphFromImageMemory,
    DeleteGraphHandle, GetGraphDimensions, MaxTextureSize,
    nullptr,  // the toon ramp refill belongs to the model system
};

}  // namespace

void InstallModelGraphicsServices() { SetModelGraphicsServices(&kServices); }

}  // namespace morpotta
