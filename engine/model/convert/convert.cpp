// ConvertReadModelToModelBase: the format-independent back end of every
// model reader. Meshes are prepared and planned first, then the base data
// is registered and filled; every block it needs comes from its own memory
// chain, so a failure releases it through its handle in one call.
#include "model/convert/convert.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/anim/anim_keys.h"
#include "model/convert/base_routines.h"
#include "model/convert/convert_copy.h"
#include "model/convert/convert_frames.h"
#include "model/convert/convert_work.h"
#include "model/convert/mesh_prepare.h"
#include "model/base/model_handles.h"
#include "model/convert/skin_bones.h"

namespace morpotta {

namespace {


int Fail(const char* message) { return WriteLogText(message); }

bool BuildShapeTables(ReadModel* model) {
    for (ReadModelShape* shape = model->shapes.first; shape; shape = shape->next) {
        ReadModelMesh* mesh = shape->mesh;
        if (!mesh) continue;
        if (shape->vertexCount < 0 || (shape->vertexCount > 0 && !shape->vertices)) {
            Fail("Read Model Convert Error : シェイプの頂点データがありません");
            return false;
        }
        mesh->hasShapes = 1;
        shape->vertexTable = AllocReadModelArray<int>(model, size_t(mesh->positionCount));
        if (!shape->vertexTable) {
            Fail("Read Model Convert Error : シェイプ対象頂点テーブル用メモリの確保に失敗しました");
            return false;
        }
        for (int p = 0; p < mesh->positionCount; ++p) shape->vertexTable[p] = -1;
        for (int i = 0; i < shape->vertexCount; ++i) {
            uint32_t p = shape->vertices[i].position;
            if (p >= uint32_t(mesh->positionCount)) {
                Fail("Read Model Convert Error : シェイプの頂点番号が範囲外です");
                return false;
            }
            shape->vertexTable[p] = i;
        }
    }
    return true;
}

bool PrepareMesh(ReadModel* model, MeshWork* work) {
    ReadModelMesh* mesh = work->mesh;
    if (!CheckReadMesh(model, mesh) || !TriangulateReadModelMesh(model, mesh)) return false;
    EndModelConvertStage(MODEL_STAGE_TRIANGULATE);
    if (GetModelLoadVertexOptimize() && !MergeReadModelMeshVertices(mesh)) return false;
    EndModelConvertStage(MODEL_STAGE_MERGE);
    if (mesh->normalCount == 0 || model->useFrameSmoothingAngles || GetModelLoadNormalRecalc()) {
        if (!model->useFrameSmoothingAngles) mesh->frame->smoothingAngle = kModelDefaultAngle;
        if (!GenerateReadModelMeshNormals(model, mesh)) return false;
    }
    EndModelConvertStage(MODEL_STAGE_NORMALS);
    model->totalTriangles += uint32_t(mesh->faceCount);
    return PlanReadMesh(model, work);
}

// The lists were the last readers of the faces, their colour and UV
// arrays and the per-face work: they go before the base data is filled.
// (Arrays a reader keeps elsewhere than the model's chain stay.)
void ReleaseFaceData(ReadModel* model, MeshWork* w) {
    ReadModelMesh* mesh = w->mesh;
    FreeReadModelFaces(model, mesh);
    FreeChainedBlock(&model->chain, mesh->colours);
    mesh->colours = nullptr;
    mesh->colourCount = 0;
    for (int c = 0; c < kReadUvChannels; ++c) {
        FreeChainedBlock(&model->chain, mesh->uvs[c]);
        mesh->uvs[c] = nullptr;
        mesh->uvCount[c] = 0;
    }
    std::vector<uint8_t>().swap(w->faceType);
    std::vector<uint16_t>().swap(w->faceBoneCount);
    std::vector<int>().swap(w->facePlan);
}

// The frames' positions and normals were the last readers of the meshes'
// own (arrays a reader keeps elsewhere than the model's chain stay).
void ReleaseVertexData(ReadModel* model, std::vector<MeshWork>& works) {
    for (MeshWork& w : works) {
        ReadModelMesh* mesh = w.mesh;
        FreeChainedBlock(&model->chain, mesh->positions);
        FreeChainedBlock(&model->chain, mesh->positionFlags);
        FreeChainedBlock(&model->chain, mesh->normals);
        mesh->positions = nullptr;
        mesh->positionFlags = nullptr;
        mesh->normals = nullptr;
    }
}

// Per frame: where each mesh's positions, normals and bone references go.
struct FrameTotals {
    int positions;
    int normals;
    int boneRefs;
    int maxWeights;
    int refBase;  // first entry in the base's bone-reference array
};

void CountFrameTotals(ReadModel* model, std::vector<MeshWork>& works, std::vector<FrameTotals>& totals) {
    int skinBones = 0;
    for (MeshWork& w : works) {
        FrameTotals& t = totals[w.mesh->frame->index];
        w.positionBase = t.positions;
        w.normalBase = t.normals;
        w.slotBase = t.boneRefs;
        w.skinBoneBase = skinBones;
        t.positions += w.mesh->positionCount;
        t.normals += w.mesh->normalCount;
        t.boneRefs += w.mesh->skinWeightCount;
        t.maxWeights = std::max(t.maxWeights, w.maxBonesPerVertex);
        skinBones += w.mesh->skinWeightCount;
    }
    int refs = 0;
    for (FrameTotals& t : totals) {
        t.refBase = refs;
        refs += t.boneRefs;
    }
    for (ReadModelFrame* f = model->frames.first; f; f = f->next) {
        f->maxWeightsPerVertex = uint32_t(totals[f->index].maxWeights);
        f->subtreeMeshCount = 0;
        f->descendantCount = 0;
    }
    for (MeshWork& w : works) {
        int drawable = int(w.groups.size());
        for (ReadModelFrame* f = w.mesh->frame; f; f = f->parent) f->subtreeMeshCount += uint32_t(drawable);
    }
    for (ReadModelFrame* f = model->frames.first; f; f = f->next)
        for (ReadModelFrame* a = f->parent; a; a = a->parent) ++a->descendantCount;
}


class BaseBuilder {
public:
    BaseBuilder(ReadModel* model, ModelBase* base, std::vector<MeshWork>& works, std::vector<FrameTotals>& totals,
                std::vector<BuiltMesh>& meshes)
        : model_(model), base_(base), works_(works), totals_(totals), meshes_(meshes) {}

    int Frames() {
        int count = model_->frames.count;
        base_->frameCount = count;
        base_->frames = TakeBaseArray<ModelBaseFrame>(base_, size_t(count));
        base_->topFrames = TakeBaseArray<ModelBaseFrame*>(base_, size_t(count));
        int refs = totals_.empty() ? 0 : totals_.back().refBase + totals_.back().boneRefs;
        base_->boneRefCount = refs;
        base_->boneRefs = TakeBaseArray<ModelBaseSkinBone*>(base_, size_t(refs));
        if (!base_->frames || !base_->topFrames || !base_->boneRefs) return -1;
        for (ReadModelFrame* rf = model_->frames.first; rf; rf = rf->next) {
            ModelBaseFrame& f = base_->frames[rf->index];
            rf->baseFrame = &f;
            f.base = base_;
            f.index = int(rf->index);
            f.name = CopyBaseString(base_, rf->name);
            if (!f.name) return -1;
            f.smoothingAngle = rf->smoothingAngle;
            f.useFrameSmoothingAngles = int(model_->useFrameSmoothingAngles);
            f.flags = rf->visible ? 1u : 0u;
            f.userWord = rf->userWord;
            f.subtreeMeshCount = int(rf->subtreeMeshCount);
            f.descendantCount = int(rf->descendantCount);
            f.quaternion[0] = rf->quaternion[0];
            f.quaternion[1] = rf->quaternion[1];
            f.quaternion[2] = rf->quaternion[2];
            f.quaternion[3] = rf->quaternion[3];
            DecomposeFrameTransform(rf, &f);
            SetModelBitPosition(&f.matrixBit, f.index);
            SetModelBitPosition(&f.drawBit, f.index);
            const FrameTotals& t = totals_[rf->index];
            f.boneRefCount = t.boneRefs;
            f.boneRefs = base_->boneRefs + t.refBase;
            f.maxWeightsPerVertex = t.maxWeights;
            if (rf->parent) {
                f.parent = &base_->frames[rf->parent->index];
                if (rf->prevSibling) base_->frames[rf->prevSibling->index].nextSibling = &f;
                else f.parent->firstChild = &f;
            } else {
                base_->topFrames[base_->topFrameCount++] = &f;
            }
        }
        return 0;
    }

    int PositionsAndNormals() {
        for (int i = 0; i < base_->frameCount; ++i) {
            ModelBaseFrame& f = base_->frames[i];
            const FrameTotals& t = totals_[size_t(i)];
            f.positionCount = t.positions;
            f.normalCount = t.normals;
            f.positions = TakeBaseArray<ModelBasePosition>(base_, size_t(t.positions));
            f.normals = TakeBaseArray<ModelBaseNormal>(base_, size_t(t.normals));
            if (!f.positions || !f.normals) return -1;
        }
        for (const MeshWork& w : works_) {
            ModelBaseFrame& f = base_->frames[w.mesh->frame->index];
            for (int n = 0; n < w.mesh->normalCount; ++n) f.normals[w.normalBase + n].normal = w.mesh->normals[n];
            int most = f.maxWeightsPerVertex;
            for (int p = 0; p < w.mesh->positionCount; ++p) {
                ModelBasePosition& out = f.positions[w.positionBase + p];
                out.position = w.mesh->positions[p];
                if (most == 0) continue;
                out.weightBones = TakeBaseArray<int>(base_, size_t(most));
                out.weightValues = TakeBaseArray<float>(base_, size_t(most));
                if (!out.weightBones || !out.weightValues) return -1;
                int count = 0;
                if (w.skinned)
                    for (int k = w.influenceStart[size_t(p)]; k < w.influenceStart[size_t(p) + 1]; ++k, ++count) {
                        out.weightBones[count] = w.slotBase + w.influences[size_t(k)].skinWeight;
                        out.weightValues[count] = w.influences[size_t(k)].weight;
                    }
                if (count < most) out.weightBones[count] = -1;
            }
        }
        return 0;
    }

    int SkinBones() {
        int count = 0;
        for (const MeshWork& w : works_) count += w.mesh->skinWeightCount;
        base_->skinBoneCount = count;
        base_->skinBones = TakeBaseArray<ModelBaseSkinBone>(base_, size_t(count));
        if (!base_->skinBones) return -1;
        for (const MeshWork& w : works_) {
            ModelBaseFrame& frame = base_->frames[w.mesh->frame->index];
            for (int s = 0; s < w.mesh->skinWeightCount; ++s) {
                const ReadModelSkinWeight* sw = w.mesh->skinWeights[s];
                if (sw->boneFrameIndex < 0 || sw->boneFrameIndex >= base_->frameCount)
                    return WriteLogFormat("Read Model Convert Error : フレーム %s のスキニングメッシュのスキンウエイト情報で一致するノードの無いリンク情報がありました",
                                          frame.name);
                ModelBaseSkinBone& bone = base_->skinBones[w.skinBoneBase + s];
                bone.offset = sw->offsetMatrix;
                bone.boneFrame = sw->boneFrameIndex;
                bone.translationOnly = 1;
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c)
                        if (sw->offsetMatrix.m[r][c] != (r == c ? 1.0f : 0.0f)) bone.translationOnly = 0;
                bone.users = TakeBaseArray<ModelBaseSkinBoneUser>(base_, 1);
                if (!bone.users) return -1;
                bone.userCount = 1;
                bone.users[0] = ModelBaseSkinBoneUser{frame.index, w.slotBase + s};
                frame.boneRefs[w.slotBase + s] = &bone;
            }
        }
        return 0;
    }

    int Meshes() {
        size_t listTotal = 0, targetTotal = 0;
        for (const BuiltMesh& m : meshes_) {
            listTotal += m.lists.size();
            targetTotal += m.shapes.size();
        }
        base_->meshCount = int(meshes_.size());
        base_->meshes = TakeBaseArray<ModelBaseMesh>(base_, meshes_.size());
        base_->triangleListCount = int(listTotal);
        base_->triangleLists = TakeBaseArray<ModelBaseTriangleList>(base_, listTotal);
        base_->shapeTargetCount = int(targetTotal);
        base_->shapeTargets = TakeBaseArray<ModelBaseShapeTarget>(base_, targetTotal);
        base_->shapeCount = model_->shapes.count;
        if (!base_->meshes || !base_->triangleLists || !base_->shapeTargets) return -1;
        for (const ReadModelFrame* f = model_->frames.first; f; f = f->next)
            base_->frames[f->index].shapeCount = f->shapes.count;
        int listAt = 0, targetAt = 0;
        for (size_t i = 0; i < meshes_.size(); ++i) {
            BuiltMesh& built = meshes_[i];
            ModelBaseMesh& mesh = base_->meshes[i];
            ModelBaseFrame& frame = base_->frames[built.frameIndex];
            if (!frame.firstMesh) frame.firstMesh = &mesh;
            ++frame.meshCount;
            mesh.frame = &frame;
            mesh.material = built.material;
            SetModelBitPosition(&mesh.drawBit, base_->frameCount + int(i));
            mesh.visible = 1;
            mesh.cullMode = 1;
            mesh.translucent = built.translucent ? 1 : 0;
            mesh.vertexColours = built.vertexColours ? 1 : 0;
            mesh.needsInstanceVertices = built.hasShapes ? 1 : 0;
            mesh.uvChannelCount = built.uvChannels;
            mesh.triangleCount = built.triangleCount;
            mesh.vertexCount = built.vertexCount;
            mesh.vertices = TakeBaseArray<ModelBaseMeshVertex>(base_, size_t(built.vertexCount));
            if (!mesh.vertices) return -1;
            mesh.firstTriangleList = base_->triangleLists + listAt;
            mesh.triangleListCount = int(built.lists.size());
            for (BuiltList& bl : built.lists) {
                for (size_t v = 0; v < bl.vertices.size(); ++v)
                    bl.vertices.Unpack(v, &mesh.vertices[size_t(bl.firstVertex) + v]);
                if (Triangles(&base_->triangleLists[listAt++], &mesh, bl) != 0) return -1;
                if (mesh.needsInstanceVertices) {
                    base_->instanceVertexCounts[bl.vertexKind] += uint32_t(bl.vertices.size());
                    mesh.instanceVertexCount += int(bl.vertices.size());
                }
                bl = BuiltList{};  // copied: it goes before the next list is copied
            }
            for (const BuiltShapeTarget& bs : built.shapes) {
                ModelBaseShapeTarget& target = base_->shapeTargets[targetAt++];
                if (!frame.firstShapeTarget) frame.firstShapeTarget = &target;
                ++frame.shapeTargetCount;
                target.name = CopyBaseString(base_, bs.name);
                target.shape = bs.shape;
                target.mesh = &mesh;
                target.vertexCount = int(bs.vertices.size());
                target.vertices = TakeBaseArray<ModelBaseShapeVertex>(base_, bs.vertices.size());
                if (!target.name || !target.vertices) return -1;
                std::memcpy(target.vertices, bs.vertices.data(), sizeof(ModelBaseShapeVertex) * bs.vertices.size());
            }
            built = BuiltMesh{};  // copied: its arrays go before the next mesh's are copied
        }
        return 0;
    }

    // Vertex arrays need the frames' positions, normals and bone slots.
    void FillVertices() {
        for (int i = 0; i < base_->triangleListCount; ++i) {
            FillTriangleListVertices(&base_->triangleLists[i]);
            FilterTriangleListIndices(&base_->triangleLists[i]);
        }
    }

private:
    int Triangles(ModelBaseTriangleList* list, ModelBaseMesh* mesh, const BuiltList& built) {
        list->mesh = mesh;
        list->vertexKind = uint16_t(built.vertexKind);
        list->maxWeights = built.maxWeights;
        list->vertexStride = TriangleListVertexStride(built.vertexKind, built.maxWeights);
        list->vertexCount = int(built.vertices.size());
        list->indexCount = int(built.indices.size());
        list->boneCount = built.boneCount;
        std::memcpy(list->bones, built.bones, sizeof(list->bones));
        list->meshVertices = TakeBaseArray<int>(base_, built.vertices.size());
        list->indices = TakeBaseArray<uint16_t>(base_, built.indices.size());
        list->outlineIndices = TakeBaseArray<uint16_t>(base_, built.indices.size());
        list->vertices = AllocChainedMemory(size_t(list->vertexStride) * size_t(list->vertexCount) + 16,
                                            &base_->memoryChain);
        if (!list->meshVertices || !list->indices || !list->outlineIndices || !list->vertices) return -1;
        for (int i = 0; i < list->vertexCount; ++i) list->meshVertices[i] = built.firstVertex + i;
        std::memcpy(list->indices, built.indices.data(), sizeof(uint16_t) * built.indices.size());
        return 0;
    }

    ReadModel* model_;
    ModelBase* base_;
    std::vector<MeshWork>& works_;
    std::vector<FrameTotals>& totals_;
    std::vector<BuiltMesh>& meshes_;
};

int FillBase(ReadModel* model, ModelBase* base, const char* folder, const ModelTextureFileHook* hook,
             std::vector<MeshWork>& works, std::vector<FrameTotals>& totals, std::vector<BuiltMesh>& meshes) {
    const char* kMemory = "Read Model Convert Error : モデル基本データ保存用のメモリの確保に失敗しました";
    base->gravity = GetModelLoadGravity();
    base->frameBitWords = (model->frames.count + int(meshes.size()) + 32) / 32;
    if (folder && !(base->folder = const_cast<char*>(CopyBaseString(base, folder)))) return Fail(kMemory);
    BaseBuilder builder(model, base, works, totals, meshes);
    if (builder.Frames() != 0 || !CopyAnimations(model, base)) return Fail(kMemory);
    if (CopyTextures(model, base, folder, hook) != 0) return -1;
    if (!CopyMaterials(model, base) || builder.PositionsAndNormals() != 0) return Fail(kMemory);
    ReleaseVertexData(model, works);
    if (builder.SkinBones() != 0) return -1;
    if (builder.Meshes() != 0) return Fail("Read Model Convert Error : 頂点座標と頂点法線を格納するメモリ領域の確保に失敗しました");
    if (!CopyPhysics(model, base)) return Fail(kMemory);
    // A normal map is drawn in the frame of its mesh's tangent data: the
    // meshes that have one get it now (the others leave it to the passes
    // that need it).
    for (int i = 0; i < base->meshCount; ++i) {
        const int m = base->meshes[i].material;
        if (m >= 0 && m < base->materialCount && ModelMaterialHasNormalMap(base->materials[m]) &&
            BuildMeshTangents(&base->meshes[i]) != 0)
            return -1;
    }
    builder.FillVertices();
    OptimizeModelBaseSkinBones(base);  // its result does not stop the conversion
    if (model->meshAlphaFlag)
        for (int i = 0; i < base->meshCount; ++i) {
            int m = base->meshes[i].material;
            if (m >= 0 && m < base->materialCount && base->materials[m].diffuse[3] < 1.0f) base->meshes[i].cullMode = 0;
        }
    ComputeBaseFrameMatrices(base);
    if (!SkinBoneUsersConsistent(base)) return Fail("エラー０");
    return 0;
}

}  // namespace

int ConvertReadModelToModelBase(ReadModel* model, const char* folder, const ModelTextureFileHook* hook) {
    std::string folderCopy;
    if (folder) {
        folderCopy = folder;
        if (folderCopy.empty() || (folderCopy.back() != '\\' && folderCopy.back() != '/')) folderCopy += '/';
    }
    EndModelConvertStage(MODEL_STAGE_READ);
    NormalizeReadModelAnimKeys(model);
    if (!BuildShapeTables(model)) return -1;
    std::vector<MeshWork> works;
    for (ReadModelMesh* mesh = model->meshes.first; mesh; mesh = mesh->next) {
        works.push_back(MeshWork{});
        works.back().mesh = mesh;
        if (!PrepareMesh(model, &works.back())) return -1;
    }
    std::vector<FrameTotals> totals(size_t(model->frames.count), FrameTotals{});
    CountFrameTotals(model, works, totals);
    std::vector<BuiltMesh> meshes;
    for (const MeshWork& w : works) BuildMeshesOfReadMesh(model, w, &meshes);
    for (MeshWork& w : works) ReleaseFaceData(model, &w);
    EndModelConvertStage(MODEL_STAGE_LISTS);
    // Each frame's meshes stay together, in the model's mesh order.
    std::stable_sort(meshes.begin(), meshes.end(),
                     [](const BuiltMesh& a, const BuiltMesh& b) { return a.frameIndex < b.frameIndex; });

    int handle = ReserveModelBaseHandle();
    if (handle == -1) return Fail("Read Model Convert Error : モデル基本データハンドルの取得に失敗しました");
    auto* base = static_cast<ModelBase*>(AllocModelMemory(sizeof(ModelBase)));
    if (!base) {
        ClearModelBaseSlot(handle);
        return Fail("Read Model Convert Error : モデル基本データ保存用のメモリの確保に失敗しました");
    }
    StoreModelBase(handle, base);
    if (FillBase(model, base, folder ? folderCopy.c_str() : nullptr, hook, works, totals, meshes) != 0) {
        FreeModelBaseRecord(handle);
        return -1;
    }
    EndModelConvertStage(MODEL_STAGE_BASE);
    return handle;
}

}  // namespace morpotta
