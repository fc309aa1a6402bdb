// Text on the software screen: each glyph is a piece of the font's white
// glyph image with the coverage as alpha, blitted with the draw tint set to
// its colour, so coverage weights the pixel through the same blend rules as
// any picture with alpha.
#include <initializer_list>

#include "engine/draw2d.h"
#include "engine/log.h"
#include "foundation/public_call.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {

// Colour times tint per channel, as the device path's vertex colour.
uint32_t Modulate(uint32_t colour, uint32_t tint) {
    uint32_t out = 0;
    for (int shift : {16, 8, 0})
        out |= (((colour >> shift) & 0xFF) * ((tint >> shift) & 0xFF) / 255) << shift;
    return out;
}

bool PieceInside(const MEMIMG* glyphs, const SoftwareTextPiece& p) {
    return p.width > 0 && p.height > 0 && p.sourceX >= 0 && p.sourceY >= 0 && p.sourceX <= glyphs->width - p.width &&
           p.sourceY <= glyphs->height - p.height;
}

// The draw state a text draw takes for the current one; restored afterwards.
struct TextBlendState {
    int mode = BlendMode, param = BlendParam;
    uint32_t tint = DrawTint;
    bool invert = false;
    TextBlendState() {
        if (BlendMode == BlendInvert) {
            // Inverting the white image would only blacken it: the colour is what gets inverted.
            invert = true;
            BlendMode = BlendAlpha;
        } else if (BlendMode == BlendMul) {
            // A plain multiply ignores alpha and would darken the glyph's whole box.
            BlendMode = BlendMulAlpha;
            BlendParam = 255;
        }
    }
    ~TextBlendState() {
        BlendMode = mode;
        BlendParam = param;
        DrawTint = tint;
    }
};

}  // namespace

int DrawTextPiecesSoftware(const MEMIMG* glyphs, const SoftwareTextPiece* pieces, int count) {
    if (CheckMemImg(DrawTargetMemImg) != 0) return Refuse("no software draw target");
    if (CheckMemImg(glyphs) != 0 || count < 0 || (count > 0 && !pieces))
        return Refuse("a bad glyph image for the software path");
    const TextBlendState state;
    for (int i = 0; i < count; ++i) {
        const SoftwareTextPiece& p = pieces[i];
        if (!PieceInside(glyphs, p)) {
            WriteLogFormat("Glyph piece %d lies outside the glyph image", i);
            continue;
        }
        MEMIMG view{};
        if (CreateMemImgView(&view, glyphs, p.sourceX, p.sourceY, p.width, p.height) != 0) continue;
        DrawTint = Modulate(state.invert ? ~p.colour & 0xFFFFFF : p.colour, state.tint);
        BlitMemImg(DrawTargetMemImg, &view, p.x, p.y, 1, nullptr);
        ReleaseMemImg(&view);
    }
    return 0;
}

}  // namespace morpotta
