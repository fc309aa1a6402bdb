// The software renderer's blit kernels: plain, scaled, rotated and
// polygon draws of one software image onto another through the draw state
// of graphics/softimage/drawstate.h. The graphics layer's software path is
// their only caller.
#pragma once
#include <cstdint>

#include "graphics/softimage/memimg.h"

namespace morpotta {

// Draws source with its top-left corner at (x, y) on target through the
// current blend mode, parameter, tint and draw area (drawstate.h), keying
// out the source's transparent colour when transparent is non-zero and
// weighting pixels by blendImage (one byte per pixel, read at the source
// position) when given. Draws nothing for mismatched kinds, a palette or
// alpha target, blend modes that have no software form, or a blend image
// smaller than the area it would be read at.
void BlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage);
// Draws the whole source scaled (nearest) into rect = x1, y1, x2, y2; x1 > x2
// mirrors left to right, y1 > y2 top to bottom. The unmirrored draw at the
// source's own size is BlitMemImg at (x1, y1).
void StretchBlitMemImg(MEMIMG* target, const MEMIMG* source, const int rect[4], int transparent,
                       const MEMIMG* blendImage);

// Fills one triangle of vertices {x, y, u, v} x 3 on target. With a source,
// its texels are mapped affinely through (u, v) (texel (0, 0) = its first
// pixel), keyed by the transparent colour when transparent is non-zero and
// weighted by blendGraph (one byte per texel, read at the texel position);
// without one the triangle is filled with colour, a pixel value in the
// target's format, and u, v and blendGraph are not used. Rows from the top
// vertex's down to the one above the bottom vertex's are drawn, every span
// with both ends, clipped to the draw area. Draws nothing for mismatched
// kinds, a palette or alpha target, collinear vertices, blend modes with no
// software form, coordinates outside -8192..8191, a source larger than 8192
// texels a side or a blend graph smaller than the source.
void FillTexturedTriangleMemImg(MEMIMG* target, const MEMIMG* source, const int vertices[12], int transparent,
                                const MEMIMG* blendGraph, uint32_t colour);
// The quadrilateral of vertices {x, y, u, v} x 4 as the triangles (0, 1, 2)
// and (1, 2, 3), each drawn as FillTexturedTriangleMemImg draws it, except
// that where the two lie on either side of their shared diagonal a pixel
// both would draw (one the diagonal passes) is drawn once, so that blending
// shows no seam: in the rows both draw from the diagonal's upper end to its
// lower end's, by the triangle on the pixel's side of the diagonal's own x
// on that row (stepped from its upper end as the triangles step their
// edges); a level diagonal's row by the lower triangle alone. Above row 0
// the two walk their rows from vertices whose rows truncate apart, so a
// quadrilateral reaching there shares out each row's pixels both draw by
// their spans (clipped): a span that holds the other's keeps them, else the
// one lying right keeps the overlap, and the second keeps a span both draw
// alike. The triangles of a bow-tie overlap and both draw the overlap.
// With a source the rows reach the bottom vertices' rows too, as the
// columns reach the right vertices' columns: the texel bounds leave out the
// row or column on the texels' far edges (u = width, v = height), so that a
// picture mapped whole shows every row whichever way up it lies.
void FillTexturedQuadMemImg(MEMIMG* target, const MEMIMG* source, const int vertices[16], int transparent,
                            const MEMIMG* blendGraph, uint32_t colour);
// Maps the whole source onto corners {x, y} x 4 (receiving its top-left,
// top-right, bottom-left and bottom-right) through FillTexturedQuadMemImg.
// Nothing when the corners' box, widened by 2 pixels up and left and 4 down
// and right, misses the draw area.
void QuadBlitMemImg(MEMIMG* target, const MEMIMG* source, const int corners[8], int transparent,
                    const MEMIMG* blendGraph);
// Draws source scaled by scale and turned by angle (radians, clockwise on
// the screen) about its centre texel (width / 2, height / 2), which lands
// on target pixel (x, y); nearest texel, through the same draw state as
// BlitMemImg. turn non-zero mirrors the image left to right. Draws nothing
// for a scale that is not a positive number, an angle that is not finite,
// a centre outside -8192..8191, a source side above 8192, a blend image
// smaller than the source, or set-up values beyond the fixed-point range.
void RotateBlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, float angle, float scale, int transparent,
                      int turn, const MEMIMG* blendImage);

}  // namespace morpotta
