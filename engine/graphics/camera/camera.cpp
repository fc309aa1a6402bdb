// The camera: view and projection matrices kept here and sent to the
// device, and the projection of world points onto the screen.
#include "engine/camera.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "platform/lasting_state.h"

#include <cmath>
#include <cstring>

using namespace morpotta;

namespace {

constexpr float kDefaultFieldOfView = 3.14159265f / 3;
constexpr float kDefaultNear = 10.0f, kDefaultFar = 10000.0f;

Matrix44 view = MakeIdentityMatrix();
struct CameraModule {
    Matrix44 projection = {};
    bool projectionMade = false;
};

CameraModule& CameraState() {
    return platform::LastingState<CameraModule>();
}

void BuildPerspective(float fov, float zn, float zf, Matrix44* out) {
    const float ys = 1.0f / std::tan(fov / 2);
    const float xs = ys * float(kDeviceTargetHeight) / float(kDeviceTargetWidth);
    std::memset(out, 0, sizeof *out);
    out->m[0][0] = xs;
    out->m[1][1] = ys;
    out->m[2][2] = zf / (zf - zn);
    out->m[2][3] = 1;
    out->m[3][2] = -zn * zf / (zf - zn);
}

const Matrix44& Projection() {
    if (!CameraState().projectionMade) {
        BuildPerspective(kDefaultFieldOfView, kDefaultNear, kDefaultFar, &CameraState().projection);
        CameraState().projectionMade = true;
    }
    return CameraState().projection;
}

void SendView() {
    if (HardwareRenderingActive()) SetDeviceViewMatrix(&view.m[0][0]);
}

void SendProjection() {
    if (HardwareRenderingActive()) SetDeviceProjectionMatrix(&Projection().m[0][0]);
}

}  // namespace

int SetCameraEyeTargetUp(const float eye[3], const float target[3], const float up[3]) {
    const PublicCall call("SetCameraEyeTargetUp");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!eye || !target || !up) return RefuseNull(!eye ? "eye" : !target ? "target" : "up");
    Vector3 z = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    const float zLength = MeasureVectorLength(z.x, z.y, z.z);
    if (zLength == 0) return Refuse("eye and target coincide");
    z = {z.x / zLength, z.y / zLength, z.z / zLength};
    Vector3 u = {up[0], up[1], up[2]};
    const float along = DotVectors(&u, &z);
    Vector3 y = {u.x - z.x * along, u.y - z.y * along, u.z - z.z * along};
    const float yLength = MeasureVectorLength(y.x, y.y, y.z);
    if (yLength == 0) return Refuse("up runs along the view direction");
    y = {y.x / yLength, y.y / yLength, y.z / yLength};
    Vector3 x;
    CrossVectorsInto(&x, &y, &z);
    const Vector3 e = {eye[0], eye[1], eye[2]};
    const Matrix44 m = {{{x.x, y.x, z.x, 0},
                         {x.y, y.y, z.y, 0},
                         {x.z, y.z, z.z, 0},
                         {-DotVectors(&x, &e), -DotVectors(&y, &e), -DotVectors(&z, &e), 1}}};
    view = m;
    SendView();
    return 0;
}

int ApplyUserViewMatrix(const float matrix[16]) {
    const PublicCall call("ApplyUserViewMatrix");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!matrix) return RefuseNull("matrix");
    std::memcpy(&view, matrix, sizeof view);
    SendView();
    return 0;
}

namespace morpotta {

const Matrix44& CurrentViewMatrix() { return view; }

}  // namespace morpotta

int CopyViewMatrix(float out[16]) {
    const PublicCall call("CopyViewMatrix");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!out) return RefuseNull("place for the matrix");
    std::memcpy(out, &view, sizeof view);
    return 0;
}

int SetCameraPerspective(float fieldOfView, float nearZ, float farZ) {
    const PublicCall call("SetCameraPerspective");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!(fieldOfView > 0 && fieldOfView < 3.14159f) || !(nearZ > 0) || !(farZ > nearZ))
        return Refuse("field of view %g (0 to pi), near %g, far %g: no projection", fieldOfView, nearZ, farZ);
    BuildPerspective(fieldOfView, nearZ, farZ, &CameraState().projection);
    CameraState().projectionMade = true;
    SendProjection();
    return 0;
}

int CopyProjectionMatrix(float out[16]) {
    const PublicCall call("CopyProjectionMatrix");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!out) return RefuseNull("place for the matrix");
    std::memcpy(out, &Projection(), sizeof CameraState().projection);
    return 0;
}

Vector3 WorldToScreenPos(const float p[3]) {
    const PublicCall call("WorldToScreenPos");
    if (!AllowOnlyOnEngineThread()) return Vector3{};
    if (!p) {
        RefuseNull("position");
        return {0, 0, 0};
    }
    const Matrix44 vp = MakeProductMatrix(view, Projection());
    float c[4];
    for (int k = 0; k < 4; ++k) c[k] = p[0] * vp.m[0][k] + p[1] * vp.m[1][k] + p[2] * vp.m[2][k] + vp.m[3][k];
    const float w = c[3] != 0 ? c[3] : 1e-7f;
    return {(c[0] / w + 1) * (kDeviceTargetWidth / 2.0f), (1 - c[1] / w) * (kDeviceTargetHeight / 2.0f), c[2] / w};
}

namespace morpotta {

void ReapplyCamera() {
    SendView();
    SendProjection();
}

void ResetCamera() {
    view = MakeIdentityMatrix();
    CameraState().projectionMade = false;
}

}  // namespace morpotta
