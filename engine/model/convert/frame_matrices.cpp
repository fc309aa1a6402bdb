// Rest matrices of the base frames.
#include "model/convert/base_routines.h"

#include "foundation/vecmath_internal.h"

namespace morpotta {

namespace {

bool IsZero(float v) { return v == 0.0f; }  // +0 and -0 alike

}  // namespace

void ComputeBaseFrameMatrices(ModelBase* base) {
    for (int i = 0; i < base->frameCount; ++i) {
        ModelBaseFrame* f = &base->frames[i];
        Matrix44 local;
        if (IsZero(f->rotation.x) && IsZero(f->rotation.y) && IsZero(f->rotation.z) && f->scale.x == 1.0f &&
            f->scale.y == 1.0f && f->scale.z == 1.0f) {
            bool moved = !IsZero(f->translation.x) || !IsZero(f->translation.y) || !IsZero(f->translation.z);
            f->matrixKind = moved ? 1 : 0;
            BuildTranslationMatrix(&local, moved ? f->translation.x : 0.0f, moved ? f->translation.y : 0.0f,
                                   moved ? f->translation.z : 0.0f);
        } else {
            f->matrixKind = 2;
            const float r[3] = {f->rotation.x, f->rotation.y, f->rotation.z};
            const float s[3] = {f->scale.x, f->scale.y, f->scale.z};
            const float t[3] = {f->translation.x, f->translation.y, f->translation.z};
            BuildFrameMatrixFromOrder(r, s, t, nullptr, &local, f->rotationOrder);
        }
        Matrix44 world = local;
        if (f->parent) {
            Matrix44 parentWorld;
            ConvertMatrix34To44(&parentWorld, &f->parent->worldMatrix);
            BuildProductMatrix(&world, &local, &parentWorld);
        }
        Matrix44 inverse;
        if (!InvertMatrix(world, &inverse)) inverse = world;
        ConvertMatrix44To34(&f->localMatrix, &local);
        ConvertMatrix44To34(&f->worldMatrix, &world);
        ConvertMatrix44To34(&f->inverseWorldMatrix, &inverse);
    }
}

}  // namespace morpotta
