// The 32-bit triangle loops, textured and flat, one per configuration.
#include "softblit/triangle_flat.h"
#include "softblit/triangle_spans.h"

namespace morpotta {

constexpr std::array<TriangleLoop, kTexturedTriangleLoopsPerKind> kTexturedTriangleLoops32 =
    softblit::MakeTexturedTriangleLoops<1>(std::make_integer_sequence<int, kTexturedTriangleLoopsPerKind>{});
constexpr std::array<TriangleLoop, kFlatTriangleLoopsPerKind> kFlatTriangleLoops32 =
    softblit::MakeFlatTriangleLoops<1>(std::make_integer_sequence<int, kFlatTriangleLoopsPerKind>{});

}  // namespace morpotta
