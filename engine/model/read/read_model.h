// The intermediate read model that every model reader builds and the
// conversion turns into model base data. All its records live in one
// memory chain and are freed together by FreeReadModel.
#pragma once
#include <cstdint>

#include "engine/vecmath.h"
#include "model/base/memory_chain.h"
#include "model/base/model_records.h"

namespace morpotta {

constexpr int kReadMeshMaxMaterials = 256;
constexpr int kReadMeshMaxSkinWeights = 4096;
constexpr int kReadMaterialMaxLayerTextures = 256;
constexpr int kReadMaterialNormalMapLayer = 2;  // the layer of a material's normal maps
constexpr int kReadUvChannels = 4;  // UV channels of a read mesh
constexpr float kReadFrameDefaultSmoothing = 1.5207964f;  // pi/2 - 0.05

struct ReadModelFrame;
struct ReadModelMesh;
struct ReadModelMaterial;
struct ReadModelTexture;
struct ReadModelShape;
struct ReadModelAnim;
struct ReadModelAnimSet;
struct ReadModelAnimKeySet;

template <typename T>
struct ReadModelList {
    int count;
    T* first;
    T* last;
};

// The per-corner index arrays of a mesh's faces, by number: positions,
// normals, colours, then one per UV channel.
constexpr int kFaceIndexArrays = 3 + kReadUvChannels;
enum ReadFaceArray : int { READ_FACE_POSITIONS = 0, READ_FACE_NORMALS = 1, READ_FACE_COLOURS = 2, READ_FACE_UVS = 3 };
constexpr uint32_t kAllFaceArrays = (1u << kFaceIndexArrays) - 1;
constexpr int kReadFaceMaxCorners = 255;

struct ReadModelSkinWeightPair {
    uint32_t position;
    float weight;
};

struct ReadModelSkinWeight {
    uint32_t reserved0;
    Matrix44 offsetMatrix;
    uint32_t reserved1;
    int boneFrameIndex;
    int weightCount;
    ReadModelSkinWeightPair* weights;
};

struct ReadModelMesh {
    ReadModelMesh* prev;
    ReadModelMesh* next;
    uint32_t index;
    // Faces, stored flat: per face its corner count and local material
    // number, and per index array maxIndicesPerFace entries per face (each
    // array a block of its own, null for one the faces do not hold). With
    // colours but no colour numbers, a corner's colour is its face's
    // material number.
    int faceCount;
    int maxIndicesPerFace;
    uint8_t* faceCorners;
    int* faceMaterials;
    int* faceIndices[kFaceIndexArrays];
    // The index arrays (bits by ReadFaceArray number) ReserveReadModelFaces
    // makes. 0: all of them.
    uint32_t faceArrays;
    int positionCount;
    Vector3* positions;
    uint8_t* positionFlags;
    int normalCount;
    Vector3* normals;
    int colourCount;
    float (*colours)[4];
    int uvCount[kReadUvChannels];
    float (*uvs[kReadUvChannels])[2];
    int materialCount;
    ReadModelMaterial* materials[kReadMeshMaxMaterials];
    int skinWeightCount;
    ReadModelSkinWeight* skinWeights[kReadMeshMaxSkinWeights];
    uint32_t hasShapes;
    ReadModelFrame* frame;
    ReadModelMesh* nextInFrame;
    ReadModelMesh* prevInFrame;
};

struct ReadModelFrame {
    ReadModelFrame* prev;
    ReadModelFrame* next;
    uint32_t index;
    const char* name;
    uint32_t subtreeMeshCount;
    uint32_t descendantCount;
    uint32_t visible;
    Matrix44 transform;
    Vector3 translation;
    Vector3 scale;
    float rotation[3];
    uint32_t rotationOrder;
    float quaternion[4];
    uint32_t userWord;
    uint32_t maxWeightsPerVertex;
    float smoothingAngle;
    ReadModelList<ReadModelMesh> meshes;
    ReadModelList<ReadModelShape> shapes;
    ReadModelFrame* parent;
    ReadModelFrame* firstChild;
    ReadModelFrame* lastChild;
    ReadModelFrame* nextSibling;
    ReadModelFrame* prevSibling;
    ModelBaseFrame* baseFrame;
};

struct ReadModelTextureLayer {
    int count;
    ReadModelTexture* textures[kReadMaterialMaxLayerTextures];
};

struct ReadModelMaterial {
    ReadModelMaterial* prev;
    ReadModelMaterial* next;
    uint32_t index;
    const char* name;
    int drawType;
    ReadModelTextureLayer layers[3];  // diffuse textures, the second layer, normal maps
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emissive[4];
    float power;
    int extraTextureIndex1;
    int extraTextureIndex2;
    ReadModelTexture* extraTexture1;
    ReadModelTexture* extraTexture2;
    uint32_t modeWords[8];
    int flagWord;
    int alpha;
};

struct ReadModelTexture {
    ReadModelTexture* prev;
    ReadModelTexture* next;
    uint32_t index;
    const char* name;
    uint32_t reserved;
    int addressU;
    int addressV;
    int filter;
    const char* colourFilePath;
    const char* alphaFilePath;
    uint32_t param;
    float paramFloat;
    uint32_t layerWord;
    uint32_t flag1;
    uint32_t flag2;
};

struct ReadModelShapeVertex {
    uint32_t position;
    Vector3 offset;  // the position the shape gives this vertex
    Vector3 normal;
};

struct ReadModelShape {
    ReadModelShape* prev;
    ReadModelShape* next;
    uint32_t index;
    const char* name;
    ReadModelMesh* mesh;
    uint32_t hasNormals;
    int vertexCount;
    ReadModelShapeVertex* vertices;
    int* vertexTable;
    ReadModelFrame* frame;
    ReadModelShape* nextInFrame;
    ReadModelShape* prevInFrame;
};

struct ReadModelRigidBody {
    ReadModelRigidBody* prev;
    ReadModelRigidBody* next;
    uint32_t index;
    const char* name;
    uint32_t params[kModelPhysicsParamWords];
};

struct ReadModelJoint {
    ReadModelJoint* prev;
    ReadModelJoint* next;
    uint32_t index;
    const char* name;
    uint32_t params[kModelPhysicsParamWords];
};

struct ReadModelAnimSet {
    ReadModelAnimSet* prev;
    ReadModelAnimSet* next;
    uint32_t index;
    const char* name;
    float startTime;
    float endTime;
    uint32_t words[2];  // a non-zero second word keeps vector tracks whole
    ReadModelList<ReadModelAnim> anims;
};

struct ReadModelAnim {
    ReadModelAnimSet* set;
    ReadModelAnim* prev;
    ReadModelAnim* next;
    uint32_t index;
    const char* frameName;
    int frameIndex;
    float value;
    uint32_t word;
    ReadModelList<ReadModelAnimKeySet> keySets;
    ReadModelAnim* prevInSet;
    ReadModelAnim* nextInSet;
};

// Value types of key tracks.
enum ReadKeyValueType : uint8_t {
    READ_KEY_QUATERNION = 0,
    READ_KEY_VECTOR = 1,
    READ_KEY_MATRIX4X3 = 2,
    READ_KEY_MATRIX3X3 = 3,
    READ_KEY_FLOAT4 = 4,
    READ_KEY_FLOAT = 5,
    READ_KEY_FLOAT6 = 6,
    READ_KEY_QUATERNION_INTERNAL = 7,
};

// Key kinds: what a track drives.
enum ReadKeyKind : uint8_t {
    READ_KIND_ROTATION = 0,
    READ_KIND_ROTATION_X = 1,
    READ_KIND_ROTATION_Y = 2,
    READ_KIND_ROTATION_Z = 3,
    READ_KIND_SCALE = 5,
    READ_KIND_SCALE_X = 6,
    READ_KIND_SCALE_Y = 7,
    READ_KIND_SCALE_Z = 8,
    READ_KIND_TRANSLATION = 10,
    READ_KIND_TRANSLATION_X = 11,
    READ_KIND_TRANSLATION_Y = 12,
    READ_KIND_TRANSLATION_Z = 13,
    READ_KIND_MATRIX = 15,
    READ_KIND_ROTATION_SCALE = 17,
    READ_KIND_SHAPE_WEIGHT = 18,
};

struct ReadModelAnimKeySet {
    ReadModelAnimKeySet* prev;
    ReadModelAnimKeySet* next;
    uint32_t index;
    uint8_t valueType;
    uint8_t keyKind;
    uint8_t explicitTimes;
    int shapeIndex;
    float totalTime;
    int keyCount;
    float timeStep;
    float startTime;  // tracks without explicit times
    float* times;
    float* values;
    ReadModelAnim* anim;
    ReadModelAnimKeySet* prevInAnim;
    ReadModelAnimKeySet* nextInAnim;
};

// Bytes per key of a value type (0 for an unknown type).
int ReadKeyValueBytes(int valueType);

struct ReadModel {
    MemoryChain chain;
    void* workBuffer1;
    void* workBuffer2;
    uint32_t reverseWinding;
    uint32_t useFrameSmoothingAngles;
    uint32_t keyDataBytes;
    uint32_t meshAlphaFlag;
    ReadModelList<ReadModelFrame> frames;
    ReadModelList<ReadModelMaterial> materials;
    ReadModelList<ReadModelTexture> textures;
    ReadModelList<ReadModelMesh> meshes;
    ReadModelList<ReadModelShape> shapes;
    ReadModelList<ReadModelRigidBody> rigidBodies;
    ReadModelList<ReadModelJoint> joints;
    ReadModelList<ReadModelAnimSet> animSets;
    ReadModelList<ReadModelAnim> anims;
    ReadModelList<ReadModelAnimKeySet> keySets;
    uint32_t totalTriangles;
    uint32_t totalTriangleLists;
    uint32_t totalVertexBytes[4];
    uint32_t totalShapeVertices;
    uint32_t totalIndexWords;
    uint32_t stringBytes;
    uint32_t skinWeightCount;
};

int InitReadModel(ReadModel* model);
int FreeReadModel(ReadModel* model);
const char* AddReadModelString(ReadModel* model, const char* text);
ReadModelFrame* AddReadModelFrame(ReadModel* model, const char* name, ReadModelFrame* parent);
ReadModelMesh* AddReadModelMesh(ReadModel* model, ReadModelFrame* frame);
// Faces with room for indicesPerFace corners in each index array the mesh's
// faceArrays name; faces already there keep their corners. 0, or -1 when
// memory is short (the faces stay as they were).
int ReserveReadModelFaces(ReadModel* model, ReadModelMesh* mesh, int faceCount, int indicesPerFace);
// Adds one index array to faces that lack it (entries zero); false when
// memory is short.
bool AddReadModelFaceArray(ReadModel* model, ReadModelMesh* mesh, int array);
// Frees the faces and every index array.
void FreeReadModelFaces(ReadModel* model, ReadModelMesh* mesh);
// Frees mesh's faces and gives it those of from (a mesh record used only
// to build them; its face mask is not taken).
void ReplaceReadModelFaces(ReadModel* model, ReadModelMesh* mesh, const ReadModelMesh& from);
// The index arrays a mesh's faces hold (ReadFaceArray bits).
inline uint32_t ReadModelFaceArrays(const ReadModelMesh* mesh) {
    return mesh->faceArrays ? mesh->faceArrays : kAllFaceArrays;
}
// The corners of one face in one index array; null when the faces hold no
// such array.
inline int* ReadFaceIndices(const ReadModelMesh* mesh, int array, int face) {
    int* all = mesh->faceIndices[array];
    return all ? all + size_t(face) * size_t(mesh->maxIndicesPerFace) : nullptr;
}
inline int* ReadFacePositions(const ReadModelMesh* mesh, int face) {
    return ReadFaceIndices(mesh, READ_FACE_POSITIONS, face);
}
inline int* ReadFaceNormals(const ReadModelMesh* mesh, int face) {
    return ReadFaceIndices(mesh, READ_FACE_NORMALS, face);
}
inline int* ReadFaceColours(const ReadModelMesh* mesh, int face) {
    return ReadFaceIndices(mesh, READ_FACE_COLOURS, face);
}
inline int* ReadFaceUvs(const ReadModelMesh* mesh, int channel, int face) {
    return ReadFaceIndices(mesh, READ_FACE_UVS + channel, face);
}
// Face from's corners, corner count and material to face to (both of the
// mesh).
void CopyReadModelFace(ReadModelMesh* mesh, int to, int from);
void RemoveReadModelMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh);
ReadModelMaterial* AddReadModelMaterial(ReadModel* model, const char* name);
ReadModelMaterial* GetReadModelMaterial(ReadModel* model, int index);
ReadModelTexture* AddReadModelTexture(ReadModel* model, const char* name, const char* colourPath,
                                      const char* alphaPath, uint32_t param, float paramFloat, int reuse,
                                      int flag1, int flag2);
// The file name part of a path: what follows its last '\', '/' or ':' (a
// double-byte character's trail byte 0x5C is none).
const char* ReadModelFileName(const char* path);
ReadModelSkinWeight* AllocReadModelSkinWeight(ReadModel* model);
ReadModelShape* AddReadModelShape(ReadModel* model, const char* name, ReadModelFrame* frame);
ReadModelRigidBody* AddReadModelRigidBody(ReadModel* model, const char* name, uint32_t value);
ReadModelJoint* AddReadModelJoint(ReadModel* model, const char* name);
ReadModelAnimSet* AddReadModelAnimSet(ReadModel* model, const char* name);
ReadModelAnim* AddReadModelAnim(ReadModel* model, ReadModelAnimSet* set);
ReadModelAnimKeySet* AddReadModelAnimKeySet(ReadModel* model, ReadModelAnim* anim);

// Takes count zero-filled elements of T from the model's chain.
template <typename T>
T* AllocReadModelArray(ReadModel* model, size_t count) {
    return static_cast<T*>(AllocChainedMemory(sizeof(T) * (count ? count : 1), &model->chain));
}

}  // namespace morpotta
