// The software forms of the drawing functions: graphs through the blit
// kernels, boxes and lines as a one-pixel image of their colour stretched
// over each run of pixels (without the blend graph, which belongs to
// pictures), so that every draw takes the same blend rules.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "engine/numbers.h"
#include "foundation/public_call.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {

// A view of a graph released at the end of the scope.
struct GraphView {
    MEMIMG view{};
    bool ok;
    explicit GraphView(int graph) : ok(GetGraphMemImgView(graph, &view) == 0) {}
    ~GraphView() {
        if (ok) ReleaseMemImg(&view);
    }
};

bool HaveTarget() {
    if (CheckMemImg(DrawTargetMemImg) == 0) return true;
    Refuse("no software draw target");
    return false;
}

// One pixel of a colour in the draw target's pixel kind.
struct ColourPixel {
    MEMIMG image{};
    bool ok;
    explicit ColourPixel(uint32_t colour) {
        const int kind = DrawTargetMemImg->base->pixelKind;
        ok = CreateMemImg(&image, 1, 1, kind, 0, 0, 0) == 0;
        if (!ok) return;
        if (kind == MEMIMG_KIND_32BIT) {
            const uint32_t word = colour & 0xFFFFFF;
            std::memcpy(image.pixels, &word, 4);
        } else {
            const uint16_t word = static_cast<uint16_t>(((colour >> 8) & 0xF800) | ((colour >> 5) & 0x07E0) |
                                                        ((colour >> 3) & 0x001F));
            std::memcpy(image.pixels, &word, 2);
        }
    }
    ~ColourPixel() {
        if (ok) ReleaseMemImg(&image);
    }
};

// A line's walk is never longer than the draw area's reach (DrawLineSegment
// cuts it), which this bounds with room to spare.
constexpr int64_t kLongestLineWalk = 4 * int64_t{kFarDrawCoordinate};

// The pixels of one row a line's walk visits.
struct RowSpan {
    int64_t y, minX, maxX;
};

// The run is taken in 64 bits, so that a line's end plus its thickness
// never overflows, and clamped to the far box: a run reaching past it
// shows the same.
void FillRun(const MEMIMG* pixel, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    const int rect[4] = {ClampToFarDrawCoordinate(left), ClampToFarDrawCoordinate(top),
                         ClampToFarDrawCoordinate(right), ClampToFarDrawCoordinate(bottom)};
    if (rect[2] <= rect[0] || rect[3] <= rect[1]) return;
    StretchBlitMemImg(DrawTargetMemImg, pixel, rect, 0, nullptr);
}

}  // namespace

int DrawGraphAtSoftware(int x, int y, int graph, int transparent) {
    if (!HaveTarget()) return -1;
    GraphView g(graph);
    if (!g.ok) return -1;
    BlitToDrawMemImg(&g.view, x, y, transparent);
    return 0;
}

int DrawGraphRotatedAtSoftware(double x, double y, double scale, double angle, int graph, int transparent, int turn) {
    if (!HaveTarget()) return -1;
    GraphView g(graph);
    if (!g.ok) return -1;
    RotateBlitMemImg(DrawTargetMemImg, &g.view, TruncateDoubleToInt(x), TruncateDoubleToInt(y),
                     static_cast<float>(angle), static_cast<float>(scale), transparent, turn, BlendGraphMemImg);
    return 0;
}

int DrawGraphStretchedSoftware(int x1, int y1, int x2, int y2, int graph, int transparent) {
    if (!HaveTarget()) return -1;
    GraphView g(graph);
    if (!g.ok) return -1;
    const int rect[4] = {x1, y1, x2, y2};
    StretchBlitToDrawMemImg(&g.view, rect, transparent);
    return 0;
}

int DrawGraphQuadSoftware(const int corners[8], int graph, int transparent) {
    if (!HaveTarget() || !corners) return -1;
    GraphView g(graph);
    if (!g.ok) return -1;
    QuadBlitMemImg(DrawTargetMemImg, &g.view, corners, transparent, BlendGraphMemImg);
    return 0;
}

int DrawGraphWithBlendGraphSoftware(int x, int y, int graph, int transparent, int blendGraph, int threshold,
                                    int edgeWidth) {
    if (!HaveTarget()) return -1;
    GraphView g(graph), b(blendGraph);
    if (!g.ok || !b.ok) return -1;
    // The blend values: the blue channel of the blend graph, one byte a pixel.
    MEMIMG levels{};
    if (CreateMemImg(&levels, b.view.width, b.view.height, MEMIMG_KIND_8BIT, 0, 0, 0) != 0) return -1;
    for (int row = 0; row < levels.height; ++row)
        for (int col = 0; col < levels.width; ++col)
            levels.pixels[row * levels.base->pitch + col] = b.view.pixels[row * b.view.base->pitch + 4 * col];
    const MEMIMG* previousImage = BlendGraphMemImg;
    uint8_t previousLevels[256];
    std::memcpy(previousLevels, BlendLevelTable, sizeof previousLevels);
    SetDrawBlendMemImg(&levels, threshold, edgeWidth);
    BlitToDrawMemImg(&g.view, x, y, transparent);
    BlendGraphMemImg = previousImage;
    std::memcpy(BlendLevelTable, previousLevels, sizeof previousLevels);
    ReleaseMemImg(&levels);
    return 0;
}

int DrawRectangleSoftware(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
    if (!HaveTarget()) return -1;
    ColourPixel pixel(colour);
    if (!pixel.ok) return -1;
    const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    if (fill) {
        FillRun(&pixel.image, left, top, right, bottom);
        return 0;
    }
    // Outline: each pixel once, so blending modes do not darken the corners.
    FillRun(&pixel.image, left, top, right, std::min(top + 1, bottom));
    if (bottom - top > 1) FillRun(&pixel.image, left, bottom - 1, right, bottom);
    FillRun(&pixel.image, left, top + 1, std::min(left + 1, right), bottom - 1);
    if (right - left > 1) FillRun(&pixel.image, right - 1, top + 1, right, bottom - 1);
    return 0;
}

int FillQuadrilateralSoftware(const int corners[8], uint32_t colour) {
    if (!HaveTarget() || !corners) return -1;
    ColourPixel pixel(colour);
    if (!pixel.ok) return -1;
    uint32_t value = 0;
    std::memcpy(&value, pixel.image.pixels, pixel.image.base->formatDesc->bytesPerPixel);
    int vertices[16] = {};
    for (int i = 0; i < 4; ++i) {
        vertices[4 * i] = corners[2 * i];
        vertices[4 * i + 1] = corners[2 * i + 1];
    }
    FillTexturedQuadMemImg(DrawTargetMemImg, nullptr, vertices, 0, nullptr, value);
    return 0;
}

int DrawLineSegmentSoftware(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
    if (!HaveTarget()) return -1;
    ColourPixel pixel(colour);
    if (!pixel.ok) return -1;
    const int64_t t = std::clamp(thickness, 1, kFarDrawCoordinate);
    const int64_t dx = std::abs(int64_t{x2} - x1), dy = -std::abs(int64_t{y2} - y1);
    // DrawLineSegment hands over only what can reach the draw area.
    if (dx > kLongestLineWalk || -dy > kLongestLineWalk) return Refuse("a line too long for the software path");
    if (dy == 0 || dx == 0) {
        // Straight lines in one run each, the end point excluded.
        const int64_t left = x1 <= x2 ? x1 : int64_t{x2} + 1, top = y1 <= y2 ? y1 : int64_t{y2} + 1;
        const int64_t length = std::max(dx, -dy);
        if (dy == 0) FillRun(&pixel.image, left, y1, left + length, y1 + t);
        else FillRun(&pixel.image, x1, top, x1 + t, top + length);
        return 0;
    }
    // The walk's points, the end point excluded, as the span of x each row
    // holds; rows in rising order.
    std::vector<RowSpan> rows;
    const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int64_t err = dx + dy;
    int64_t x = x1, y = y1;
    while (x != x2 || y != y2) {
        if (rows.empty() || rows.back().y != y) rows.push_back({y, x, x});
        rows.back().minX = std::min(rows.back().minX, x);
        rows.back().maxX = std::max(rows.back().maxX, x);
        const int64_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x += sx;
        if (e2 <= dx) err += dx, y += sy;
    }
    if (sy < 0) std::reverse(rows.begin(), rows.end());
    // Every point stands for a square of thickness pixels down and right of
    // it; row r shows the squares of the points of rows r - t + 1 to r, as
    // one run, so that blending counts each pixel once.
    const int64_t first = std::max<int64_t>(rows.front().y, DrawArea[1]);
    const int64_t last = std::min<int64_t>(rows.back().y + t, DrawArea[3]);
    auto below = [](const RowSpan& row, int64_t y) { return row.y < y; };
    for (int64_t r = first; r < last; ++r) {
        const auto from = std::lower_bound(rows.begin(), rows.end(), r - t + 1, below);
        const auto to = std::lower_bound(from, rows.end(), r + 1, below);
        if (from == to) continue;
        const RowSpan& a = *from;
        const RowSpan& b = *(to - 1);  // x runs one way along the walk
        FillRun(&pixel.image, std::min(a.minX, b.minX), r, std::max(a.maxX, b.maxX) + t, r + 1);
    }
    return 0;
}

void BlitToDrawMemImg(const MEMIMG* source, int x, int y, int transparent) {
    BlitMemImg(DrawTargetMemImg, source, x, y, transparent, BlendGraphMemImg);
}

void StretchBlitToDrawMemImg(const MEMIMG* source, const int rect[4], int transparent) {
    StretchBlitMemImg(DrawTargetMemImg, source, rect, transparent, BlendGraphMemImg);
}

}  // namespace morpotta
