// Work records of the read-model conversion, shared by its steps.
#pragma once
#include <cstdint>
#include <vector>

#include "model/convert/bit_table.h"
#include "model/convert/convert.h"

constexpr int kMaxPlansPerType = 128;
constexpr int kMaxTrianglesPerList = (kModelMaxListIndices - 1) / 3;  // 21833: indices stay below 65500

struct ConvertPlan {
    int boneCount;
    int16_t bones[kModelMaxPaletteBones];  // skin-weight indexes of the mesh
    int triangleCount;
};

struct PolygonGroup {
    int trianglesOfType[4];
    int maxWeights;  // weights per vertex of this group's skinned lists
    std::vector<ConvertPlan> plans[2];  // types 1 and 2
};

struct PositionInfluence {
    int skinWeight;
    float weight;
};

struct MeshWork {
    ReadModelMesh* mesh;
    bool skinned;
    std::vector<uint8_t> faceType;
    std::vector<uint16_t> faceBoneCount;
    std::vector<int> facePlan;
    BitTable vertexBones;
    BitTable faceBones;
    // Influences per position (ascending skin weight), CSR style.
    std::vector<int> influenceStart;
    std::vector<PositionInfluence> influences;
    std::vector<PolygonGroup> groups;
    int maxBonesPerVertex;
    // Where this mesh's data land in its frame and the base data.
    int positionBase;
    int normalBase;
    int slotBase;
    int skinBoneBase;
};

// Validates the mesh against its own counts; false (logged) for bad input.
bool CheckReadMesh(const ReadModel* model, const ReadModelMesh* mesh);
// Face types, plans and groups of one prepared (triangulated) mesh.
bool PlanReadMesh(ReadModel* model, MeshWork* work);

// A base mesh being built, before it is laid into the base data.
struct BuiltList {
    int vertexKind;
    int maxWeights;
    int boneCount;
    int bones[kModelMaxPaletteBones];  // frame bone-reference slots
    std::vector<int> meshVertices;
    std::vector<uint16_t> indices;
};

struct BuiltShapeTarget {
    const char* name;
    int shape;  // the shape's place among its frame's shapes
    std::vector<ModelBaseShapeVertex> vertices;
};

struct BuiltMesh {
    int frameIndex;
    int material;  // base material index, -1 for none
    bool translucent;
    bool hasShapes;
    bool vertexColours;
    int uvChannels;
    int triangleCount;
    std::vector<ModelBaseMeshVertex> vertices;
    std::vector<BuiltList> lists;
    std::vector<BuiltShapeTarget> shapes;
};

// One base mesh per material of the mesh (one for none), appended to out.
void BuildMeshesOfReadMesh(const ReadModel* model, const MeshWork& work, std::vector<BuiltMesh>* out);
