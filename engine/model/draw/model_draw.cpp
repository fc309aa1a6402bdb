// DrawModel: refresh, cull, then opaque meshes before translucent ones
// without depth sorting. The mesh lists live in one work buffer that
// grows to the largest mesh count seen.
#include "model/draw/model_draw.h"

#include "graphics/device/devicestate.h"

#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "graphics/graph_internal.h"
#include "model/draw/model_cull.h"
#include "model/draw/model_draw_mesh.h"
#include "model/draw/model_draw_state.h"
#include "model/draw/model_shapes.h"
#include "model/base/model_handles.h"
#include "model/instance/model_refresh.h"
#include "platform/lasting_state.h"

using namespace morpotta;

namespace morpotta {

namespace {

struct DrawWorkModule {
    ModelMesh** work = nullptr;
    int workMeshes = 0;
};

DrawWorkModule& DrawWorkState() {
    return platform::LastingState<DrawWorkModule>();
}

bool GrowWork(int meshCount) {
    if (meshCount <= DrawWorkState().workMeshes) return true;
    FreeMemory(DrawWorkState().work);
    DrawWorkState().work = static_cast<ModelMesh**>(AllocMemory(sizeof(ModelMesh*) * size_t(meshCount) * 2, __FILE__, __LINE__));
    DrawWorkState().workMeshes = DrawWorkState().work ? meshCount : 0;
    return DrawWorkState().work != nullptr;
}

bool TextureHasAlpha(const ModelInstance* in, int index) {
    if (index < 0 || index >= in->base->textureCount) return false;
    const ModelTexture& t = in->textures[index];
    if (t.own.graph != -1) return t.own.semiTransparent != 0;
    return in->base->textures[index].image.semiTransparent != 0;
}

}  // namespace

int DecideMeshTranslucent(ModelMesh* mesh) {
    if (mesh->drawStateBuilt) return mesh->translucent;
    const ModelMaterial* m = mesh->material;
    bool opaque = MeshBlendMode(mesh) == 1 && MeshBlendParameter(mesh) == 255;
    if (opaque && !mesh->base->vertexColours) {
        opaque = m->diffuse[3] == 1.0f && (!mesh->drawn.colourScaled || mesh->drawn.colourScales[3] == 1.0f);
    } else if (opaque) {
        opaque = !mesh->base->translucent;
    }
    opaque = opaque && mesh->drawn.opacity == 1.0f;
    if (opaque && m->layers[0].count > 0 && m->layers[0].textures)
        opaque = !TextureHasAlpha(mesh->frame->instance, m->layers[0].textures[0]);
    mesh->translucent = opaque ? 0 : 1;
    mesh->drawStateBuilt = 1;
    return mesh->translucent;
}

}  // namespace morpotta

int IsModelMeshTranslucent(int handle, int meshIndex) {
    const PublicCall call("IsModelMeshTranslucent");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(handle);
    if (!in) return -1;
    if (meshIndex < 0 || meshIndex >= in->base->meshCount) return RefuseIndex("mesh", meshIndex, in->base->meshCount);
    RefreshDrawnValues(in);
    return DecideMeshTranslucent(&in->meshes[meshIndex]);
}

namespace morpotta {

int IsModelFrameOutsideView(const ModelFrame* frame) {
    const ModelBaseFrame* bf = frame->baseFrame;
    if (bf->noBox) return 0;
    // Corner by corner: most frames are in view, and the first corner
    // inside ends the test before the others are transformed.
    const ModelDrawView* view = GetModelDrawView();
    int shared = ~0;
    for (int i = 0; i < 8; ++i) {
        Vector3 local = {i & 1 ? bf->boxMax.x : bf->boxMin.x, i & 2 ? bf->boxMax.y : bf->boxMin.y,
                         i & 4 ? bf->boxMax.z : bf->boxMin.z};
        Vector3 world;
        TransformPointBy34(&frame->worldMatrix, &world, &local);
        const float corner[3] = {world.x, world.y, world.z};
        float screen[3];
        ProjectToScreen(view->toScreen, corner, screen);
        int code = ComputeOutcode(screen, view->area);
        if (code == 0) return 0;
        shared &= code;
    }
    return shared != 0 ? 1 : 0;
}

namespace {

// Movie textures show the movie's current frame.
void UpdateMovieTextures(const ModelInstance* in) {
    for (int i = 0; i < in->base->textureCount; ++i)
        if (in->textures[i].isMovie) UpdateGraphMovieFrame(GetGraphRecord(ModelTextureGraph(in, i)));
}

}  // namespace

int DrawModelInstance(ModelInstance* in) {
    if (!in->visible) return 0;
    UpdateMovieTextures(in);
    const int meshCount = in->base->meshCount;
    if (!GrowWork(meshCount)) return -1;
    RefreshModelMatrices(in);
    if (in->base->shapeTargetCount > 0) ApplyInstanceShapes(in);
    RefreshDrawnValues(in);
    RefreshModelDrawView();
    BeginModelDrawState(in);
    ForgetModelWorldIdentity();
    ModelMesh** opaque = DrawWorkState().work;
    ModelMesh** translucent = DrawWorkState().work + meshCount;
    int opaqueCount = 0, translucentCount = 0;
    for (int f = 0; f < in->base->frameCount; ++f) {
        ModelFrame* frame = &in->frames[f];
        const int frameMeshes = frame->baseFrame->meshCount;
        if (frameMeshes == 0 || !frame->drawn.visible || IsModelFrameOutsideView(frame)) continue;
        for (int i = 0; i < frameMeshes; ++i) {
            ModelMesh* mesh = &frame->firstMesh[i];
            if (!mesh->drawn.visible) continue;
            if (DecideMeshTranslucent(mesh))
                translucent[translucentCount++] = mesh;
            else
                opaque[opaqueCount++] = mesh;
        }
    }
    for (int i = 0; i < opaqueCount; ++i) DrawModelMesh(opaque[i]);
    for (int i = 0; i < translucentCount; ++i) DrawModelMesh(translucent[i]);
    // Everything drawn after the model takes the fixed-function road.
    ClearDeviceShaders();
    return 0;
}

}  // namespace morpotta

int DrawModel(int handle) {
    const PublicCall call("DrawModel");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(handle);
    if (!in) return -1;
    return DrawModelInstance(in);
}

namespace morpotta {

void FreeModelDrawWork() {
    FreeModelMeshDrawWork();
    FreeMemory(DrawWorkState().work);
    DrawWorkState().work = nullptr;
    DrawWorkState().workMeshes = 0;
}

}  // namespace morpotta
