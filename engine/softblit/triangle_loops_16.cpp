// The 16-bit triangle loops, textured and flat, one per configuration.
#include "softblit/triangle_flat.h"
#include "softblit/triangle_spans.h"

namespace morpotta {

constexpr std::array<TriangleLoop, kTexturedTriangleLoopsPerKind> kTexturedTriangleLoops16 =
    softblit::MakeTexturedTriangleLoops<0>(std::make_integer_sequence<int, kTexturedTriangleLoopsPerKind>{});
constexpr std::array<TriangleLoop, kFlatTriangleLoopsPerKind> kFlatTriangleLoops16 =
    softblit::MakeFlatTriangleLoops<0>(std::make_integer_sequence<int, kFlatTriangleLoopsPerKind>{});

}  // namespace morpotta
