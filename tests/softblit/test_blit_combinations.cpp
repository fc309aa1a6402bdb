// Every pixel kind, source class, blend mode, blend image, tint, keying and
// parameter drawn plain and scaled, compared byte for byte (the whole
// target, outside the drawn rectangle included) with the reference model,
// under every kernel form. The wide geometries give rows long enough for
// the vector loops' full steps and every length of row end.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <tuple>

#include "softblit_test_util.h"

using softtest::Image;

namespace {

enum Geometry { Plain, OneToOne, Mirrored, Double, Half, FourToSix, Wide, WideScaled };
const char* const kGeometryNames[] = {"Plain", "OneToOne", "Mirrored", "Double", "Half", "FourToSix", "Wide", "WideScaled"};

using Param = std::tuple<int /*kind*/, int /*class*/, int /*geometry*/, KernelPath>;

class BlitAgainstModel : public ::testing::TestWithParam<Param> {};

struct SourceSize {
    int w, h;
};

SourceSize SizeFor(int geometry) {
    switch (geometry) {
    case FourToSix: return {4, 5};
    case Half: return {14, 10};
    case Wide: return {37, 6};
    case WideScaled: return {23, 5};
    default: return {11, 7};
    }
}

// rect for the geometry with the top-left corner at (x, y).
void RectFor(int geometry, const SourceSize& s, int x, int y, int rect[4]) {
    int w = s.w, h = s.h;
    switch (geometry) {
    case Double: w *= 2, h *= 2; break;
    case Half: w /= 2, h /= 2; break;
    case FourToSix: w = 6, h = 3; break;
    case WideScaled: w = 37, h = 9; break;
    default: break;
    }
    rect[0] = x;
    rect[1] = y;
    rect[2] = x + w;
    rect[3] = y + h;
    if (geometry == Mirrored) std::swap(rect[0], rect[2]);
    if (geometry == FourToSix && (x & 1)) std::swap(rect[1], rect[3]);
}

TEST_P(BlitAgainstModel, EveryByteMatches) {
    const auto [kind, sourceClass, geometry, path] = GetParam();
    softtest::ActivePath active(path);
    if (!active.ok()) GTEST_SKIP() << "no " << KernelPathName(path) << " on this processor";
    const int modes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1};
    const int params[] = {0, 1, 3, 4, 100, 128, 129, 252, 254, 255};
    const int tints[][3] = {{255, 255, 255}, {200, 100, 254}, {255, 255, 254}};
    const SourceSize size = SizeFor(geometry);
    const uint32_t transColor = sourceClass == 0 ? 3 : kind == 0 ? 0x1234 : 0x00A0B0C0;

    std::mt19937 rng(1000 + kind * 100 + sourceClass * 10 + geometry);
    // The source is a view inside a larger image, so that its first pixel
    // and its row pitch differ from a plain image's.
    Image parent(size.w + 3, size.h + 2, kind, sourceClass == 0, sourceClass == 2, transColor);
    MEMIMG sourceView{};
    ASSERT_EQ(CreateMemImgView(&sourceView, &parent.m, 2, 1, size.w, size.h), 0);
    // A blend image larger than the source, and one too small for some draws.
    Image blend(size.w + 1, size.h + 2, MEMIMG_KIND_8BIT, 0, 0);
    Image smallBlend(size.w - 1, size.h - 1, MEMIMG_KIND_8BIT, 0, 0);
    Image start(40, 30, kind, 0, 0), engine(40, 30, kind, 0, 0), model(40, 30, kind, 0, 0);
    softtest::FillSource(parent, rng);
    softtest::FillBytes(blend, rng);
    softtest::FillBytes(smallBlend, rng);
    struct ViewHolder {
        MEMIMG* view;
        ~ViewHolder() { ReleaseMemImg(view); }
    } holder{&sourceView};
    const MEMIMG* source = &sourceView;
    softtest::FillBytes(start, rng);

    long draws = 0, changed = 0;
    for (int mode : modes) {
        for (int withBlend = 0; withBlend < 2; ++withBlend) {
            for (const auto& tint : tints) {
                for (int trans = 0; trans < 3; ++trans) {
                    for (int p : params) {
                        softref::State st;
                        st.mode = mode;
                        st.param = p;
                        st.tintRed = tint[0], st.tintGreen = tint[1], st.tintBlue = tint[2];
                        std::uniform_int_distribution<int> low(-4, 16), high(24, 44), pos(-5, 24), level(0, 255);
                        st.area[0] = low(rng), st.area[1] = low(rng), st.area[2] = high(rng), st.area[3] = high(rng) - 8;
                        if (rng() % 3 == 0) st.area[0] = st.area[1] = 0, st.area[2] = 40, st.area[3] = 30;
                        // Mostly wide edges, so that the levels spread over 0..255.
                        softref::BuildLevel(st, 96 + level(rng) / 4, rng() % 4 ? 255 : level(rng));
                        softtest::ApplyState(st);
                        softtest::CopyPixels(start, engine);
                        softtest::CopyPixels(start, model);
                        const MEMIMG* blendImage = withBlend ? (rng() % 5 ? &blend.m : &smallBlend.m) : nullptr;
                        const int x = pos(rng), y = pos(rng) - 3;
                        if (geometry == Plain || geometry == Wide) {
                            BlitMemImg(&engine.m, source, x, y, trans, blendImage);
                            softref::Blit(&model.m, source, x, y, trans, blendImage, st);
                        } else {
                            int rect[4];
                            RectFor(geometry, size, x, y, rect);
                            StretchBlitMemImg(&engine.m, source, rect, trans, blendImage);
                            softref::StretchBlit(&model.m, source, rect, trans, blendImage, st);
                        }
                        ++draws;
                        if (softtest::FirstDifference(engine, start) >= 0) ++changed;
                        const long at = softtest::FirstDifference(engine, model);
                        if (at >= 0) {
                            const int pitch = engine.m.base->pitch;
                            ADD_FAILURE() << "mode " << mode << " p " << p << " blend " << withBlend << " tint "
                                          << tint[0] << "," << tint[1] << "," << tint[2] << " trans " << trans
                                          << " at " << x << "," << y << " area " << st.area[0] << "," << st.area[1]
                                          << "," << st.area[2] << "," << st.area[3] << ": byte " << at << " (x "
                                          << (at % pitch) / (kind ? 4 : 2) << ", y " << at / pitch << ") engine "
                                          << int(engine.m.base->pixelMemory[at]) << " model "
                                          << int(model.m.base->pixelMemory[at]);
                            return;
                        }
                    }
                }
            }
        }
    }
    // Half the modes draw nothing (5 to 9, 12, -1), p = 0 mostly nothing, and
    // some placements miss the draw area or read past the small blend image.
    EXPECT_GT(changed * 6, draws) << changed << " of " << draws;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BlitAgainstModel,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(0, 1, 2),
                                            ::testing::Values(Plain, OneToOne, Mirrored, Double, Half, FourToSix, Wide,
                                                              WideScaled),
                                            ::testing::ValuesIn(softtest::kKernelPaths)),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             const int kind = std::get<0>(info.param);
                             return std::string(kind ? "Bits32" : "Bits16") + softtest::kClassNames[std::get<1>(info.param)] +
                                    kGeometryNames[std::get<2>(info.param)] + softtest::PathLabel(std::get<3>(info.param));
                         });

}  // namespace
