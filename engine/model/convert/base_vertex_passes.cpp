// The normal recalculation and vertex optimisation of whole base data:
// every frame that has meshes, with the device buffers released first and
// made again afterwards.
#include "engine/log.h"
#include "engine/model.h"
#include "foundation/engine_thread.h"
#include "model/base/model_handles.h"
#include "model/convert/vertex_passes.h"

using namespace morpotta;

namespace {

// Instances that keep vertex copies of their own sized them by the lists
// as they stand: the lists must not change under them.
bool HasInstanceVertexCopies(const ModelBase* base) {
    if (base->instanceCount == 0) return false;
    for (int i = 0; i < base->meshCount; ++i)
        if (base->meshes[i].needsInstanceVertices) return true;
    return false;
}

template <typename Pass>
int RunOnFrames(int baseHandle, Pass pass) {
    ModelBase* base = GetModelBaseForCall(baseHandle);
    if (!base) return -1;
    if (HasInstanceVertexCopies(base))
        return Refuse("モデル基本データ %08x の頂点はモデルが複製して使っているため変更できません", unsigned(baseHandle));
    // Drawing made the buffers from the lists as they stand: they are made
    // again from the new lists.
    const bool built = base->devicePools.built != 0;
    int (*rebuild)(ModelBase*) = base->devicePools.rebuild;
    if (base->devicePools.release) base->devicePools.release(base);
    int result = 0;
    for (int i = 0; i < base->frameCount && result == 0; ++i)
        if (base->frames[i].meshCount > 0 && pass(&base->frames[i]) < 0) result = -1;
    if (built && rebuild && rebuild(base) != 0) result = -1;
    return result;
}

}  // namespace

int RecalculateModelBaseNormals(int baseHandle, float smoothingAngle) {
    const PublicCall call("RecalculateModelBaseNormals");
    if (!AllowOnlyOnEngineThread()) return -1;
    return RunOnFrames(baseHandle,
                       [smoothingAngle](ModelBaseFrame* f) { return RecalculateFrameNormals(f, smoothingAngle); });
}

int OptimizeModelBaseVertices(int baseHandle) {
    const PublicCall call("OptimizeModelBaseVertices");
    if (!AllowOnlyOnEngineThread()) return -1;
    return RunOnFrames(baseHandle, OptimizeFrameVertices);
}
