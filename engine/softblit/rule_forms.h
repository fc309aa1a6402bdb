// What the blend rules of both pixel sizes share: the configurations whose
// rule writes the source word whole, without reading the target.
#pragma once
#include "softblit/blit_setup.h"

namespace morpotta {

// Untinted BlendCopy without a blend image writes the source word (32-bit:
// top byte included) unless the alpha is a weight; a keyed or scaled alpha
// source weights by it.
template <KernelConfig C, bool UseA>
constexpr bool kStoresSourceWord =
    C.mode == KernelCopy && !C.tint && !C.blend && (!UseA || (!C.trans && !C.scaled));

}  // namespace morpotta
