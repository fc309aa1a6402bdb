// Base meshes of one read mesh: distinct vertices per triangle list, the
// lists themselves (by size for rigid and free-size faces, by plan for
// skinned ones) and the shape targets.
#include <cmath>
#include <cstring>
#include <vector>

#include "model/convert_work.h"

namespace {

bool SameVertex(const ModelBaseMeshVertex& a, const ModelBaseMeshVertex& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;  // padding is zeroed
}

// Word at a time: the key is hashed for every corner of every face.
uint64_t HashVertex(const ModelBaseMeshVertex& v) {
    const auto* b = reinterpret_cast<const unsigned char*>(&v);
    uint64_t h = 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= sizeof(v); i += 8) {
        uint64_t w;
        std::memcpy(&w, b + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    for (; i < sizeof(v); ++i) h = (h ^ b[i]) * 0x100000001B3ull;
    return h ^ (h >> 29);
}

// The distinct vertices of one triangle list: open addressing over the
// list's own vertex numbers, kept at most half full.
class VertexSet {
public:
    void Clear() {
        slots_.assign(kInitialSlots, Slot{0, -1});
        used_ = 0;
    }
    // The list number of v, or -1 after remembering that it gets `next`.
    // A list's vertices lie together in vertices, from listStart on.
    int FindOrAdd(const ModelBaseMeshVertex& v, const ModelBaseMeshVertex* listStart, int next) {
        uint64_t h = HashVertex(v);
        size_t mask = slots_.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.local < 0) {
                s = Slot{uint32_t(h), next};
                if (++used_ * 2 > slots_.size()) Grow();
                return -1;
            }
            if (s.hash == uint32_t(h) && SameVertex(listStart[s.local], v)) return s.local;
        }
    }

private:
    struct Slot {
        uint32_t hash;
        int local;
    };
    static constexpr size_t kInitialSlots = 64;
    void Grow() {
        std::vector<Slot> old(slots_.size() * 2, Slot{0, -1});
        old.swap(slots_);
        size_t mask = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.local < 0) continue;
            size_t i = size_t(s.hash) & mask;
            while (slots_[i].local >= 0) i = (i + 1) & mask;
            slots_[i] = s;
        }
    }
    std::vector<Slot> slots_;
    size_t used_ = 0;
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
    for (int c = 0; c < kModelUvChannels; ++c)
        if (mesh->uvCount[c] > 0) channels = c + 1;
    return channels;
}

ModelBaseMeshVertex CornerVertex(const MeshWork& w, const ReadModelFace& face, int corner,
                                 const ReadModelMaterial* material) {
    const ReadModelMesh* mesh = w.mesh;
    ModelBaseMeshVertex v;
    std::memset(&v, 0, sizeof(v));  // padding too: vertices are compared bytewise
    int p = face.positionIndex[corner];
    v.position = w.positionBase + p;
    v.normal = w.normalBase + face.normalIndex[corner];
    static const float kWhite[4] = {1, 1, 1, 1};
    const float* diffuse = mesh->colourCount > 0 ? mesh->colours[face.colourIndex[corner]]
                           : material              ? material->diffuse
                                                   : kWhite;
    ColourBytes(diffuse, v.diffuse);
    static const float kNone[4] = {0, 0, 0, 0};
    ColourBytes(material ? material->specular : kNone, v.specular);
    for (int c = 0; c < kModelUvChannels; ++c) {
        if (mesh->uvCount[c] <= 0) continue;
        const float* uv = mesh->uvs[c][face.uvIndex[c][corner]];
        v.uv[c][0] = uv[0];
        v.uv[c][1] = uv[1];
    }
    v.noOutline = mesh->positionFlags ? mesh->positionFlags[p] : 0;
    return v;
}

class MeshBuilder {
public:
    MeshBuilder(const ReadModel* model, const MeshWork& w, BuiltMesh* out, const ReadModelMaterial* material)
        : model_(model), w_(w), out_(out), material_(material) {}

    void StartList(int kind, int maxWeights) {
        out_->lists.push_back(BuiltList{});
        BuiltList& list = out_->lists.back();
        list.vertexKind = kind;
        list.maxWeights = kind == 3 ? maxWeights : 0;
        for (int& b : list.bones) b = -1;
        seen_.Clear();
    }

    void SetPalette(const ConvertPlan& plan) {
        BuiltList& list = out_->lists.back();
        list.boneCount = plan.boneCount;
        for (int i = 0; i < plan.boneCount; ++i) list.bones[i] = w_.slotBase + plan.bones[i];
    }

    void AddFace(const ReadModelFace& face) {
        BuiltList& list = out_->lists.back();
        uint16_t corners[3];
        for (int c = 0; c < 3; ++c) {
            ModelBaseMeshVertex v = CornerVertex(w_, face, c, material_);
            int local = int(list.meshVertices.size());
            // Slots exist only once the list has vertices.
            const ModelBaseMeshVertex* listStart =
                list.meshVertices.empty() ? nullptr : out_->vertices.data() + list.meshVertices.front();
            int found = seen_.FindOrAdd(v, listStart, local);
            if (found < 0) {
                list.meshVertices.push_back(int(out_->vertices.size()));
                out_->vertices.push_back(v);
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
    const ReadModel* model_;
    const MeshWork& w_;
    BuiltMesh* out_;
    const ReadModelMaterial* material_;
    VertexSet seen_;
};

void BuildShapes(const MeshWork& w, BuiltMesh* out) {
    const ReadModelMesh* mesh = w.mesh;
    for (const ReadModelShape* shape = mesh->frame->shapes.first; shape; shape = shape->nextInFrame) {
        if (shape->mesh != mesh || !shape->vertexTable) continue;
        BuiltShapeTarget target{shape->name, {}};
        for (size_t v = 0; v < out->vertices.size(); ++v) {
            int p = out->vertices[v].position - w.positionBase;
            int entry = shape->vertexTable[p];
            if (entry < 0) continue;
            const ReadModelShapeVertex& sv = shape->vertices[entry];
            ModelBaseShapeVertex bv{int(v), sv.offset, shape->hasNormals ? sv.normal : Vector3{0, 0, 0}};
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
    for (int g = 0; g < groups; ++g) {
        const ReadModelMaterial* material = mesh->materialCount > 0 ? mesh->materials[g] : nullptr;
        out->push_back(BuiltMesh{});
        BuiltMesh& built = out->back();
        built.frameIndex = int(mesh->frame->index);
        built.material = material ? int(material->index) : -1;
        built.uvChannels = UvChannels(mesh);
        built.vertexColours = mesh->colourCount > 0;
        MeshBuilder builder(model, w, &built, material);
        const PolygonGroup& group = w.groups[size_t(g)];
        auto inGroup = [&](int f) { return mesh->materialCount == 0 || mesh->faces[f].materialIndex == g; };
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
                builder.AddFace(mesh->faces[f]);
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
                        builder.AddFace(mesh->faces[f]);
            }
        }
        if (mesh->hasShapes) BuildShapes(w, &built);
    }
}
