// The X object tree into the read model: materials, then frames (a named
// mesh gets a frame of its own below its frame; a mesh outside every frame
// a top-level one), then the meshes with their materials, skin weights,
// positions, normals, texture coordinates, faces and vertex colours, then
// the animation sets. Arrays the read model can take as they are (positions,
// normals, texture coordinates) are shared with the tree, which lives until
// the conversion is done.
//
// Everything a face, a colour or a weight points at is checked against the
// mesh's own counts; skin weights and animations must name a frame.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "model/read/read_model.h"
#include "model/read/x_file.h"

namespace morpotta {

namespace {

constexpr float kOpaqueAlpha = 0.9999999f;


struct Placement {
    XObject* mesh;
    ReadModelFrame* frame;
};

struct Builder {
    XFileContext* context;
    ReadModel* model;
    std::vector<Placement> meshes;  // in frame order, then the meshes outside every frame
    std::vector<XObject*> found;    // scratch for child lists
};

ReadModelFrame* FrameOf(const XObject* frameObject) {
    return frameObject ? static_cast<ReadModelFrame*>(frameObject->built) : nullptr;
}

// The objects of a kind below an object: children and references, in
// file order.
const std::vector<XObject*>& Collect(Builder* b, const XObject* object, int kind) {
    int count = ListXChildObjects(b->context, object, kind, nullptr, 0);
    b->found.assign(size_t(count), nullptr);
    ListXChildObjects(b->context, object, kind, b->found.data(), count);
    return b->found;
}

void SetColour(float* out, const float* rgb, float alpha) {
    out[0] = rgb[0];
    out[1] = rgb[1];
    out[2] = rgb[2];
    out[3] = alpha;
}

int AddMaterials(Builder* b) {
    for (XObject* o = b->context->first; o; o = o->nextInFile) {
        if (o->kind != X_KIND_MATERIAL) continue;
        const XMaterialData& x = o->data.material;
        ReadModelMaterial* m = AddReadModelMaterial(b->model, o->name);
        if (!m) return LogXFileError("Load XFile : マテリアルオブジェクトの追加に失敗しました");
        if (XObject* file = FindXChildObject(b->context, o, X_KIND_TEXTURE_FILENAME)) {
            const char* name = file->data.textureFileName;
            ReadModelTexture* t = AddReadModelTexture(b->model, name, name, nullptr, 0, 0.1f, 1, 0, 1);
            if (!t) return LogXFileError("Load XFile : テクスチャオブジェクトの追加に失敗しました");
            m->layers[0].textures[0] = t;
            m->layers[0].count = 1;
        }
        std::fill(m->ambient, m->ambient + 4, 0.0f);
        SetColour(m->diffuse, x.faceColour, 1.0f);
        SetColour(m->specular, x.specular, 0.0f);
        SetColour(m->emissive, x.emissive, 0.0f);
        m->power = x.power;
        if (x.faceColour[3] < kOpaqueAlpha) {
            float alpha = x.faceColour[3] * 255.0f;
            m->alpha = alpha > 0.0f ? (alpha < 255.0f ? int(alpha) : 255) : 0;
        }
        o->number = int(m->index);
        o->built = m;
    }
    return 0;
}

int AddFrames(Builder* b) {
    XObject* root = b->context->first;
    for (XObject* o = root->nextInFile; o; o = o->nextInFile) {
        if (o->kind != X_KIND_FRAME) continue;
        // A frame inside anything but a frame below the root is a top-level one.
        ReadModelFrame* parent = o->parent != root && o->parent->kind == X_KIND_FRAME ? FrameOf(o->parent) : nullptr;
        ReadModelFrame* frame = AddReadModelFrame(b->model, o->name, parent);
        if (!frame) return LogXFileError("Load XFile : フレームオブジェクトの追加に失敗しました");
        if (XObject* matrix = FindXChildObject(b->context, o, X_KIND_FRAME_TRANSFORM_MATRIX))
            std::memcpy(&frame->transform.m[0][0], matrix->data.matrix, sizeof(frame->transform));
        o->built = frame;
        for (XObject* c = o->firstChild; c; c = c->nextSibling) {
            if (c->kind != X_KIND_MESH) continue;
            ReadModelFrame* own = frame;
            if (c->name[0] && !(own = AddReadModelFrame(b->model, c->name, frame)))
                return LogXFileError("Load XFile : フレームオブジェクトの追加に失敗しました");
            b->meshes.push_back(Placement{c, own});
        }
    }
    for (XObject* c = root->firstChild; c; c = c->nextSibling) {
        if (c->kind != X_KIND_MESH) continue;
        ReadModelFrame* own = AddReadModelFrame(b->model, c->name[0] ? c->name : "Mesh", nullptr);
        if (!own) return LogXFileError("Load XFile : フレームオブジェクトの追加に失敗しました");
        b->meshes.push_back(Placement{c, own});
    }
    return 0;
}

int MeshMaterials(Builder* b, XObject* meshObject, XObject* list, ReadModelMesh* mesh) {
    if (!list) {
        ReadModelMaterial* normal = AddReadModelMaterial(b->model, "Normal");
        if (!normal) return LogXFileError("Load XFile : マテリアルオブジェクトの追加に失敗しました");
        mesh->materials[0] = normal;
        mesh->materialCount = 1;
        return 0;
    }
    const std::vector<XObject*>& materials = Collect(b, list, X_KIND_MATERIAL);
    int found = int(materials.size());
    if (found != list->data.materialList.materialCount)
        return WriteLogFormat("Load XFile : マテリアルリストのマテリアル数( %d )と実際のマテリアルの数( %d )が違いました",
                              list->data.materialList.materialCount, found);
    if (found > kReadMeshMaxMaterials)
        return WriteLogFormat("Load XFile : メッシュ %s のマテリアルの数( %d )が上限の %d を超えています", meshObject->name,
                              found, kReadMeshMaxMaterials);
    for (int i = 0; i < found; ++i) mesh->materials[i] = static_cast<ReadModelMaterial*>(materials[size_t(i)]->built);
    mesh->materialCount = found;
    return 0;
}

int SkinWeights(Builder* b, XObject* meshObject, ReadModelMesh* mesh) {
    const std::vector<XObject*>& weights = Collect(b, meshObject, X_KIND_SKIN_WEIGHTS);
    if (int(weights.size()) > kReadMeshMaxSkinWeights)
        return WriteLogFormat("Load XFile : メッシュ %s のスキンウエイト情報の数( %d )が上限の %d を超えています",
                              meshObject->name, int(weights.size()), kReadMeshMaxSkinWeights);
    for (XObject* o : weights) {
        const XSkinWeightsData& x = o->data.skinWeights;
        ReadModelFrame* bone = FrameOf(FindXObjectByName(b->context, X_KIND_FRAME, x.frameName));
        if (!bone)
            return WriteLogFormat("Load XFile : スキンウエイト情報の対象フレーム %s がありません", x.frameName);
        ReadModelSkinWeight* sw = AllocReadModelSkinWeight(b->model);
        if (!sw) return LogXFileError("Load XFile : スキニングメッシュウエイト情報を格納するメモリ領域の確保に失敗しました");
        sw->weights = AllocReadModelArray<ReadModelSkinWeightPair>(b->model, size_t(x.count));
        if (!sw->weights) return LogXFileError("Load XFile : スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        for (int i = 0; i < x.count; ++i) {
            if (x.vertices[i] >= uint32_t(mesh->positionCount))
                return WriteLogFormat("Load XFile : スキンウエイト情報 %s に頂点の数( %d )を超える頂点インデックス( %u )がありました",
                                      x.frameName, mesh->positionCount, x.vertices[i]);
            sw->weights[i] = ReadModelSkinWeightPair{x.vertices[i], x.weights[i]};
        }
        sw->weightCount = x.count;
        std::memcpy(&sw->offsetMatrix.m[0][0], x.offset, sizeof(sw->offsetMatrix));
        sw->boneFrameIndex = int(bone->index);
        mesh->skinWeights[mesh->skinWeightCount++] = sw;
    }
    return 0;
}

// Per position its colour entry: the listed colour, else the last entry
// (white).
int VertexColours(Builder* b, const XObject* colours, ReadModelMesh* mesh, std::vector<int>* entryOf) {
    const XVertexColoursData& x = colours->data.vertexColours;
    auto* table = AllocReadModelArray<float[4]>(b->model, size_t(x.count) + 1);
    if (!table) return LogXFileError("Load XFile : 頂点カラーを格納するメモリの確保に失敗しました");
    entryOf->assign(size_t(mesh->positionCount), x.count);
    for (int i = 0; i < x.count; ++i) {
        const XIndexedColour& c = x.colours[i];
        if (c.index >= mesh->positionCount)
            return WriteLogFormat("Load XFile : 頂点カラーに頂点の数( %d )を超える頂点インデックス( %d )がありました",
                                  mesh->positionCount, c.index);
        std::memcpy(table[i], c.rgba, sizeof(c.rgba));
        (*entryOf)[size_t(c.index)] = i;
    }
    std::fill(table[x.count], table[x.count] + 4, 1.0f);
    mesh->colours = table;
    mesh->colourCount = x.count + 1;
    return 0;
}

int Faces(Builder* b, const XMeshData& x, const XObject* list, const XObject* normals, const XObject* uvs,
          const std::vector<int>& colourOf, ReadModelMesh* mesh) {
    const XFaceList& faces = x.faces;
    int corners = std::max(3, faces.maxCorners);
    mesh->faceArrays = 1u << READ_FACE_POSITIONS | (normals ? 1u << READ_FACE_NORMALS : 0u) |
                       (colourOf.empty() ? 0u : 1u << READ_FACE_COLOURS) | (uvs ? 1u << READ_FACE_UVS : 0u);
    if (ReserveReadModelFaces(b->model, mesh, faces.count, corners) != 0)
        return LogXFileError("Load XFile : 面情報を格納するメモリ領域の確保に失敗しました");
    const bool materialPerFace = list && list->data.materialList.faceCount == faces.count;
    const XFaceList* normalFaces = normals ? &normals->data.meshNormals.faces : nullptr;
    const int* at = faces.packed;
    const int* normalAt = normalFaces ? normalFaces->packed : nullptr;
    for (int f = 0; f < faces.count; ++f) {
        int n = *at++;
        mesh->faceCorners[f] = uint8_t(n);
        std::memcpy(ReadFacePositions(mesh, f), at, sizeof(int) * size_t(n));
        if (uvs) std::memcpy(ReadFaceUvs(mesh, 0, f), at, sizeof(int) * size_t(n));
        if (!colourOf.empty())
            for (int c = 0; c < n; ++c) ReadFaceColours(mesh, f)[c] = colourOf[size_t(at[c])];
        if (normalAt) {
            if (*normalAt != n)
                return WriteLogFormat("Load XFile : 法線の面の頂点数( %d )とメッシュの面の頂点数( %d )が違いました", *normalAt, n);
            std::memcpy(ReadFaceNormals(mesh, f), normalAt + 1, sizeof(int) * size_t(n));
            normalAt += 1 + n;
        }
        mesh->faceMaterials[f] = materialPerFace ? list->data.materialList.faceMaterials[f] : 0;
        at += n;
    }
    return 0;
}

int AddMesh(Builder* b, const Placement& place) {
    XObject* o = place.mesh;
    const XMeshData& x = o->data.mesh;
    XObject* list = FindXChildObject(b->context, o, X_KIND_MESH_MATERIAL_LIST);
    XObject* uvs = FindXChildObject(b->context, o, X_KIND_MESH_TEXTURE_COORDS);
    XObject* normals = FindXChildObject(b->context, o, X_KIND_MESH_NORMALS);
    XObject* colours = FindXChildObject(b->context, o, X_KIND_MESH_VERTEX_COLORS);
    if (uvs && uvs->data.textureCoords.count != x.vertexCount)
        return WriteLogFormat("Load XFile : テクスチャ座標の数( %d )と頂点座標の数( %d )が違いました",
                              uvs->data.textureCoords.count, x.vertexCount);
    if (normals && normals->data.meshNormals.faces.count != x.faces.count)
        return WriteLogFormat("Load XFile : メッシュリストの面の数( %d )と法線の面の数( %d )が違いました", x.faces.count,
                              normals->data.meshNormals.faces.count);
    ReadModelMesh* mesh = AddReadModelMesh(b->model, place.frame);
    if (!mesh) return LogXFileError("Load XFile : メッシュオブジェクトの追加に失敗しました");
    mesh->positions = x.vertices;
    mesh->positionCount = x.vertexCount;
    if (normals) {
        mesh->normals = normals->data.meshNormals.normals;
        mesh->normalCount = normals->data.meshNormals.normalCount;
    }
    if (uvs) {
        mesh->uvs[0] = uvs->data.textureCoords.uvs;
        mesh->uvCount[0] = uvs->data.textureCoords.count;
    }
    if (MeshMaterials(b, o, list, mesh) != 0 || SkinWeights(b, o, mesh) != 0) return -1;
    std::vector<int> colourOf;
    if (colours && VertexColours(b, colours, mesh, &colourOf) != 0) return -1;
    return Faces(b, x, list, normals, uvs, colourOf, mesh);
}

struct KeyShape {
    uint8_t valueType;
    uint8_t keyKind;
    int fileValues;  // values each key holds in the file
    int keptValues;  // floats each key keeps
};

bool ShapeOfKeys(int keyType, KeyShape* out) {
    switch (keyType) {
    case 0: *out = KeyShape{READ_KEY_QUATERNION, READ_KIND_ROTATION, 4, 4}; return true;
    case 1: *out = KeyShape{READ_KEY_VECTOR, READ_KIND_SCALE, 3, 3}; return true;
    case 2: *out = KeyShape{READ_KEY_VECTOR, READ_KIND_TRANSLATION, 3, 3}; return true;
    case 3:
    case 4: *out = KeyShape{READ_KEY_MATRIX4X3, READ_KIND_MATRIX, 16, 12}; return true;
    default: return false;
    }
}

void KeepValues(const KeyShape& shape, const float* in, float* out) {
    if (shape.valueType == READ_KEY_QUATERNION) {
        // The file keeps w first.
        out[0] = in[1];
        out[1] = in[2];
        out[2] = in[3];
        out[3] = in[0];
    } else if (shape.valueType == READ_KEY_MATRIX4X3) {
        for (int row = 0; row < 4; ++row) std::memcpy(out + row * 3, in + row * 4, sizeof(float) * 3);
    } else {
        std::memcpy(out, in, sizeof(float) * 3);
    }
}

// One AnimationKey as a key set of the animation; its total time into
// length.
int AddKeySet(Builder* b, const XObject* o, ReadModelAnim* anim, float* length) {
    const XAnimationKeyData& x = o->data.animationKey;
    KeyShape shape;
    if (!ShapeOfKeys(x.keyType, &shape))
        return WriteLogFormat("Load XFile : アニメーションキーの種類 %d には対応していません", x.keyType);
    if (x.keyCount == 0) return 0;  // drives nothing
    for (int i = 0; i < x.keyCount; ++i)
        if (x.keys[i].valueCount != shape.fileValues)
            return WriteLogFormat("Load XFile : アニメーションキーの値の数( %d )がキーの種類 %d の値の数( %d )と違います",
                                  x.keys[i].valueCount, x.keyType, shape.fileValues);
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(b->model, anim);
    if (!ks) return LogXFileError("Load XFile : アニメーションキーセットオブジェクトの追加に失敗しました");
    ks->times = AllocReadModelArray<float>(b->model, size_t(x.keyCount));
    ks->values = AllocReadModelArray<float>(b->model, size_t(x.keyCount) * size_t(shape.keptValues));
    if (!ks->times || !ks->values) return LogXFileError("Load XFile : アニメーションキーを格納するメモリ領域の確保に失敗しました");
    ks->valueType = shape.valueType;
    ks->keyKind = shape.keyKind;
    ks->keyCount = x.keyCount;
    for (int i = 0; i < x.keyCount; ++i) {
        ks->times[i] = float(x.keys[i].time);
        KeepValues(shape, x.keys[i].values, ks->values + size_t(i) * size_t(shape.keptValues));
    }
    ks->totalTime = ks->times[x.keyCount - 1];
    b->model->keyDataBytes += uint32_t(ReadKeyValueBytes(shape.valueType) + 4) * uint32_t(x.keyCount);
    *length = std::max(*length, ks->totalTime);
    return 0;
}

int AddAnimation(Builder* b, const XObject* o, ReadModelAnimSet* set) {
    ReadModelFrame* frame = FrameOf(FindXChildObject(b->context, o, X_KIND_FRAME));
    if (!frame) return WriteLogFormat("Load XFile : アニメーション %s の対象フレームがありません", o->name);
    ReadModelAnim* anim = AddReadModelAnim(b->model, set);
    if (!anim) return LogXFileError("Load XFile : アニメーションオブジェクトの追加に失敗しました");
    anim->frameName = AddReadModelString(b->model, frame->name);
    if (!anim->frameName) return LogXFileError("Load XFile : アニメーションオブジェクトの追加に失敗しました");
    anim->frameIndex = int(frame->index);
    std::vector<XObject*> keys = Collect(b, o, X_KIND_ANIMATION_KEY);
    for (const XObject* k : keys)
        if (AddKeySet(b, k, anim, &set->endTime) != 0) return -1;
    return 0;
}

int AddAnimationSets(Builder* b) {
    for (XObject* o = b->context->first; o; o = o->nextInFile) {
        if (o->kind != X_KIND_ANIMATION_SET) continue;
        ReadModelAnimSet* set = AddReadModelAnimSet(b->model, o->name);
        if (!set) return LogXFileError("Load XFile : アニメーションセットオブジェクトの追加に失敗しました");
        std::vector<XObject*> animations = Collect(b, o, X_KIND_ANIMATION);
        for (const XObject* a : animations)
            if (AddAnimation(b, a, set) != 0) return -1;
    }
    return 0;
}

}  // namespace

int BuildReadModelFromXObjects(XFileContext* context, ReadModel* model) {
    if (!context->first) return -1;
    Builder b{context, model, {}, {}};
    if (AddMaterials(&b) != 0 || AddFrames(&b) != 0) return -1;
    for (const Placement& place : b.meshes)
        if (AddMesh(&b, place) != 0) return -1;
    return AddAnimationSets(&b);
}

}  // namespace morpotta
