#include "game/play/follow_camera.h"

#include "engine/camera.h"
#include "game/play/cat_actor.h"

#include <algorithm>
#include <cmath>

void FitCameraToCats(const CatActor* const cats[4], FollowCamera& camera, int columns, int rows, float zOffset) {
    int xs[8], ys[8], n = 0;
    for (int i = 0; i < 4; ++i) {
        if (!cats[i]) continue;
        xs[n] = cats[i]->x;
        ys[n++] = cats[i]->y;
        if (const CatActor* r = cats[i]->rider.get()) {
            xs[n] = r->x;
            ys[n++] = r->y;
        }
    }
    if (n == 0) return;
    // The widest and the tallest pair (a later pair wins only when larger).
    int64_t hx = 0, hy = 0;
    int wi = 0, wj = 0, ti = 0, tj = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const double dx = double(xs[i]) - xs[j], dy = double(ys[i]) - ys[j];
            const int64_t mx = int64_t(0.75 * dx * dx), my = int64_t(dy * dy);
            if (mx > hx) {
                hx = mx;
                wi = i;
                wj = j;
            }
            if (my > hy) {
                hy = my;
                ti = i;
                tj = j;
            }
        }
    }
    const double depth = camera.fieldDepth;
    double tx = double(xs[wi] + xs[wj]) * 80.0 / 32.0 * 0.5;
    double ty = 700.0 - double(ys[ti] + ys[tj]) * 80.0 / 32.0 * 0.5;
    const int64_t m = std::max(hx, hy);
    double tz = m > 1024 ? double(m - 1024) * -0.0016 : 0.0;
    const double extent = hx < hy ? double(rows) : columns * 0.75;
    tz = std::max(tz, depth - extent * 72.0);

    // Keep the field's edges in view; a field narrower (lower) than the view
    // is centred.
    const double xmin = depth * 0.7 - tz * 0.77;
    const double ymax = tz * 0.5775 + (700.0 - depth * 0.525);
    const double fromPairX = tx, fromPairY = ty;
    if (tx <= xmin) tx = xmin;
    if (ty >= ymax) ty = ymax;
    const double width = (columns - 1) * 80.0, xmax = width - xmin;
    if (xmax <= xmin)
        tx = width * 0.5;
    else if (fromPairX > xmax)
        tx = xmax;
    const double height = (rows - 1) * 80.0, ymin = (700.0 - height) + (700.0 - ymax);
    if (ymin >= ymax)
        ty = 700.0 - height * 0.5;
    else if (fromPairY < ymin)
        ty = ymin;

    camera.target[0] = float(tx);
    camera.target[1] = float(ty);
    camera.target[2] = float(tz + zOffset);
}

void ApplyFollowCamera(const FollowCamera& camera) {
    // The up vector (0, 1, 0) turned about (0, 0, -1) by the roll angle.
    const double radians = double(camera.rollAngle) * 3.14159265358979 / 180.0;
    const float up[3] = {float(std::sin(radians)), float(std::cos(radians)), 0.0f};
    const float eye[3] = {camera.current[0], camera.current[1], camera.current[2]};
    const float at[3] = {camera.current[0], camera.current[1], camera.fieldDepth};
    SetCameraEyeTargetUp(eye, at, up);
}

void UpdateCameraFollow(FollowCamera& camera) {
    for (int k = 0; k < 3; ++k) {
        const float d = camera.target[k] - camera.current[k];
        camera.current[k] = std::fabs(d) < 0.1f ? camera.target[k] : camera.current[k] + d * 0.08f;
    }
    const float c = camera.roll;
    const float angle = c * c / 30.0f / 30.0f * 90.0f;
    camera.rollAngle = c < 0 ? -angle : angle;
    camera.roll = c > 0 ? std::max(c - 1.0f, 0.0f) : std::min(c + 1.0f, 0.0f);
    ApplyFollowCamera(camera);
}
