// Turning a texture's file bytes into the images a graph is made from:
// decoding, a white colour image for alpha-only textures, bump maps to
// normal maps, power-of-two sizes and the optional half turn.
#include <cmath>
#include <cstring>

#include "model/base/graphics_services.h"
#include "model/base/model_texture.h"

namespace morpotta {

namespace {

int NextPowerOfTwo(int v) {
    int p = 1;
    while (p < v && p < (1 << 30)) p <<= 1;
    return p;
}

void FreeImage(const ModelGraphicsServices* gfx, BASEIMAGE* image) {
    if (image->pixels) gfx->FreeBaseImagePixels(image);
    std::memset(image, 0, sizeof(*image));
}

int MakeWhiteImage(const ModelGraphicsServices* gfx, int width, int height, BASEIMAGE* out) {
    if (gfx->CreateBaseImageXrgb32(width, height, out) != 0) return -1;
    for (int y = 0; y < height; ++y)
        std::memset(static_cast<uint8_t*>(out->pixels) + size_t(y) * size_t(out->pitch), 0xFF, size_t(width) * 4);
    return 0;
}

int RedAt(const ModelGraphicsServices* gfx, const BASEIMAGE* image, int x, int y) {
    int red = 0;
    gfx->GetBaseImagePixel(image, x, y, &red, nullptr, nullptr, nullptr);
    return red;
}

int MakeNormalMap(const ModelGraphicsServices* gfx, BASEIMAGE* colour, float height) {
    if (height < 0.000001f) height = 0.000001f;
    BASEIMAGE normal{};
    if (gfx->CreateBaseImageXrgb32(colour->width, colour->height, &normal) != 0) return -1;
    for (int y = 0; y < colour->height; ++y)
        for (int x = 0; x < colour->width; ++x) {
            int c = RedAt(gfx, colour, x, y);
            int r = RedAt(gfx, colour, x + 1 < colour->width ? x + 1 : 0, y);
            int d = RedAt(gfx, colour, x, y + 1 < colour->height ? y + 1 : 0);
            float dx = float(r - c) / 255.0f, dy = float(d - c) / 255.0f;
            float nx = -dx * height, ny = -dy * height, nz = height * height;
            float length = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= length, ny /= length, nz /= length;
            uint32_t pixel = uint32_t(int((nx + 1) * 127.5f)) << 16 | uint32_t(int((ny + 1) * 127.5f)) << 8 |
                             uint32_t(int((nz + 1) * 127.5f));
            std::memcpy(static_cast<uint8_t*>(normal.pixels) + size_t(y) * size_t(normal.pitch) + size_t(x) * 4,
                        &pixel, 4);
        }
    FreeImage(gfx, colour);
    *colour = normal;
    return 0;
}

int ScaleInto(const ModelGraphicsServices* gfx, BASEIMAGE* image, int width, int height) {
    BASEIMAGE scaled{};
    if (gfx->CreateBaseImageWithFormat(width, height, &image->format, &scaled) != 0) return -1;
    const int source[4] = {0, 0, image->width, image->height};
    const int dest[4] = {0, 0, width, height};
    if (gfx->BlitBaseImageScaled(source, image, dest, &scaled, 1) != 0) {
        FreeImage(gfx, &scaled);
        return -1;
    }
    FreeImage(gfx, image);
    *image = scaled;
    return 0;
}

int FitForDevice(const ModelGraphicsServices* gfx, BASEIMAGE* image, int reverse) {
    int width = NextPowerOfTwo(image->width), height = NextPowerOfTwo(image->height);
    if (width != image->width || height != image->height) {
        int maxWidth = 0, maxHeight = 0;
        if (gfx->GetDeviceMaxTextureSize) gfx->GetDeviceMaxTextureSize(&maxWidth, &maxHeight);
        if (maxWidth > 1 && width > maxWidth / 2) width = maxWidth / 2;
        if (maxHeight > 1 && height > maxHeight / 2) height = maxHeight / 2;
        if (ScaleInto(gfx, image, width, height) != 0) return -1;
    }
    if (reverse && gfx->RotateBaseImage180(image) != 0) return -1;
    return 0;
}

bool ServicesPresent(const ModelGraphicsServices* gfx) {
    return gfx->ReadImageFromMemory && gfx->CreateBaseImageWithFormat && gfx->CreateBaseImageXrgb32 &&
           gfx->FreeBaseImagePixels && gfx->GetBaseImagePixel && gfx->BlitBaseImageScaled && gfx->RotateBaseImage180;
}

}  // namespace

int BuildModelTextureImages(BASEIMAGE* colour, BASEIMAGE* alpha, const void* colourData, size_t colourSize,
                            const void* alphaData, size_t alphaSize, uint32_t bumpFlag, float bumpHeight,
                            int reverse, int bmp32Alpha) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    std::memset(colour, 0, sizeof(*colour));
    std::memset(alpha, 0, sizeof(*alpha));
    if (!ServicesPresent(gfx) || (!colourData && !alphaData)) return -1;
    bool ok = true;
    if (colourData) ok = gfx->ReadImageFromMemory(colourData, colourSize, bmp32Alpha, colour) == 0;
    if (ok && alphaData) ok = gfx->ReadImageFromMemory(alphaData, alphaSize, bmp32Alpha, alpha) == 0;
    if (ok && !colourData) ok = MakeWhiteImage(gfx, alpha->width, alpha->height, colour) == 0;
    if (ok && bumpFlag) ok = MakeNormalMap(gfx, colour, bumpHeight) == 0;
    if (ok && colourData) ok = FitForDevice(gfx, colour, reverse) == 0;
    if (ok && alphaData) ok = FitForDevice(gfx, alpha, reverse) == 0;
    // A companion of another size would misalign every alpha value: bring
    // it to the colour image's size.
    if (ok && alphaData && (alpha->width != colour->width || alpha->height != colour->height))
        ok = ScaleInto(gfx, alpha, colour->width, colour->height) == 0;
    if (!ok) {
        FreeImage(gfx, colour);
        FreeImage(gfx, alpha);
        return -1;
    }
    return 0;
}

}  // namespace morpotta
