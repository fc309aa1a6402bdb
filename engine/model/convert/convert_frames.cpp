// Rest transforms of base frames from what the reader gave: the rotation
// order and angles that rebuild a frame matrix, and its remaining scale.
#include <cmath>

#include "model/convert/convert_work.h"
#include "model/convert/convert_frames.h"

namespace morpotta {

namespace {

int (*const kExtract[6])(const Matrix44*, float*, float*, float*) = {
    ExtractEulerXYZAngles, ExtractEulerXZYAngles, ExtractEulerYZXAngles,
    ExtractEulerYXZAngles, ExtractEulerZXYAngles, ExtractEulerZYXAngles};

bool IsIdentity3(const Matrix44& m) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f)) return false;
    return true;
}

Matrix44 RotationOf(int order, const float angles[3]) {
    const float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
    Matrix44 m;
    BuildFrameMatrixFromOrder(angles, one, zero, nullptr, &m, order);
    return m;
}

}  // namespace

void DecomposeFrameTransform(const ReadModelFrame* read, ModelBaseFrame* frame) {
    const Matrix44& t = read->transform;
    frame->translation = read->translation;
    frame->scale = read->scale;
    frame->rotation = Vector3{read->rotation[0], read->rotation[1], read->rotation[2]};
    frame->rotationOrder = int(read->rotationOrder);
    if (t.m[3][0] != 0.0f || t.m[3][1] != 0.0f || t.m[3][2] != 0.0f)
        frame->translation = Vector3{t.m[3][0], t.m[3][1], t.m[3][2]};
    Matrix44 rows = MakeIdentityMatrix();
    for (int r = 0; r < 3; ++r) {
        float length = std::sqrt(t.m[r][0] * t.m[r][0] + t.m[r][1] * t.m[r][1] + t.m[r][2] * t.m[r][2]);
        for (int c = 0; c < 3; ++c) rows.m[r][c] = length > 0.0f ? t.m[r][c] / length : 0.0f;
    }
    Matrix44 scale = t;
    if (!IsIdentity3(rows)) {
        static const int kTried[6] = {0, 1, 3, 2, 4, 5};
        int chosen = 0;  // no order rebuilds the rotation: keep X-Y-Z
        float angles[3] = {0, 0, 0}, chosenAngles[3] = {0, 0, 0};
        for (int order : kTried) {
            kExtract[order](&rows, &angles[0], &angles[1], &angles[2]);
            Matrix44 rebuilt = RotationOf(order, angles);
            if (order == 0) chosenAngles[0] = angles[0], chosenAngles[1] = angles[1], chosenAngles[2] = angles[2];
            if (CompareMatrixRotationParts(&rebuilt, &rows, 0.00001f)) {
                chosen = order;
                chosenAngles[0] = angles[0], chosenAngles[1] = angles[1], chosenAngles[2] = angles[2];
                break;
            }
        }
        frame->rotationOrder = chosen;
        frame->rotation = Vector3{chosenAngles[0], chosenAngles[1], chosenAngles[2]};
        Matrix44 rotation = RotationOf(chosen, chosenAngles);
        Matrix44 inverse = MakeInverseMatrix(rotation);
        Matrix44 upper = t;
        upper.m[3][0] = upper.m[3][1] = upper.m[3][2] = 0.0f;
        scale = MakeProductMatrix(upper, inverse);
    }
    bool scaled = false;
    for (int i = 0; i < 3; ++i)
        if (scale.m[i][i] < 0.99999f || scale.m[i][i] > 1.00001f) scaled = true;
    if (scaled) frame->scale = Vector3{scale.m[0][0], scale.m[1][1], scale.m[2][2]};
}

}  // namespace morpotta
