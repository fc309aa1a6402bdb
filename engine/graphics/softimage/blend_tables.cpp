// The software renderer's lookup tables: products by a/255, signed products
// by p/255, the 6-bit mix and the blend-image level table. Built with real
// division once, so that no kernel divides.
#include "graphics/softimage/drawstate.h"
#include "platform/lasting_state.h"

#include <algorithm>

namespace morpotta {

uint32_t BlendProductTable[256][256];
int32_t BlendSignedProductTable[256][512];
uint8_t BlendMix6Table[64][64][64];
uint8_t BlendLevelTable[256];

namespace {
struct BlendTableModule {
    bool tablesBuilt = false;
};

BlendTableModule& State() {
    return platform::LastingState<BlendTableModule>();
}
}

int BuildBlendTables() {
    for (int a = 0; a < 256; ++a) {
        for (int k = 0; k < 256; ++k) BlendProductTable[a][k] = static_cast<uint32_t>(a * k / 255);
    }
    for (int p = 0; p < 256; ++p) {
        for (int k = -255; k <= 255; ++k) BlendSignedProductTable[p][255 + k] = k * p / 255;  // C++ truncates
        BlendSignedProductTable[p][511] = 0;
    }
    for (int k = 0; k < 64; ++k) {
        for (int m = 0; m < 64; ++m) {
            for (int n = 0; n < 64; ++n) BlendMix6Table[k][m][n] = static_cast<uint8_t>((k * m + (63 - k) * n) / 63);
        }
    }
    State().tablesBuilt = true;
    return 0;
}

int AreBlendTablesBuilt() { return State().tablesBuilt ? 1 : 0; }

int BuildBlendLevelTable(int threshold, int edgeWidth) {
    threshold = std::clamp(threshold, 0, 255);
    edgeWidth = std::clamp(edgeWidth, 0, 255);
    const int d = edgeWidth + 1;
    const int off = 256 - ((65536 / d + 256) * threshold) / 256;
    for (int i = 0; i < 256; ++i) BlendLevelTable[i] = static_cast<uint8_t>(std::clamp(256 * i / d + off, 0, 255));
    return 0;
}

}  // namespace morpotta
