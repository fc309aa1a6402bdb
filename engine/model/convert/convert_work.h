// Work records of the read-model conversion, shared by its steps.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/convert/bit_table.h"
#include "model/convert/convert.h"

namespace morpotta {

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

// Vertices of a list being built, each packed to the UV channels its mesh
// has (the others are zero): position, normal, diffuse, specular, the
// channels, the outline flag. Equal vertices have equal bytes.
struct PackedVertices {
    int uvChannels = 0;
    std::vector<uint8_t> bytes;

    static size_t StrideFor(int uvChannels) { return 20 + 8 * size_t(uvChannels); }
    size_t stride() const { return StrideFor(uvChannels); }
    size_t size() const { return bytes.size() / stride(); }
    bool empty() const { return bytes.empty(); }
    const uint8_t* at(size_t i) const { return bytes.data() + i * stride(); }
    int PositionOf(size_t i) const {
        int p;
        std::memcpy(&p, at(i), sizeof(p));
        return p;
    }
    static void Pack(const ModelBaseMeshVertex& v, int uvChannels, uint8_t* out) {
        std::memcpy(out, &v, offsetof(ModelBaseMeshVertex, uv));
        std::memcpy(out + offsetof(ModelBaseMeshVertex, uv), v.uv, 8 * size_t(uvChannels));
        std::memcpy(out + StrideFor(uvChannels) - 4, &v.noOutline, 4);
    }
    void Unpack(size_t i, ModelBaseMeshVertex* out) const {
        const uint8_t* in = at(i);
        std::memset(out, 0, sizeof(*out));
        std::memcpy(out, in, offsetof(ModelBaseMeshVertex, uv));
        std::memcpy(out->uv, in + offsetof(ModelBaseMeshVertex, uv), 8 * size_t(uvChannels));
        std::memcpy(&out->noOutline, in + stride() - 4, 4);
    }
};
static_assert(offsetof(ModelBaseMeshVertex, uv) == 16 && sizeof(ModelBaseMeshVertex) == 16 + 8 * kModelUvChannels + 4,
              "PackedVertices follows the vertex layout");

// A base mesh being built, before it is laid into the base data.
struct BuiltList {
    int vertexKind;
    int maxWeights;
    int boneCount;
    int bones[kModelMaxPaletteBones];  // frame bone-reference slots
    // The list's own vertices, numbered in the mesh from firstVertex on:
    // the mesh's vertices are its lists' in list order.
    int firstVertex;
    PackedVertices vertices;
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
    int vertexCount;
    std::vector<BuiltList> lists;
    std::vector<BuiltShapeTarget> shapes;
};

// One base mesh per material of the mesh (one for none), appended to out.
void BuildMeshesOfReadMesh(const ReadModel* model, const MeshWork& work, std::vector<BuiltMesh>* out);

}  // namespace morpotta
