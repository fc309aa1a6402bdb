// Model base data and model instances: our own 64-bit clean layouts. Base
// data is the read-only, format-independent description of a loaded model;
// every array it points to lives in its memory chain (or its vertex block)
// and goes with it.
#pragma once
#include <cstdint>

#include "engine/vecmath.h"
#include "model/base/memory_chain.h"
#include "model/base/model_math.h"

namespace morpotta {

constexpr int kModelMaxPaletteBones = 54;    // bones per skinned triangle list
constexpr int kModelMaxListIndices = 65500;  // indices and vertices per list (16-bit indexes)
constexpr int kModelUvChannels = 8;  // texture-coordinate sets a mesh vertex keeps

struct ModelBase;
struct ModelBaseFrame;
struct ModelBaseMesh;
struct ModelBaseSkinBone;
struct ModelInstance;
struct DeviceVertexBuffer;
struct DeviceIndexBuffer;

// One block of a device buffer pool: a vertex and an index buffer that
// several triangle lists share.
struct ModelDeviceBlock {
    DeviceVertexBuffer* vertexBuffer;
    DeviceIndexBuffer* indexBuffer;
    int stride;
    uint32_t fvf;
    int vertexBytes;
    int indexCount;
    ModelDeviceBlock* next;
};

// Pools by vertex kind (0..2), layout (0, 1) and texture-coordinate sets (0..8).
constexpr int kModelDevicePoolCount = 3 * 2 * 9;
struct ModelDevicePools {
    ModelDeviceBlock* first[kModelDevicePoolCount];
    ModelDeviceBlock* last[kModelDevicePoolCount];
    int blockCount[kModelDevicePoolCount];
    int totalBlocks;
    int built;
    // Set by mesh drawing once it built the pools: frees them (with the
    // base, or before a pass rewrites the lists) and builds them again for
    // the base and its instances (reading and conversion never make device
    // buffers).
    void (*release)(ModelBase* base);
    int (*rebuild)(ModelBase* base);
};

// Bit position inside a per-instance bit set (word index and mask).
struct ModelBitPosition {
    int word;
    uint32_t mask;
};

inline void SetModelBitPosition(ModelBitPosition* bit, int index) {
    bit->word = index / 32;
    bit->mask = 1u << (index % 32);
}

// A bit range: the first word, the buffer, the number of words and the
// mask of the first bit.
struct ModelBitRange {
    int firstWord;
    uint32_t* buffer;
    int wordCount;
    uint32_t firstMask;
};

struct ModelBasePosition {
    Vector3 position;
    int* weightBones;     // maxWeightsPerVertex skin bone indexes, -1 ends a short list
    float* weightValues;  // the matching weights
};

// Normal, tangent and binormal of one normal slot of a frame.
struct ModelBaseNormal {
    Vector3 normal;
    Vector3 tangent;
    Vector3 binormal;
};

struct ModelBaseMeshVertex {
    int position;  // into the frame's positions
    int normal;    // into the frame's normals
    uint8_t diffuse[4];   // r, g, b, a
    uint8_t specular[4];
    float uv[kModelUvChannels][2];
    int noOutline;
};

// A record a frame may carry with it: a name and words kept as they stand.
constexpr int kModelFrameRecordWords = 22;
struct ModelBaseFrameRecord {
    const char* name;
    uint32_t words[kModelFrameRecordWords];
};

// A block of bytes kept as it stands, which frames may point into.
struct ModelBaseDataBlock {
    uint32_t size;
    const uint8_t* bytes;  // null when empty
};

struct ModelBaseSkinBoneUser {
    int frame;  // frame whose bone-reference list holds the bone
    int slot;   // place in that list
};

struct ModelBaseSkinBone {
    Matrix44 offset;
    int translationOnly;  // offset is a translation alone
    int boneFrame;
    int userCount;
    ModelBaseSkinBoneUser* users;
};

struct ModelBaseTriangleList {
    ModelBaseMesh* mesh;
    uint16_t vertexKind;  // 0 rigid, 1 up to 4 weights, 2 up to 8, 3 any number
    int vertexCount;
    int vertexStride;
    int maxWeights;       // kind 3: pairs per vertex
    int* meshVertices;    // per list vertex, its mesh vertex
    void* vertices;       // filled in the layout of the kind, 16-byte aligned
    int indexCount;
    uint16_t* indices;
    int outlineIndexCount;
    uint16_t* outlineIndices;
    int boneCount;
    int bones[kModelMaxPaletteBones];  // skin bone per palette slot, -1 past boneCount
    // Drawing: the shared device block with this list's place in it, and
    // the fixed-function vertex and outline copies made on first use.
    ModelDeviceBlock* deviceBlock;
    int firstVertex;
    int firstIndex;
    int fixedStride;
    void* fixedVertices;
    void* outlineVertices;
};

struct ModelBaseShapeVertex {
    int meshVertex;
    Vector3 position;
    Vector3 normal;
};

// One shape (morph) of a frame as it moves one mesh; a shape that moves
// several meshes has a target per mesh, all with the same shape number.
struct ModelBaseShapeTarget {
    const char* name;
    int shape;  // the shape's place among its frame's shapes: the weight it takes
    ModelBaseMesh* mesh;
    int vertexCount;
    ModelBaseShapeVertex* vertices;
};

struct ModelBaseMesh {
    ModelBaseFrame* frame;
    int material;
    ModelBitPosition drawBit;
    int triangleListCount;
    ModelBaseTriangleList* firstTriangleList;
    uint8_t visible;
    uint8_t needsInstanceVertices;
    uint8_t translucent;
    uint8_t vertexColours;       // diffuse colours come from the vertices
    uint8_t vertexSpecular;      // specular colours come from the vertices
    uint8_t cullMode;            // 0 none, 1 counter-clockwise, 2 clockwise; cleared for translucent materials when the reader asks
    int instanceVertexCount;
    int uvChannelCount;
    int vertexCount;
    ModelBaseMeshVertex* vertices;
    int triangleCount;
};

struct ModelBaseFrame {
    ModelBase* base;
    const char* name;
    int index;
    ModelBaseFrame* parent;
    ModelBaseFrame* firstChild;
    ModelBaseFrame* nextSibling;
    ModelBaseFrame* fourthLink;
    ModelBitPosition matrixBit;
    ModelBitPosition drawBit;
    uint32_t flags;  // bit 0 visible, bit 1 placed by the model matrix alone
    int ignoreParent;  // flags bit 1: the frame is placed by the model matrix even under a parent
    uint32_t userWord;
    int subtreeMeshCount;
    int descendantCount;
    float smoothingAngle;
    int useFrameSmoothingAngles;
    int meshCount;
    ModelBaseMesh* firstMesh;
    int boneRefCount;
    ModelBaseSkinBone** boneRefs;   // run inside ModelBase::boneRefs
    int ownSkinBoneCount;           // skin bones whose bone frame this is
    ModelBaseSkinBone* firstOwnSkinBone;
    int shapeTargetCount;
    ModelBaseShapeTarget* firstShapeTarget;
    int shapeCount;  // shapes of the frame: its targets' shape numbers lie below it
    int positionCount;
    ModelBasePosition* positions;
    int normalCount;
    ModelBaseNormal* normals;
    int maxWeightsPerVertex;
    // Transform: rest values and the three matrices.
    Vector3 translation;
    Vector3 scale;
    Vector3 rotation;
    int rotationOrder;
    float quaternion[4];
    int matrixKind;  // 0 identity, 1 translation only, 2 general
    Matrix34 localMatrix;
    Matrix34 worldMatrix;
    Matrix34 inverseWorldMatrix;
    Vector3 boxMin;
    Vector3 boxMax;
    int noBox;
    // Carried by binary model files: places in the base's two data blocks,
    // the frame's own skin bone and its attached record (null when none).
    const uint8_t* dataA;
    const uint8_t* dataB;
    ModelBaseSkinBone* skinBone;
    ModelBaseFrameRecord* attachedRecord;
};

struct ModelBaseTextureLayer {
    int count;
    int* textures;    // texture index per entry
    uint32_t* words;  // layer word per entry
};

struct ModelBaseMaterial {
    const char* name;
    int drawType;
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
    // The diffuse textures, the second layer and the normal maps (the last
    // two drawn on the shader road only).
    ModelBaseTextureLayer layers[3];
    // What drawing makes of these: the two extra textures are the toon and
    // the second toon texture (negative: a built-in ramp), mode words 0 and
    // 1 the toon mode and the second toon mode, the flag word the blend
    // mode and alpha the blend parameter (0..255).
    int extraTexture1;
    int extraTexture2;
    uint32_t modeWords[8];  // the third and fourth hold float bits (the outline of read models)
    int flagWord;
    int alpha;
    float outline[2];         // width, minimum width in pixels
    float outlineColour[4];   // RGBA
};

// A material with a normal map: its meshes carry tangent data and take the
// second vertex layout, and their shaders light from the map.
inline bool ModelMaterialHasNormalMap(const ModelBaseMaterial& m) { return m.layers[2].count > 0; }

// What the texture loader keeps of one texture: the encoded file bytes
// (so the graph can be rebuilt after a device loss), the graph and its
// look.
struct ModelTextureImage {
    void* colourData;
    int colourDataSize;
    void* alphaData;  // null when there is no alpha file
    int alphaDataSize;
    int graph;        // -1 until made
    int semiTransparent;
    char* colourFileName;  // relative to the model folder, code page 932
    char* alphaFileName;
};

struct ModelBaseTexture {
    const char* name;
    ModelTextureImage image;
    uint32_t bumpFlag;
    float bumpHeight;
    int reverse;
    int bmp32Alpha;
    int width;
    int height;
    int addressU;
    int addressV;
    int filter;
    uint32_t param;
    float paramFloat;
    uint32_t flag1;
    uint32_t flag2;
};

struct ModelBaseAnimKeySet {
    uint8_t valueType;
    uint8_t keyKind;
    uint8_t explicitTimes;
    int shapeIndex;
    int keyCount;
    float totalTime;
    float startTime;
    float timeStep;
    float* times;   // keyCount floats when explicitTimes
    float* values;  // keyCount entries of the value type's size
};

struct ModelBaseAnim {
    int frameIndex;
    float value;
    uint32_t word;
    int keySetCount;
    ModelBaseAnimKeySet* keySets;
};

struct ModelBaseAnimSet {
    const char* name;
    float startTime;
    float endTime;
    uint32_t words[2];
    int animCount;
    ModelBaseAnim* anims;
};

constexpr int kModelPhysicsParamWords = 32;

struct ModelBaseRigidBody {
    const char* name;
    uint32_t params[kModelPhysicsParamWords];
};

struct ModelBaseJoint {
    const char* name;
    uint32_t params[kModelPhysicsParamWords];
};

struct ModelBase {
    uint32_t instanceCount;
    ModelInstance* firstInstance;
    ModelInstance* lastInstance;
    uint32_t refCount;
    int frameCount;
    ModelBaseFrame* frames;
    int boneRefCount;
    ModelBaseSkinBone** boneRefs;
    int materialCount;
    ModelBaseMaterial* materials;
    int textureCount;
    ModelBaseTexture* textures;
    int texturesOwned;
    int meshCount;
    ModelBaseMesh* meshes;
    Vector3 boundsMax;
    Vector3 boundsMin;
    int boundsValid;
    int skinBoneCount;
    ModelBaseSkinBone* skinBones;
    int shapeTargetCount;
    ModelBaseShapeTarget* shapeTargets;
    int shapeCount;
    uint32_t instanceVertexCounts[4];
    int rigidBodyCount;
    ModelBaseRigidBody* rigidBodies;
    int jointCount;
    ModelBaseJoint* joints;
    int triangleListCount;
    ModelBaseTriangleList* triangleLists;
    float meshDrawFloat;
    MemoryChain memoryChain;
    // Filled by the loaders.
    int topFrameCount;
    ModelBaseFrame** topFrames;
    int animSetCount;
    ModelBaseAnimSet* animSets;
    float gravity;
    char* folder;
    int frameBitWords;  // words of a per-instance frame+mesh bit set
    ModelDevicePools devicePools;
    // Kept as binary model files carry them: two header words, two data
    // blocks and the records frames carry with them.
    uint32_t headerWord;
    uint32_t meshDrawWord;
    ModelBaseDataBlock dataBlocks[2];
    int frameRecordCount;
    ModelBaseFrameRecord* frameRecords;
};

struct ModelFrame;
struct ModelMesh;
struct PhysicsWorld;

// Per instance copy of a base material's values, then the draw settings
// the model API may change.
struct ModelMaterial {
    const ModelBaseMaterial* base;
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
    ModelBaseTextureLayer layers[3];
    float outline[2];  // width, minimum width in pixels
    float outlineColour[4];
    int toonTexture;        // negative: built-in (-1 banded, -2 smooth ramp)
    int secondToonTexture;
    int toonMode;           // 0 or 2
    int secondToonMode;     // 0 or 1
    int blendMode;
    int blendParameter;
};

struct ModelTexture {
    const ModelBaseTexture* base;
    // An image of the instance's own in place of the base texture's, with
    // the file bytes it was made from (own.graph -1 when there is none).
    ModelTextureImage own;
    int isMovie;
    int addressU, addressV, filter;
};

// What an instance keeps of one base triangle list.
struct ModelTriangleListState {
    ModelMesh* mesh;
    const ModelBaseTriangleList* list;
    void* vertexCopy;  // the instance's own vertices (kind's layout); null when shared
    DeviceVertexBuffer* ownVertexBuffer;  // the shaped vertices in the list's device layout, or null
};

// Drawn values: the own values combined down the frame tree.
struct ModelDrawnValues {
    uint8_t visible;
    uint8_t colourScaled;
    float colourScales[16];  // diffuse, ambient, specular, emissive RGBA
    float opacity;
};

struct ModelMesh {
    ModelFrame* frame;
    const ModelBaseMesh* base;
    ModelMaterial* material;
    ModelBitPosition drawBit;
    uint8_t visible;
    float colourScales[16];
    float opacity;
    int triangleListCount;
    ModelTriangleListState* triangleLists;
    Vector3* vertexWork;  // position and normal per instance vertex; null when none
    uint8_t drawStateBuilt;
    uint8_t translucent;
    int blendMode;       // -1: the material's
    int blendParameter;  // -1: the material's
    uint8_t colourScaled;  // colourScales are in use
    ModelDrawnValues drawn;
};

// The weight of one shape of a frame.
struct ModelShapeState {
    float weight;
};

struct ModelFrame {
    char magic[4];  // "FRM_"
    int modelHandle;
    ModelInstance* instance;
    int childIndex;
    const ModelBaseFrame* baseFrame;
    ModelFrame* parent;
    ModelFrame* firstChild;
    ModelFrame* nextSibling;
    ModelFrame* fourthLink;
    int childCount;
    ModelFrame** children;
    Matrix44 localMatrix;
    Matrix34 worldMatrix;
    ModelMesh* firstMesh;
    const ModelBitPosition* matrixBit;
    uint32_t* matrixBitWord;
    const ModelBitPosition* drawBit;
    uint32_t* drawBitWord;
    float colourScales[16];
    float opacity;
    uint8_t visible;
    uint8_t drawStateValid;
    Matrix34** boneRefs;  // into the instance's skin matrices
    ModelShapeState* shapeStates;  // one per shape of the base frame
    uint8_t shapeChanged;          // a weight changed: the frame's shaped meshes are rebuilt
    uint8_t physicsDriven;         // a rigid body writes worldMatrix; the refresh leaves it
    // Drawing.
    uint8_t localMatrixSet;  // the user placed the frame: localMatrix replaces the base transform
    uint8_t colourScaled;    // colourScales are in use
    float worldMatrix4x4[16];
    uint8_t worldMatrix4x4Valid;
    ModelDrawnValues drawn;
};

struct ModelRigidBodyState {
    const ModelBaseRigidBody* base;
    ModelFrame* frame;  // the instance frame of the body's bone
    int worldBody;  // its number in the instance's physics world; -1 for none
};

struct ModelJointState {
    const ModelBaseJoint* base;
};

struct AnimEvalContext;
struct FrameAnimRecord;

// One attached animation: its evaluation context with one record per
// animated frame, all in one block.
struct ModelAnimSlot {
    int used;
    void* block;
    const ModelBaseAnimSet* set;
    AnimEvalContext* context;
    float blendRate;
};

// What the matrix refresh reads per frame and animation slot.
struct ModelFrameSlot {
    uint8_t active;            // the slot is in use and animates this frame
    float rate;                // its blend rate
    FrameAnimRecord* record;   // the evaluated values
};

constexpr int kModelDrawSettingCount = 6;

// A model instance: one handle's placement, colours and per-frame state
// over shared base data.
struct ModelInstance {
    uint32_t checkId;
    ModelInstance* next;
    ModelInstance* prev;
    int baseHandle;
    ModelBase* base;
    uint32_t* drawDirtyBits;    // one bit per frame and per mesh
    uint32_t* matrixDirtyBits;  // one bit per frame
    uint32_t drawDirtyBytes;
    uint32_t matrixDirtyBytes;
    Vector3 translation;
    // Rotation mode: 0 the angles in rotation, 1 a quaternion (x, y, z, w)
    // in rotationValues, 2 rotationMatrix, 3 in rotationValues a z-axis
    // direction, a y-axis up vector and a roll angle.
    uint32_t rotationByMatrix;
    Vector3 rotation;
    Vector3 scale;
    uint8_t matricesValid;
    ModelFrame* frames;
    int topFrameCount;
    ModelFrame** topFrames;
    Matrix34** boneRefs;
    Matrix34* skinMatrices;
    ModelShapeState* shapeStates;
    uint8_t shapesDirty;
    ModelRigidBodyState* rigidBodies;
    ModelJointState* joints;
    PhysicsWorld* physicsWorld;  // of its rigid bodies and joints; null when it has none
    ModelTriangleListState* triangleLists;
    ModelMesh* meshes;
    ModelMaterial* materials;  // one per base material, then the default that meshes without one take
    ModelTexture* textures;
    int texturesOwned;
    void* vertexCopies[4];
    void* optionalBlocks[2];
    int animSlotCount;
    ModelAnimSlot* animSlots;
    ModelFrameSlot* frameSlots;  // per frame, one entry per animation slot
    uint8_t motionValid;
    uint8_t visible;
    float colourScales[16];
    float opacity;
    uint32_t allDrawStatesValid;
    int drawSettings[kModelDrawSettingCount];  // z enable, z write, z func, depth bias, wireframe, anisotropy
    float meshDrawFloat;
    // Drawing.
    uint8_t colourScaled;  // colourScales are in use
    Matrix34 rotationMatrix;
    float rotationValues[7];
    uint8_t userMatrixSet;
    Matrix34 userMatrix;
    Matrix34 modelMatrix;
};

}  // namespace morpotta
