// The rotated blit's direct path over every pixel kind, source class, blend
// mode, blend image, tint, keying and parameter, at several angles and
// scales, compared byte for byte (the whole target) with the reference
// model, under every kernel form.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "softblit_reference_rotate.h"
#include "softblit_test_util.h"

using softtest::Image;

namespace {

struct Turn {
    const char* name;
    float angle, scale;
};
const Turn kTurns[] = {{"Upright", 0.0f, 1.0f},       {"Thirty", 0.5235988f, 1.0f},  {"Quarter", 1.5707964f, 1.0f},
                       {"Back", -2.2f, 1.0f},         {"Half", 0.3f, 0.5f},         {"Double", -0.7f, 2.0f},
                       {"Odd", 3.0f, 1.37f},          {"Large", 0.2f, 3.3f}};

using Param = std::tuple<int /*kind*/, int /*class*/, int /*turn*/, KernelPath>;
class RotateAgainstModel : public ::testing::TestWithParam<Param> {};

TEST_P(RotateAgainstModel, EveryByteMatches) {
    const auto [kind, sourceClass, turnIndex, path] = GetParam();
    softtest::ActivePath active(path);
    if (!active.ok()) GTEST_SKIP() << "no " << KernelPathName(path) << " on this processor";
    const Turn& turn = kTurns[turnIndex];
    const int modes[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, 12, -1};
    const int params[] = {0, 1, 128, 200, 254, 255};
    const int tints[][3] = {{255, 255, 255}, {200, 100, 254}};
    const int w = 9, h = 6;
    const uint32_t transColor = sourceClass == 0 ? 3 : kind == 0 ? 0x1234 : 0x00A0B0C0;

    std::mt19937 rng(5000 + kind * 100 + sourceClass * 10 + turnIndex);
    // A view inside a larger image, so that first pixel and pitch differ.
    Image parent(w + 3, h + 2, kind, sourceClass == 0, sourceClass == 2, transColor);
    MEMIMG view{};
    ASSERT_EQ(CreateMemImgView(&view, &parent.m, 2, 1, w, h), 0);
    struct ViewHolder {
        MEMIMG* view;
        ~ViewHolder() { ReleaseMemImg(view); }
    } holder{&view};
    Image blend(w + 1, h + 2, MEMIMG_KIND_8BIT, 0, 0);
    Image start(40, 30, kind, 0, 0), engine(40, 30, kind, 0, 0), model(40, 30, kind, 0, 0);
    softtest::FillSource(parent, rng);
    softtest::FillBytes(blend, rng);
    softtest::FillBytes(start, rng);

    long draws = 0, changed = 0;
    for (int mode : modes) {
        for (int withBlend = 0; withBlend < 2; ++withBlend) {
            for (const auto& tint : tints) {
                for (int trans = 0; trans < 2; ++trans) {
                    for (int p : params) {
                        softref::State st;
                        st.mode = mode;
                        st.param = p;
                        st.tintRed = tint[0], st.tintGreen = tint[1], st.tintBlue = tint[2];
                        std::uniform_int_distribution<int> low(-4, 12), high(26, 44), pos(-3, 42), level(0, 255);
                        st.area[0] = low(rng), st.area[1] = low(rng), st.area[2] = high(rng), st.area[3] = high(rng) - 10;
                        if (rng() % 3 == 0) st.area[0] = st.area[1] = 0, st.area[2] = 40, st.area[3] = 30;
                        softref::BuildLevel(st, 96 + level(rng) / 4, rng() % 4 ? 255 : level(rng));
                        softtest::ApplyState(st);
                        softtest::CopyPixels(start, engine);
                        softtest::CopyPixels(start, model);
                        const MEMIMG* blendImage = withBlend ? &blend.m : nullptr;
                        const int x = pos(rng), y = pos(rng) * 3 / 4;
                        RotateBlitMemImg(&engine.m, &view, x, y, turn.angle, turn.scale, trans, 0, blendImage);
                        softref::RotateBlit(&model.m, &view, x, y, turn.angle, turn.scale, trans, blendImage, st);
                        ++draws;
                        if (softtest::FirstDifference(engine, start) >= 0) ++changed;
                        const long at = softtest::FirstDifference(engine, model);
                        if (at >= 0) {
                            const int pitch = engine.m.base->pitch;
                            ADD_FAILURE() << "mode " << mode << " p " << p << " blend " << withBlend << " tint "
                                          << tint[0] << " trans " << trans << " at " << x << "," << y << ": byte "
                                          << at << " (x " << (at % pitch) / (kind ? 4 : 2) << ", y " << at / pitch
                                          << ") engine " << int(engine.m.base->pixelMemory[at]) << " model "
                                          << int(model.m.base->pixelMemory[at]);
                            return;
                        }
                    }
                }
            }
        }
    }
    // Modes 5, 9, 12 and -1 draw nothing, p = 0 mostly nothing, and some
    // centres put the image outside the draw area.
    EXPECT_GT(changed * 4, draws) << changed << " of " << draws;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RotateAgainstModel,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(0, 1, 2),
                                            ::testing::Range(0, static_cast<int>(std::size(kTurns))),
                                            ::testing::ValuesIn(softtest::kKernelPaths)),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             return std::string(std::get<0>(info.param) ? "Bits32" : "Bits16") +
                                    softtest::kClassNames[std::get<1>(info.param)] + kTurns[std::get<2>(info.param)].name +
                                    softtest::PathLabel(std::get<3>(info.param));
                         });

}  // namespace
