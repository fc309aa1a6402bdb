// Mesh drawing. On the programmable road a list draws from its device
// buffers with the shaders of its mesh's indices, the world matrix or its
// bone palette in the vertex registers from 94 on. Otherwise it takes the
// fixed-function road: rigid lists keep model-space vertices and take the
// frame's world transform; skinned lists are written in world space and
// drawn with the identity transform; toon materials get their colours from
// the software toon lighting.
#include "model/draw/model_draw_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/memory.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/shader_index.h"
#include "model/draw/model_cull.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw_state.h"
#include "model/draw/model_skinning.h"
#include "model/draw/model_toon_cache.h"
#include "model/draw/model_toon_lighting.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

struct MeshDrawModule {
    bool worldIsIdentity = false;
    const ModelFrame* worldFrame = nullptr;  // whose world transform was sent last
    uint8_t* vertexColours = nullptr;
    size_t vertexColourBytes = 0;
};

MeshDrawModule& MeshDrawState() {
    return platform::LastingState<MeshDrawModule>();
}

enum class TextureMode { None, Fixed, Programmable };

struct MeshDraw {
    ModelMesh* mesh;
    DeviceDrawStateBlock block;
    int specular;
    TextureMode mode;
    ModelBase* base;
    ModelShaderIndices shaders;
};

ModelBase* BaseOf(const ModelMesh* mesh) { return mesh->frame->instance->base; }

const ModelTriangleListState& ListState(const ModelMesh* mesh, int index) {
    static const ModelTriangleListState kEmpty = {};
    return mesh->triangleLists ? mesh->triangleLists[index] : kEmpty;
}

// The key of the colours last lit into a list's copy sits right after the
// copy's vertices, in the same block, so it lives and dies with them.
ToonLitKey* ListToonLitKey(ModelBaseTriangleList* list) {
    return reinterpret_cast<ToonLitKey*>(static_cast<unsigned char*>(list->fixedVertices) +
                                         size_t(list->vertexCount) * size_t(list->fixedStride));
}

void ConvertWorld(ModelFrame* frame) {
    if (frame->worldMatrix4x4Valid) return;
    if (MeshDrawState().worldFrame == frame) MeshDrawState().worldFrame = nullptr;
    Matrix44 m;
    ConvertMatrix34To44(&m, &frame->worldMatrix);
    std::memcpy(frame->worldMatrix4x4, m.m, sizeof(frame->worldMatrix4x4));
    frame->worldMatrix4x4Valid = 1;
}

void SendFrameWorld(ModelFrame* frame) {
    ConvertWorld(frame);
    if (MeshDrawState().worldFrame != frame) SetDeviceWorldMatrix(frame->worldMatrix4x4);
    MeshDrawState().worldFrame = frame;
    MeshDrawState().worldIsIdentity = false;
}

void SendIdentityWorld() {
    if (MeshDrawState().worldIsIdentity) return;
    static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    SetDeviceWorldMatrix(kIdentity);
    MeshDrawState().worldIsIdentity = true;
    MeshDrawState().worldFrame = nullptr;
}

void EnterFixedMode(MeshDraw* d, bool outline) {
    if (d->mode != TextureMode::Fixed) {
        if (outline)
            SetupOutlineTextureStages(&d->block, d->mesh);
        else
            SetupMeshTextureStages(d->mesh, &d->block, d->specular);
        d->mode = TextureMode::Fixed;
    }
    ClearDeviceShaders();
}

// ---- The programmable road ----

// Cull modes of SetDeviceCullMode.
constexpr int kCullCounterClockwise = 1;
constexpr int kCullClockwise = 2;

int SkinOffset(int vertexKind) { return vertexKind == 1 ? kVsSkin4 : vertexKind == 2 ? kVsSkin8 : 0; }

// The list's shaders current, its buffers as stream and indices, and its
// world matrix or bone palette in the vertex registers; false when the
// list cannot take this road (no device buffers, or a shader refused).
bool EnterProgrammable(MeshDraw* d, const ModelBaseTriangleList* list, const ModelTriangleListState& state,
                       int vertexShader, int pixelShader, bool outline) {
    const ModelDeviceBlock* block = list->deviceBlock;
    if (!block || !block->vertexBuffer || !block->indexBuffer) return false;
    if (!SelectVertexShader(vertexShader + SkinOffset(list->vertexKind)) || !SelectPixelShader(pixelShader))
        return false;
    DeviceVertexBuffer* vertices = state.ownVertexBuffer ? state.ownVertexBuffer : block->vertexBuffer;
    SetDeviceStreamSource(vertices, 0, block->stride);
    if (d->mode != TextureMode::Programmable) {
        if (outline)
            SetupOutlineProgrammableStages(&d->block, d->mesh);
        else
            SetupMeshProgrammableStages(d->mesh, &d->block, d->specular);
        d->mode = TextureMode::Programmable;
    }
    SetDeviceIndices(block->indexBuffer);
    const ModelFrame* frame = d->mesh->frame;
    if (list->vertexKind == 0) {
        SetDeviceShaderConstants(0, kVsRegMatrices, frame->worldMatrix.m, 3);
        return true;
    }
    // The palette: the skin matrix of every bone slot of the list, and a
    // zero matrix in the slot past it, which weights on bones the palette
    // lacks name: they count for nothing, as in software skinning.
    float palette[(kModelMaxPaletteBones + 1) * 12];
    const int boneRefCount = frame->boneRefs ? frame->baseFrame->boneRefCount : 0;
    const int count = std::min(list->boneCount, kModelMaxPaletteBones);
    int renormalise = 0;
    for (int i = 0; i < count; ++i) {
        const int ref = list->bones[i];
        const Matrix34* m = ref >= 0 && ref < boneRefCount ? frame->boneRefs[ref] : nullptr;
        static const Matrix34 kNone = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
        std::memcpy(palette + 12 * i, (m ? m : &kNone)->m, sizeof(float) * 12);
        if (m && !renormalise) renormalise = MatrixNeedsRenormalise(m);
    }
    std::memset(palette + 12 * count, 0, sizeof(float) * 12);
    const int slots = std::min(count + 1, kModelMaxPaletteBones);
    SetDeviceShaderConstants(0, kVsRegMatrices, palette, 3 * slots);
    const float flag[4] = {float(renormalise), 0, 0, 0};
    SetDeviceShaderConstants(0, kVsRegRenormalise, flag, 1);
    return true;
}

int BaseVertexOf(const ModelBaseTriangleList* list, const ModelTriangleListState& state) {
    return state.ownVertexBuffer ? 0 : list->firstVertex;
}

bool DrawListProgrammable(MeshDraw* d, ModelBaseTriangleList* list, const ModelTriangleListState& state) {
    if (!EnterProgrammable(d, list, state, d->shaders.vertex, d->shaders.pixel, false)) return false;
    DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, BaseVertexOf(list, state), 0, list->vertexCount,
                               list->firstIndex, list->indexCount / 3);
    return true;
}

bool DrawOutlineProgrammable(MeshDraw* d, ModelBaseTriangleList* list, const ModelTriangleListState& state) {
    // The normal-map bit tells the outline of a mesh with tangent data the
    // layout of its vertices.
    const int layout = ModelMeshHasTangentLayout(list->mesh) ? kVsNormalMap : 0;
    const int outline = kVsOutline + (GetVertexShaderBase() & (3 << kVsFogShift)) + layout;
    // The device buffers hold the outline triangles turned round: culling
    // counter-clockwise keeps what the clockwise culling of the outline
    // keeps from the triangles as they are (model_device_buffers.cpp).
    SetDeviceCullMode(kCullCounterClockwise);
    if (!EnterProgrammable(d, list, state, outline, 0, true)) {
        SetDeviceCullMode(kCullClockwise);
        return false;
    }
    DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, BaseVertexOf(list, state), 0, list->vertexCount,
                               list->firstIndex + list->indexCount, list->outlineIndexCount / 3);
    return true;
}

void DrawFromMemory(const ModelBaseTriangleList* list, const uint16_t* indices, int indexCount, const void* vertices,
                    int stride, uint32_t fvf) {
    SetDeviceFvf(fvf);
    DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 0, list->vertexCount, indexCount / 3, indices,
                                 DEVICE_FMT_INDEX16, vertices, stride);
}

// Vertex colours of the list being lit, diffuse then specular bytes per
// vertex; grows to the largest list seen instead of allocating per draw.
uint8_t* VertexColourScratch(size_t bytes) {
    if (bytes <= MeshDrawState().vertexColourBytes) return MeshDrawState().vertexColours;
    FreeMemory(MeshDrawState().vertexColours);
    MeshDrawState().vertexColours = static_cast<uint8_t*>(AllocMemory(bytes, __FILE__, __LINE__));
    MeshDrawState().vertexColourBytes = MeshDrawState().vertexColours ? bytes : 0;
    return MeshDrawState().vertexColours;
}

// `transform` null: the copy was written in world space by skinning, and
// its colours are always lit afresh.
void LightToon(MeshDraw* d, ModelBaseTriangleList* list, int renormalise, const float* transform) {
    const ModelMesh* mesh = d->mesh;
    int drawType = MeshDrawType(mesh);
    if (drawType != 1 && drawType != 2) return;
    const DeviceMaterial& material = GetDeviceStateCache()->material;
    ToonLighting lighting;
    GatherToonLighting(&lighting, GetModelDrawView()->eye, material.power, drawType);
    ToonVertexRun run = {static_cast<unsigned char*>(list->fixedVertices),
                         list->fixedStride,
                         list->vertexCount,
                         nullptr,
                         mesh->base->vertexColours,
                         mesh->base->vertexSpecular,
                         {},
                         {}};
    const DeviceColorValue* dc[2] = {&material.diffuse, &material.specular};
    uint8_t* bytes[2] = {run.materialDiffuse, run.materialSpecular};
    for (int k = 0; k < 2; ++k) {
        bytes[k][0] = MaterialColorByte(dc[k]->r);
        bytes[k][1] = MaterialColorByte(dc[k]->g);
        bytes[k][2] = MaterialColorByte(dc[k]->b);
        bytes[k][3] = MaterialColorByte(dc[k]->a);
    }
    ToonLitKey* stored = ListToonLitKey(list);
    ToonLitKey key;
    const int positionsFixed = !mesh->base->needsInstanceVertices;
    if (BuildToonLitKey(&lighting, &run, renormalise, transform, positionsFixed, &key)) {
        if (ToonLitKeyMatches(stored, &key)) return;
    } else {
        key.head.valid = 0;
    }
    ForgetToonLitKey(stored);
    // Vertex colours, when the mesh uses them, are read from the mesh vertices.
    uint8_t* vertexColours = nullptr;
    const bool useVertexColours = run.useVertexDiffuse || run.useVertexSpecular;
    if (useVertexColours) {
        vertexColours = VertexColourScratch(size_t(list->vertexCount) * 8);
        if (vertexColours) {
            for (int v = 0; v < list->vertexCount; ++v) {
                const ModelBaseMeshVertex& mv = mesh->base->vertices[list->meshVertices[v]];
                std::memcpy(vertexColours + 8 * v, mv.diffuse, 4);
                std::memcpy(vertexColours + 8 * v + 4, mv.specular, 4);
            }
        }
        run.vertexColors = vertexColours;
    }
    ComputeToonVertexColors(&lighting, &run, renormalise, transform);
    // Colours lit without their vertex colours (memory short) are not kept.
    if (key.head.valid && (!useVertexColours || vertexColours)) StoreToonLitKey(stored, &key);
}

void CopyOwnPositions(const ModelTriangleListState& state, ModelBaseTriangleList* list) {
    if (!state.vertexCopy) return;
    const auto* src = static_cast<const unsigned char*>(state.vertexCopy);
    auto* dst = static_cast<unsigned char*>(list->fixedVertices);
    for (int v = 0; v < list->vertexCount; ++v) std::memcpy(dst + v * list->fixedStride, src + v * 32, 12);
}

void DrawRigidList(MeshDraw* d, ModelBaseTriangleList* list, const ModelTriangleListState& state) {
    ModelFrame* frame = d->mesh->frame;
    SendFrameWorld(frame);
    EnterFixedMode(d, false);
    if (!AllocTriangleListVertexCopy(list)) return;  // memory short: the list is skipped
    if (d->mesh->base->needsInstanceVertices) CopyOwnPositions(state, list);
    int renormalise = MatrixNeedsRenormalise(&frame->worldMatrix);
    LightToon(d, list, renormalise, frame->worldMatrix4x4);
    DrawFromMemory(list, list->indices, list->indexCount, list->fixedVertices, list->fixedStride,
                   ModelFixedFvf(d->mesh->base));
}

void DrawSkinnedList(MeshDraw* d, ModelBaseTriangleList* list, const ModelTriangleListState& state) {
    EnterFixedMode(d, false);
    SendIdentityWorld();
    if (!AllocTriangleListVertexCopy(list)) return;
    const void* source = d->mesh->base->needsInstanceVertices && state.vertexCopy ? state.vertexCopy : list->vertices;
    const ModelFrame* frame = d->mesh->frame;
    const int boneRefCount = frame->boneRefs ? frame->baseFrame->boneRefCount : 0;
    int renormalise = 0;
    if (list->vertexKind == 3) {
        SkinVerticesKind3(source, list->vertexCount, list->vertexStride, list->maxWeights, frame->boneRefs,
                          boneRefCount, list->fixedVertices, list->fixedStride);
        for (int i = 0; i < boneRefCount && !renormalise; ++i)
            renormalise = frame->boneRefs[i] && MatrixNeedsRenormalise(frame->boneRefs[i]);
    } else {
        const Matrix34* palette[kModelMaxPaletteBones] = {};
        int count = std::min(list->boneCount, kModelMaxPaletteBones);
        for (int i = 0; i < count; ++i) {
            int ref = list->bones[i];
            palette[i] = ref >= 0 && ref < boneRefCount ? frame->boneRefs[ref] : nullptr;
            if (palette[i] && !renormalise) renormalise = MatrixNeedsRenormalise(palette[i]);
        }
        if (list->vertexKind == 1)
            SkinVerticesKind1(source, list->vertexCount, palette, count, list->fixedVertices, list->fixedStride);
        else
            SkinVerticesKind2(source, list->vertexCount, palette, count, list->fixedVertices, list->fixedStride);
    }
    LightToon(d, list, renormalise, nullptr);
    DrawFromMemory(list, list->indices, list->indexCount, list->fixedVertices, list->fixedStride,
                   ModelFixedFvf(d->mesh->base));
}

// On-screen width of `width` world units at the frame origin, along the
// camera's x axis.
float OutlinePixels(const ModelFrame* frame, float width) {
    const ModelDrawView* view = GetModelDrawView();
    const float origin[3] = {frame->worldMatrix.m[3], frame->worldMatrix.m[7], frame->worldMatrix.m[11]};
    const float moved[3] = {origin[0] + width * view->view[0], origin[1] + width * view->view[4],
                            origin[2] + width * view->view[8]};
    float a[3], b[3];
    ProjectToScreen(view->toScreen, origin, a);
    ProjectToScreen(view->toScreen, moved, b);
    return std::fabs(b[0] - a[0]);
}

void DrawOutlineList(MeshDraw* d, ModelBaseTriangleList* list, float width) {
    ModelFrame* frame = d->mesh->frame;
    if (list->vertexKind == 0)
        SendFrameWorld(frame);
    else
        SendIdentityWorld();
    EnterFixedMode(d, true);
    if (!list->fixedVertices || !AllocTriangleListOutlineCopy(list)) return;
    const float* c = d->mesh->material->outlineColour;
    auto byte = [](float v) { return uint32_t(std::clamp(v * 255.0f, 0.0f, 255.0f)); };
    const uint32_t colour = 0xFF000000u | byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]);
    const auto* src = static_cast<const unsigned char*>(list->fixedVertices);
    auto* out = static_cast<unsigned char*>(list->outlineVertices);
    // Component by component: a whole-record copy to the stack first stalls
    // on the store-to-load forward.
    auto at = [](const unsigned char* bytes, int k) {
        float f;
        std::memcpy(&f, bytes + 4 * k, 4);
        return f;
    };
    for (int v = 0; v < list->vertexCount; ++v, src += list->fixedStride, out += 16) {
        const float p[3] = {at(src, 0) + at(src, 3) * width, at(src, 1) + at(src, 4) * width,
                            at(src, 2) + at(src, 5) * width};
        std::memcpy(out, p, 12);
        std::memcpy(out + 12, &colour, 4);
    }
    DrawFromMemory(list, list->outlineIndices, list->outlineIndexCount, list->outlineVertices, 16,
                   DEVICE_FVF_XYZ | DEVICE_FVF_DIFFUSE);
}

void DrawOutlinePass(MeshDraw* d) {
    const ModelMaterial* m = d->mesh->material;
    float width = m->outline[0];
    width = ScaleOutlineWidth(width, m->outline[1], OutlinePixels(d->mesh->frame, width));
    SetupOutlineDrawState(&d->block, d->mesh, width);
    d->mode = TextureMode::None;
    const ModelBaseMesh* base = d->mesh->base;
    for (int i = 0; i < base->triangleListCount; ++i) {
        ModelBaseTriangleList* list = &base->firstTriangleList[i];
        if (list->outlineIndexCount < 3 || list->vertexCount <= 0) continue;
        if (list->vertexKind <= 2 && DrawOutlineProgrammable(d, list, ListState(d->mesh, i))) continue;
        DrawOutlineList(d, list, width);
    }
}

}  // namespace

int ModelFixedUvSets(const ModelBaseMesh* mesh) {
    // At least one set of the mesh's own, so the second toon coordinate
    // (set 2) always lies inside the vertex.
    return std::clamp(mesh->uvChannelCount, 1, 6);
}

int ModelFixedStride(const ModelBaseMesh* mesh) { return (ModelFixedUvSets(mesh) + 4) * 16; }

uint32_t ModelFixedFvf(const ModelBaseMesh* mesh) {
    int sets = ModelFixedUvSets(mesh) + 2;
    uint32_t fvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DEVICE_FVF_DIFFUSE | DEVICE_FVF_SPECULAR | DeviceFvfTexCount(sets);
    for (int t = 0; t < sets; ++t) fvf |= DeviceFvfTexCoordSize4(t);
    return fvf;
}

int AllocTriangleListVertexCopy(ModelBaseTriangleList* list) {
    if (list->fixedVertices) return 1;
    const ModelBaseMesh* mesh = list->mesh;
    int stride = ModelFixedStride(mesh);
    auto* copy = static_cast<unsigned char*>(AllocChainedMemory(
        size_t(list->vertexCount) * size_t(stride) + sizeof(ToonLitKey), &mesh->frame->base->memoryChain));
    if (!copy) return 0;
    const int uvSets = ModelFixedUvSets(mesh);
    const auto* src = static_cast<const unsigned char*>(list->vertices);
    for (int v = 0; v < list->vertexCount; ++v) {
        unsigned char* out = copy + v * stride;
        const ModelBaseMeshVertex& mv = mesh->vertices[list->meshVertices[v]];
        uint32_t diffuse = uint32_t(mv.diffuse[3]) << 24 | mv.diffuse[0] << 16 | mv.diffuse[1] << 8 | mv.diffuse[2];
        uint32_t specular = uint32_t(mv.specular[3]) << 24 | mv.specular[0] << 16 | mv.specular[1] << 8 | mv.specular[2];
        std::memcpy(out + 24, &diffuse, 4);
        std::memcpy(out + 28, &specular, 4);
        for (int t = 0; t < uvSets && t < kModelUvChannels; ++t) {
            const float uv[4] = {mv.uv[t][0], mv.uv[t][1], 1.0f, 1.0f};
            std::memcpy(out + 32 + 16 * t, uv, sizeof(uv));
        }
        if (list->vertexKind == 0) {
            std::memcpy(out, src + v * list->vertexStride, 12);
            std::memcpy(out + 12, src + v * list->vertexStride + 16, 12);
        }
    }
    list->fixedStride = stride;
    list->fixedVertices = copy;
    return 1;
}

int AllocTriangleListOutlineCopy(ModelBaseTriangleList* list) {
    if (list->outlineVertices) return 1;
    list->outlineVertices = AllocChainedMemory(size_t(list->vertexCount) * 16, &list->mesh->frame->base->memoryChain);
    return list->outlineVertices ? 1 : 0;
}

void FreeModelMeshDrawWork() {
    FreeMemory(MeshDrawState().vertexColours);
    MeshDrawState().vertexColours = nullptr;
    MeshDrawState().vertexColourBytes = 0;
}

void ForgetModelWorldIdentity() {
    MeshDrawState().worldIsIdentity = false;
    MeshDrawState().worldFrame = nullptr;
}

void DrawModelMesh(ModelMesh* mesh) {
    if (!HardwareRenderingActive()) return;
    MeshDraw d = {};
    d.mesh = mesh;
    d.base = BaseOf(mesh);
    d.mode = TextureMode::None;
    SetupMeshMaterialState(&d.block, mesh, &d.specular, &d.shaders);
    const ModelBaseMesh* base = mesh->base;
    for (int i = 0; i < base->triangleListCount; ++i) {
        ModelBaseTriangleList* list = &base->firstTriangleList[i];
        if (list->indexCount < 3 || list->vertexCount <= 0) continue;  // nothing to draw, and no buffers
        const ModelTriangleListState& state = ListState(mesh, i);
        if (list->vertexKind <= 2 && DrawListProgrammable(&d, list, state)) continue;
        if (list->vertexKind == 0)
            DrawRigidList(&d, list, state);
        else if (list->vertexKind <= 3)
            DrawSkinnedList(&d, list, state);
    }
    int drawType = MeshDrawType(mesh);
    if (drawType != 1 && drawType != 2) return;
    const ModelMaterial* m = mesh->material;
    if (m->outline[0] > 1e-6f || m->outline[1] > 1e-6f) DrawOutlinePass(&d);
    if (!GetDeviceStateCache()->lightingOff) SetDeviceLighting(1);
}

}  // namespace morpotta
