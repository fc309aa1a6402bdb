// Triangle fills and quadrilateral blits over every pixel kind, source
// class, blend mode, blend graph, tint, keying and parameter, compared byte
// for byte (the whole target) with the reference model under every kernel
// form; and a check that every specialised loop has run.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "softblit/triangle_setup.h"
#include "softblit_reference_triangle.h"
#include "softblit_test_util.h"

using namespace morpotta;

using softtest::Image;

namespace {

enum Shape { RandomTriangle, Permuted, Quad, Flat };
const char* const kShapeNames[] = {"Triangle", "Permuted", "Quad", "Flat"};

using Param = std::tuple<int /*kind*/, int /*class*/, int /*shape*/, KernelPath>;

class TriangleAgainstModel : public ::testing::TestWithParam<Param> {};

// Vertices that are mostly on the target, sometimes far off it, sometimes
// collinear or with shared rows, with texel coordinates running a little
// past the source on every side.
void RandomVertices(std::mt19937& rng, int w, int h, int vt[12]) {
    std::uniform_int_distribution<int> px(-12, 52), py(-10, 40), tu(-3, w + 3), tv(-3, h + 3);
    for (int i = 0; i < 3; ++i) {
        vt[4 * i] = px(rng);
        vt[4 * i + 1] = py(rng);
        vt[4 * i + 2] = tu(rng);
        vt[4 * i + 3] = tv(rng);
    }
    switch (rng() % 8) {
    case 0: vt[5] = vt[1]; break;                     // flat top or bottom
    case 1: vt[9] = vt[5]; break;
    case 2: vt[4] = vt[0], vt[8] = vt[0]; break;       // vertical: collinear
    case 3: vt[4] = vt[0] + 3, vt[5] = vt[1] + 2, vt[8] = vt[0] + 9, vt[9] = vt[1] + 6; break;  // collinear
    case 4: vt[1] = -3 - static_cast<int>(rng() % 4); break;  // top above row 0
    default: break;
    }
}

TEST_P(TriangleAgainstModel, EveryByteMatches) {
    const auto [kind, sourceClass, shape, path] = GetParam();
    softtest::ActivePath active(path);
    if (!active.ok()) GTEST_SKIP() << "no " << KernelPathName(path) << " on this processor";
    const int modes[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, 12, -1};
    const int params[] = {0, 1, 100, 128, 254, 255};
    const int tints[][3] = {{255, 255, 255}, {200, 100, 254}, {255, 255, 254}};
    const int w = 9, h = 7;
    const uint32_t transColor = sourceClass == 0 ? 3 : kind == 0 ? 0x1234 : 0x00A0B0C0;

    std::mt19937 rng(2000 + kind * 100 + sourceClass * 10 + shape);
    // The source is a view inside a larger image, so that its first pixel
    // and its row pitch differ from a plain image's.
    Image parent(w + 3, h + 2, kind, sourceClass == 0, sourceClass == 2, transColor);
    MEMIMG sourceView{};
    ASSERT_EQ(CreateMemImgView(&sourceView, &parent.m, 2, 1, w, h), 0);
    struct ViewHolder {
        MEMIMG* view;
        ~ViewHolder() { ReleaseMemImg(view); }
    } holder{&sourceView};
    Image graph(w + 1, h + 2, MEMIMG_KIND_8BIT, 0, 0);
    Image start(40, 30, kind, 0, 0), engine(40, 30, kind, 0, 0), model(40, 30, kind, 0, 0);
    softtest::FillSource(parent, rng);
    softtest::FillBytes(graph, rng);
    softtest::FillBytes(start, rng);
    const MEMIMG* source = shape == Flat ? nullptr : &sourceView;

    long draws = 0, changed = 0;
    for (int mode : modes) {
        for (int withGraph = 0; withGraph < 2; ++withGraph) {
            for (const auto& tint : tints) {
                for (int trans = 0; trans < 2; ++trans) {
                    for (int p : params) {
                        softref::State st;
                        st.mode = mode;
                        st.param = p;
                        st.tintRed = tint[0], st.tintGreen = tint[1], st.tintBlue = tint[2];
                        std::uniform_int_distribution<int> low(-4, 12), high(26, 44), level(0, 255);
                        st.area[0] = low(rng), st.area[1] = low(rng), st.area[2] = high(rng), st.area[3] = high(rng) - 8;
                        if (rng() % 3 == 0) st.area[0] = st.area[1] = 0, st.area[2] = 40, st.area[3] = 30;
                        softref::BuildLevel(st, 96 + level(rng) / 4, rng() % 4 ? 255 : level(rng));
                        softtest::ApplyState(st);
                        softtest::CopyPixels(start, engine);
                        softtest::CopyPixels(start, model);
                        const MEMIMG* g = withGraph ? &graph.m : nullptr;
                        const uint32_t colour = static_cast<uint32_t>(rng());
                        int vt[12];
                        RandomVertices(rng, w, h, vt);
                        if (shape == Quad) {
                            int corners[8];
                            for (int i = 0; i < 8; ++i) corners[i] = vt[i % 2] + static_cast<int>(rng() % 25) - 4;
                            QuadBlitMemImg(&engine.m, source, corners, trans, g);
                            softref::QuadBlit(&model.m, source, corners, trans, g, st);
                        } else if (shape == Permuted) {
                            // Vertex orders: the reference vertex is the first given of the leftmost.
                            const int order[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
                            const int* o = order[rng() % 6];
                            int pv[12];
                            for (int i = 0; i < 3; ++i) std::copy(vt + 4 * o[i], vt + 4 * o[i] + 4, pv + 4 * i);
                            FillTexturedTriangleMemImg(&engine.m, source, pv, trans, g, colour);
                            softref::FillTriangle(&model.m, source, pv, trans, g, colour, st);
                        } else {
                            FillTexturedTriangleMemImg(&engine.m, source, vt, trans, g, colour);
                            softref::FillTriangle(&model.m, source, vt, trans, g, colour, st);
                        }
                        ++draws;
                        if (softtest::FirstDifference(engine, start) >= 0) ++changed;
                        const long at = softtest::FirstDifference(engine, model);
                        if (at >= 0) {
                            const int pitch = engine.m.base->pitch;
                            ADD_FAILURE() << "mode " << mode << " p " << p << " graph " << withGraph << " tint "
                                          << tint[0] << "," << tint[1] << "," << tint[2] << " trans " << trans
                                          << " vertices " << vt[0] << "," << vt[1] << " " << vt[4] << "," << vt[5]
                                          << " " << vt[8] << "," << vt[9] << ": byte " << at << " (x "
                                          << (at % pitch) / (kind ? 4 : 2) << ", y " << at / pitch << ") engine "
                                          << int(engine.m.base->pixelMemory[at]) << " model "
                                          << int(model.m.base->pixelMemory[at]) << " start "
                                          << int(start.m.base->pixelMemory[at]) << " colour " << std::hex << colour
                                          << std::dec << " area " << st.area[0] << "," << st.area[1] << ","
                                          << st.area[2] << "," << st.area[3];
                            return;
                        }
                    }
                }
            }
        }
    }
    // Many modes draw nothing, and some triangles are collinear or off the area.
    EXPECT_GT(changed * 5, draws) << changed << " of " << draws;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, TriangleAgainstModel,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(0, 1, 2),
                                            ::testing::Values(RandomTriangle, Permuted, Quad, Flat),
                                            ::testing::ValuesIn(softtest::kKernelPaths)),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             const int kind = std::get<0>(info.param);
                             return std::string(kind ? "Bits32" : "Bits16") + softtest::kClassNames[std::get<1>(info.param)] +
                                    kShapeNames[std::get<2>(info.param)] + softtest::PathLabel(std::get<3>(info.param));
                         });

// Every textured and flat loop, drawn once, has run; run counts move by
// one per call, not per pixel.
TEST(TriangleLoops, EverySpecialisedLoopRuns) {
    const int modes[] = {0, 1, 2, 3, 4, 10, 11};
    uint32_t before[kTriangleLoopCount];
    std::copy(std::begin(TriangleLoopRuns), std::end(TriangleLoopRuns), before);
    const int vt[12] = {0, 0, 0, 0, 6, 0, 4, 0, 0, 6, 0, 4};
    for (int kind : {0, 1}) {
        Image target(8, 8, kind, 0, 0);
        Image graph(4, 4, MEMIMG_KIND_8BIT, 0, 0);
        for (int sourceClass : {0, 1, 2}) {
            Image source(4, 4, kind, sourceClass == 0, sourceClass == 2, 0);
            for (int mode : modes) {
                for (int variant = 0; variant < 8; ++variant) {
                    ResetSoftwareDrawState();
                    DrawArea[0] = DrawArea[1] = 0;
                    DrawArea[2] = DrawArea[3] = 8;
                    SetBlendModeParam(mode, 100);
                    if (variant & 2) SetDrawTint(10, 20, 30);
                    FillTexturedTriangleMemImg(&target.m, &source.m, vt, variant & 1, variant & 4 ? &graph.m : nullptr, 0);
                    if (sourceClass == 0 && variant == 0) FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, 0);
                }
            }
        }
    }
    int missing = 0;
    for (int i = 0; i < kTriangleLoopCount; ++i) {
        if (TriangleLoopRuns[i] == before[i]) ++missing;
        EXPECT_LE(TriangleLoopRuns[i] - before[i], 2u) << "loop " << i;
    }
    EXPECT_EQ(missing, 0);
}

}  // namespace
