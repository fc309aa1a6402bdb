// Model draw state on the fixed-function road. Device calls go through the
// cached setters, so repeating a model's state costs only comparisons.
#include "model/draw/model_draw_state.h"

#include <cstring>

#include "engine/camera.h"

#include "graphics/camera/camera_internal.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_draw_stages.h"

namespace {

struct FilterStates {
    int minFilter, magFilter, mipFilter;
};

FilterStates FilterOf(int mode) {
    switch (mode) {
    case 0: return {DEVICE_FILTER_POINT, DEVICE_FILTER_POINT, DEVICE_FILTER_NONE};
    case 2: return {DEVICE_FILTER_ANISOTROPIC, DEVICE_FILTER_LINEAR, DEVICE_FILTER_LINEAR};
    default: return {DEVICE_FILTER_LINEAR, DEVICE_FILTER_LINEAR, DEVICE_FILTER_NONE};
    }
}

int AddressOr(int mode, int fallback) { return mode >= DEVICE_ADDRESS_WRAP && mode <= DEVICE_ADDRESS_MIRRORONCE ? mode : fallback; }

void ApplySampler(int stage, int addressU, int addressV, int filter) {
    SetDeviceTextureAddress(AddressOr(addressU, DEVICE_ADDRESS_WRAP), AddressOr(addressV, DEVICE_ADDRESS_WRAP),
                            DEVICE_ADDRESS_CLAMP, stage);
    FilterStates f = FilterOf(filter);
    SetStageFilterState(stage, DEVICE_STAGE_MINFILTER, f.minFilter);
    SetStageFilterState(stage, DEVICE_STAGE_MAGFILTER, f.magFilter);
    SetStageFilterState(stage, DEVICE_STAGE_MIPFILTER, f.mipFilter);
}

void ApplyTextureSampler(int stage, const ModelInstance* in, int textureIndex) {
    if (textureIndex < 0 || textureIndex >= in->base->textureCount) {
        ApplySampler(stage, DEVICE_ADDRESS_WRAP, DEVICE_ADDRESS_WRAP, 1);
        return;
    }
    const ModelTexture& t = in->textures[textureIndex];
    ApplySampler(stage, t.addressU, t.addressV, t.filter);
}

void ApplyToonSampler(int stage) {
    SetDeviceTextureAddress(DEVICE_ADDRESS_CLAMP, DEVICE_ADDRESS_CLAMP, DEVICE_ADDRESS_CLAMP, stage);
    FilterStates f = FilterOf(1);
    SetStageFilterState(stage, DEVICE_STAGE_MINFILTER, f.minFilter);
    SetStageFilterState(stage, DEVICE_STAGE_MAGFILTER, f.magFilter);
    SetStageFilterState(stage, DEVICE_STAGE_MIPFILTER, f.mipFilter);
}

int ToonGraph(const ModelInstance* in, int index) {
    return index < 0 ? GetDefaultToonGraph(index) : ModelTextureGraph(in, index);
}

int FirstLayerTexture(const ModelMaterial* m) {
    return m->layers[0].count > 0 && m->layers[0].textures ? m->layers[0].textures[0] : -1;
}

}  // namespace

int ModelTextureGraph(const ModelInstance* in, int index) {
    if (index < 0 || index >= in->base->textureCount) return -1;
    const ModelTexture& t = in->textures[index];
    if (t.own.graph != -1) return t.own.graph;
    return in->base->textures[index].image.graph;
}

int MeshBlendMode(const ModelMesh* mesh) {
    return mesh->blendMode != -1 ? mesh->blendMode : mesh->material->blendMode;
}

int MeshBlendParameter(const ModelMesh* mesh) {
    return mesh->blendParameter != -1 ? mesh->blendParameter : mesh->material->blendParameter;
}

int MeshDrawType(const ModelMesh* mesh) {
    return mesh->material->base ? mesh->material->base->drawType : 0;
}

int BeginModelDrawState(ModelInstance* in) {
    DeviceStateCache* cache = GetDeviceStateCache();
    UploadShaderConstants(0);
    FlushPendingDraws();
    CommitLightsToDevice();
    BeginDeviceScene();
    const int* s = in->drawSettings;
    SetDeviceZEnable(s[0]);
    SetDeviceZWriteEnable(s[1]);
    SetDeviceZFunc(s[2]);
    SetDeviceDepthBias(s[3]);
    SetDeviceShadeMode(DEVICE_SHADE_GOURAUD);
    if (cache->layerAlphaTestFunc != cache->alphaTestFunc || cache->layerAlphaTestRef != cache->alphaTestRef)
        SetDeviceAlphaTest(cache->layerAlphaTestFunc, cache->layerAlphaTestRef);
    RestoreDeviceFogEnable();
    for (int stage = 0; stage < 3; ++stage) SetStageMaxAnisotropy(stage, s[5]);
    SetDeviceFillMode(s[4] ? DEVICE_FILL_WIREFRAME : DEVICE_FILL_SOLID);
    cache->filterMode = -1;
    return 0;
}

void ComputeMeshDeviceMaterial(const ModelMesh* mesh, float out[17]) {
    const ModelMaterial* m = mesh->material;
    std::memcpy(out, m->diffuse, 16);
    std::memcpy(out + 4, m->ambient, 16);
    std::memcpy(out + 8, m->specular, 16);
    std::memcpy(out + 12, m->emissive, 16);
    out[16] = m->power;
    if (mesh->drawn.colourScaled)
        for (int i = 0; i < 16; ++i) out[i] *= mesh->drawn.colourScales[i];
}

void SetupMeshMaterialState(DeviceDrawStateBlock* block, ModelMesh* mesh, int* specular) {
    DeviceStateCache* cache = GetDeviceStateCache();
    float material[17];
    ComputeMeshDeviceMaterial(mesh, material);
    cache->materialChanged = 1;
    SetDeviceMaterial(material);
    SetDeviceCullMode(mesh->base->cullMode);
    const ModelMaterial* m = mesh->material;
    FillDrawBlendHead(block, MeshBlendMode(mesh), MeshBlendParameter(mesh), mesh->drawn.opacity, m->layers[0].count);
    int drawType = MeshDrawType(mesh);
    bool toon = drawType == 1 || drawType == 2;
    const int useVertexSpecular = mesh->base->vertexSpecular;
    int spec = useVertexSpecular || material[8] > 1e-5f || material[9] > 1e-5f || material[10] > 1e-5f;
    if (toon) spec = 0;  // the software toon lighting writes its own specular
    SetDeviceSpecularEnable(spec);
    SetDeviceDiffuseFromVertexColor(toon ? 1 : mesh->base->vertexColours);
    SetDeviceSpecularFromVertexColor(toon ? 1 : useVertexSpecular);
    if (toon)
        SetDeviceLighting(0);
    else
        SetLightingEnabled(!cache->lightingOff);
    *specular = spec;
}

int SetupMeshTextureStages(ModelMesh* mesh, DeviceDrawStateBlock* block, int specular) {
    const ModelInstance* in = mesh->frame->instance;
    const ModelMaterial* m = mesh->material;
    int drawType = MeshDrawType(mesh);
    SetDeviceSpecularEnable(drawType == 1 || drawType == 2 ? 0 : specular);
    int first = FirstLayerTexture(m);
    int diffuseGraph = first >= 0 ? ModelTextureGraph(in, first) : -1;
    if (diffuseGraph == -1) diffuseGraph = GetModelWhiteGraph();
    ModelFixedStageInputs stages = {drawType,
                                    m->toonMode,
                                    m->secondToonMode,
                                    MeshBlendMode(mesh),
                                    diffuseGraph,
                                    -1,
                                    -1,
                                    GetDeviceStateCache()->hasTempRegister};
    if (drawType == 1 || drawType == 2) stages.toonGraph = ToonGraph(in, m->toonTexture);
    if (drawType == 1) stages.secondToonGraph = ToonGraph(in, m->secondToonTexture);
    FillFixedMeshStages(block, &stages);
    ApplyTextureSampler(0, in, first);
    for (int s = 1; s < block->stageCount; ++s)
        if (block->stages[s].graph != -1) ApplyToonSampler(s);
    ApplyDeviceDrawState(block, 0, 1);
    return 0;
}

int SetupOutlineDrawState(DeviceDrawStateBlock* block, ModelMesh* mesh, float) {
    const ModelMaterial* m = mesh->material;
    float material[17] = {m->outlineColour[0], m->outlineColour[1], m->outlineColour[2], 1.0f};
    GetDeviceStateCache()->materialChanged = 1;
    SetDeviceMaterial(material);
    SetDeviceCullMode(2);  // the back faces of the inflated mesh
    FillDrawBlendHead(block, MeshBlendMode(mesh), MeshBlendParameter(mesh), mesh->drawn.opacity, 1);
    SetDeviceSpecularEnable(0);
    return SetDeviceLighting(0);
}

int SetupOutlineTextureStages(DeviceDrawStateBlock* block, ModelMesh* mesh) {
    FillFixedOutlineStages(block, GetModelWhiteGraph(), MeshBlendMode(mesh));
    ApplyDeviceDrawState(block, 0, 1);
    return 0;
}
