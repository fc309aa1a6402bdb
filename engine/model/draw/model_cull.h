// Frame culling against the view: outcodes of box corners in screen
// space, and the view the model draw reads them from.
#pragma once
#include <cstdint>

namespace morpotta {

// Outcode bits of a point against the draw area and depth range.
enum ModelOutcode {
    MODEL_OUT_RIGHT = 1,
    MODEL_OUT_LEFT = 2,
    MODEL_OUT_BOTTOM = 4,
    MODEL_OUT_TOP = 8,
    MODEL_OUT_FAR = 16,
    MODEL_OUT_NEAR = 32,
};

// What drawing needs of the camera: view, view x projection x viewport
// (world to screen pixels, row vectors) and the draw area x1, y1, x2, y2.
struct ModelDrawView {
    float view[16];
    float toScreen[16];
    float area[4];
    float eye[3];
};

// The view the model draw culls and lights with: taken from the device's
// view, projection and viewport at each DrawModel, unless a fixed view was
// set (null: back to the device's).
void SetModelDrawView(const ModelDrawView* view);
const ModelDrawView* GetModelDrawView();
void RefreshModelDrawView();
void BuildModelDrawView(const float view[16], const float projection[16], int x, int y, int width, int height,
                        float minZ, float maxZ, ModelDrawView* out);

// Screen position of a world point; x, y, z divided by w and negated for a
// point behind the eye (w < 0). Returns w.
float ProjectToScreen(const float toScreen[16], const float point[3], float out[3]);
int ComputeOutcode(const float screen[3], const float area[4]);
// 1 when all eight corners lie beyond the same side; 0 as soon as a
// corner is inside.
int IsBoxOutsideViewOf(const float corners[8][3], const float toScreen[16], const float area[4]);
int IsBoxOutsideView(const float corners[8][3]);

// Outline width in world units so the outline is at least `minimum` pixels
// wide at the frame origin; `pixels` is the on-screen width of `width`
// there. A minimum below 1e-7 means 1.125 pixels.
float ScaleOutlineWidth(float width, float minimum, float pixels);

}  // namespace morpotta
