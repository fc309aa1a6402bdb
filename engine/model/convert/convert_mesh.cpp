// Base meshes of one read mesh: distinct vertices per triangle list, the
// lists themselves (by size for rigid and free-size faces, by plan for
// skinned ones) and the shape targets.
#include <cmath>
#include <cstring>
#include <vector>

#include "model/convert/convert_work.h"

namespace morpotta {

namespace {

// The distinct vertices of one triangle list, chained per position: a
// vertex can only equal one that shares its position, and faces visit
// positions in order, so the lookups stay in cache where a hash table of
// whole vertices would miss on nearly every corner.
class VertexSet {
public:
    explicit VertexSet(int positionCount) : head_(size_t(positionCount > 0 ? positionCount : 0), -1) {}
    // Forgets the previous list: only its own positions were touched.
    void Clear(const PackedVertices& list, int positionBase) {
        for (size_t i = 0; i < next_.size(); ++i) head_[size_t(list.PositionOf(i) - positionBase)] = -1;
        next_.clear();
    }
    // The list number of the packed vertex, or -1 after remembering that it
    // gets the list's size as its number.
    int FindOrAdd(const uint8_t* packed, int key, const PackedVertices& list) {
        int& head = head_[size_t(key)];
        for (int local = head; local >= 0; local = next_[size_t(local)])
            if (std::memcmp(list.at(size_t(local)), packed, list.stride()) == 0) return local;
        next_.push_back(head);
        head = int(list.size());
        return -1;
    }

private:
    std::vector<int> head_;  // per position of the mesh: newest list vertex there
    std::vector<int> next_;  // per list vertex: the older one at its position
};

uint8_t ColourByte(float c) {
    if (!(c >= 0.0f)) return 0;  // below 0 and NaN
    if (c > 1.0f) return 255;
    return uint8_t(c * 255.0f);
}

void ColourBytes(const float* c, uint8_t* out) {
    for (int i = 0; i < 4; ++i) out[i] = ColourByte(c[i]);
}

int UvChannels(const ReadModelMesh* mesh) {
    int channels = 0;
    for (int c = 0; c < kReadUvChannels; ++c)
        if (mesh->uvCount[c] > 0) channels = c + 1;
    return channels;
}

ModelBaseMeshVertex CornerVertex(const MeshWork& w, int face, int corner, const ReadModelMaterial* material) {
    const ReadModelMesh* mesh = w.mesh;
    ModelBaseMeshVertex v;
    std::memset(&v, 0, sizeof(v));  // padding too: vertices are compared bytewise
    int p = ReadFacePositions(mesh, face)[corner];
    v.position = w.positionBase + p;
    v.normal = w.normalBase + ReadFaceNormals(mesh, face)[corner];
    static const float kWhite[4] = {1, 1, 1, 1};
    const int* colours = ReadFaceColours(mesh, face);
    const float* diffuse = mesh->colourCount > 0 ? mesh->colours[colours ? colours[corner] : mesh->faceMaterials[face]]
                           : material              ? material->diffuse
                                                   : kWhite;
    ColourBytes(diffuse, v.diffuse);
    static const float kNone[4] = {0, 0, 0, 0};
    ColourBytes(material ? material->specular : kNone, v.specular);
    for (int c = 0; c < kReadUvChannels; ++c) {
        if (mesh->uvCount[c] <= 0) continue;
        const float* uv = mesh->uvs[c][ReadFaceUvs(mesh, c, face)[corner]];
        v.uv[c][0] = uv[0];
        v.uv[c][1] = uv[1];
    }
    v.noOutline = mesh->positionFlags ? mesh->positionFlags[p] : 0;
    return v;
}

class MeshBuilder {
public:
    MeshBuilder(const ReadModel* model, const MeshWork& w, BuiltMesh* out, const ReadModelMaterial* material,
                VertexSet* seen)
        : model_(model), w_(w), out_(out), material_(material), seen_(*seen) {}
    ~MeshBuilder() { ForgetLastList(); }

    void StartList(int kind, int maxWeights) {
        ForgetLastList();
        out_->lists.push_back(BuiltList{});
        BuiltList& list = out_->lists.back();
        list.firstVertex = out_->vertexCount;
        list.vertices.uvChannels = out_->uvChannels;
        list.vertexKind = kind;
        list.maxWeights = kind == 3 ? maxWeights : 0;
        for (int& b : list.bones) b = -1;
    }

    void SetPalette(const ConvertPlan& plan) {
        BuiltList& list = out_->lists.back();
        list.boneCount = plan.boneCount;
        for (int i = 0; i < plan.boneCount; ++i) list.bones[i] = w_.slotBase + plan.bones[i];
    }

    void AddFace(int face) {
        BuiltList& list = out_->lists.back();
        uint16_t corners[3];
        for (int c = 0; c < 3; ++c) {
            ModelBaseMeshVertex v = CornerVertex(w_, face, c, material_);
            uint8_t packed[sizeof(ModelBaseMeshVertex)];
            PackedVertices::Pack(v, list.vertices.uvChannels, packed);
            int local = int(list.vertices.size());
            int found = seen_.FindOrAdd(packed, v.position - w_.positionBase, list.vertices);
            if (found < 0) {
                list.vertices.bytes.insert(list.vertices.bytes.end(), packed, packed + list.vertices.stride());
                ++out_->vertexCount;
                if (v.diffuse[3] < 255) out_->translucent = true;
                found = local;
            }
            corners[c] = uint16_t(found);
        }
        if (model_->reverseWinding) std::swap(corners[1], corners[2]);
        list.indices.insert(list.indices.end(), corners, corners + 3);
        ++out_->triangleCount;
    }

private:
    void ForgetLastList() {
        if (out_->lists.empty() || out_->lists.back().vertices.empty()) return;
        seen_.Clear(out_->lists.back().vertices, w_.positionBase);
    }

    const ReadModel* model_;
    const MeshWork& w_;
    BuiltMesh* out_;
    const ReadModelMaterial* material_;
    VertexSet& seen_;
};

void BuildShapes(const MeshWork& w, BuiltMesh* out) {
    const ReadModelMesh* mesh = w.mesh;
    int number = 0;
    for (const ReadModelShape* shape = mesh->frame->shapes.first; shape; shape = shape->nextInFrame, ++number) {
        if (shape->mesh != mesh || !shape->vertexTable) continue;
        BuiltShapeTarget target{shape->name, number, {}};
        for (const BuiltList& list : out->lists)
            for (size_t i = 0; i < list.vertices.size(); ++i) {
                int p = list.vertices.PositionOf(i) - w.positionBase;
                int entry = shape->vertexTable[p];
                if (entry < 0) continue;
                const ReadModelShapeVertex& sv = shape->vertices[entry];
                ModelBaseShapeVertex bv{list.firstVertex + int(i), sv.offset,
                                        shape->hasNormals ? sv.normal : Vector3{0, 0, 0}};
                target.vertices.push_back(bv);
            }
        out->shapes.push_back(std::move(target));
        out->hasShapes = true;
    }
}

}  // namespace

void BuildMeshesOfReadMesh(const ReadModel* model, const MeshWork& w, std::vector<BuiltMesh>* out) {
    const ReadModelMesh* mesh = w.mesh;
    int groups = int(w.groups.size());
    VertexSet seen(mesh->positionCount);
    for (int g = 0; g < groups; ++g) {
        const ReadModelMaterial* material = mesh->materialCount > 0 ? mesh->materials[g] : nullptr;
        out->push_back(BuiltMesh{});
        BuiltMesh& built = out->back();
        built.frameIndex = int(mesh->frame->index);
        built.material = material ? int(material->index) : -1;
        built.uvChannels = UvChannels(mesh);
        built.vertexColours = mesh->colourCount > 0;
        MeshBuilder builder(model, w, &built, material, &seen);
        const PolygonGroup& group = w.groups[size_t(g)];
        auto inGroup = [&](int f) { return mesh->materialCount == 0 || mesh->faceMaterials[f] == g; };
        auto typeOf = [&](int f) { return w.skinned ? int(w.faceType[size_t(f)]) : 0; };
        for (int type : {0, 3}) {
            if (group.trianglesOfType[type] == 0) continue;
            int inList = kMaxTrianglesPerList;
            for (int f = 0; f < mesh->faceCount; ++f) {
                if (!inGroup(f) || typeOf(f) != type) continue;
                if (inList == kMaxTrianglesPerList) {
                    builder.StartList(type, group.maxWeights);
                    inList = 0;
                }
                builder.AddFace(f);
                ++inList;
            }
        }
        for (int type : {1, 2}) {
            const std::vector<ConvertPlan>& plans = group.plans[type - 1];
            for (size_t p = 0; p < plans.size(); ++p) {
                if (plans[p].triangleCount == 0) continue;
                builder.StartList(type, group.maxWeights);
                builder.SetPalette(plans[p]);
                for (int f = 0; f < mesh->faceCount; ++f)
                    if (inGroup(f) && typeOf(f) == type && w.facePlan[size_t(f)] == int(p))
                        builder.AddFace(f);
            }
        }
        if (mesh->hasShapes) BuildShapes(w, &built);
    }
}

}  // namespace morpotta
