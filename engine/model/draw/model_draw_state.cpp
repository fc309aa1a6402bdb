// Model draw state on the fixed-function road. Device calls go through the
// cached setters, so repeating a model's state costs only comparisons.
#include "model/draw/model_draw_state.h"

#include <cstring>

#include "engine/camera.h"

#include "graphics/camera/camera_internal.h"
#include "graphics/device/shader_index.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_draw_stages.h"

namespace morpotta {

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

// The first texture of a layer (0 diffuse, 1 second layer, 2 normal maps), or -1.
int FirstTextureOf(const ModelMaterial* m, int layer) {
    return m->layers[layer].count > 0 && m->layers[layer].textures ? m->layers[layer].textures[0] : -1;
}

int FirstLayerTexture(const ModelMaterial* m) { return FirstTextureOf(m, 0); }

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
    // A masked draw would begin here with the current draw area; the
    // graphics layer draws no masks, so masking is never on (BeginMaskedDraw
    // has nothing to begin) and models never start one.
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

ModelShaderIndices ComputeMeshShaderIndices(const ModelMesh* mesh, int specular, int lightingOff, int vertexBase,
                                            int pixelBase) {
    const ModelMaterial* m = mesh->material;
    const int drawType = MeshDrawType(mesh);
    ModelShaderIndices out = {vertexBase, pixelBase};
    if (drawType == 1) {
        out.pixel += kPsToon1;
        if (m->toonMode == 2) out.pixel += kPsToonModulate;
        if (m->secondToonMode == 1 && specular) out.pixel += kPsSecondToonAdd;
    } else if (drawType == 2) {
        out.pixel += kPsToon2;
    }
    if (mesh->base->vertexColours || lightingOff) {
        out.vertex += kVsVertexDiffuse;
        out.pixel += kPsVertexDiffuse;
    }
    if (mesh->base->vertexSpecular || lightingOff) {
        out.vertex += kVsVertexSpecular;
        out.pixel += kPsVertexSpecular;
    }
    // A normal map (the base material's third layer) is drawn from the
    // mesh's tangent layout; the fixed-function road draws without it.
    if (m->base && ModelMaterialHasNormalMap(*m->base)) {
        out.vertex += kVsNormalMap;
        out.pixel += kPsNormalMap;
    }
    if (specular) {
        out.vertex += kVsSpecular;
        out.pixel += kPsSpecular;
    }
    if (m->layers[1].count > 0) out.pixel += kPsSecondLayer;
    return out;
}

void SetupMeshMaterialState(DeviceDrawStateBlock* block, ModelMesh* mesh, int* specular, ModelShaderIndices* indices) {
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
    const bool shaders = DeviceShadersAvailable();
    if (toon && !shaders) spec = 0;  // the software toon lighting writes its own specular
    SetDeviceSpecularEnable(spec);
    // Without shaders the software toon lighting writes the vertex colours.
    SetDeviceDiffuseFromVertexColor(toon && !shaders ? 1 : mesh->base->vertexColours);
    SetDeviceSpecularFromVertexColor(toon && !shaders ? 1 : useVertexSpecular);
    // Ambient and emissive light come from the material whatever drew
    // before (a billboard takes its ambient from its vertex colour).
    SetDeviceRenderState(DEVICE_RS_AMBIENTMATERIALSOURCE, DEVICE_MCS_MATERIAL);
    SetDeviceRenderState(DEVICE_RS_EMISSIVEMATERIALSOURCE, DEVICE_MCS_MATERIAL);
    if (toon)
        SetDeviceLighting(0);
    else
        SetLightingEnabled(!cache->lightingOff);
    *specular = spec;
    if (indices)
        *indices = ComputeMeshShaderIndices(mesh, spec, cache->lightingOff, GetVertexShaderBase(), GetPixelShaderBase());
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

namespace {

DeviceDrawStage ProgrammableStage(int graph, int stage) {
    return DeviceDrawStage{graph,
                           stage,
                           -1,
                           kDeviceStageLeave,
                           kDeviceStageLeave,
                           kDeviceStageLeave,
                           kDeviceStageLeave,
                           kDeviceStageLeave,
                           kDeviceStageLeave};
}

// Registers 88 and 89: the texture-coordinate transform (materials carry
// none, so the identity's first two columns).
void SetIdentityTexTransform() {
    const float columns[8] = {1, 0, 0, 0, 0, 1, 0, 0};
    SetDeviceShaderConstants(0, kVsRegTexTransform, columns, 2);
}

void SetPixelModes(int blendMode, int toonMode, int secondToonMode) {
    const float modes[4] = {blendMode == 11 ? 1.0f : 0.0f, toonMode == 2 ? 1.0f : 0.0f,
                            secondToonMode == 1 ? 1.0f : 0.0f, 0.0f};
    SetDeviceShaderConstants(1, kPsRegModes, modes, 1);
}

// Stage `stage` with the first texture of a layer and its sampler; -1 and
// an empty stage when the layer has none.
int LayerStage(DeviceDrawStateBlock* block, const ModelInstance* in, const ModelMaterial* m, int layer, int stage) {
    const int texture = FirstTextureOf(m, layer);
    block->stages[stage] = ProgrammableStage(texture >= 0 ? ModelTextureGraph(in, texture) : -1, stage);
    if (texture >= 0) ApplyTextureSampler(stage, in, texture);
    return texture;
}

}  // namespace

int SetupMeshProgrammableStages(ModelMesh* mesh, DeviceDrawStateBlock* block, int specular) {
    const ModelInstance* in = mesh->frame->instance;
    const ModelMaterial* m = mesh->material;
    const int drawType = MeshDrawType(mesh);
    const bool toon = drawType == 1 || drawType == 2;
    SetDeviceSpecularEnable(specular);
    SetIdentityTexTransform();
    const int first = FirstLayerTexture(m);
    int diffuseGraph = first >= 0 ? ModelTextureGraph(in, first) : -1;
    if (diffuseGraph == -1) diffuseGraph = GetModelWhiteGraph();
    block->stages[0] = ProgrammableStage(diffuseGraph, 0);
    ApplyTextureSampler(0, in, first);
    block->stageCount = 1;
    // Stage 1 the normal map, stage 2 the second layer (white for the toon
    // types when there is none).
    if (LayerStage(block, in, m, 2, 1) >= 0) block->stageCount = 2;
    if (LayerStage(block, in, m, 1, 2) >= 0)
        block->stageCount = 3;
    else if (toon)
        block->stages[2] = ProgrammableStage(GetModelWhiteGraph(), 2);
    if (toon) {
        block->stageCount = 5;
        block->stages[3] = ProgrammableStage(ToonGraph(in, m->toonTexture), 3);
        block->stages[4] = ProgrammableStage(ToonGraph(in, m->secondToonTexture), 4);
        ApplyToonSampler(3);
        ApplyToonSampler(4);
        const float width = m->outline[0] > 0.0f ? 1.0f / m->outline[0] : 0.0f;
        const float outline[12] = {m->outlineColour[0], m->outlineColour[1], m->outlineColour[2], m->outlineColour[3],
                                   width, width, width, width, -1, -1, -1, -1};
        SetDeviceShaderConstants(1, kPsRegOutlineColour, outline, 3);
    }
    SetPixelModes(MeshBlendMode(mesh), m->toonMode, m->secondToonMode);
    ApplyDeviceDrawState(block, 1, 1);
    ResetTexCoordIndices();
    return 0;
}

int SetupOutlineProgrammableStages(DeviceDrawStateBlock* block, ModelMesh* mesh) {
    SetIdentityTexTransform();
    block->stageCount = 3;
    block->stages[0] = ProgrammableStage(GetModelWhiteGraph(), 0);
    block->stages[1] = ProgrammableStage(-1, 1);
    block->stages[2] = ProgrammableStage(-1, 2);
    // The toon modes mean nothing to the outline; they keep the first
    // pass's values so the pixel stage's constants stay as they are.
    SetPixelModes(MeshBlendMode(mesh), mesh->material->toonMode, mesh->material->secondToonMode);
    ApplyDeviceDrawState(block, 1, 1);
    ResetTexCoordIndices();
    return 0;
}

int SetupOutlineDrawState(DeviceDrawStateBlock* block, ModelMesh* mesh, float width) {
    const ModelMaterial* m = mesh->material;
    float material[17] = {m->outlineColour[0], m->outlineColour[1], m->outlineColour[2], 1.0f};
    GetDeviceStateCache()->materialChanged = 1;
    SetDeviceMaterial(material);
    if (DeviceShadersAvailable()) {
        const float widths[4] = {width, width, width, width};
        SetDeviceShaderConstants(0, kVsRegOutlineWidth, widths, 1);
    }
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

}  // namespace morpotta
