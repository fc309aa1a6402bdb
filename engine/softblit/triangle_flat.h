// The triangle's flat-colour loops, one per pixel kind and blend mode: the
// colour is tinted once per call by the frame, and every covered pixel goes
// through the shared blend rule of the mode with no tint, graph or alpha.
#pragma once
#include <cstdint>
#include <utility>

#include "softblit/blit_loops.h"
#include "softblit/triangle_setup.h"

namespace morpotta::softblit {

template <int Kind, int Mode>
constexpr KernelConfig kFlatRuleConfig{Kind, SourcePlain, Mode, false, false, false, false, true};

template <int Kind, int Mode>
void FlatTriangleLoop(const TriangleSetup& t) {
    constexpr int tb = Kind == 1 ? 4 : 2;
    WalkTriangleRows(t, [&](int y, int x, int count) {
        uint8_t* dst = t.target + y * t.targetPitch + static_cast<ptrdiff_t>(x) * tb;
        for (; count > 0; --count, dst += tb) DrawRule<kFlatRuleConfig<Kind, Mode>, false>(t.rules, t.colour, 0, 0, dst);
    });
}

template <int Kind, int Mode>
void CountedFlatLoop(const TriangleSetup& t) {
    ++TriangleLoopRuns[FlatTriangleRunSlot(Kind, Mode)];
    FlatTriangleLoop<Kind, Mode>(t);
}

template <int Kind, int... M>
constexpr std::array<TriangleLoop, sizeof...(M)> MakeFlatTriangleLoops(std::integer_sequence<int, M...>) {
    return {&CountedFlatLoop<Kind, M>...};
}

}  // namespace morpotta::softblit
