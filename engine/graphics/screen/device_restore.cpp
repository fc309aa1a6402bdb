// The rebuild after a lost device, in the engine's fixed order: model
// buffers released, every texture released, graph textures made again and
// refilled from their sources, model buffers made again, model textures
// refilled, and last the game's callback.
#include "engine/camera.h"
#include "engine/font.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/font/font_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/screen/device_restore.h"
#include "platform/lasting_state.h"

using namespace morpotta;

namespace {

const ModelDeviceLossHooks kNoModelHooks = {nullptr, nullptr, nullptr};

struct DeviceRestoreModule {
    GraphRestoreHandler restoreHandler = nullptr;
    const ModelDeviceLossHooks* modelHooks = &kNoModelHooks;
};

DeviceRestoreModule& DeviceRestoreState() {
    return platform::LastingState<DeviceRestoreModule>();
}

void Call(int (*hook)(), const char* what) {
    if (hook && hook() != 0) WriteLogFormat("%s failed after the device was lost", what);
}

}  // namespace

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
    const PublicCall call("SetGraphRestoreHandler");
    if (!AllowOnlyOnEngineThread()) return -1;
    DeviceRestoreState().restoreHandler = handler;
    return 0;
}

namespace morpotta {

void SetModelDeviceLossHooks(const ModelDeviceLossHooks* hooks) { DeviceRestoreState().modelHooks = hooks ? hooks : &kNoModelHooks; }
const ModelDeviceLossHooks* GetModelDeviceLossHooks() {
    return DeviceRestoreState().modelHooks == &kNoModelHooks ? nullptr : DeviceRestoreState().modelHooks;
}

// Under the resource lock: no other thread enters or takes out a picture
// while the textures go and come back. A picture or model another thread
// is still making enters its table afterwards, with the texture and
// buffers it made meanwhile.
int RestoreLostGraphicsDevice() {
    if (!AllowOnlyOnEngineThread()) return -1;
    ResourceLockGuard resources(ResourceLock());
    if (!HardwareRenderingActive()) return WriteLogText("No graphics device to restore");
    FlushPendingDraws();
    Call(DeviceRestoreState().modelHooks->releaseVertexBuffers, "Releasing the model buffers");
    ReleaseBlendScratch();
    ReleaseFontTextures();
    ReleaseGraphTextures();
    // Whatever the device held is gone: every cached value is sent again,
    // but the layer's own switches stay as the program set them.
    DeviceStateCache* cache = GetDeviceStateCache();
    const int lightingOff = cache->lightingOff, fogEnable = cache->fogEnable;
    const int alphaFunc = cache->layerAlphaTestFunc, alphaRef = cache->layerAlphaTestRef;
    ResetDeviceStateCache();
    Forget2DBatchState();
    cache->lightingOff = lightingOff, cache->fogEnable = fogEnable;
    cache->layerAlphaTestFunc = alphaFunc, cache->layerAlphaTestRef = alphaRef;
    ReapplyCameraAndLights();
    int result = RestoreGraphTextures() == 0 ? 0 : WriteLogText("Graph textures could not all be restored");
    Call(DeviceRestoreState().modelHooks->recreateVertexBuffers, "Making the model buffers again");
    Call(DeviceRestoreState().modelHooks->restoreTextures, "Refilling the model textures");
    if (DeviceRestoreState().restoreHandler) {
        const UserCodeScope user;
        DeviceRestoreState().restoreHandler();
    }
    return result;
}

}  // namespace morpotta
