// The data of the X templates the reader knows, read at the stream
// position into the new object. Every count is bounded by the bytes left
// before anything is allocated for it, and every index a template can
// check against its own counts is checked here.
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "model/read/x_file.h"

namespace morpotta {

namespace {

// The fewest bytes a value takes: a digit and a separator in text, a
// 32-bit word in binary.
constexpr size_t kTextValueBytes = 2;

struct Parser {
    XFileContext* context;
    XTokenStream* s;
    XObject* object;
    const char* what;  // the template's name in the messages
};


// Logs the reason a binary value could not be read: the wanted list type
// is missing, or the current list holds more values than the template.
int ValueFailure(const Parser& p, XValueResult r, const char* listName, int expected) {
    if (!p.s->binary || r == X_VALUE_BAD) return -1;
    if (r == X_VALUE_WRONG_TOKEN) return WriteLogFormat("Load XFile : %s %s", p.what, listName);
    return WriteLogFormat("Load XFile : %s Not %d ( %u )", p.what, expected, p.s->listCount);
}

int Integer(const Parser& p, int64_t* out, int expected = 0) {
    XValueResult r = ReadXInteger(p.s, out);
    return r == X_VALUE_OK ? 0 : ValueFailure(p, r, "IntergerList", expected);
}

int ParseFloats(const Parser& p, float* out, size_t count, int expected) {
    for (size_t i = 0; i < count; ++i) {
        XValueResult r = ReadXFloat(p.s, &out[i]);
        if (r != X_VALUE_OK) return ValueFailure(p, r, "FloadList", expected);
    }
    return 0;
}

// The current binary list must be read to its end when the values of the
// template end.
int ListEnds(const Parser& p, int expected) {
    if (XListLeft(p.s) == 0) return 0;
    return WriteLogFormat("Load XFile : %s Not %d ( %u )", p.what, expected, p.s->listCount);
}

// A count of items of at least valuesPerItem values each that the data
// left can hold; -1 (logged) otherwise.
int Count(const Parser& p, int64_t* out, size_t valuesPerItem) {
    if (Integer(p, out) != 0) return -1;
    size_t valueBytes = p.s->binary ? 4 : kTextValueBytes;
    uint64_t most = XBytesLeft(p.s) / valueBytes / (valuesPerItem ? valuesPerItem : 1) + 1;
    if (*out < 0 || uint64_t(*out) > most || *out > 0x7FFFFFF)
        return WriteLogFormat("Load XFile : %s の要素数 %lld がデータの大きさを超えています", p.what,
                              static_cast<long long>(*out));
    return 0;
}

template <typename T>
T* Take(const Parser& p, size_t count, const char* failure) {
    auto* array = static_cast<T*>(AllocXMemory(p.context, sizeof(T) * (count ? count : 1)));
    if (!array) LogXFileError(failure);
    return array;
}

// The values gathered in a vector, kept in the tree; null (logged) when
// memory is short.
template <typename T>
T* Keep(const Parser& p, const std::vector<T>& values, const char* failure) {
    T* kept = Take<T>(p, values.size(), failure);
    if (kept && !values.empty()) std::memcpy(kept, values.data(), sizeof(T) * values.size());
    return kept;
}

// A face list: the count, then per face its corner count and corners.
// Corners at or above limit (when limit >= 0) are refused.
int FaceList(const Parser& p, XFaceList* faces, int limit, const char* limitName, const char* failure) {
    int64_t count;
    if (Count(p, &count, 1) != 0) return -1;
    std::vector<int> packed;
    packed.reserve(size_t(count) * 4);
    int most = 0;
    for (int64_t f = 0; f < count; ++f) {
        int64_t corners;
        if (Integer(p, &corners) != 0) return -1;
        if (corners < 0 || corners > kXMaxFaceCorners)
            return WriteLogFormat("Load XFile : 一つの面で使用できる頂点数の最大数 %d を超えた面がありました( %lld 個の頂点 )",
                                  kXMaxFaceCorners, static_cast<long long>(corners));
        if (corners > most) most = int(corners);
        packed.push_back(int(corners));
        for (int64_t c = 0; c < corners; ++c) {
            int64_t index;
            if (Integer(p, &index) != 0) return -1;
            if (limit >= 0 && (index < 0 || index >= limit))
                return WriteLogFormat("Load XFile : %s の面に%sの数( %d )を超えるインデックス( %lld )がありました", p.what,
                                      limitName, limit, static_cast<long long>(index));
            packed.push_back(int(index));
        }
    }
    faces->packed = Keep(p, packed, failure);
    if (!faces->packed) return -1;
    faces->count = int(count);
    faces->packedCount = int(packed.size());
    faces->maxCorners = most;
    return 0;
}

int Vectors(const Parser& p, int* countOut, Vector3** out, const char* failure) {
    int64_t count;
    if (Count(p, &count, 3) != 0) return -1;
    Vector3* v = Take<Vector3>(p, size_t(count), failure);
    if (!v) return -1;
    for (int64_t i = 0; i < count; ++i)
        if (ParseFloats(p, &v[i].x, 3, int(count * 3)) != 0) return -1;
    *countOut = int(count);
    *out = v;
    return 0;
}

int ParseXMaterial(const Parser& p) {
    XMaterialData& m = p.object->data.material;
    float v[11];
    if (ParseFloats(p, v, 11, 11) != 0 || ListEnds(p, 11) != 0) return -1;
    std::memcpy(m.faceColour, v, sizeof(m.faceColour));
    m.power = v[4];
    std::memcpy(m.specular, v + 5, sizeof(m.specular));
    std::memcpy(m.emissive, v + 8, sizeof(m.emissive));
    return 0;
}

int ParseXTextureFilename(const Parser& p) {
    char name[kXNameMax];
    XValueResult r = ReadXString(p.s, name, sizeof(name));
    if (r != X_VALUE_OK) return -1;
    p.object->data.textureFileName = CopyXString(p.context, name);
    if (!p.object->data.textureFileName)
        return WriteLogFormat("Load XFile : 文字列 %s を格納するメモリ領域の確保に失敗しました", name);
    return 0;
}

int ParseXMeshFace(const Parser& p) {
    XFaceList& face = p.object->data.meshFace;
    int64_t corners;
    if (Integer(p, &corners) != 0) return -1;
    if (corners < 0 || corners > kXMaxFaceCorners)
        return WriteLogFormat("Load XFile : 一つの面で使用できる頂点数の最大数 %d を超えた面がありました( %lld 個の頂点 )",
                              kXMaxFaceCorners, static_cast<long long>(corners));
    face.packed = Take<int>(p, size_t(corners) + 1, "Load XFile : 頂点面情報を格納するメモリ領域の確保に失敗しました");
    if (!face.packed) return -1;
    face.packed[0] = int(corners);
    for (int64_t c = 0; c < corners; ++c) {
        int64_t index;
        if (Integer(p, &index) != 0) return -1;
        face.packed[c + 1] = int(index);
    }
    face.count = 1;
    face.maxCorners = int(corners);
    face.packedCount = int(corners) + 1;
    return ListEnds(p, int(corners) + 1);
}

int ParseXMeshTextureCoords(const Parser& p) {
    XTextureCoordsData& t = p.object->data.textureCoords;
    int64_t count;
    if (Count(p, &count, 2) != 0) return -1;
    t.uvs = Take<float[2]>(p, size_t(count), "Load XFile : UV座標を格納するメモリ領域の確保に失敗しました");
    if (!t.uvs) return -1;
    Parser named = p;
    named.what = "MeshTextureCorrds";
    for (int64_t i = 0; i < count; ++i)
        if (ParseFloats(named, t.uvs[i], 2, int(count * 2)) != 0) return -1;
    t.count = int(count);
    return ListEnds(named, int(count * 2));
}

int ParseXMeshNormals(const Parser& p) {
    XMeshNormalsData& n = p.object->data.meshNormals;
    if (Vectors(p, &n.normalCount, &n.normals, "Load XFile : 法線を格納するメモリ領域の確保に失敗しました") != 0)
        return -1;
    if (FaceList(p, &n.faces, n.normalCount, "法線", "Load XFile : 法線面情報を格納するメモリ領域の確保に失敗しました") != 0)
        return -1;
    return ListEnds(p, 0);
}

int ParseXMeshMaterialList(const Parser& p) {
    XMaterialListData& l = p.object->data.materialList;
    int64_t materials, faces;
    if (Integer(p, &materials) != 0 || Count(p, &faces, 1) != 0) return -1;
    if (materials < 0 || materials > 0x7FFFFFF) return -1;
    l.faceMaterials = Take<int>(p, size_t(faces), "Load XFile : マテリアルと面の関係情報を格納するメモリ領域の確保に失敗しました");
    if (!l.faceMaterials) return -1;
    for (int64_t f = 0; f < faces; ++f) {
        int64_t index;
        if (Integer(p, &index) != 0) return -1;
        if (index < 0 || index >= materials) return LogXFileError("Load XFile : nMaterials より大きいマテリアルインデックスがありました");
        l.faceMaterials[f] = int(index);
    }
    l.materialCount = int(materials);
    l.faceCount = int(faces);
    return ListEnds(p, int(faces) + 2);
}

int IndexedColour(const Parser& p, XIndexedColour* out) {
    int64_t index;
    if (Integer(p, &index) != 0) return -1;
    if (index < 0 || index > 0x7FFFFFFF) return -1;
    out->index = int(index);
    Parser named = p;
    named.what = "IndexedColor";
    return ParseFloats(named, out->rgba, 4, 4);
}

int ParseXIndexedColor(const Parser& p) {
    if (IndexedColour(p, &p.object->data.indexedColour) != 0) return -1;
    return ListEnds(p, 4);
}

int ParseXMeshVertexColors(const Parser& p) {
    XVertexColoursData& v = p.object->data.vertexColours;
    int64_t count;
    if (Count(p, &count, 5) != 0) return -1;
    v.colours = Take<XIndexedColour>(p, size_t(count), "Load XFile : 頂点カラーを格納するメモリ領域の確保に失敗しました");
    if (!v.colours) return -1;
    for (int64_t i = 0; i < count; ++i)
        if (IndexedColour(p, &v.colours[i]) != 0) return -1;
    v.count = int(count);
    return ListEnds(p, 4);
}

int ParseXMesh(const Parser& p) {
    XMeshData& m = p.object->data.mesh;
    if (Vectors(p, &m.vertexCount, &m.vertices, "Load XFile : 頂点座標を格納するメモリ領域の確保に失敗しました") != 0)
        return -1;
    if (FaceList(p, &m.faces, m.vertexCount, "頂点", "Load XFile : 頂点面情報を格納するメモリ領域の確保に失敗しました") != 0)
        return -1;
    return ListEnds(p, 0);
}

int ParseXFrameTransformMatrix(const Parser& p) {
    float* m = p.object->data.matrix;
    for (int i = 0; i < 16; ++i) {
        XValueResult r = ReadXFloat(p.s, &m[i]);
        if (r == X_VALUE_OK) continue;
        if (!p.s->binary || r == X_VALUE_BAD) return -1;
        if (r == X_VALUE_LEFT_OVER) return ValueFailure(p, r, "", 16);
        if (i == 0) return LogXFileError("Load XFile : FrameTransformMatrix FloadList");
        return WriteLogFormat("Load XFile : FrameTransformMatrix MatrixLine No.%d FloadList", i / 4);
    }
    return ListEnds(p, 16);
}

// ParseFloats of one key: the count, then the values into values.
int ParseKeyValues(const Parser& p, std::vector<float>* values, int* countOut) {
    int64_t count;
    if (Count(p, &count, 1) != 0) return -1;
    size_t at = values->size();
    values->resize(at + size_t(count));
    if (ParseFloats(p, values->data() + at, size_t(count), int(count)) != 0) return -1;
    *countOut = int(count);
    return 0;
}

int ParseXFloatKeys(const Parser& p) {
    std::vector<float> values;
    XFloatKeysData& k = p.object->data.floatKeys;
    if (ParseKeyValues(p, &values, &k.valueCount) != 0) return -1;
    k.values = Keep(p, values, "Load XFile : 浮動小数点リストを格納するメモリ領域の確保に失敗しました");
    if (!k.values) return -1;
    return ListEnds(p, k.valueCount);
}

int ParseXTimedFloatKeys(const Parser& p) {
    std::vector<float> values;
    XTimedKey& k = p.object->data.timedKey;
    int64_t time;
    if (Integer(p, &time) != 0 || ParseKeyValues(p, &values, &k.valueCount) != 0) return -1;
    k.time = uint32_t(time);
    k.values = Keep(p, values, "Load XFile : 浮動小数点キーデータを格納するメモリ領域の確保に失敗しました");
    if (!k.values) return -1;
    return ListEnds(p, k.valueCount);
}

int ParseXAnimationKey(const Parser& p) {
    XAnimationKeyData& a = p.object->data.animationKey;
    int64_t type, count;
    if (Integer(p, &type) != 0 || Count(p, &count, 2) != 0) return -1;
    a.keys = Take<XTimedKey>(p, size_t(count), "Load XFile : アニメーションキーリストを格納するメモリ領域の確保に失敗しました");
    if (!a.keys) return -1;
    std::vector<float> values;
    for (int64_t i = 0; i < count; ++i) {
        int64_t time;
        if (Integer(p, &time) != 0 || ParseKeyValues(p, &values, &a.keys[i].valueCount) != 0) return -1;
        a.keys[i].time = uint32_t(time);
    }
    float* pool = Keep(p, values, "Load XFile : アニメーションキーの浮動小数点値を格納するメモリ領域の確保に失敗しました");
    if (!pool) return -1;
    for (int64_t i = 0; i < count; ++i) {
        a.keys[i].values = pool;
        pool += a.keys[i].valueCount;
    }
    a.keyType = int(type);
    a.keyCount = int(count);
    return ListEnds(p, 0);
}

int ParseXAnimationOption(const Parser& p) {
    XAnimationOptionData& o = p.object->data.animationOption;
    int64_t openClosed, quality;
    if (Integer(p, &openClosed) != 0 || Integer(p, &quality) != 0) return -1;
    o.openClosed = int(openClosed);
    o.positionQuality = int(quality);
    return ListEnds(p, 2);
}

int ParseXSkinMeshHeader(const Parser& p) {
    XSkinMeshHeaderData& h = p.object->data.skinMeshHeader;
    int64_t v[3];
    for (int64_t& x : v)
        if (Integer(p, &x, 3) != 0) return -1;
    h.maxWeightsPerVertex = int(v[0] & 0xFFFF);
    h.maxWeightsPerFace = int(v[1] & 0xFFFF);
    h.boneCount = int(v[2] & 0xFFFF);
    return ListEnds(p, 3);
}

int ParseXSkinWeights(const Parser& p) {
    XSkinWeightsData& w = p.object->data.skinWeights;
    char name[kXNameMax];
    if (ReadXString(p.s, name, sizeof(name)) != X_VALUE_OK) return -1;
    w.frameName = CopyXString(p.context, name);
    if (!w.frameName) return WriteLogFormat("Load XFile : 文字列 %s を格納するメモリ領域の確保に失敗しました", name);
    int64_t count;
    if (Count(p, &count, 2) != 0) return -1;
    w.vertices = Take<uint32_t>(p, size_t(count),
                                "Load XFile : スキンメッシュのウエイト値情報のターゲット頂点インデックスを格納するためのメモリ領域の確保に失敗しました");
    w.weights = Take<float>(p, size_t(count),
                            "Load XFile : スキンメッシュのウエイト値情報のウエイト値を格納するためのメモリ領域の確保に失敗しました");
    if (!w.vertices || !w.weights) return -1;
    Parser target = p;
    target.what = "SkinWeights TargetVertex";
    for (int64_t i = 0; i < count; ++i) {
        int64_t index;
        XValueResult r = ReadXInteger(p.s, &index);
        if (r != X_VALUE_OK) return ValueFailure(target, r, "IntegerList", int(count));
        if (index < 0 || index > 0xFFFFFFFFll) return -1;
        w.vertices[i] = uint32_t(index);
    }
    Parser weight = p;
    weight.what = "SkinWeights WeightValue";
    if (ParseFloats(weight, w.weights, size_t(count), int(count)) != 0) return -1;
    if (ParseFloats(p, w.offset, 16, 16) != 0) return -1;
    w.count = int(count);
    return ListEnds(p, 16);
}

}  // namespace

int ParseXTemplateData(XFileContext* context, XTokenStream* s, XObject* object) {
    Parser p{context, s, object, XTemplateName(object->kind)};
    switch (object->kind) {
    case X_KIND_MATERIAL: return ParseXMaterial(p);
    case X_KIND_TEXTURE_FILENAME: return ParseXTextureFilename(p);
    case X_KIND_MESH_FACE: return ParseXMeshFace(p);
    case X_KIND_MESH_TEXTURE_COORDS: return ParseXMeshTextureCoords(p);
    case X_KIND_MESH_NORMALS: return ParseXMeshNormals(p);
    case X_KIND_MESH_MATERIAL_LIST: return ParseXMeshMaterialList(p);
    case X_KIND_INDEXED_COLOR: return ParseXIndexedColor(p);
    case X_KIND_MESH_VERTEX_COLORS: return ParseXMeshVertexColors(p);
    case X_KIND_MESH: return ParseXMesh(p);
    case X_KIND_FRAME_TRANSFORM_MATRIX: return ParseXFrameTransformMatrix(p);
    case X_KIND_FLOAT_KEYS: return ParseXFloatKeys(p);
    case X_KIND_TIMED_FLOAT_KEYS: return ParseXTimedFloatKeys(p);
    case X_KIND_ANIMATION_KEY: return ParseXAnimationKey(p);
    case X_KIND_ANIMATION_OPTION: return ParseXAnimationOption(p);
    case X_KIND_SKIN_MESH_HEADER: return ParseXSkinMeshHeader(p);
    case X_KIND_SKIN_WEIGHTS: return ParseXSkinWeights(p);
    default: return 0;  // frames, animations and sets have no data of their own
    }
}

}  // namespace morpotta
