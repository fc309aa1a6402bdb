// The sample model of the binary model tests, fuzz target and benchmark:
// base data built through the conversion from a read model made here, with
// values every packing of the format carries exactly (whole-number
// positions whose boxes divide 60000, axis normals, weights in 255ths,
// texture coordinates in 65535ths), and key sets of every kind.
#pragma once
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "mesh_builder.h"
#include "model/base/model_handles.h"
#include "model/convert/base_routines.h"
#include "model/convert/convert.h"
#include "model_generator.h"

using namespace morpotta;

// Key sets of every kind the format stores, set into base data directly.
inline void AddMv1SampleAnimations(ModelBase* base, int frame) {
    MemoryChain* chain = &base->memoryChain;
    auto floats = [chain](std::initializer_list<float> values) {
        auto* out = static_cast<float*>(AllocChainedMemory(sizeof(float) * values.size(), chain));
        int i = 0;
        for (float v : values) out[i++] = v;
        return out;
    };
    auto* keys = static_cast<ModelBaseAnimKeySet*>(AllocChainedMemory(sizeof(ModelBaseAnimKeySet) * 6, chain));
    // A rotation as quaternions at explicit times.
    keys[0] = ModelBaseAnimKeySet{0, 0, 1, -1, 3, 0, 0, 0, floats({0, 10, 20}),
                                  floats({0, 0, 0, 1, 0, 0.5f, 0, 0.75f, 0, 1, 0, 0})};
    // A translation at evenly spaced times.
    keys[1] = ModelBaseAnimKeySet{1, 10, 0, -1, 2, 0, 4, 8, nullptr, floats({1, 2, 3, -4, 5, 60})};
    // An angle about one axis, two keys.
    keys[2] = ModelBaseAnimKeySet{5, 1, 1, -1, 2, 0, 0, 0, floats({0, 30}), floats({0.5f, 2.5f})};
    // A shape weight: one key at time 0.
    keys[3] = ModelBaseAnimKeySet{5, 18, 0, 1, 1, 0, 0, 1, nullptr, floats({0.5f})};
    // An internal quaternion; and a matrix track, whose values the format leaves out.
    keys[4] = ModelBaseAnimKeySet{7, 0, 1, -1, 1, 0, 0, 0, floats({5}), floats({0, 0, 1, 0})};
    keys[5] = ModelBaseAnimKeySet{2, 15, 0, -1, 0, 0, 0, 1, nullptr, nullptr};
    auto* anims = static_cast<ModelBaseAnim*>(AllocChainedMemory(sizeof(ModelBaseAnim) * 2, chain));
    anims[0] = ModelBaseAnim{frame, 0.25f, 7, 4, keys};
    anims[1] = ModelBaseAnim{0, 0.0f, 0, 2, keys + 4};
    base->animSetCount = 2;
    base->animSets = static_cast<ModelBaseAnimSet*>(AllocChainedMemory(sizeof(ModelBaseAnimSet) * 2, chain));
    base->animSets[0] = ModelBaseAnimSet{"walk", 0.0f, 20.0f, {1, 0}, 1, anims};
    base->animSets[1] = ModelBaseAnimSet{"wave", 0.0f, 5.0f, {0, 1}, 1, anims + 1};
}

// What a binary model file carries beyond the model itself: two header
// words, data blocks A and B, frame-attached records, frames pointing into
// all of them and at their own skin bone; and seven texture-coordinate sets
// on the first mesh.
inline void AddMv1SampleCarriedData(ModelBase* base) {
    MemoryChain* chain = &base->memoryChain;
    base->headerWord = 0x12345678;
    base->meshDrawWord = 0xCAFEF00D;
    const uint32_t sizes[2] = {24, 7};
    for (int b = 0; b < 2; ++b) {
        auto* bytes = static_cast<uint8_t*>(AllocChainedMemory(sizes[b], chain));
        for (uint32_t i = 0; i < sizes[b]; ++i) bytes[i] = uint8_t(i * 37 + uint32_t(b));
        base->dataBlocks[b] = ModelBaseDataBlock{sizes[b], bytes};
    }
    base->frameRecordCount = 2;
    base->frameRecords = static_cast<ModelBaseFrameRecord*>(AllocChainedMemory(2 * sizeof(ModelBaseFrameRecord), chain));
    for (int r = 0; r < 2; ++r) {
        base->frameRecords[r].name = r ? "second" : "first";
        for (int w = 0; w < kModelFrameRecordWords; ++w) base->frameRecords[r].words[w] = uint32_t(1000 * r + w);
    }
    base->frames[1].dataA = base->dataBlocks[0].bytes + 8;
    base->frames[1].dataB = base->dataBlocks[1].bytes + 6;
    base->frames[1].attachedRecord = &base->frameRecords[1];
    base->frames[0].attachedRecord = &base->frameRecords[0];
    base->frames[4].skinBone = &base->skinBones[2];
    ModelBaseMesh& first = base->meshes[0];
    first.uvChannelCount = 7;
    for (int v = 0; v < first.vertexCount; ++v)
        for (int s = 1; s < 7; ++s)
            first.vertices[v].uv[s][0] = first.vertices[v].uv[s][1] = float(v * 977 + s * 131) / 65535.0f;
}

// The sample: a frame tree with a transform, a cube with two shapes (and,
// given a folder, a texture whose files "wood.png" and "wood_a.png" lie
// there), a soup skinned to one, five and nine bones per position (and
// faces with none), vertex colours, no-outline vertices, physics and key
// sets of every kind, and what a file carries beyond the model. Null when
// the conversion fails.
inline ModelBase* BuildMv1Sample(const char* textureFolder) {
    ReadModel model;
    InitReadModel(&model);
    model.meshAlphaFlag = 1;
    ReadModelFrame* root = AddReadModelFrame(&model, "root", nullptr);
    root->translation = Vector3{1, 2, 3};
    root->rotation[1] = 0.5f;
    root->rotationOrder = 2;
    root->userWord = 77;
    ReadModelFrame* body = AddReadModelFrame(&model, "body", root);
    ReadModelFrame* arm = AddReadModelFrame(&model, "arm", root);
    std::vector<ReadModelFrame*> bones;
    for (int b = 0; b < 10; ++b) bones.push_back(AddReadModelFrame(&model, ("bone" + std::to_string(b)).c_str(), arm));
    AddReadModelFrame(&model, "tip", bones[3])->visible = 0;

    ReadModelMesh* cube = AddTestCube(&model, body);
    ReadModelMaterial* skin = AddReadModelMaterial(&model, "skin");
    skin->diffuse[3] = 0.5f;
    skin->drawType = 1;
    skin->extraTextureIndex1 = 0;
    skin->modeWords[2] = 0x3F800000;
    skin->modeWords[3] = 0x40000000;
    skin->modeWords[6] = 9;
    skin->flagWord = 3;
    skin->alpha = 200;
    if (textureFolder) {
        ReadModelTexture* wood = AddReadModelTexture(&model, "wood", "wood.png", "wood_a.png", 1, 0.5f, 0, 1, 0);
        wood->addressU = 3;
        wood->layerWord = 5;
        skin->layers[0].count = 1;
        skin->layers[0].textures[0] = wood;
    } else {
        skin->extraTextureIndex1 = -1;
    }
    cube->materials[0] = skin;
    cube->materialCount = 1;
    cube->uvCount[0] = 2;
    cube->uvs[0] = AllocReadModelArray<float[2]>(&model, 2);
    cube->uvs[0][1][0] = 1.0f;
    cube->uvs[0][1][1] = 12345.0f / 65535.0f;
    for (int f = 0; f < cube->faceCount; ++f)
        for (int c = 0; c < 3; ++c) ReadFaceUvs(cube, 0, f)[c] = (f + c) % 2;
    for (const char* name : {"smile", "frown"}) {
        ReadModelShape* shape = AddReadModelShape(&model, name, body);
        shape->mesh = cube;
        shape->hasNormals = 1;
        shape->vertexCount = 2;
        shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(&model, 2);
        shape->vertices[0] = {1, Vector3{0, 0, 1}, Vector3{0, 1, 0}};
        shape->vertices[1] = {6, Vector3{0.5f, 0, 0}, Vector3{0, 0, 0}};
    }

    ReadModelMesh* soup = AddTriangleSoup(&model, arm, 8);  // x from 0 to 8
    soup->positionFlags = AllocReadModelArray<uint8_t>(&model, size_t(soup->positionCount));
    soup->positionFlags[0] = soup->positionFlags[1] = soup->positionFlags[2] = 1;
    soup->colourCount = 1;
    soup->colours = AllocReadModelArray<float[4]>(&model, 1);
    for (int c = 0; c < 4; ++c) soup->colours[0][c] = c == 3 ? 1.0f : 0.2f * float(c + 1);
    // Triangles 0-1 one bone, 2-3 five bones, 4-5 nine bones, 6-7 none.
    for (int t = 0; t < 6; ++t)
        for (int c = 0; c < 3; ++c) {
            int p = t * 3 + c;
            if (t < 2) {
                AddSkinWeight(&model, soup, int(bones[size_t(t)]->index), {{p, 1.0f}});
            } else if (t < 4) {
                for (int b = 0; b < 5; ++b) AddSkinWeight(&model, soup, int(bones[size_t(b)]->index), {{p, 51 / 255.0f}});
            } else {
                for (int b = 0; b < 9; ++b)
                    AddSkinWeight(&model, soup, int(bones[size_t(b)]->index), {{p, (b == 8 ? 31 : 28) / 255.0f}});
            }
        }

    ReadModelRigidBody* a = AddReadModelRigidBody(&model, "hip", body->index);
    ReadModelRigidBody* b = AddReadModelRigidBody(&model, "hand", arm->index);
    for (int w = 1; w < 20; ++w) a->params[w] = b->params[w] = uint32_t(w * 3);
    ReadModelJoint* j = AddReadModelJoint(&model, "elbow");
    j->params[0] = 0;
    j->params[1] = 1;
    for (int w = 2; w < 26; ++w) j->params[w] = uint32_t(100 + w);

    const int armIndex = int(arm->index);
    int handle = ConvertReadModelToModelBase(&model, textureFolder, nullptr);
    FreeReadModel(&model);
    if (handle < 0) return nullptr;
    ModelBase* base = GetModelBase(handle);
    base->materials[0].outline[0] = 0.25f;
    base->materials[0].outline[1] = 2.0f;
    const float outlineColour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    std::memcpy(base->materials[0].outlineColour, outlineColour, sizeof(outlineColour));
    base->meshes[0].vertexSpecular = 1;
    for (int i = 0; i < base->frameCount; ++i)
        if (std::strcmp(base->frames[i].name, "tip") == 0) {
            base->frames[i].flags |= 2;  // placed by the model matrix alone
            base->frames[i].ignoreParent = 1;
        }
    base->meshDrawFloat = 1.5f;
    AddMv1SampleAnimations(base, armIndex);
    AddMv1SampleCarriedData(base);
    // The conversion leaves tangents to the passes that need them; the
    // reader builds them for every mesh.
    for (int i = 0; i < base->meshCount; ++i) BuildMeshTangents(&base->meshes[i]);
    return base;
}

