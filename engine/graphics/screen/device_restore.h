// The rebuild after a lost device, as the graphics layer runs it, and the
// model system's part in it.
#pragma once
#include "engine/screen.h"

namespace morpotta {

// The model system's part of the rebuild, registered by it: buffers are
// released before the device objects go and made again after, textures are
// refilled once every graph has its texture back.
struct ModelDeviceLossHooks {
    int (*releaseVertexBuffers)();
    int (*recreateVertexBuffers)();
    int (*restoreTextures)();
};
void SetModelDeviceLossHooks(const ModelDeviceLossHooks* hooks);  // null: none
const ModelDeviceLossHooks* GetModelDeviceLossHooks();          // null when none
// Goes through the whole loss and rebuild, as after a lost device: flush,
// model buffers released, every texture released, graph textures made
// again and refilled from their sources, model buffers and textures
// restored, then the game's callback. 0, or -1 without a device.
int RestoreLostGraphicsDevice();

}  // namespace morpotta
