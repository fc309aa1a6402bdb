// A card of pictures turned by six angles, mirrored or not, drawn through
// the public functions on the GL device (off screen) and on the software
// path: on both, grey ones at half weight are blended once all over and
// ones of distinct texels turned by quarters show every texel once; and
// each software picture stands where GL draws it to within a pixel (the
// software mapping puts pixel centres half a pixel apart from GL's, so a
// quarter turn comes out a pixel to the side). The frames are saved under
// the build tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/baseimage.h"
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/graph.h"
#include "engine_temp_folder_fixture.h"
#include "test_pictures.h"

namespace {

using Frame = std::vector<uint32_t>;
constexpr double kAngles[6] = {0.0, 0.0001, 0.5, 1.5707963267948966, 3.141592653589793, 2.2};

int MakeGraph(const std::function<uint32_t(int, int)>& colour) {
    BASEIMAGE image{};
    if (CreateBaseImageXrgb32(40, 40, &image) != 0) return -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) static_cast<uint32_t*>(image.pixels)[y * (image.pitch / 4) + x] = colour(x, y);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

// Rows 0 and 1 grey at half weight, rows 2 and 3 texel (i, j) in red 6i and
// green 6j; rows 1 and 3 mirrored. Column a is angle a.
Frame DrawCard(const std::string& device) {
    EXPECT_EQ(SetWindowBackend(device == "gl" ? "sdl2" : "headless"), 0);
    EXPECT_EQ(SetGraphicsDeviceChoice(device.c_str()), 0);
    if (InitializeEngine() != 0) return {};
    SetDrawFilterMode(0);
    const int grey = MakeGraph([](int, int) { return 0xC8C8C8u; });
    const int texels = MakeGraph([](int i, int j) { return uint32_t(i * 6) << 16 | uint32_t(j * 6) << 8 | 0x80; });
    EXPECT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    for (int row = 0; row < 4; ++row)
        for (int a = 0; a < 6; ++a) {
            SetBlendModeParam(row < 2 ? BlendAlpha : BlendCopy, 128);
            DrawGraphRotatedAt(50 + a * 100, 50 + row * 100, 1.0, kAngles[a], row < 2 ? grey : texels, 0, row % 2);
        }
    Frame f(640 * 480);
    EXPECT_EQ(ReadDrawScreenPixels(f.data()), 0);
    for (uint32_t& p : f) p &= 0xFFFFFF;
    EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath("card_" + device + ".png").c_str()), 0);
    ShutdownEngine();
    return f;
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 2) return false;
    return true;
}

// The pixels of the picture at angle a of a row that one frame draws and
// the other draws none of within one pixel.
int PixelsAPixelApart(const Frame& f, const Frame& other, int row, int a) {
    auto drawn = [&](int x, int y) { return other[size_t(y) * 640 + size_t(x)] != 0; };
    int apart = 0;
    for (int y = row * 100 + 1; y < row * 100 + 99; ++y)
        for (int x = a * 100 + 1; x < a * 100 + 99; ++x) {
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near = near || drawn(x + dx, y + dy);
            apart += f[size_t(y) * 640 + size_t(x)] && !near;
        }
    return apart;
}

// Of the pixels both frames draw of a picture of distinct texels, the
// largest difference between the texels they show, in columns or rows.
int LargestTexelStep(const Frame& f, const Frame& other, int row, int a) {
    int largest = 0;
    for (int y = row * 100; y < row * 100 + 100; ++y)
        for (int x = a * 100; x < a * 100 + 100; ++x) {
            const uint32_t p = f[size_t(y) * 640 + size_t(x)], q = other[size_t(y) * 640 + size_t(x)];
            if (!p || !q) continue;
            for (int shift : {8, 16})
                largest = std::max(largest, std::abs(int(p >> shift & 0xFF) / 6 - int(q >> shift & 0xFF) / 6));
        }
    return largest;
}

class SoftwareMatchesGl : public EngineInTempFolderTest {};

TEST_F(SoftwareMatchesGl, PicturesTurnedAndBlendedAreWholeAndBlendedOnce) {
    const Frame gl = DrawCard("gl"), software = DrawCard("none");
    ASSERT_EQ(gl.size(), size_t(640 * 480));
    ASSERT_EQ(software.size(), gl.size());
    for (const Frame* f : {&gl, &software})
        for (int a = 0; a < 6; ++a)
            for (int row = 0; row < 4; ++row) {
                int twice = 0;
                std::vector<int> seen(1600, 0);
                for (int y = row * 100; y < row * 100 + 100; ++y)
                    for (int x = a * 100; x < a * 100 + 100; ++x) {
                        const uint32_t p = (*f)[size_t(y) * 640 + size_t(x)];
                        if (row < 2) twice += p && !Near(p, 0x646464);
                        else if (p) ++seen[size_t((p >> 8 & 0xFF) / 6 * 40 + (p >> 16 & 0xFF) / 6)];
                    }
                const std::string where = std::string(f == &gl ? "GL" : "software") + ", row " + std::to_string(row) +
                                          ", angle " + std::to_string(kAngles[a]);
                EXPECT_EQ(twice, 0) << where;
                if (row >= 2 && a != 1 && a != 2 && a != 5) {
                    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 1600) << where;
                }
            }
    // Each software picture stands where GL draws it to within a pixel:
    // every pixel one path draws has one the other draws next to it, and
    // where both draw a pixel they show texels at most one column and one
    // row apart. No closer: the software maps pixel corners where GL maps
    // pixel centres, so its quarter turns come out a pixel to the side, and
    // at a hair's turn its samples fall either way off the texel edges.
    for (int row = 0; row < 4; ++row)
        for (int a = 0; a < 6; ++a) {
            const std::string where = "row " + std::to_string(row) + ", angle " + std::to_string(kAngles[a]);
            EXPECT_EQ(PixelsAPixelApart(software, gl, row, a), 0) << "software pixels far from GL's, " << where;
            EXPECT_EQ(PixelsAPixelApart(gl, software, row, a), 0) << "GL pixels far from the software's, " << where;
            if (row >= 2) {
                EXPECT_LE(LargestTexelStep(gl, software, row, a), 1) << where;
            }
        }
}

// A picture of a disc of opaque texels in a field of clear ones (alpha 0,
// of colour `clear`); radius in texels.
int MakeDiscGraph(int size, int radius, uint32_t disc, uint32_t clear) {
    PixelFormatDesc format;
    SetPixelFormatArgb32(&format);
    BASEIMAGE image{};
    if (CreateBaseImageWithFormat(size, size, &format, &image) != 0) return -1;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = float(x) + 0.5f - float(size) / 2, dy = float(y) + 0.5f - float(size) / 2;
            const uint32_t c = dx * dx + dy * dy <= float(radius * radius) ? disc : clear;
            SetBaseImagePixel(&image, x, y, int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF), int(c >> 24));
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

class ClearTexels : public EngineInTempFolderTest {};

// With transparency on, a picture's clear texels change nothing in any blend
// mode, on GL and on the software path alike: drawn plain, turned, scaled
// and as a billboard over a grey screen, a picture of a power-of-two size
// whose clear texels are black and one of another size whose clear texels
// are white change the screen only within their opaque disc. Modes 5 to 9
// draw nothing and return 0.
TEST_F(ClearTexels, ChangeNothingInAnyBlendModeOnEitherPath) {
    constexpr uint32_t kGrey = 0x808080;
    for (const char* device : {"gl", "none"}) {
        ASSERT_EQ(SetWindowBackend(std::string(device) == "gl" ? "sdl2" : "headless"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice(device), 0);
        ASSERT_EQ(InitializeEngine(), 0);
        SetDrawFilterMode(0);
        struct Picture {
            int graph, size, radius;
        };
        const Picture pictures[2] = {{MakeDiscGraph(64, 12, 0xFFC8783Cu, 0x00000000u), 64, 12},
                                     {MakeDiscGraph(30, 6, 0xFF3CC878u, 0x00FFFFFFu), 30, 6}};
        const float eye[3] = {0, 0, -1000}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
        ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
        const float origin[3] = {0, 0, 0}, side[3] = {100, 0, 0};
        const Vector3 middle = WorldToScreenPos(origin), edge = WorldToScreenPos(side);
        const float boardPixels = 2 * (edge.x - middle.x);  // a 200 wide billboard on screen

        for (int mode = 0; mode <= BlendMulAlpha; ++mode)
            for (const Picture& p : pictures)
                for (const char* call : {"plain", "turned", "scaled", "billboard"}) {
                    const std::string what = std::string(device) + ", mode " + std::to_string(mode) + ", " +
                                             std::to_string(p.size) + " wide, " + call;
                    SetBlendModeParam(BlendCopy, 255);
                    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
                    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeScreenColor(128, 128, 128), 1), 0);
                    SetBlendModeParam(mode, 255);
                    float cx = 320, cy = 240, texel = 1;  // pixels a texel
                    int result = -1;
                    if (call == std::string("plain")) {
                        result = DrawGraphAt(320 - p.size / 2, 240 - p.size / 2, p.graph, 1);
                    } else if (call == std::string("turned")) {
                        result = DrawGraphRotatedAt(320, 240, 1.0, 0.5, p.graph, 1, 0);
                    } else if (call == std::string("scaled")) {
                        result = DrawGraphRotatedAt(320, 240, 3.0, 0.0, p.graph, 1, 0);
                        texel = 3;
                    } else {
                        result = DrawGraphBillboard3D(origin, 0.5f, 0.5f, 200.0f, 0.0f, p.graph, 1, 0);
                        cx = middle.x, cy = middle.y;
                        texel = boardPixels / float(p.size);
                    }
                    EXPECT_EQ(result, 0) << what;
                    Frame f(640 * 480);
                    ASSERT_EQ(ReadDrawScreenPixels(f.data()), 0);
                    if (mode == BlendMul && p.size == 64 && call == std::string("billboard"))
                        SaveDrawScreenToPng(TestPicturePath(std::string("clear_texels_multiplied_") + device + ".png").c_str());
                    // The disc's texels reach up to a texel's diagonal beyond its radius.
                    const float radius = float(p.radius) * texel, reach = radius + 1.5f * texel + 1;
                    int outside = 0, inside = 0;
                    for (int y = 0; y < 480; ++y)
                        for (int x = 0; x < 640; ++x) {
                            const bool changed = (f[size_t(y) * 640 + size_t(x)] & 0xFFFFFF) != kGrey;
                            if (std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy) > reach) outside += changed;
                            else inside += changed;
                        }
                    EXPECT_EQ(outside, 0) << what;
                    if (mode > BlendMul && mode < BlendInvert) {
                        EXPECT_EQ(inside, 0) << what;
                    } else {
                        EXPECT_GT(inside, 2 * radius * radius) << what;
                    }
                }
        ShutdownEngine();
    }
}

}  // namespace
