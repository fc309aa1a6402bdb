// The YUV to RGB tables and kernels, and the YUV surface layouts, on small
// hand-made pictures.
#include "engine/engine.h"
#include "movie_test_util.h"
#include "platform/clock.h"

using namespace morpotta;

using namespace movietest;

namespace {

struct Picture {
    int width, height, chromaWidth, chromaHeight;
    std::vector<uint8_t> y, u, v;
    Picture(int w, int h, int cw, int ch, uint8_t luma = 128)
        : width(w), height(h), chromaWidth(cw), chromaHeight(ch), y(size_t(w) * h, luma), u(size_t(cw) * ch, 128),
          v(size_t(cw) * ch, 128) {}
    YuvPlanes planes() const {
        return YuvPlanes{y.data(), u.data(), v.data(), width, height, width, chromaWidth, chromaHeight, chromaWidth};
    }
    // Bytes blue, green, red, 255 per pixel, converted by the kernel the
    // decoder would choose.
    std::vector<uint8_t> Convert() const {
        std::vector<uint8_t> out(size_t(width) * height * 4, 0);
        if (IsYuv420(planes()))
            ConvertYuv420ToXrgb(planes(), out.data(), width * 4, width, height);
        else
            ConvertYuvFloatToXrgb(planes(), out.data(), width * 4, width, height);
        return out;
    }
};

std::vector<int> Rgb(const std::vector<uint8_t>& pixels, int index) {
    const uint8_t* p = &pixels[size_t(index) * 4];
    EXPECT_EQ(p[3], 255);
    return {p[2], p[1], p[0]};
}

class YuvToRgbTest : public MovieTest {};

TEST_F(YuvToRgbTest, TableValuesAndWorkedExamples) {
    const YuvToRgbTables& t = GetYuvToRgbTables();
    EXPECT_EQ(t.luma[16], 0);
    EXPECT_EQ(t.luma[235], 4176330);
    EXPECT_EQ(t.luma[0], -305120);
    for (const int32_t* table : {t.vToRed, t.uToGreen, t.vToGreen, t.uToBlue}) EXPECT_EQ(table[128], 0);
    EXPECT_EQ(t.vToRed[255], 26148 * 127);
    EXPECT_EQ(t.uToGreen[0], 6406 * 128);
    EXPECT_EQ(t.vToGreen[0], 13320 * 128);
    EXPECT_EQ(t.uToBlue[255], 33062 * 127);
    EXPECT_EQ(t.clamp[0], 0);
    EXPECT_EQ(t.clamp[kYuvClampBias - 1], 0);
    EXPECT_EQ(t.clamp[kYuvClampBias + 200], 200);
    EXPECT_EQ(t.clamp[kYuvClampBias + 256], 255);
    EXPECT_EQ(t.clamp[1279], 255);

    // Y 235 on neutral chroma is 4176330 / 16384 = 254.9: truncated to 254.
    Picture white(2, 2, 1, 1, 235);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Rgb(white.Convert(), i), (std::vector<int>{254, 254, 254}));
    // Y 81, U 90, V 240: the negative green and blue sums clamp to 0.
    Picture red(2, 2, 1, 1, 81);
    red.u[0] = 90;
    red.v[0] = 240;
    EXPECT_EQ(Rgb(red.Convert(), 3), (std::vector<int>{254, 0, 0}));
    // Video black and the extremes of the clamp table.
    Picture extremes(4, 2, 2, 1, 0);
    extremes.y[1] = 255;
    extremes.u[0] = 0;
    extremes.v[0] = 0;
    extremes.u[1] = 255;
    extremes.v[1] = 255;
    extremes.y[2] = 16;
    const std::vector<uint8_t> out = extremes.Convert();
    EXPECT_EQ(Rgb(out, 0), (std::vector<int>{0, 135, 0}));
    EXPECT_EQ(Rgb(out, 1), (std::vector<int>{73, 255, 19}));
    EXPECT_EQ(Rgb(out, 2), (std::vector<int>{202, 0, 255}));
}

// The conversion as the tables define it: each sum divided by 16384 toward
// zero and looked up in the clamp table.
std::vector<int> TableRgb(int y, int u, int v) {
    const YuvToRgbTables& t = GetYuvToRgbTables();
    const uint8_t* clamp = t.clamp + kYuvClampBias;
    const int32_t l = t.luma[y];
    return {clamp[(l + t.vToRed[v]) / 16384], clamp[(l + t.uToGreen[u] + t.vToGreen[v]) / 16384],
            clamp[(l + t.uToBlue[u]) / 16384]};
}

// Every sample combination, in pictures whose widths leave tails after
// the eight-pixel steps, equals the table definition.
TEST_F(YuvToRgbTest, The420KernelEqualsTheTablesForEverySample) {
    // A 512x512 picture holds every (U, V) pair once; 64 passes give each
    // pair's block every Y value.
    Picture p(512, 512, 256, 256);
    for (int cy = 0; cy < 256; ++cy)
        for (int cx = 0; cx < 256; ++cx) {
            p.u[size_t(cy) * 256 + cx] = uint8_t(cx);
            p.v[size_t(cy) * 256 + cx] = uint8_t(cy);
        }
    const YuvToRgbTables& t = GetYuvToRgbTables();
    std::vector<uint8_t> want(size_t(512) * 512 * 4);
    for (int pass = 0; pass < 64; ++pass) {
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) {
                const uint8_t luma = uint8_t(4 * pass + (x & 1) + 2 * (y & 1) + (x / 2) * 7 + (y / 2) * 13);
                p.y[size_t(y) * 512 + x] = luma;
                uint8_t* w = &want[(size_t(y) * 512 + x) * 4];
                const int32_t l = t.luma[luma];
                const uint8_t* clamp = t.clamp + kYuvClampBias;
                w[0] = clamp[(l + t.uToBlue[x / 2]) / 16384];
                w[1] = clamp[(l + t.uToGreen[x / 2] + t.vToGreen[y / 2]) / 16384];
                w[2] = clamp[(l + t.vToRed[y / 2]) / 16384];
                w[3] = 255;
            }
        }
        const std::vector<uint8_t> out = p.Convert();
        if (out == want) continue;
        const size_t at = size_t(std::mismatch(out.begin(), out.end(), want.begin()).first - out.begin()) / 4;
        FAIL() << "pixel " << at % 512 << "," << at / 512 << " of pass " << pass;
    }
    // Tails: widths and heights around the eight-pixel step, some cropped
    // by the destination.
    for (int w : {2, 6, 8, 10, 22}) {
        for (int h : {2, 4, 6}) {
            Picture q(w, h, w / 2, h / 2);
            for (size_t i = 0; i < q.y.size(); ++i) q.y[i] = uint8_t(i * 37 + 11);
            for (size_t i = 0; i < q.u.size(); ++i) q.u[i] = uint8_t(i * 53 + 5);
            for (size_t i = 0; i < q.v.size(); ++i) q.v[i] = uint8_t(i * 91 + 200);
            for (int cw : {w, w - 1}) {
                for (int ch : {h, h - 1}) {
                    std::vector<uint8_t> out(size_t(cw) * ch * 4 + 4, 0xEE);
                    ConvertYuv420ToXrgb(q.planes(), out.data(), cw * 4, cw, ch);
                    EXPECT_EQ(out.back(), 0xEE) << "written past the destination";
                    for (int y = 0; y < ch; ++y)
                        for (int x = 0; x < cw; ++x)
                            ASSERT_EQ(Rgb(out, y * cw + x), TableRgb(q.y[size_t(y) * w + x], q.u[size_t(y / 2) * (w / 2) + x / 2],
                                                                     q.v[size_t(y / 2) * (w / 2) + x / 2]))
                                << w << "x" << h << " into " << cw << "x" << ch << " at " << x << "," << y;
                }
            }
        }
    }
}

// Every 2x2 block of a 4:2:0 picture shares one chroma sample; the other
// layouts take the chroma sample of their own subsampling, each direction
// on its own.
TEST_F(YuvToRgbTest, ChromaFollowsTheSubsamplingOfEachLayout) {
    struct Case {
        int chromaWidth, chromaHeight;
        int markX, markY;               // the chroma sample made red
        std::vector<int> redPixels;     // in the 4x4 picture, row by row
    };
    const Case cases[] = {
        {2, 2, 1, 1, {10, 11, 14, 15}},  // 4:2:0
        {2, 4, 1, 1, {6, 7}},            // 4:2:2: half width, full height
        {4, 4, 3, 1, {7}},               // 4:4:4
    };
    for (const Case& c : cases) {
        Picture p(4, 4, c.chromaWidth, c.chromaHeight, 81);
        p.v[size_t(c.markY) * c.chromaWidth + c.markX] = 240;
        const std::vector<uint8_t> out = p.Convert();
        for (int i = 0; i < 16; ++i) {
            const bool red = std::find(c.redPixels.begin(), c.redPixels.end(), i) != c.redPixels.end();
            const std::vector<int> rgb = Rgb(out, i);
            EXPECT_EQ(rgb[0] > 200 && rgb[1] < 40, red) << c.chromaWidth << "x" << c.chromaHeight << " pixel " << i;
        }
    }
    // The float path on neutral chroma: (Y - 16) x 1.164, truncated.
    Picture grey(2, 2, 2, 2, 100);
    EXPECT_EQ(Rgb(grey.Convert(), 0), (std::vector<int>{97, 97, 97}));
    // A destination smaller than the picture is filled within its bounds.
    Picture big(6, 6, 3, 3, 120);
    std::vector<uint8_t> small(4 * 3 * 3 + 4, 0xEE);
    ConvertYuv420ToXrgb(big.planes(), small.data(), 12, 3, 3);
    EXPECT_EQ(small.back(), 0xEE);
    EXPECT_EQ(small[4 * 8 + 3], 255);
}

// The three surface layouts of a 4x4 picture whose samples all differ.
TEST_F(YuvToRgbTest, SurfaceLayouts) {
    Picture p(4, 4, 2, 2);
    for (size_t i = 0; i < p.y.size(); ++i) p.y[i] = uint8_t(i);
    for (size_t i = 0; i < p.u.size(); ++i) p.u[i] = uint8_t(100 + i);
    for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = uint8_t(200 + i);

    const int pitch = 8;
    std::vector<uint8_t> yv12(size_t(pitch) * 4 * 3 / 2, 0xEE);
    ASSERT_TRUE(CopyYuv420ToSurface(p.planes(), kFourCcYv12, yv12.data(), pitch, 4, 4));
    const std::vector<uint8_t> wantYv12 = {
        0,   1,   2,   3,   0xEE, 0xEE, 0xEE, 0xEE, 4,   5,   6,   7,   0xEE, 0xEE, 0xEE, 0xEE,
        8,   9,   10,  11,  0xEE, 0xEE, 0xEE, 0xEE, 12,  13,  14,  15,  0xEE, 0xEE, 0xEE, 0xEE,
        200, 201, 0xEE, 0xEE, 202, 203, 0xEE, 0xEE,   // V rows at half the pitch
        100, 101, 0xEE, 0xEE, 102, 103, 0xEE, 0xEE};  // then U rows
    EXPECT_EQ(yv12, wantYv12);

    std::vector<uint8_t> yuy2(size_t(pitch) * 4);
    ASSERT_TRUE(CopyYuv420ToSurface(p.planes(), kFourCcYuy2, yuy2.data(), pitch, 4, 4));
    const std::vector<uint8_t> wantYuy2 = {0,  100, 1,  200, 2,  101, 3,  201, 4,  100, 5,  200, 6,  101, 7,  201,
                                           8,  102, 9,  202, 10, 103, 11, 203, 12, 102, 13, 202, 14, 103, 15, 203};
    EXPECT_EQ(yuy2, wantYuy2);

    std::vector<uint8_t> uyvy(size_t(pitch) * 4);
    ASSERT_TRUE(CopyYuv420ToSurface(p.planes(), kFourCcUyvy, uyvy.data(), pitch, 4, 4));
    for (size_t i = 0; i < uyvy.size(); i += 2)
        EXPECT_EQ(std::make_pair(uyvy[i], uyvy[i + 1]), std::make_pair(wantYuy2[i + 1], wantYuy2[i])) << i;

    Picture notHalved(4, 4, 2, 4);
    EXPECT_FALSE(CopyYuv420ToSurface(notHalved.planes(), kFourCcYv12, yv12.data(), pitch, 4, 4));
    EXPECT_FALSE(CopyYuv420ToSurface(p.planes(), MakeFourCc('N', 'V', '1', '2'), yv12.data(), pitch, 4, 4));
}

// Engine start-up builds the tables (each test runs in a process of its
// own under ctest, so nothing else has built them here).
TEST(MovieColourTablesTest, EngineStartUpBuildsThem) {
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    platform::UseVirtualClock(true);
    SetLogOutput(0);
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(GetYuvToRgbTables().luma[235], 4176330);
    EXPECT_EQ(GetYuvToRgbTables().clamp[kYuvClampBias + 300], 255);
    ShutdownEngine();
    platform::UseVirtualClock(false);
    SetWindowBackend("sdl2");
}

}  // namespace
