// RGBA pictures and the few drawing operations the procedural art needs:
// anti-aliased shapes (4x4 supersampling), gradients, blending, scaling.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};
constexpr Rgba MakeRgba(int r, int g, int b, int a = 255) {
    return Rgba{uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
}
Rgba MixRgba(Rgba a, Rgba b, float t);  // t 0 → a, 1 → b
Rgba ScaleRgb(Rgba c, float factor);    // brighten or darken, alpha kept

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // RGBA rows, top first

    Image() = default;
    Image(int w, int h, Rgba fill = MakeRgba(0, 0, 0, 0));
    Rgba At(int x, int y) const;
    void Set(int x, int y, Rgba c);
    // Source-over blend of c with extra coverage 0..1.
    void Blend(int x, int y, Rgba c, float coverage = 1.0f);
};

// Fills every pixel of the box with color(x, y) (normalised 0..1 coordinates
// within the box), blended over what is there.
void FillGradient(Image& img, int x0, int y0, int x1, int y1, const std::function<Rgba(float, float)>& color);
// Blends color over every pixel whose samples fall inside the shape; the
// predicate takes pixel-space coordinates. bbox limits the work.
void FillShape(Image& img, float bx0, float by0, float bx1, float by1, const std::function<bool(float, float)>& inside,
               Rgba color);
void FillRect(Image& img, float x0, float y0, float x1, float y1, Rgba color);
void FillRoundRect(Image& img, float x0, float y0, float x1, float y1, float radius, Rgba color);
void FillEllipse(Image& img, float cx, float cy, float rx, float ry, Rgba color);
void FillRing(Image& img, float cx, float cy, float outer, float inner, Rgba color);
// Convex or concave polygon, even-odd rule.
void FillPolygon(Image& img, const std::vector<float>& xy, Rgba color);
void DrawLine(Image& img, float x0, float y0, float x1, float y1, float width, Rgba color);
void FillStar(Image& img, float cx, float cy, float outer, float inner, int points, float turn, Rgba color);

// Copies src over dst at (x, y) with alpha blending.
void Composite(Image& dst, const Image& src, int x, int y);
// Box-filtered resize (for thumbnails and the contact sheet).
Image Resize(const Image& src, int width, int height);
