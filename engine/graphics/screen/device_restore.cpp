// The rebuild after a lost device, in the engine's fixed order: model
// buffers released, every texture released, graph textures made again and
// refilled from their sources, model buffers made again, model textures
// refilled, and last the game's callback.
#include "engine/camera.h"
#include "engine/devicestate.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/log.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"

namespace {

GraphRestoreHandler restoreHandler = nullptr;
const ModelDeviceLossHooks kDefaultModelHooks = {ReleaseModelVertexBuffers, RecreateModelVertexBuffers,
                                                  RestoreModelTextures};
const ModelDeviceLossHooks* modelHooks = &kDefaultModelHooks;

void Call(int (*hook)(), const char* what) {
    if (hook && hook() != 0) WriteLogFormat("%s failed after the device was lost\n", what);
}

}  // namespace

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
    restoreHandler = handler;
    return 0;
}

void SetModelDeviceLossHooks(const ModelDeviceLossHooks* hooks) { modelHooks = hooks ? hooks : &kDefaultModelHooks; }

int RestoreLostGraphicsDevice() {
    if (!HardwareRenderingActive()) return WriteLogText("No graphics device to restore\n");
    FlushPendingDraws();
    Call(modelHooks->releaseVertexBuffers, "Releasing the model buffers");
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
    int result = RestoreGraphTextures() == 0 ? 0 : WriteLogText("Graph textures could not all be restored\n");
    Call(modelHooks->recreateVertexBuffers, "Making the model buffers again");
    Call(modelHooks->restoreTextures, "Refilling the model textures");
    if (restoreHandler) restoreHandler();
    return result;
}
