// What the rotated blit refuses, and what it does not share between calls:
// tall sources and blend images draw whole, palettes are read from the
// source itself, and two blits may run at once.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "softblit_reference_rotate.h"
#include "softblit_test_util.h"

using softtest::Image;

namespace {

struct Scene {
    Image target{64, 48, 0, 0, 0};
    Image start{64, 48, 0, 0, 0};
    std::mt19937 rng{99};
    Scene() {
        softtest::FillBytes(start, rng);
        softtest::CopyPixels(start, target);
        BuildBlendTables();
        SetSoftwareDrawTarget(&target.m);
        ResetSoftwareDrawState();
        BuildBlendLevelTable(100, 255);
    }
    ~Scene() { SetSoftwareDrawTarget(nullptr); }
    bool Unchanged() const { return softtest::FirstDifference(target, start) == -1; }
};

softref::State ModelState(const MEMIMG* target) {
    softref::State st;
    st.area[2] = target->width;
    st.area[3] = target->height;
    std::memcpy(st.level, BlendLevelTable, 256);
    return st;
}

TEST(RotateRefusals, BadScalesAnglesAndCentresDrawNothing) {
    Scene s;
    Image source(8, 8, 0, 0, 0);
    softtest::FillBytes(source, s.rng);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float scale : {0.0f, -1.0f, -0.0f, nan, inf, -inf, 1e-30f, 1e-6f}) {
        RotateBlitMemImg(&s.target.m, &source.m, 32, 24, 0.3f, scale, 0, 0, nullptr);
        RotateBlitMemImg(&s.target.m, &source.m, 32, 24, 0.3f, scale, 0, 1, nullptr);
        EXPECT_TRUE(s.Unchanged()) << scale;
    }
    for (float angle : {nan, inf, -inf}) {
        RotateBlitMemImg(&s.target.m, &source.m, 32, 24, angle, 1.0f, 0, 0, nullptr);
        EXPECT_TRUE(s.Unchanged()) << angle;
    }
    // Centres whose fixed-point positions leave the int range.
    for (int c : {8192, -8193, 100000, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        RotateBlitMemImg(&s.target.m, &source.m, c, 24, 0.0f, 1.0f, 0, 0, nullptr);
        RotateBlitMemImg(&s.target.m, &source.m, 32, c, 0.0f, 1.0f, 0, 0, nullptr);
        EXPECT_TRUE(s.Unchanged()) << c;
    }
    // A huge scale puts the corners out of range.
    RotateBlitMemImg(&s.target.m, &source.m, 32, 24, 0.0f, 1e6f, 0, 0, nullptr);
    EXPECT_TRUE(s.Unchanged());
    // Still drawn: the nearest in-range centre and a small but sane scale.
    RotateBlitMemImg(&s.target.m, &source.m, 32, 24, 0.0f, 0.01f, 0, 0, nullptr);
    EXPECT_FALSE(s.Unchanged());
}

TEST(RotateRefusals, InvalidImagesAndSmallBlendImages) {
    Scene s;
    Image source(8, 8, 0, 0, 0), small(8, 7, MEMIMG_KIND_8BIT, 0, 0), wrongKind(8, 8, 1, 0, 0);
    softtest::FillBytes(source, s.rng);
    RotateBlitMemImg(&s.target.m, &source.m, 32, 24, 0.5f, 1.0f, 0, 0, &small.m);
    RotateBlitMemImg(&s.target.m, &wrongKind.m, 32, 24, 0.5f, 1.0f, 0, 0, nullptr);
    RotateBlitMemImg(&s.target.m, nullptr, 32, 24, 0.5f, 1.0f, 0, 0, nullptr);
    RotateBlitMemImg(nullptr, &source.m, 32, 24, 0.5f, 1.0f, 0, 0, nullptr);
    MEMIMG stale = source.m;
    stale.magic = 0;
    RotateBlitMemImg(&s.target.m, &stale, 32, 24, 0.5f, 1.0f, 0, 0, nullptr);
    EXPECT_TRUE(s.Unchanged());
    Image alphaTarget(64, 48, 0, 0, 1);
    RotateBlitMemImg(&alphaTarget.m, &source.m, 32, 24, 0.5f, 1.0f, 0, 0, nullptr);
    EXPECT_TRUE(std::all_of(alphaTarget.m.base->pixelMemory, alphaTarget.m.base->pixelMemory + alphaTarget.Bytes(),
                            [](uint8_t b) { return b == 0; }));
}

// A source and a blend image of 5,000 rows (beyond any fixed row table)
// draw exactly as the model says, with nothing read or written out of
// bounds; sides beyond the fixed-point range are refused.
TEST(RotateRefusals, TallSourcesDrawWhole) {
    Scene s;
    Image tall(3, 5000, 0, 0, 0), tallBlend(3, 5000, MEMIMG_KIND_8BIT, 0, 0);
    softtest::FillBytes(tall, s.rng);
    softtest::FillBytes(tallBlend, s.rng);
    Image model(64, 48, 0, 0, 0);
    softtest::CopyPixels(s.start, model);
    SetBlendModeParam(BlendAlpha, 100);
    softref::State st = ModelState(&s.target.m);
    st.mode = BlendAlpha;
    st.param = 100;
    // Lying almost flat, scaled down, so that rows from the whole height show.
    RotateBlitMemImg(&s.target.m, &tall.m, 32, 24, 1.56f, 0.01f, 0, 0, &tallBlend.m);
    softref::RotateBlit(&model.m, &tall.m, 32, 24, 1.56f, 0.01f, 0, &tallBlend.m, st);
    EXPECT_FALSE(s.Unchanged());
    EXPECT_EQ(softtest::FirstDifference(s.target, model), -1);

    Image tooTall(2, 8193, 0, 0, 0);
    softtest::FillBytes(tooTall, s.rng);
    softtest::CopyPixels(s.start, s.target);
    RotateBlitMemImg(&s.target.m, &tooTall.m, 32, 24, 0.0f, 0.001f, 0, 0, nullptr);
    EXPECT_TRUE(s.Unchanged());
}

// The plain copy reads the source's own palette: an index at or above the
// palette count shows the colour stored there, whatever another image's
// palette held in an earlier call.
TEST(RotateRefusals, PaletteComesFromTheSourceItself) {
    for (int kind : {0, 1}) {
        Image target(4, 4, kind, 0, 0);
        Image first(1, 1, kind, 1, 0), second(1, 1, kind, 1, 0);
        for (int i = 0; i < 256; ++i) {
            first.m.base->palette32[i] = 0x111111u * (i % 15);
            first.m.base->palette16[i] = static_cast<uint16_t>(0x1111 * (i % 15));
        }
        first.m.pixels[0] = 7;
        second.m.pixels[0] = 7;
        second.m.base->paletteCount = 2;
        second.m.base->palette32[7] = 0x00ABCDEF;
        second.m.base->palette16[7] = 0xBEEF;
        BuildBlendTables();
        SetSoftwareDrawTarget(&target.m);
        ResetSoftwareDrawState();
        RotateBlitMemImg(&target.m, &first.m, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
        RotateBlitMemImg(&target.m, &second.m, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
        uint32_t out = 0;
        std::memcpy(&out, target.m.pixels + target.m.base->pitch + (kind ? 4 : 2), kind ? 4 : 2);
        EXPECT_EQ(out, kind ? 0x00ABCDEFu : 0xBEEFu) << kind;
        // A palette changed between calls is seen by the next call.
        second.m.base->palette32[7] = 0x00123456;
        second.m.base->palette16[7] = 0x1234;
        RotateBlitMemImg(&target.m, &second.m, 1, 1, 0.0f, 1.0f, 0, 0, nullptr);
        std::memcpy(&out, target.m.pixels + target.m.base->pitch + (kind ? 4 : 2), kind ? 4 : 2);
        EXPECT_EQ(out, kind ? 0x00123456u : 0x1234u) << kind;
        SetSoftwareDrawTarget(nullptr);
    }
}

// Nothing is shared between calls, so blits on different targets may run
// on several threads at once and give what they give one after another.
TEST(RotateRefusals, BlitsOnSeveralThreadsMatchSequentialOnes) {
    BuildBlendTables();
    SetSoftwareDrawTarget(nullptr);
    ResetSoftwareDrawState();
    SetBlendModeParam(BlendAlpha, 180);
    DrawArea[0] = DrawArea[1] = 0;
    DrawArea[2] = 64, DrawArea[3] = 48;
    std::mt19937 rng(5);
    constexpr int kThreads = 4;
    Image sources[kThreads] = {{20, 900, 1, 1, 0}, {30, 30, 1, 0, 0}, {600, 12, 1, 1, 0}, {17, 23, 1, 0, 1}};
    Image together[kThreads] = {{64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}};
    Image alone[kThreads] = {{64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}, {64, 48, 1, 0, 0}};
    for (auto& s : sources) softtest::FillSource(s, rng);
    auto draw = [&](Image& target, int n) {
        for (int k = 0; k < 40; ++k)
            RotateBlitMemImg(&target.m, &sources[n].m, 32 + k % 7, 24 - k % 5, 0.1f * static_cast<float>(k + n),
                             0.05f + 0.02f * static_cast<float>(k), k & 1, 0, nullptr);
    };
    for (int n = 0; n < kThreads; ++n) draw(alone[n], n);
    std::thread threads[kThreads];
    for (int n = 0; n < kThreads; ++n) threads[n] = std::thread(draw, std::ref(together[n]), n);
    for (auto& t : threads) t.join();
    for (int n = 0; n < kThreads; ++n) EXPECT_EQ(softtest::FirstDifference(together[n], alone[n]), -1) << n;
}

}  // namespace

namespace {

// Random extremes of scale, angle, centre and size: the engine draws what
// the model draws and refuses what it refuses, with nothing out of bounds,
// under every kernel form.
class RotateExtremes : public ::testing::TestWithParam<KernelPath> {};

TEST_P(RotateExtremes, RandomOnesMatchTheModel) {
    softtest::ActivePath active(GetParam());
    if (!active.ok()) GTEST_SKIP() << "no " << KernelPathName(GetParam()) << " on this processor";
    std::mt19937 rng(2024);
    BuildBlendTables();
    SetSoftwareDrawTarget(nullptr);
    ResetSoftwareDrawState();
    SetBlendModeParam(BlendAdd, 200);
    Image start(64, 48, 1, 0, 0), engine(64, 48, 1, 0, 0), model(64, 48, 1, 0, 0);
    softtest::FillBytes(start, rng);
    std::uniform_real_distribution<float> logScale(-3.0f, 3.0f), angle(-100.0f, 100.0f);
    std::uniform_int_distribution<int> centre(-9000, 9000), near(-40, 100), side(1, 40);
    long drawn = 0;
    for (int n = 0; n < 1500; ++n) {
        Image source(side(rng), side(rng), 1, 0, n % 3 == 0, 0x00112233);
        softtest::FillSource(source, rng);
        softref::State st;
        st.mode = BlendAdd;
        st.param = 200;
        st.area[0] = 0, st.area[1] = 0, st.area[2] = 64, st.area[3] = 48;
        softtest::ApplyState(st);
        const float scale = std::pow(10.0f, logScale(rng));
        const float a = angle(rng);
        const int x = n % 4 == 0 ? centre(rng) : near(rng), y = n % 4 == 1 ? centre(rng) : near(rng);
        softtest::CopyPixels(start, engine);
        softtest::CopyPixels(start, model);
        RotateBlitMemImg(&engine.m, &source.m, x, y, a, scale, n & 1, 0, nullptr);
        softref::RotateBlit(&model.m, &source.m, x, y, a, scale, n & 1, nullptr, st);
        if (softtest::FirstDifference(engine, start) >= 0) ++drawn;
        ASSERT_EQ(softtest::FirstDifference(engine, model), -1)
            << "scale " << scale << " angle " << a << " centre " << x << "," << y;
    }
    EXPECT_GT(drawn, 300);
}

INSTANTIATE_TEST_SUITE_P(AllForms, RotateExtremes, ::testing::ValuesIn(softtest::kKernelPaths),
                         [](const ::testing::TestParamInfo<KernelPath>& info) { return softtest::PathLabel(info.param); });

}  // namespace
