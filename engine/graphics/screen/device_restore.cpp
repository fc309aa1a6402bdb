// The rebuild after a lost device, in the engine's fixed order: model
// buffers released, every texture released, graph textures made again and
// refilled from their sources, model buffers made again, model textures
// refilled, and last the game's callback.
#include "engine/devicestate.h"
#include "engine/graph.h"
#include "engine/log.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "graphics/draw2d/draw2d_internal.h"

namespace {

GraphRestoreHandler restoreHandler = nullptr;
const ModelDeviceLossHooks kDefaultModelHooks = {nullptr, nullptr, RestoreModelTextures};
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
    ReleaseGraphTextures();
    // Whatever the device held is gone: every cached value is sent again.
    ResetDeviceStateCache();
    int result = RestoreGraphTextures() == 0 ? 0 : WriteLogText("Graph textures could not all be restored\n");
    Call(modelHooks->recreateVertexBuffers, "Making the model buffers again");
    Call(modelHooks->restoreTextures, "Refilling the model textures");
    if (restoreHandler) restoreHandler();
    return result;
}
