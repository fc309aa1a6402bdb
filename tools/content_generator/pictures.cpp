#include "pictures.h"

#include "font.h"
#include "looks.h"
#include "pi.h"
#include "rng.h"
#include "stages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <map>

namespace {


// ---------------------------------------------------------------- scenery

void PaintHills(Image& img, int width, int height, float baseY, float amplitude, float wavelength, float phase,
                Rgba color) {
    std::vector<float> xy = {0.0f, float(height)};
    for (int x = 0; x <= width; x += 4) {
        float y = baseY - amplitude * (0.6f * std::sin(x / wavelength + phase) + 0.4f * std::sin(x / (wavelength * 0.43f) + phase * 2.1f));
        xy.push_back(float(x));
        xy.push_back(y);
    }
    xy.push_back(float(width));
    xy.push_back(float(height));
    FillPolygon(img, xy, color);
}

void PaintCloud(Image& img, float x, float y, float s, Rgba c) {
    FillEllipse(img, x, y, 30 * s, 14 * s, c);
    FillEllipse(img, x - 22 * s, y + 4 * s, 18 * s, 11 * s, c);
    FillEllipse(img, x + 24 * s, y + 3 * s, 20 * s, 12 * s, c);
    FillEllipse(img, x + 4 * s, y - 9 * s, 17 * s, 13 * s, c);
}

void PaintStars(Image& img, Rng& rng, int count, float maxY, Rgba c) {
    for (int i = 0; i < count; ++i) {
        float x = rng.Unit() * img.width, y = rng.Unit() * maxY;
        float r = 0.6f + rng.Unit() * 1.4f;
        FillEllipse(img, x, y, r, r, c);
        if (rng.Chance(10)) FillStar(img, x, y, r * 4, r * 1.2f, 4, 0, MakeRgba(c.r, c.g, c.b, 160));
    }
}

void PaintTree(Image& img, float x, float groundY, float h, Rgba trunk, Rgba leaves) {
    FillRect(img, x - h * 0.05f, groundY - h * 0.35f, x + h * 0.05f, groundY, trunk);
    FillPolygon(img, {x, groundY - h, x - h * 0.3f, groundY - h * 0.3f, x + h * 0.3f, groundY - h * 0.3f}, leaves);
    FillPolygon(img, {x, groundY - h * 1.2f, x - h * 0.22f, groundY - h * 0.65f, x + h * 0.22f, groundY - h * 0.65f},
                ScaleRgb(leaves, 1.15f));
}

}  // namespace

Image PaintWorldBackground(int world, int width, int height) {
    WorldLook look = LookOfWorld(world);
    Image img(width, height, MakeRgba(0, 0, 0));
    FillGradient(img, 0, 0, width, height, [&](float, float v) { return MixRgba(look.skyTop, look.skyBottom, v); });
    float sx = width / 640.0f, sy = height / 480.0f;
    Rng rng(uint32_t(100 + world));
    switch (world) {
        case 0:
            FillEllipse(img, 540 * sx, 80 * sy, 40 * sx, 40 * sx, MakeRgba(255, 250, 200));
            for (int i = 0; i < 5; ++i) {
                PaintCloud(img, (60 + i * 130 + rng.Below(40)) * sx, (60 + rng.Below(90)) * sy, (0.8f + rng.Unit() * 0.6f) * sx,
                           MakeRgba(255, 255, 255, 230));
            }
            PaintHills(img, width, height, 330 * sy, 40 * sy, 90 * sx, 0.5f, look.far);
            PaintHills(img, width, height, 400 * sy, 30 * sy, 60 * sx, 2.0f, look.near);
            for (int i = 0; i < 30; ++i) {
                FillEllipse(img, rng.Unit() * width, (410 + rng.Unit() * 60) * sy, 3 * sx, 3 * sx,
                            rng.Chance(50) ? MakeRgba(255, 240, 120) : MakeRgba(255, 255, 255));
            }
            break;
        case 1:
            FillEllipse(img, 320 * sx, 330 * sy, 90 * sx, 90 * sx, MakeRgba(255, 240, 180, 230));
            PaintHills(img, width, height, 340 * sy, 35 * sy, 70 * sx, 1.0f, look.far);
            for (int i = 0; i < 22; ++i) {
                float x = (i * 31 + rng.Below(20)) * sx;
                PaintTree(img, x, (400 + rng.Below(20)) * sy, (70 + rng.Below(60)) * sy, MakeRgba(60, 30, 40), look.near);
            }
            PaintHills(img, width, height, 430 * sy, 12 * sy, 50 * sx, 0.2f, ScaleRgb(look.near, 0.8f));
            break;
        case 2:
            FillEllipse(img, 500 * sx, 90 * sy, 46 * sx, 46 * sx, MakeRgba(255, 255, 230));
            FillEllipse(img, 500 * sx, 90 * sy, 70 * sx, 70 * sx, MakeRgba(255, 255, 220, 60));
            FillPolygon(img, {120 * sx, 360 * sy, 230 * sx, 210 * sy, 340 * sx, 360 * sy}, MakeRgba(215, 170, 95));
            FillPolygon(img, {230 * sx, 210 * sy, 340 * sx, 360 * sy, 270 * sx, 360 * sy}, MakeRgba(180, 135, 70));
            PaintHills(img, width, height, 370 * sy, 30 * sy, 110 * sx, 0.3f, look.far);
            PaintHills(img, width, height, 420 * sy, 25 * sy, 80 * sx, 1.7f, look.near);
            break;
        case 3:
            for (int m = 0; m < 4; ++m) {
                float cx = (80 + m * 170) * sx, top = (150 + 40 * (m % 2)) * sy;
                FillPolygon(img, {cx - 160 * sx, 380 * sy, cx, top, cx + 160 * sx, 380 * sy}, look.far);
                FillPolygon(img, {cx - 45 * sx, top + 55 * sy, cx, top, cx + 45 * sx, top + 55 * sy}, MakeRgba(255, 255, 255));
            }
            PaintHills(img, width, height, 410 * sy, 18 * sy, 70 * sx, 0.9f, look.near);
            for (int i = 0; i < 70; ++i) {
                FillEllipse(img, rng.Unit() * width, rng.Unit() * height, 1.5f * sx + rng.Unit() * 2 * sx,
                            1.5f * sx + rng.Unit() * 2 * sx, MakeRgba(255, 255, 255, 200));
            }
            break;
        case 4:
            PaintStars(img, rng, 160, 300 * sy, MakeRgba(255, 255, 230));
            {
                float mx = 480 * sx, my = 100 * sy, r = 42 * sx;
                FillShape(
                    img, mx - r, my - r, mx + r, my + r,
                    [&](float x, float y) {
                        float dx = x - mx, dy = y - my, ex = x - (mx + 16 * sx), ey = y - (my - 10 * sy);
                        return dx * dx + dy * dy <= r * r && ex * ex + ey * ey > (r * 0.9f) * (r * 0.9f);
                    },
                    MakeRgba(255, 250, 210));
            }
            // a castle behind the hills
            FillRect(img, 150 * sx, 240 * sy, 290 * sx, 420 * sy, look.near);
            for (int t = 0; t < 3; ++t) {
                float tx = (150 + t * 60) * sx;
                FillRect(img, tx, 200 * sy, tx + 22 * sx, 420 * sy, look.near);
                FillPolygon(img, {tx - 4 * sx, 200 * sy, tx + 11 * sx, 160 * sy, tx + 26 * sx, 200 * sy}, look.near);
                FillRect(img, tx + 7 * sx, 250 * sy, tx + 15 * sx, 262 * sy, MakeRgba(255, 220, 120));
            }
            PaintHills(img, width, height, 380 * sy, 30 * sy, 90 * sx, 1.4f, look.far);
            PaintHills(img, width, height, 430 * sy, 15 * sy, 60 * sx, 0.4f, look.near);
            break;
        default: {
            PaintStars(img, rng, 220, float(height), MakeRgba(255, 230, 255));
            for (int ring = 0; ring < 6; ++ring) {
                FillRing(img, 320 * sx, 240 * sy, (60 + ring * 45) * sx, (52 + ring * 45) * sx,
                         MakeRgba(255, 150, 255, 40 - ring * 5));
            }
            FillStar(img, 320 * sx, 240 * sy, 70 * sx, 28 * sx, 5, 0, MakeRgba(255, 200, 255, 60));
            PaintHills(img, width, height, 440 * sy, 20 * sy, 70 * sx, 0.8f, look.near);
            break;
        }
    }
    return img;
}

void PaintCatFace(Image& img, float cx, float cy, float size, int kind) {
    CatLook look = LookOfCat(kind);
    float s = size / 40.0f;
    Rgba outline = ScaleRgb(look.fur, 0.45f);
    Rgba inner = MakeRgba(250, 160, 170);
    auto ear = [&](float side) {
        switch (look.ears) {
            case Ears::Round:
                FillEllipse(img, cx + side * 13 * s, cy - 11 * s, 8.5f * s, 8.5f * s, outline);
                FillEllipse(img, cx + side * 13 * s, cy - 11 * s, 7 * s, 7 * s, look.fur);
                FillEllipse(img, cx + side * 13 * s, cy - 11 * s, 4 * s, 4 * s, inner);
                break;
            case Ears::Horns:
                FillPolygon(img, {cx + side * 9 * s, cy - 10 * s, cx + side * 19 * s, cy - 19 * s, cx + side * 14 * s, cy - 7 * s},
                            MakeRgba(230, 210, 150));
                FillEllipse(img, cx + side * 16 * s, cy - 4 * s, 5 * s, 3 * s, look.fur);
                break;
            case Ears::Long:
                FillEllipse(img, cx + side * 6 * s, cy - 16 * s, 4.5f * s, 11 * s, outline);
                FillEllipse(img, cx + side * 6 * s, cy - 16 * s, 3.5f * s, 10 * s, look.fur);
                FillEllipse(img, cx + side * 6 * s, cy - 15 * s, 1.8f * s, 7 * s, inner);
                break;
            case Ears::Cat:
                FillPolygon(img, {cx + side * 4 * s, cy - 11 * s, cx + side * 15 * s, cy - 19 * s, cx + side * 16 * s, cy - 4 * s},
                            outline);
                FillPolygon(img, {cx + side * 6 * s, cy - 10 * s, cx + side * 14.5f * s, cy - 16.5f * s, cx + side * 14.5f * s, cy - 5 * s},
                            look.fur);
                FillPolygon(img, {cx + side * 8.5f * s, cy - 9 * s, cx + side * 13.5f * s, cy - 13.5f * s, cx + side * 13.5f * s, cy - 7 * s},
                            inner);
                break;
        }
    };
    ear(-1);
    ear(1);
    FillEllipse(img, cx, cy + 2 * s, 16.5f * s, 14 * s, outline);
    FillEllipse(img, cx, cy + 2 * s, 15.5f * s, 13 * s, look.fur);
    FillEllipse(img, cx, cy + 8 * s, 9 * s, 6 * s, look.belly);
    if (look.stripes) {
        for (int i = -1; i <= 1; ++i) DrawLine(img, cx + i * 4 * s, cy - 10 * s, cx + i * 3 * s, cy - 5 * s, 1.8f * s, outline);
    }
    if (look.spots) FillEllipse(img, cx - 8 * s, cy - 3 * s, 5 * s, 4 * s, MakeRgba(50, 45, 40));
    Rgba eye = look.glowingEyes ? look.accent : MakeRgba(30, 25, 35);
    for (float side : {-1.0f, 1.0f}) {
        FillEllipse(img, cx + side * 6 * s, cy + 1 * s, 2.6f * s, 3.4f * s, eye);
        FillEllipse(img, cx + side * 6 * s + 0.8f * s, cy - 0.3f * s, 0.9f * s, 1.1f * s, MakeRgba(255, 255, 255));
        DrawLine(img, cx + side * 9 * s, cy + 7 * s, cx + side * 17 * s, cy + 5.5f * s, 0.8f * s, outline);
        DrawLine(img, cx + side * 9 * s, cy + 8.5f * s, cx + side * 17 * s, cy + 9.5f * s, 0.8f * s, outline);
    }
    FillPolygon(img, {cx - 2 * s, cy + 5 * s, cx + 2 * s, cy + 5 * s, cx, cy + 7 * s}, MakeRgba(230, 100, 120));
    DrawLine(img, cx, cy + 7 * s, cx - 2.5f * s, cy + 9.5f * s, 0.8f * s, outline);
    DrawLine(img, cx, cy + 7 * s, cx + 2.5f * s, cy + 9.5f * s, 0.8f * s, outline);
    if (look.ribbon) {
        FillPolygon(img, {cx + 8 * s, cy - 12 * s, cx + 15 * s, cy - 17 * s, cx + 15 * s, cy - 7 * s}, look.accent);
        FillPolygon(img, {cx + 8 * s, cy - 12 * s, cx + 1 * s, cy - 17 * s, cx + 1 * s, cy - 7 * s}, look.accent);
        FillEllipse(img, cx + 8 * s, cy - 12 * s, 2 * s, 2 * s, ScaleRgb(look.accent, 0.7f));
    }
}

namespace {

// ---------------------------------------------------------------- captions

TextStyle BigStyle(int size, Rgba top, Rgba bottom, Rgba outline) {
    TextStyle style;
    style.pixelSize = size;
    style.color = top;
    style.colorBottom = bottom;
    style.outline = std::max(2.0f, size / 14.0f);
    style.outlineColor = outline;
    style.shadow = std::max(2.0f, size / 20.0f);
    return style;
}

// A caption picture: a large Latin word and a small Japanese line below.
Image PaintCaption(int width, int height, const std::string& word, const std::string& japanese, Rgba top, Rgba bottom,
                   Rgba outline) {
    Image img(width, height);
    float wordShare = japanese.empty() ? 0.9f : 0.66f;
    TextStyle big = BigStyle(int(height * wordShare), top, bottom, outline);
    big.pixelSize = FitTextSize(word, big, width - 16);
    DrawTextCentred(img, width / 2.0f, height * (japanese.empty() ? 0.5f : 0.38f), word, big);
    if (!japanese.empty()) {
        TextStyle small = BigStyle(int(height * 0.26f), MakeRgba(255, 255, 255), MakeRgba(0, 0, 0, 0), outline);
        small.pixelSize = FitTextSize(japanese, small, width - 16);
        DrawTextCentred(img, width / 2.0f, height * 0.83f, japanese, small);
    }
    return img;
}

// ---------------------------------------------------------------- items

Image PaintTurnArrow(int kind) {  // 0 right (clockwise), 1 left, 2 upside down
    Image img(64, 64);
    Rgba rim = kind == 2 ? MakeRgba(40, 90, 200) : MakeRgba(20, 120, 40);
    Rgba fill = kind == 2 ? MakeRgba(120, 190, 255) : MakeRgba(120, 230, 120);
    FillEllipse(img, 32, 32, 30, 30, rim);
    FillEllipse(img, 32, 32, 27, 27, fill);
    Rgba arrow = MakeRgba(255, 255, 255);
    if (kind == 2) {
        DrawLine(img, 32, 14, 32, 50, 6, arrow);
        FillPolygon(img, {32, 6, 22, 20, 42, 20}, arrow);
        FillPolygon(img, {32, 58, 22, 44, 42, 44}, arrow);
    } else {
        float dir = kind == 0 ? 1.0f : -1.0f;
        for (int i = 0; i < 28; ++i) {
            float a0 = -kPi * 0.8f + i * (kPi * 1.45f / 28), a1 = a0 + kPi * 1.45f / 28;
            DrawLine(img, 32 + dir * 17 * std::cos(a0), 32 + 17 * std::sin(a0), 32 + dir * 17 * std::cos(a1),
                     32 + 17 * std::sin(a1), 6, arrow);
        }
        float a = -kPi * 0.8f + kPi * 1.45f;
        float tx = 32 + dir * 17 * std::cos(a), ty = 32 + 17 * std::sin(a);
        FillPolygon(img, {tx - 9, ty - 2, tx + 9, ty - 2, tx - dir * 2, ty + 11}, arrow);
    }
    return img;
}

Image PaintDoor(bool open) {
    Image img(64, 64);
    FillRoundRect(img, 10, 4, 54, 62, 16, MakeRgba(110, 70, 40));
    if (open) {
        FillRoundRect(img, 14, 8, 50, 62, 13, MakeRgba(255, 250, 200));
        FillEllipse(img, 32, 36, 22, 26, MakeRgba(255, 255, 255, 120));
        FillStar(img, 32, 30, 10, 4, 5, 0, MakeRgba(255, 220, 60));
    } else {
        FillRoundRect(img, 14, 8, 50, 62, 13, MakeRgba(170, 110, 60));
        for (int i = 0; i < 3; ++i) DrawLine(img, 20 + i * 12, 14, 20 + i * 12, 60, 1.5f, MakeRgba(120, 75, 40));
        FillEllipse(img, 43, 38, 3, 3, MakeRgba(250, 210, 60));
        FillRoundRect(img, 24, 24, 40, 34, 3, MakeRgba(250, 230, 120));
        TextStyle style;
        style.pixelSize = 9;
        style.color = MakeRgba(110, 60, 20);
        DrawTextCentred(img, 32, 29, "GOAL", style);
    }
    return img;
}

void PaintGem(Image& img, float cx, float cy, float r, Rgba color) {
    FillPolygon(img, {cx, cy - r, cx + r, cy - r * 0.2f, cx, cy + r, cx - r, cy - r * 0.2f}, ScaleRgb(color, 0.6f));
    FillPolygon(img, {cx, cy - r * 0.85f, cx + r * 0.8f, cy - r * 0.2f, cx, cy + r * 0.75f, cx - r * 0.8f, cy - r * 0.2f}, color);
    FillPolygon(img, {cx - r * 0.45f, cy - r * 0.4f, cx, cy - r * 0.75f, cx + r * 0.1f, cy - r * 0.25f}, MakeRgba(255, 255, 255, 200));
}

Image PaintFlash() {
    Image img(72, 32);
    for (int f = 0; f < 3; ++f) {
        float cx = 12 + f * 24.0f, cy = 16;
        float r = 7 + f * 3.0f;
        FillEllipse(img, cx, cy, r * 0.8f, r * 0.8f, MakeRgba(255, 255, 200, 70));
        FillStar(img, cx, cy, r + 3, 2.2f, 4, f * 0.4f, MakeRgba(255, 255, 240));
        FillStar(img, cx, cy, r * 0.6f, 1.5f, 4, f * 0.4f + kPi / 4, MakeRgba(255, 240, 150));
    }
    return img;
}

Image PaintChargeAnimation(bool red) {
    Image img(960, 576);
    Rgba core = red ? MakeRgba(255, 90, 60) : MakeRgba(90, 220, 255);
    Rgba glow = red ? MakeRgba(255, 200, 80) : MakeRgba(220, 250, 255);
    Rng rng(red ? 77u : 76u);
    for (int f = 0; f < 15; ++f) {
        float cx = (f % 5) * 192 + 96.0f, cy = (f / 5) * 192 + 96.0f;
        float t = f / 14.0f;
        FillEllipse(img, cx, cy, 30 + 20 * t, 30 + 20 * t, MakeRgba(core.r, core.g, core.b, uint8_t(60 + 60 * t)));
        for (int ring = 0; ring < 3; ++ring) {
            float r = std::fmod(20.0f + ring * 28 + t * 84, 88.0f);
            FillRing(img, cx, cy, r + 3, r, MakeRgba(glow.r, glow.g, glow.b, uint8_t(200 - r * 2)));
        }
        for (int p = 0; p < 10; ++p) {
            float a = rng.Unit() * 2 * kPi, d = 20 + rng.Unit() * 70 * (1 - t * 0.6f);
            FillStar(img, cx + d * std::cos(a), cy + d * std::sin(a), 6, 1.5f, 4, 0, glow);
        }
        FillEllipse(img, cx, cy, 10 + 8 * t, 10 + 8 * t, MakeRgba(255, 255, 255, 220));
    }
    return img;
}

Image PaintGuide(int kind) {  // 0 charge 1, 1 charge 2, 2 magic ring, 3 ring guide
    Image img(128, 128);
    switch (kind) {
        case 0:
        case 1: {
            Rgba c = kind == 0 ? MakeRgba(120, 220, 255) : MakeRgba(255, 200, 80);
            FillRing(img, 64, 64, 60, 52, MakeRgba(c.r, c.g, c.b, 180));
            for (int i = 0; i < (kind == 0 ? 4 : 8); ++i) {
                float a = i * 2 * kPi / (kind == 0 ? 4 : 8);
                FillPolygon(img, {64 + 58 * std::cos(a), 64 + 58 * std::sin(a), 64 + 40 * std::cos(a + 0.2f),
                                  64 + 40 * std::sin(a + 0.2f), 64 + 40 * std::cos(a - 0.2f), 64 + 40 * std::sin(a - 0.2f)},
                            c);
            }
            FillEllipse(img, 64, 64, 14, 14, MakeRgba(255, 255, 255, 150));
            break;
        }
        case 2:
            FillRing(img, 64, 64, 62, 57, MakeRgba(200, 120, 255));
            FillRing(img, 64, 64, 50, 47, MakeRgba(230, 180, 255));
            FillStar(img, 64, 64, 47, 18, 5, 0, MakeRgba(200, 120, 255, 120));
            for (int i = 0; i < 12; ++i) {
                float a = i * kPi / 6;
                FillEllipse(img, 64 + 54 * std::cos(a), 64 + 54 * std::sin(a), 3, 3, MakeRgba(255, 255, 255));
            }
            break;
        default:
            FillRing(img, 64, 64, 40, 36, MakeRgba(255, 255, 255, 220));
            DrawLine(img, 64, 10, 64, 44, 3, MakeRgba(255, 255, 255, 220));
            DrawLine(img, 64, 84, 64, 118, 3, MakeRgba(255, 255, 255, 220));
            DrawLine(img, 10, 64, 44, 64, 3, MakeRgba(255, 255, 255, 220));
            DrawLine(img, 84, 64, 118, 64, 3, MakeRgba(255, 255, 255, 220));
            FillEllipse(img, 64, 64, 4, 4, MakeRgba(255, 80, 80));
            break;
    }
    return img;
}

Image PaintTransitionMask() {
    // Grey levels rise from the centre outward with a soft swirl, so the old
    // screen dissolves as a widening spiral.
    Image img(640, 480);
    Rng rng(5);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            float dx = (x - 320) / 400.0f, dy = (y - 240) / 400.0f;
            float d = std::sqrt(dx * dx + dy * dy);
            float a = std::atan2(dy, dx);
            float v = d * 0.85f + 0.1f * (0.5f + 0.5f * std::sin(a * 3 + d * 12)) + rng.Unit() * 0.03f;
            uint8_t g = uint8_t(std::clamp(v, 0.0f, 1.0f) * 255);
            img.Set(x, y, MakeRgba(g, g, g));
        }
    }
    return img;
}

// ---------------------------------------------------------------- logos

void PaintLogoText(Image& img, float cx, float cy, int size, int maxWidth) {
    TextStyle style = BigStyle(size, MakeRgba(255, 240, 120), MakeRgba(255, 140, 60), MakeRgba(120, 40, 30));
    style.pixelSize = FitTextSize("モルポッタ", style, maxWidth);
    DrawTextCentred(img, cx, cy, "モルポッタ", style);
}

Image PaintTitleLogo() {
    Image img(360, 90);
    FillRoundRect(img, 4, 8, 356, 86, 30, MakeRgba(255, 255, 255, 90));
    PaintLogoText(img, 208, 45, 64, 280);
    PaintCatFace(img, 30, 46, 44, 1);
    for (int i = 0; i < 3; ++i) FillEllipse(img, 335 - i * 9.0f, 20 + i * 6.0f, 3, 3, MakeRgba(255, 200, 220));
    return img;
}

Image PaintEndLogo() {
    Image img(200, 90);
    PaintLogoText(img, 100, 34, 44, 180);
    TextStyle style = BigStyle(20, MakeRgba(255, 255, 255), MakeRgba(200, 220, 255), MakeRgba(40, 40, 90));
    DrawTextCentred(img, 100, 72, "おしまい", style);
    return img;
}

Image PaintBootScroll() {
    // One period of 2693 rows; the last 480 rows repeat the first so the
    // scroll wraps without a seam.
    const int period = 2693;
    Image tall(640, period);
    FillGradient(tall, 0, 0, 640, period, [](float, float v) {
        float t = 0.5f + 0.5f * std::sin(v * 2 * kPi);
        return MixRgba(MakeRgba(255, 214, 232), MakeRgba(190, 225, 255), t);
    });
    Rng rng(2693);
    for (int i = 0; i < 90; ++i) {
        float x = rng.Unit() * 640, y = rng.Unit() * period;
        int kind = 1 + rng.Below(6);
        float size = 30 + rng.Unit() * 40;
        FillEllipse(tall, x, y, size * 0.7f, size * 0.7f, MakeRgba(255, 255, 255, 90));
        PaintCatFace(tall, x, y, size, kind);
    }
    for (int i = 0; i < 160; ++i) {
        FillStar(tall, rng.Unit() * 640, rng.Unit() * period, 4 + rng.Unit() * 5, 1.6f, 4, 0, MakeRgba(255, 255, 255, 200));
    }
    Image img(640, period + 480);
    for (int y = 0; y < period + 480; ++y) {
        for (int x = 0; x < 640; ++x) img.Set(x, y, tall.At(x, y % period));
    }
    return img;
}

// ---------------------------------------------------------------- thumbnails


// A set's thumbnail: its world's background with the map of one of its
// stages drawn over it, and the set's name.
Image PaintThumbnail(int world, const std::string& caption, const std::vector<std::string>& map, bool versus) {
    Image img = PaintWorldBackground(world, 160, 120);
    WorldLook look = LookOfWorld(world);
    int rows = int(map.size()), columns = rows ? int(map[0].size()) : 0;
    float cell = std::min(150.0f / std::max(1, columns), 94.0f / std::max(1, rows));
    float ox = (160 - cell * columns) / 2, oy = 22 + (96 - cell * rows) / 2;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            float x = ox + c * cell, y = oy + r * cell;
            switch (map[size_t(r)][size_t(c)]) {
                case 'B': {
                    bool top = r > 0 && map[size_t(r - 1)][size_t(c)] != 'B';
                    FillRect(img, x, y, x + cell, y + cell, look.block);
                    if (top) FillRect(img, x, y, x + cell, y + cell * 0.35f, look.cap);
                    break;
                }
                case '1': case '2': case '3': case '4': PaintGem(img, x + cell / 2, y + cell / 2, cell * 0.45f, MakeRgba(240, 40, 60)); break;
                case 'G': FillRoundRect(img, x, y - cell * 0.4f, x + cell, y + cell, cell * 0.4f, MakeRgba(150, 95, 50)); break;
                case 's': FillEllipse(img, x + cell / 2, y + cell / 2, cell * 0.45f, cell * 0.45f, MakeRgba(240, 150, 60)); break;
                case 'n': FillPolygon(img, {x, y + cell, x + cell / 2, y + cell * 0.2f, x + cell, y + cell}, MakeRgba(210, 210, 220)); break;
                case 'a': FillEllipse(img, x + cell / 2, y + cell / 2, cell * 0.4f, cell * 0.4f, MakeRgba(220, 30, 40)); break;
                case 'r': case 'l': case 'u': FillEllipse(img, x + cell / 2, y + cell / 2, cell * 0.45f, cell * 0.45f, MakeRgba(80, 200, 90)); break;
                case 'K': FillRect(img, x, y, x + cell, y + cell, MakeRgba(250, 200, 60)); break;
                case 'z': case 'x': case 'c': case 'v': case 'm': case 'b':
                    FillEllipse(img, x + cell / 2, y + cell / 2, cell * 0.45f, cell * 0.45f, MakeRgba(90, 50, 120));
                    break;
                default: break;
            }
        }
    }
    if (versus) {
        TextStyle vs = BigStyle(30, MakeRgba(255, 255, 255), MakeRgba(255, 180, 60), MakeRgba(120, 0, 40));
        DrawTextCentred(img, 80, 70, "VS", vs);
    }
    FillRect(img, 0, 0, 160, 20, MakeRgba(0, 0, 0, 150));
    TextStyle style;
    style.pixelSize = 14;
    style.pixelSize = FitTextSize(caption, style, 150);
    style.color = MakeRgba(255, 255, 255);
    DrawTextCentred(img, 80, 10, caption, style);
    return img;
}

int TrailingNumber(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t start = dot;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(path[start - 1]))) --start;
    return std::atoi(path.substr(start, dot - start).c_str());
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

Image PaintPicture(const PictureSpec& spec) {
    const std::string& p = spec.path;
    Rgba gold = MakeRgba(255, 245, 140), orange = MakeRgba(255, 150, 40), brown = MakeRgba(110, 40, 10);
    Rgba sky = MakeRgba(210, 250, 255), blue = MakeRgba(60, 140, 255), navy = MakeRgba(10, 30, 90);
    Rgba pink = MakeRgba(255, 220, 240), red = MakeRgba(240, 40, 70), wine = MakeRgba(80, 0, 30);
    if (p == "tpa\\titleLogo.png") return PaintTitleLogo();
    if (p == "tpa\\endLogo.png") return PaintEndLogo();
    if (p == "tpa\\mapScene\\nc6700.png") return PaintBootScroll();
    if (Contains(p, "turnblock_migi")) return PaintTurnArrow(0);
    if (Contains(p, "turnblock_hidari")) return PaintTurnArrow(1);
    if (Contains(p, "turnblock_updown")) return PaintTurnArrow(2);
    if (Contains(p, "text_ready")) return PaintCaption(spec.width, spec.height, "READY", "", gold, orange, brown);
    if (Contains(p, "text_final")) return PaintCaption(spec.width, spec.height, "FINAL STAGE", "", pink, red, wine);
    if (Contains(p, "text_timeattack"))
        return PaintCaption(spec.width, spec.height, "TIME ATTACK", "タイムアタック", sky, blue, navy);
    if (Contains(p, "text_go")) return PaintCaption(spec.width, spec.height, "GO!", "", gold, orange, brown);
    if (Contains(p, "text_clear")) return PaintCaption(spec.width, spec.height, "CLEAR!", "", gold, orange, brown);
    if (Contains(p, "text_failure")) return PaintCaption(spec.width, spec.height, "FAILURE", "しっぱい…", sky, blue, navy);
    if (Contains(p, "text_GAMESET")) return PaintCaption(spec.width, spec.height, "GAME SET", "ゲームセット", gold, orange, brown);
    if (Contains(p, "text_suddendeath"))
        return PaintCaption(spec.width, spec.height, "SUDDEN DEATH", "サドンデス", pink, red, wine);
    if (Contains(p, "text_newrecord")) return PaintCaption(spec.width, spec.height, "NEW RECORD!", "しんきろく！", gold, orange, brown);
    if (Contains(p, "jewelry2")) {
        Image img(spec.width, spec.height);
        PaintGem(img, spec.width / 2.0f, spec.height / 2.0f, spec.width / 2.0f - 1, MakeRgba(240, 40, 60));
        return img;
    }
    if (Contains(p, "door0")) return PaintDoor(false);
    if (Contains(p, "door1")) return PaintDoor(true);
    if (Contains(p, "flash.png")) return PaintFlash();
    if (Contains(p, "trans0")) return PaintTransitionMask();
    if (Contains(p, "animation_chargered")) return PaintChargeAnimation(true);
    if (Contains(p, "animation_charge")) return PaintChargeAnimation(false);
    if (Contains(p, "charge_guide1")) return PaintGuide(0);
    if (Contains(p, "charge_guide2")) return PaintGuide(1);
    if (Contains(p, "magicRing_guide1")) return PaintGuide(3);
    if (Contains(p, "magicRing")) return PaintGuide(2);
    if (Contains(p, "normal_samn")) {
        int set = TrailingNumber(p);
        const SetPlan& plan = NormalSets()[size_t(set)];
        return PaintThumbnail(WorldOfStage(plan.firstStage), plan.title, DesignNormalStage(plan.firstStage).rows, false);
    }
    if (Contains(p, "vs_samn")) {
        int n = TrailingNumber(p);
        return PaintThumbnail(n, VsStageName(n), DesignVsStage(n * kStagesPerVsSet).rows, true);
    }
    if (Contains(p, "map_sceneEX")) return PaintWorldBackground(5, 640, 480);
    if (Contains(p, "map_scene")) return PaintWorldBackground(TrailingNumber(p), 640, 480);
    for (int kind = 1; kind <= kCatKinds; ++kind) {
        if (kind != 7 && p == CatFacePath(kind)) {
            Image img(spec.width, spec.height);
            PaintCatFace(img, spec.width / 2.0f, spec.height / 2.0f + 1, float(spec.width), kind);
            return img;
        }
    }
    std::fprintf(stderr, "content_generator: no painter for %s\n", p.c_str());
    return Image(spec.width, spec.height, MakeRgba(255, 0, 255));
}
