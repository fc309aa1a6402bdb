// Box culling by shared outcodes: a box is dropped only when every corner
// is outside the same edge, so a box straddling the view always draws.
#include "model/draw/model_cull.h"

#include <cstring>

#include "graphics/device/device.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

ModelDrawView MakeDefaultView() {
    ModelDrawView v = {};
    for (int i = 0; i < 4; ++i) v.view[i * 5] = v.toScreen[i * 5] = 1.0f;
    v.area[2] = 640.0f;
    v.area[3] = 480.0f;
    return v;
}

struct CullModule {
    ModelDrawView view = MakeDefaultView();
    bool fixed = false;
};

CullModule& CullState() {
    return platform::LastingState<CullModule>();
}

void Multiply44(const float a[16], const float b[16], float out[16]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = sum;
        }
}

}  // namespace

void SetModelDrawView(const ModelDrawView* view) {
    CullState().fixed = view != nullptr;
    CullState().view = view ? *view : MakeDefaultView();
}

const ModelDrawView* GetModelDrawView() { return &CullState().view; }

void BuildModelDrawView(const float view[16], const float projection[16], int x, int y, int width, int height,
                        float minZ, float maxZ, ModelDrawView* out) {
    std::memcpy(out->view, view, sizeof(out->view));
    const float hw = float(width) * 0.5f, hh = float(height) * 0.5f;
    const float viewport[16] = {hw, 0, 0, 0, 0, -hh, 0, 0, 0, 0, maxZ - minZ, 0, float(x) + hw, float(y) + hh, minZ, 1};
    float viewProjection[16];
    Multiply44(view, projection, viewProjection);
    Multiply44(viewProjection, viewport, out->toScreen);
    out->area[0] = float(x);
    out->area[1] = float(y);
    out->area[2] = float(x + width);
    out->area[3] = float(y + height);
    // The eye of a rigid view: minus the translation turned back.
    for (int i = 0; i < 3; ++i)
        out->eye[i] = -(view[12] * view[i * 4] + view[13] * view[i * 4 + 1] + view[14] * view[i * 4 + 2]);
}

void RefreshModelDrawView() {
    if (CullState().fixed) return;
    float view[16], projection[16];
    DeviceViewport v;
    GetDeviceViewTransform(view, projection, &v);
    BuildModelDrawView(view, projection, v.x, v.y, v.width, v.height, v.minZ, v.maxZ, &CullState().view);
}

float ProjectToScreen(const float m[16], const float p[3], float out[3]) {
    float r[4];
    for (int c = 0; c < 4; ++c) r[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
    float w = r[3];
    for (int c = 0; c < 3; ++c) out[c] = w != 0.0f ? r[c] / w : r[c];
    if (w < 0.0f)
        for (int c = 0; c < 3; ++c) out[c] = -out[c];
    return w;
}

int ComputeOutcode(const float s[3], const float area[4]) {
    int code = 0;
    if (s[0] < area[0]) code |= MODEL_OUT_LEFT;
    if (s[0] > area[2]) code |= MODEL_OUT_RIGHT;
    if (s[1] < area[1]) code |= MODEL_OUT_TOP;
    if (s[1] > area[3]) code |= MODEL_OUT_BOTTOM;
    if (s[2] < 0.0f) code |= MODEL_OUT_NEAR;
    if (s[2] > 1.0f) code |= MODEL_OUT_FAR;
    return code;
}

int IsBoxOutsideViewOf(const float corners[8][3], const float toScreen[16], const float area[4]) {
    int shared = ~0;
    for (int i = 0; i < 8; ++i) {
        float s[3];
        ProjectToScreen(toScreen, corners[i], s);
        int code = ComputeOutcode(s, area);
        if (code == 0) return 0;
        shared &= code;
    }
    return shared != 0 ? 1 : 0;
}

int IsBoxOutsideView(const float corners[8][3]) { return IsBoxOutsideViewOf(corners, CullState().view.toScreen, CullState().view.area); }

float ScaleOutlineWidth(float width, float minimum, float pixels) {
    if (minimum < 1e-7f) minimum = 1.125f;
    if (pixels >= minimum) return width;
    if (pixels < 1e-8f) return width * 1e7f;
    return width * minimum / pixels;
}

}  // namespace morpotta
