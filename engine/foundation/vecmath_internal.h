// The engine's own matrix work that takes a fallback where the public
// functions refuse.
#pragma once
#include "engine/vecmath.h"

namespace morpotta {

// The inverse of in into out (which may be in); false, with nothing
// written and no line, when |determinant| < 1e-7.
bool InvertMatrix(const Matrix44& in, Matrix44* out);

}  // namespace morpotta
