#include "font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace {

FT_Library library = nullptr;
FT_Face face = nullptr;

std::u32string DecodeUtf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t code = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + size_t(k) < s.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(s[i + size_t(k)]) & 0x3F);
        }
        out.push_back(code);
        i += size_t(extra) + 1;
    }
    return out;
}

// Renders the text's coverage into a mask with the origin at (pad, ascent + pad).
struct Mask {
    int width = 0, height = 0, baseline = 0, pad = 0;
    std::vector<float> alpha;
};

Mask RenderMask(const std::string& utf8, int pixelSize, int pad) {
    Mask mask;
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize));
    int ascent = int(face->size->metrics.ascender >> 6);
    int descent = int(-face->size->metrics.descender >> 6);
    int width = MeasureText(utf8, TextStyle{pixelSize});
    mask.pad = pad;
    mask.width = width + 2 * pad;
    mask.height = ascent + descent + 2 * pad;
    mask.baseline = ascent + pad;
    mask.alpha.assign(size_t(mask.width) * size_t(mask.height), 0.0f);
    int penX = pad;
    for (char32_t code : DecodeUtf8(utf8)) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        for (unsigned row = 0; row < g->bitmap.rows; ++row) {
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                int x = penX + g->bitmap_left + int(col);
                int y = mask.baseline - g->bitmap_top + int(row);
                if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) continue;
                float v = g->bitmap.buffer[row * unsigned(g->bitmap.pitch) + col] / 255.0f;
                float& a = mask.alpha[size_t(y) * size_t(mask.width) + size_t(x)];
                a = std::max(a, v);
            }
        }
        penX += int(g->advance.x >> 6);
    }
    return mask;
}

void BlendMask(Image& img, const Mask& m, float ox, float oy, Rgba color, Rgba bottom = MakeRgba(0, 0, 0, 0)) {
    int x0 = int(std::lround(ox)), y0 = int(std::lround(oy));
    for (int y = 0; y < m.height; ++y) {
        Rgba rowColor = bottom.a ? MixRgba(color, bottom, float(y) / float(std::max(1, m.height - 1))) : color;
        for (int x = 0; x < m.width; ++x) {
            float a = m.alpha[size_t(y) * size_t(m.width) + size_t(x)];
            if (a > 0) img.Blend(x0 + x, y0 + y, rowColor, a);
        }
    }
}

Mask Dilate(const Mask& m, float radius) {
    Mask out = m;
    int r = int(std::ceil(radius));
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            float best = 0;
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    float d = std::sqrt(float(dx * dx + dy * dy));
                    if (d > radius + 0.5f) continue;
                    int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= m.width || sy >= m.height) continue;
                    float v = m.alpha[size_t(sy) * size_t(m.width) + size_t(sx)] * std::min(1.0f, radius + 0.5f - d + 0.5f);
                    best = std::max(best, v);
                }
            }
            out.alpha[size_t(y) * size_t(m.width) + size_t(x)] = best;
        }
    }
    return out;
}

}  // namespace

bool OpenCaptionFont(const std::string& path) {
    if (!library && FT_Init_FreeType(&library) != 0) return false;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "content_generator: cannot load the font %s\n", path.c_str());
        face = nullptr;
        return false;
    }
    return true;
}

void CloseCaptionFont() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
    face = nullptr;
    library = nullptr;
}

int MeasureText(const std::string& utf8, const TextStyle& style) {
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(style.pixelSize));
    int width = 0;
    for (char32_t code : DecodeUtf8(utf8)) {
        if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0) continue;
        width += int(face->glyph->advance.x >> 6);
    }
    return width;
}

int DrawText(Image& img, float x, float baseline, const std::string& utf8, const TextStyle& style) {
    int pad = int(std::ceil(style.outline + style.shadow)) + 1;
    Mask mask = RenderMask(utf8, style.pixelSize, pad);
    float ox = x - float(pad), oy = baseline - float(mask.baseline);
    if (style.shadow > 0) {
        BlendMask(img, style.outline > 0 ? Dilate(mask, style.outline) : mask, ox + style.shadow, oy + style.shadow,
                  MakeRgba(0, 0, 0, 110));
    }
    if (style.outline > 0) BlendMask(img, Dilate(mask, style.outline), ox, oy, style.outlineColor);
    BlendMask(img, mask, ox, oy, style.color, style.colorBottom);
    return mask.width - 2 * pad;
}

void DrawTextCentred(Image& img, float cx, float cy, const std::string& utf8, const TextStyle& style) {
    int width = MeasureText(utf8, style);
    // Japanese and Latin capitals sit about 0.36 of the size above the middle.
    DrawText(img, cx - float(width) / 2, cy + float(style.pixelSize) * 0.36f, utf8, style);
}

int FitTextSize(const std::string& utf8, TextStyle style, int maxWidth) {
    while (style.pixelSize > 6 && MeasureText(utf8, style) > maxWidth) --style.pixelSize;
    return style.pixelSize;
}

EngineTextWidths::EngineTextWidths(const std::string& fontPath, int pixelSize) : pixelSize_(pixelSize) {
    FT_Library lib = nullptr;
    FT_Face f = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return;
    library_ = lib;
    if (FT_New_Face(lib, fontPath.c_str(), 0, &f) != 0) return;
    if (FT_Set_Pixel_Sizes(f, 0, FT_UInt(pixelSize)) != 0) {
        FT_Done_Face(f);
        return;
    }
    face_ = f;
}

EngineTextWidths::~EngineTextWidths() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

int EngineTextWidths::Measure(const std::string& utf8) const {
    auto f = static_cast<FT_Face>(face_);
    int width = 0;
    for (char32_t code : f ? DecodeUtf8(utf8) : std::u32string()) {
        if (code < 0x20) continue;
        // A glyph the face lacks takes half the size, as in the engine.
        width += FT_Load_Char(f, code, FT_LOAD_DEFAULT) == 0 ? int((f->glyph->advance.x + 32) >> 6) : pixelSize_ / 2;
    }
    return width;
}
