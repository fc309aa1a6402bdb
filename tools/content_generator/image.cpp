#include "image.h"

#include <algorithm>
#include <cmath>

Rgba MixRgba(Rgba a, Rgba b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    auto mix = [t](uint8_t p, uint8_t q) { return uint8_t(std::lround(p + (q - p) * t)); };
    return Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
}

Rgba ScaleRgb(Rgba c, float f) {
    auto scale = [f](uint8_t v) { return uint8_t(std::clamp(std::lround(v * f), 0L, 255L)); };
    return Rgba{scale(c.r), scale(c.g), scale(c.b), c.a};
}

Image::Image(int w, int h, Rgba fill) : width(w), height(h), pixels(size_t(w) * size_t(h) * 4) {
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = fill.r;
        pixels[i + 1] = fill.g;
        pixels[i + 2] = fill.b;
        pixels[i + 3] = fill.a;
    }
}

Rgba Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return Rgba{0, 0, 0, 0};
    const uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

void Image::Set(int x, int y, Rgba c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}

void Image::Blend(int x, int y, Rgba c, float coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    float sa = c.a / 255.0f * std::clamp(coverage, 0.0f, 1.0f);
    if (sa <= 0.0f) return;
    uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
    float da = p[3] / 255.0f;
    float oa = sa + da * (1.0f - sa);
    auto channel = [&](uint8_t s, uint8_t d) {
        return uint8_t(std::lround((s * sa + d * da * (1.0f - sa)) / oa));
    };
    p[0] = channel(c.r, p[0]);
    p[1] = channel(c.g, p[1]);
    p[2] = channel(c.b, p[2]);
    p[3] = uint8_t(std::lround(oa * 255.0f));
}

void FillGradient(Image& img, int x0, int y0, int x1, int y1, const std::function<Rgba(float, float)>& color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img.width);
    y1 = std::min(y1, img.height);
    float w = float(std::max(1, x1 - x0 - 1));
    float h = float(std::max(1, y1 - y0 - 1));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) img.Blend(x, y, color((x - x0) / w, (y - y0) / h));
    }
}

void FillShape(Image& img, float bx0, float by0, float bx1, float by1, const std::function<bool(float, float)>& inside,
               Rgba color) {
    int x0 = std::max(0, int(std::floor(bx0)) - 1);
    int y0 = std::max(0, int(std::floor(by0)) - 1);
    int x1 = std::min(img.width, int(std::ceil(bx1)) + 1);
    int y1 = std::min(img.height, int(std::ceil(by1)) + 1);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    if (inside(x + (sx + 0.5f) / 4.0f, y + (sy + 0.5f) / 4.0f)) ++hits;
                }
            }
            if (hits) img.Blend(x, y, color, hits / 16.0f);
        }
    }
}

void FillRect(Image& img, float x0, float y0, float x1, float y1, Rgba color) {
    FillShape(img, x0, y0, x1, y1, [&](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; }, color);
}

void FillRoundRect(Image& img, float x0, float y0, float x1, float y1, float r, Rgba color) {
    FillShape(
        img, x0, y0, x1, y1,
        [&](float x, float y) {
            if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
            float cx = std::clamp(x, x0 + r, x1 - r);
            float cy = std::clamp(y, y0 + r, y1 - r);
            return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
        },
        color);
}

void FillEllipse(Image& img, float cx, float cy, float rx, float ry, Rgba color) {
    FillShape(
        img, cx - rx, cy - ry, cx + rx, cy + ry,
        [&](float x, float y) {
            float dx = (x - cx) / rx, dy = (y - cy) / ry;
            return dx * dx + dy * dy <= 1.0f;
        },
        color);
}

void FillRing(Image& img, float cx, float cy, float outer, float inner, Rgba color) {
    FillShape(
        img, cx - outer, cy - outer, cx + outer, cy + outer,
        [&](float x, float y) {
            float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            return d <= outer * outer && d >= inner * inner;
        },
        color);
}

void FillPolygon(Image& img, const std::vector<float>& xy, Rgba color) {
    if (xy.size() < 6) return;
    float bx0 = xy[0], by0 = xy[1], bx1 = xy[0], by1 = xy[1];
    for (size_t i = 0; i < xy.size(); i += 2) {
        bx0 = std::min(bx0, xy[i]);
        bx1 = std::max(bx1, xy[i]);
        by0 = std::min(by0, xy[i + 1]);
        by1 = std::max(by1, xy[i + 1]);
    }
    size_t n = xy.size() / 2;
    FillShape(
        img, bx0, by0, bx1, by1,
        [&](float x, float y) {
            bool in = false;
            for (size_t i = 0, j = n - 1; i < n; j = i++) {
                float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
                if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
            }
            return in;
        },
        color);
}

void DrawLine(Image& img, float x0, float y0, float x1, float y1, float width, Rgba color) {
    float dx = x1 - x0, dy = y1 - y0;
    float length2 = std::max(dx * dx + dy * dy, 1e-6f);
    float half = width * 0.5f;
    FillShape(
        img, std::min(x0, x1) - half, std::min(y0, y1) - half, std::max(x0, x1) + half, std::max(y0, y1) + half,
        [&](float x, float y) {
            float t = std::clamp(((x - x0) * dx + (y - y0) * dy) / length2, 0.0f, 1.0f);
            float px = x0 + t * dx - x, py = y0 + t * dy - y;
            return px * px + py * py <= half * half;
        },
        color);
}

void FillStar(Image& img, float cx, float cy, float outer, float inner, int points, float turn, Rgba color) {
    std::vector<float> xy;
    for (int i = 0; i < points * 2; ++i) {
        float r = (i % 2) ? inner : outer;
        float a = turn + float(i) * 3.14159265f / float(points) - 3.14159265f / 2;
        xy.push_back(cx + r * std::cos(a));
        xy.push_back(cy + r * std::sin(a));
    }
    FillPolygon(img, xy, color);
}

void Composite(Image& dst, const Image& src, int ox, int oy) {
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) dst.Blend(ox + x, oy + y, src.At(x, y));
    }
}

Image Resize(const Image& src, int width, int height) {
    Image out(width, height);
    for (int y = 0; y < height; ++y) {
        int sy0 = y * src.height / height, sy1 = std::max(sy0 + 1, (y + 1) * src.height / height);
        for (int x = 0; x < width; ++x) {
            int sx0 = x * src.width / width, sx1 = std::max(sx0 + 1, (x + 1) * src.width / width);
            double r = 0, g = 0, b = 0, a = 0;
            int n = 0;
            for (int sy = sy0; sy < sy1; ++sy) {
                for (int sx = sx0; sx < sx1; ++sx) {
                    Rgba c = src.At(sx, sy);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                    ++n;
                }
            }
            if (a > 0) {
                out.Set(x, y, Rgba{uint8_t(r / a), uint8_t(g / a), uint8_t(b / a), uint8_t(a / n)});
            }
        }
    }
    return out;
}
