// The lights of 3-D drawing as the layer keeps them, and their upload:
// enabled lights take device indices in the order directional, spot, point,
// and the device state cache keeps their records and light x material
// products for the software toon lighting.
#include "engine/camera.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "platform/lasting_state.h"

#include <cmath>
#include <initializer_list>

using namespace morpotta;

namespace morpotta {

namespace {

constexpr int kLayerLightCount = kDeviceLightCount;

struct LayerLight {
    int live, enabled;
    DeviceLight light;
};

struct LightModule {
    LayerLight lights[kLayerLightCount] = {};
    DeviceColorValue ambient = {0, 0, 0, 0};
    bool changed = true;
};

LightModule& LightState() {
    return platform::LastingState<LightModule>();
}

DeviceLight DefaultLight() {
    DeviceLight l = {};
    l.type = DEVICE_LIGHT_DIRECTIONAL;
    l.diffuse = {1, 1, 1, 1};
    l.specular = {1, 1, 1, 1};
    l.ambient = {0.33f, 0.33f, 0.33f, 1};
    const float n = 1.0f / std::sqrt(3.0f);
    l.direction = {n, -n, n};
    l.range = 2000.0f;
    l.attenuation0 = 1;
    return l;
}

}  // namespace

// The default light exists from the start, before any graphics start-up.
struct DefaultLightAtStart {
    DefaultLightAtStart() { ResetLights(); }
} defaultLightAtStart;

void ResetLights() {
    for (LayerLight& l : LightState().lights) l = {};
    LightState().lights[0] = {1, 1, DefaultLight()};
    LightState().ambient = {0, 0, 0, 0};
    LightState().changed = true;
}

void ReapplyLights() { LightState().changed = true; }

void ReapplyCameraAndLights() {
    ReapplyCamera();
    ReapplyLights();
}

void ResetCameraAndLights() {
    ResetCamera();
    ResetLights();
}

}  // namespace morpotta

int SetDefaultLightDirection(float x, float y, float z) {
    const PublicCall call("SetDefaultLightDirection");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!LightState().lights[0].live) return Refuse("there is no default light");
    const float length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length)) return Refuse("the direction (%g, %g, %g) has no length", x, y, z);
    LightState().lights[0].light.direction = {x / length, y / length, z / length};
    LightState().changed = true;
    return 0;
}

int GetDefaultLightDirection(float out[3]) {
    const PublicCall call("GetDefaultLightDirection");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!out) return RefuseNull("place for the direction");
    if (!LightState().lights[0].live) return Refuse("there is no default light");
    out[0] = LightState().lights[0].light.direction.x, out[1] = LightState().lights[0].light.direction.y, out[2] = LightState().lights[0].light.direction.z;
    return 0;
}

int SetAmbientLightFloat(float r, float g, float b, float a) {
    const PublicCall call("SetAmbientLightFloat");
    if (!AllowOnlyOnEngineThread()) return -1;
    LightState().ambient = {r, g, b, a};
    LightState().changed = true;
    return 0;
}

namespace morpotta {

int CommitLightsToDevice() {
    if (!HardwareRenderingActive()) return 0;
    DeviceStateCache* cache = GetDeviceStateCache();
    SetDeviceLighting(cache->lightingOff ? 0 : 1);
    if (!LightState().changed) return 0;
    int next = 0;
    for (int type : {DEVICE_LIGHT_DIRECTIONAL, DEVICE_LIGHT_SPOT, DEVICE_LIGHT_POINT})
        for (const LayerLight& l : LightState().lights) {
            if (!l.live || !l.enabled || l.light.type != type || next >= kDeviceLightCount) continue;
            SetDeviceLight(next, &l.light);
            EnableDeviceLight(next, 1);
            ++next;
        }
    for (int i = next; i < kDeviceLightCount; ++i) EnableDeviceLight(i, 0);
    SetDeviceAmbientLight(LightState().ambient.r, LightState().ambient.g, LightState().ambient.b, LightState().ambient.a);
    LightState().changed = false;
    return 0;
}

}  // namespace morpotta
