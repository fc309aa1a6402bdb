// String drawing: the glyphs of a string are made ready in the font's atlas,
// then drawn through the 2-D batch, every edge first and the glyphs over
// them, so an edge never covers a neighbouring glyph.
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/font/font_internal.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/softblit.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

using namespace morpotta;

namespace {

struct PlacedGlyph {
    CachedGlyph glyph;
    int penX, baseline;
    bool edge;
};

// Whether a glyph whose top-left corner is at (x, y) may show: beyond the
// far box it cannot, and within it every later sum stays inside an int.
bool GlyphWithinFarBox(int64_t x, int64_t y) {
    return x == ClampToFarDrawCoordinate(x) && y == ClampToFarDrawCoordinate(y);
}

// The pen walk over the text: one entry per drawn glyph (edge forms first).
// The pen moves in 64 bits, as a string may start anywhere an int reaches.
bool PlaceGlyphs(FontRecord* font, const std::vector<uint32_t>& codes, int x, int y, int vertical,
                 std::vector<PlacedGlyph>* out) {
    const bool edged = (font->fontType & kFontTypeEdge) != 0;
    const int inset = edged ? font->edgeSize : 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int generation = font->generation;
        out->clear();
        for (bool edge : {true, false}) {
            if (edge && !edged) continue;
            int64_t penX = int64_t{x} + inset, baseline = int64_t{y} + inset + font->ascender;
            for (uint32_t code : codes) {
                if (code == '\n') {
                    penX = int64_t{x} + inset;
                    baseline += font->lineHeight;
                    continue;
                }
                const CachedGlyph* g = FindOrCacheGlyph(font, code, edge);
                if (g && GlyphWithinFarBox(penX + g->left, baseline - g->top))
                    out->push_back({*g, int(penX), int(baseline), edge});
                const int step = g ? g->advance : font->size / 2;
                if (vertical) baseline += font->size;
                else penX += step;
            }
        }
        if (generation == font->generation) return true;  // every glyph still in the atlas
    }
    return Refuse("the string does not fit in the glyph cache"), false;
}

uint32_t TintedColor(uint32_t color, uint32_t weight) {
    uint32_t out = weight & 0xFF000000u;
    for (int shift : {16, 8, 0}) out |= (((color >> shift) & 0xFF) * ((DrawTint >> shift) & 0xFF) / 255) << shift;
    return out;
}

// Without a device the glyphs go to the software path as pieces of the
// atlas's software image.
int DrawPlacedSoftware(FontRecord* font, const std::vector<PlacedGlyph>& placed, uint32_t color,
                       uint32_t edgeColor) {
    const SoftwareDraw2DPath* s = GetSoftwareDraw2DPath();
    if (!s || !s->drawTextPieces) return ReportNoSoftwareDraw();
    const MEMIMG* glyphs = PrepareFontMemImg(font);
    if (!glyphs) return -1;
    std::vector<SoftwareTextPiece> pieces;
    pieces.reserve(placed.size());
    for (const PlacedGlyph& p : placed) {
        const CachedGlyph& g = p.glyph;
        if (g.width <= 0 || g.height <= 0) continue;  // spaces
        pieces.push_back({g.x, g.y, g.width, g.height, p.penX + g.left, p.baseline - g.top,
                          (p.edge ? edgeColor : color) & 0xFFFFFFu});
    }
    return s->drawTextPieces(glyphs, pieces.data(), int(pieces.size()));
}

int DrawCodes(FontRecord* font, int x, int y, const std::vector<uint32_t>& codes, uint32_t color,
              uint32_t edgeColor, int vertical) {
    std::vector<PlacedGlyph> placed;
    if (!PlaceGlyphs(font, codes, x, y, vertical, &placed)) return -1;
    if (!HardwareRenderingActive()) return DrawPlacedSoftware(font, placed, color, edgeColor);
    DeviceTexture* atlas = PrepareFontAtlas(font);
    if (!atlas) return -1;
    Draw2DState state = {atlas, DRAW2D_BLEND_NONE, 0, 0};
    uint32_t weight = 0;
    if (!Resolve2DBlend(1, true, &state, &weight)) return 0;
    // Glyph texels are white: the colour carries the picture, so the inverse
    // mode inverts the colour, and a multiply fades out with the coverage
    // instead of darkening each glyph's whole box.
    state.invertTexture = 0;
    if (BlendMode == BlendInvert) color = ~color, edgeColor = ~edgeColor;
    if (state.blend == DRAW2D_BLEND_MULTIPLY) state.blend = DRAW2D_BLEND_MULALPHA;
    const uint32_t fill = TintedColor(color, weight), edge = TintedColor(edgeColor, weight);
    Begin2DBatch(state);
    const float side = float(kFontAtlasSide);
    for (const PlacedGlyph& p : placed) {
        const CachedGlyph& g = p.glyph;
        const float x0 = float(p.penX + g.left) - 0.5f, y0 = float(p.baseline - g.top) - 0.5f;
        const float x1 = x0 + float(g.width), y1 = y0 + float(g.height);
        const float xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
        const float u0 = float(g.x) / side, u1 = float(g.x + g.width) / side;
        const float v0 = float(g.y) / side, v1 = float(g.y + g.height) / side;
        const float us[4] = {u0, u1, u0, u1}, vs[4] = {v0, v0, v1, v1};
        Append2DQuad(xs, ys, us, vs, p.edge ? edge : fill);
    }
    return 0;
}

int DrawTextChecked(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor, int vertical) {
    FontRecord* record = GetFontForCall(font);
    if (!record) return -1;
    if (!text) return RefuseNull("text");
    std::vector<uint32_t> codes;
    if (!DecodeFontText(text, -1, &codes)) return -1;
    return DrawCodes(record, x, y, codes, color, edgeColor, vertical);
}

int WidthOf(FontRecord* font, const char* text, int length) {
    std::vector<uint32_t> codes;
    if (!DecodeFontText(text, length, &codes)) return -1;
    int width = 0;
    for (uint32_t code : codes) {
        if (code < 0x20) continue;
        const CachedGlyph* g = FindOrCacheGlyph(font, code, false);
        width += g ? g->advance : font->size / 2;
    }
    return width;
}

}  // namespace

int DrawTextWithFont(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor, int vertical) {
    const PublicCall call("DrawTextWithFont");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DrawTextChecked(x, y, text, color, font, edgeColor, vertical);
}

int DrawTextAt(int x, int y, const char* text, uint32_t color, uint32_t edgeColor) {
    const PublicCall call("DrawTextAt");
    if (!AllowOnlyOnEngineThread()) return -1;
    const int font = GetDefaultFontForCall();
    if (font == -1) return -1;
    return DrawTextChecked(x, y, text, color, font, edgeColor, 0);
}

int DrawFormattedText(int x, int y, uint32_t color, const char* format, ...) {
    const PublicCall call("DrawFormattedText");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!format) return RefuseNull("format");
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const int font = GetDefaultFontForCall();
    if (font == -1) return -1;
    FontRecord* record = LookupFont(font);
    // No edge: the default font's edge bit is left out for formatted text.
    const int type = record->fontType;
    record->fontType &= ~kFontTypeEdge;
    const int result = DrawTextChecked(x, y, text, color, font, 0, 0);
    record->fontType = type;
    return result;
}

int DrawFormattedTextWithFont(int x, int y, uint32_t color, int font, const char* format, ...) {
    const PublicCall call("DrawFormattedTextWithFont");
    if (!AllowOnlyOnEngineThread()) return -1;
    FontRecord* record = GetFontForCall(font);
    if (!record) return -1;
    if (!format) return RefuseNull("format");
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const int type = record->fontType;
    record->fontType &= ~kFontTypeEdge;
    const int result = DrawTextChecked(x, y, text, color, font, 0, 0);
    record->fontType = type;
    return result;
}

int GetStringWidth(const char* text, int length, int) {
    const PublicCall call("GetStringWidth");
    if (!AllowOnlyOnEngineThread()) return -1;
    const int font = GetDefaultFontForCall();
    if (font == -1) return -1;
    if (!text) return RefuseNull("text");
    return WidthOf(LookupFont(font), text, length);
}

int GetStringWidthWithFont(const char* text, int length, int font) {
    const PublicCall call("GetStringWidthWithFont");
    if (!AllowOnlyOnEngineThread()) return -1;
    FontRecord* record = GetFontForCall(font);
    if (!record) return -1;
    if (!text) return RefuseNull("text");
    return WidthOf(record, text, length);
}
