// A model instance built by the tests themselves over converted base data,
// with test-owned arrays, so drawing can be tested on its own.
#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "model/base/model_handles.h"
#include "model/base/model_records.h"
#include "model/instance/model_instance.h"

using namespace morpotta;

struct TestInstance {
    ModelInstance in{};
    std::vector<ModelFrame> frames;
    std::vector<ModelMesh> meshes;
    std::vector<ModelMaterial> materials;
    std::vector<ModelTexture> textures;
    std::vector<Matrix34> skin;
    std::vector<Matrix34*> refs;
    std::vector<uint32_t> drawBits, matrixBits;
    std::vector<ModelTriangleListState> states;
    int handle = -1;

    ~TestInstance() {
        if (handle != -1) ClearModelInstanceSlot(handle);
    }

    void MarkAllDirty() {
        std::fill(drawBits.begin(), drawBits.end(), 0xFFFFFFFFu);
        std::fill(matrixBits.begin(), matrixBits.end(), 0xFFFFFFFFu);
        in.matricesValid = 0;
    }
};

inline void FillOnes(float* v, int n) {
    for (int i = 0; i < n; ++i) v[i] = 1.0f;
}

inline std::unique_ptr<TestInstance> MakeTestInstance(int baseHandle) {
    ModelBase* base = GetModelBase(baseHandle);
    if (!base) return nullptr;
    auto t = std::make_unique<TestInstance>();
    ModelInstance& in = t->in;
    in.base = base;
    in.baseHandle = baseHandle;
    t->frames.resize(size_t(base->frameCount));
    t->meshes.resize(size_t(base->meshCount));
    t->materials.resize(size_t(base->materialCount));
    t->textures.resize(size_t(base->textureCount));
    t->skin.resize(size_t(base->skinBoneCount));
    t->refs.resize(size_t(base->boneRefCount));
    t->drawBits.assign(size_t(base->frameBitWords), 0xFFFFFFFFu);
    t->matrixBits.assign(size_t(base->frameBitWords), 0xFFFFFFFFu);
    for (int i = 0; i < base->skinBoneCount; ++i) BuildIdentity34(&t->skin[size_t(i)]);
    for (int i = 0; i < base->boneRefCount; ++i) t->refs[size_t(i)] = &t->skin[size_t(base->boneRefs[i] - base->skinBones)];
    for (int i = 0; i < base->materialCount; ++i) {
        const ModelBaseMaterial& bm = base->materials[i];
        ModelMaterial& m = t->materials[size_t(i)];
        m.base = &bm;
        std::memcpy(m.diffuse, bm.diffuse, 16);
        std::memcpy(m.ambient, bm.ambient, 16);
        std::memcpy(m.specular, bm.specular, 16);
        std::memcpy(m.emissive, bm.emissive, 16);
        m.power = bm.power;
        std::memcpy(m.layers, bm.layers, sizeof(m.layers));
        std::memcpy(m.outline, bm.outline, sizeof(m.outline));
        CopyMaterialDrawSettings(bm, &m);
    }
    for (int i = 0; i < base->textureCount; ++i) {
        t->textures[size_t(i)].base = &base->textures[i];
        t->textures[size_t(i)].own.graph = -1;
        t->textures[size_t(i)].addressU = base->textures[i].addressU;
        t->textures[size_t(i)].addressV = base->textures[i].addressV;
        t->textures[size_t(i)].filter = base->textures[i].filter;
    }
    int lists = 0;
    for (int i = 0; i < base->meshCount; ++i) lists += base->meshes[i].triangleListCount;
    t->states.resize(size_t(lists));
    int at = 0;
    for (int i = 0; i < base->meshCount; ++i) {
        const ModelBaseMesh& bm = base->meshes[i];
        ModelMesh& m = t->meshes[size_t(i)];
        m.frame = &t->frames[size_t(bm.frame->index)];
        m.base = &bm;
        m.material = &t->materials[size_t(bm.material)];
        m.drawBit = bm.drawBit;
        m.visible = bm.visible;
        FillOnes(m.colourScales, 16);
        m.opacity = 1.0f;
        m.blendMode = m.blendParameter = -1;
        m.triangleListCount = bm.triangleListCount;
        m.triangleLists = &t->states[size_t(at)];
        for (int l = 0; l < bm.triangleListCount; ++l) t->states[size_t(at + l)] = {&m, &bm.firstTriangleList[l], nullptr, nullptr};
        at += bm.triangleListCount;
    }
    for (int i = 0; i < base->frameCount; ++i) {
        const ModelBaseFrame& bf = base->frames[i];
        ModelFrame& f = t->frames[size_t(i)];
        f.instance = &in;
        f.baseFrame = &bf;
        f.parent = bf.parent ? &t->frames[size_t(bf.parent->index)] : nullptr;
        f.firstChild = bf.firstChild ? &t->frames[size_t(bf.firstChild->index)] : nullptr;
        f.nextSibling = bf.nextSibling ? &t->frames[size_t(bf.nextSibling->index)] : nullptr;
        f.firstMesh = bf.firstMesh ? &t->meshes[size_t(bf.firstMesh - base->meshes)] : nullptr;
        f.visible = 1;
        FillOnes(f.colourScales, 16);
        f.opacity = 1.0f;
        f.boneRefs = bf.boneRefCount ? &t->refs[size_t(bf.boneRefs - base->boneRefs)] : nullptr;
    }
    in.drawDirtyBits = t->drawBits.data();
    in.matrixDirtyBits = t->matrixBits.data();
    in.drawDirtyBytes = in.matrixDirtyBytes = uint32_t(base->frameBitWords * 4);
    in.scale = {1, 1, 1};
    in.frames = t->frames.data();
    in.skinMatrices = t->skin.data();
    in.meshes = t->meshes.data();
    in.materials = t->materials.data();
    in.textures = t->textures.data();
    in.visible = 1;
    FillOnes(in.colourScales, 16);
    in.opacity = 1.0f;
    const int settings[kModelDrawSettingCount] = {1, 1, 4, 0, 0, 2};
    std::memcpy(in.drawSettings, settings, sizeof(settings));
    int h = ReserveModelInstanceHandle();
    if (h == -1) return nullptr;
    t->handle = StoreModelInstance(h, &in);
    if (t->handle == -1) return nullptr;
    return t;
}
