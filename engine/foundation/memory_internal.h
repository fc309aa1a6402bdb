// A seam of the tracked memory for tests.
#pragma once
#include <cstddef>

namespace morpotta {

// Blocks larger than largestBlock are not had from then on, refused as
// when the host's memory runs out; 0 puts the engine's own limit back.
void SetMemoryShortForTesting(size_t largestBlock);

}  // namespace morpotta
