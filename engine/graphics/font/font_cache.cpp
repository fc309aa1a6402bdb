// The glyph cache of a font: glyphs packed in shelves into one atlas held
// in memory and sent to its texture before a string is drawn. A full atlas
// starts over empty.
#include "engine/log.h"
#include "graphics/device/devicestate.h"
#include "graphics/font/font_internal.h"

#include <algorithm>
#include <cstring>

namespace morpotta {

namespace {

// Space for the glyph, or false when the atlas has no room left.
bool Reserve(FontRecord* font, int width, int height, int* x, int* y) {
    if (width + 2 > kFontAtlasSide || height + 2 > kFontAtlasSide) return false;
    if (font->shelfX + width + 1 > kFontAtlasSide) {
        font->shelfY += font->shelfHeight + 1;
        font->shelfX = 1;
        font->shelfHeight = 0;
    }
    if (font->shelfY + height + 1 > kFontAtlasSide) return false;
    *x = font->shelfX;
    *y = font->shelfY;
    font->shelfX += width + 1;
    font->shelfHeight = std::max(font->shelfHeight, height);
    return true;
}

}  // namespace

void ForgetFontGlyphs(FontRecord* font) {
    font->glyphs.clear();
    font->atlasPixels.assign(size_t(kFontAtlasSide) * kFontAtlasSide, 0x00FFFFFFu);
    font->shelfX = font->shelfY = 1;
    font->shelfHeight = 0;
    font->atlasDirty = true;
    font->atlasMemImgDirty = true;
    ++font->generation;
}

const CachedGlyph* FindOrCacheGlyph(FontRecord* font, uint32_t codePoint, bool edge) {
    const uint32_t key = codePoint * 2 + (edge ? 1 : 0);
    auto found = font->glyphs.find(key);
    if (found != font->glyphs.end()) return &found->second;
    GlyphImage image;
    if (!RenderGlyph(font, codePoint, edge, &image)) return nullptr;
    if (font->atlasPixels.empty()) ForgetFontGlyphs(font);
    int x = 0, y = 0;
    if (!Reserve(font, image.width, image.height, &x, &y)) {
        // The texture may still be waiting in the batch with the old glyphs.
        FlushPendingDraws();
        ForgetFontGlyphs(font);
        if (!Reserve(font, image.width, image.height, &x, &y)) {
            WriteLogFormat("Glyph %u is too large for the glyph cache", codePoint);
            return nullptr;
        }
    }
    for (int row = 0; row < image.height; ++row)
        for (int col = 0; col < image.width; ++col)
            font->atlasPixels[size_t(y + row) * kFontAtlasSide + size_t(x + col)] =
                0x00FFFFFFu | uint32_t(image.coverage[size_t(row) * size_t(image.width) + size_t(col)]) << 24;
    font->atlasDirty = true;
    font->atlasMemImgDirty = true;
    const CachedGlyph glyph = {x, y, image.width, image.height, image.left, image.top, image.advance};
    return &font->glyphs.emplace(key, glyph).first->second;
}

DeviceTexture* PrepareFontAtlas(FontRecord* font) {
    if (!HardwareRenderingActive()) return nullptr;
    if (!font->atlas) {
        font->atlas = CreateDeviceTexture(kFontAtlasSide, kFontAtlasSide, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
        if (!font->atlas) {
            WriteLogText("The glyph texture cannot be made");
            return nullptr;
        }
        font->atlasDirty = true;
    }
    if (font->atlasDirty && !font->atlasPixels.empty()) {
        FlushPendingDraws();
        void* bits = nullptr;
        int pitch = 0;
        if (LockDeviceTexture(font->atlas, 0, &bits, &pitch) != 0) return nullptr;
        for (int y = 0; y < kFontAtlasSide; ++y)
            std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * size_t(pitch),
                        font->atlasPixels.data() + size_t(y) * kFontAtlasSide, kFontAtlasSide * 4);
        UnlockDeviceTexture(font->atlas, 0);
        font->atlasDirty = false;
    }
    return font->atlas;
}

void ReleaseFontAtlas(FontRecord* font) {
    if (font->atlas) {
        FlushPendingDraws();
        ReleaseDeviceTexture(font->atlas);
    }
    font->atlas = nullptr;
    font->atlasDirty = true;
}

const MEMIMG* PrepareFontMemImg(FontRecord* font) {
    MEMIMG* image = &font->atlasMemImg;
    if (CheckMemImg(image) != 0) {
        if (CreateMemImg(image, kFontAtlasSide, kFontAtlasSide, MEMIMG_KIND_32BIT, 0, 1, 0) != 0) {
            *image = MEMIMG{};
            WriteLogText("The software glyph image cannot be made");
            return nullptr;
        }
        font->atlasMemImgDirty = true;
    }
    if (font->atlasMemImgDirty && !font->atlasPixels.empty()) {
        for (int y = 0; y < kFontAtlasSide; ++y)
            std::memcpy(image->pixels + size_t(y) * size_t(image->base->pitch),
                        font->atlasPixels.data() + size_t(y) * kFontAtlasSide, kFontAtlasSide * 4);
        font->atlasMemImgDirty = false;
    }
    return image;
}

void ReleaseFontMemImg(FontRecord* font) {
    if (CheckMemImg(&font->atlasMemImg) == 0) ReleaseMemImg(&font->atlasMemImg);
    font->atlasMemImg = MEMIMG{};
    font->atlasMemImgDirty = true;
}

}  // namespace morpotta
