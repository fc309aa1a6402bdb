// The software renderer's draw state and blend tables: what every software
// kernel (plain, scaled, rotated, polygon) reads per call. The game sets
// blend mode and tint (engine/draw2d.h); the graphics layer sets the rest
// through the setters below.
#pragma once
#include <cstdint>

#include "engine/draw2d.h"  // the blend modes and the setters a game calls

namespace morpotta {

struct MEMIMG;


// [a][k] = floor(a * k / 255).
extern uint32_t BlendProductTable[256][256];
// Row p, entry 255 + k (k = -255..255) = k * p / 255 truncated toward zero;
// rows are 512 entries apart. Use BlendSignedProductRow for the middle.
extern int32_t BlendSignedProductTable[256][512];
// [k][m][n] = floor((k * m + (63 - k) * n) / 63).
extern uint8_t BlendMix6Table[64][64][64];
// Weight 0..255 of a blend-image byte.
extern uint8_t BlendLevelTable[256];

inline uint32_t (&ProductTable)[256][256] = BlendProductTable;
inline int32_t (&SignedProductTable)[256][512] = BlendSignedProductTable;

// Row p of BlendSignedProductTable addressed from its middle (index -255..255).
inline const int32_t* BlendSignedProductRow(int p) { return BlendSignedProductTable[p] + 255; }

// Fills the product, signed product and 6-bit mix tables; 0. Cheap to call
// again; the blits call it themselves when it has not run yet.
int BuildBlendTables();
int AreBlendTablesBuilt();
// d = edgeWidth + 1; off = 256 - ((65536 / d + 256) * threshold) / 256;
// entry i = 256 * i / d + off, clamped to 0..255. Arguments clamped to
// 0..255. 0.
int BuildBlendLevelTable(int threshold, int edgeWidth);

// Draw state, read once per call by the kernels.
extern int BlendMode;      // stored unchanged
extern int BlendParam;     // 0..255
extern uint32_t DrawTint;  // 0x00RRGGBB (memory order blue, green, red); 0xFFFFFF = none
extern int DrawArea[4];    // left, top, right, bottom; right and bottom exclusive
extern MEMIMG* DrawTargetMemImg;      // current software draw target or null
extern const MEMIMG* BlendGraphMemImg;  // current blend image or null

// Makes target the draw target and the draw area its whole size (an empty
// area for null). 0.
int SetSoftwareDrawTarget(MEMIMG* target);
// Sets the draw area, ordered and kept inside the draw target. 0.
int SetSoftwareDrawArea(int left, int top, int right, int bottom);
// Selects the blend image (null: none) and rebuilds BlendLevelTable from the
// clamped threshold and edge width. 0.
int SetDrawBlendMemImg(const MEMIMG* blendImage, int threshold, int edgeWidth);
// Mode BlendCopy, parameter 255, tint white, no blend image, draw area =
// whole draw target. 0.
int ResetSoftwareDrawState();

}  // namespace morpotta
