// Binary model meshes and triangle lists: the records, the runs that tie
// them to their frames and meshes, the packed mesh vertices and each
// list's bone palette, vertex numbers and indices.
#include <algorithm>
#include <cstring>

#include "model/convert/base_routines.h"
#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

constexpr uint32_t kMeshBytes = 0x4C;
constexpr uint32_t kListBytes = 0x1C;


bool ReadMesh(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    uint32_t at = load->meshes[size_t(i)];
    ModelBaseMesh& m = base->meshes[i];
    int frame = load->Ref(image.U32(at + 0x0C), load->frames, 0x0C, false, "a mesh names no frame");
    int material = load->Ref(image.U32(at + 0x10), load->materials, 0x0C, true, "a mesh names no material");
    if (frame < 0 || material == -1) return false;
    m.frame = &base->frames[frame];
    m.material = material < 0 ? -1 : material;
    SetModelBitPosition(&m.drawBit, base->frameCount + i);
    m.translucent = image.U32(at + 0x24) ? 1 : 0;
    m.needsInstanceVertices = image.U32(at + 0x28) ? 1 : 0;
    m.visible = image.bytes[at + 0x2C];
    m.cullMode = image.bytes[at + 0x2D];
    m.vertexColours = image.bytes[at + 0x38];
    m.vertexSpecular = image.bytes[at + 0x39];
    m.uvChannelCount = std::min<int>(image.bytes[at + 0x3A], kModelUvChannels);
    m.vertexCount = int(image.U32(at + 0x40));
    if (m.cullMode > 2) return load->Fail("a mesh has an unknown cull mode");
    if (m.vertexCount < 0) return load->Fail("a mesh has too many vertices");
    return true;
}

bool ReadList(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    uint32_t at = load->lists[size_t(i)];
    ModelBaseTriangleList& l = load->base->triangleLists[i];
    int mesh = load->Ref(image.U32(at + 0x0C), load->meshes, 0x08, false, "a triangle list names no mesh");
    if (mesh < 0) return false;
    l.mesh = &load->base->meshes[mesh];
    l.vertexKind = uint16_t(image.bytes[at + 0x10] | image.bytes[at + 0x11] << 8);
    l.vertexCount = image.bytes[at + 0x14] | image.bytes[at + 0x15] << 8;
    l.indexCount = image.bytes[at + 0x16] | image.bytes[at + 0x17] << 8;
    if (l.vertexKind > 3) return load->Fail("a triangle list has an unknown vertex kind");
    if (l.vertexCount >= kModelMaxListIndices || l.indexCount >= kModelMaxListIndices || l.indexCount % 3 != 0)
        return load->Fail("a triangle list is too large or not made of triangles");
    for (int b = 0; b < kModelMaxPaletteBones; ++b) l.bones[b] = -1;
    return true;
}

// Each owner names a consecutive run of items (count at countField, first
// item four bytes on) whose records must name it back; every item belongs
// to exactly one run.
template <typename Owner, typename Item, typename SetRun, typename OwnerOf>
bool TieRuns(Mv1Load* load, Owner* owners, const std::vector<uint32_t>& ownerAt, uint32_t countField, Item* items,
             const std::vector<uint32_t>& itemAt, SetRun setRun, OwnerOf ownerOf, const char* broken,
             const char* orphan) {
    const int itemCount = int(itemAt.size());
    std::vector<uint8_t> taken(itemAt.size(), 0);
    for (size_t i = 0; i < ownerAt.size(); ++i) {
        int count = int(load->image.U32(ownerAt[i] + countField));
        if (count == 0) continue;
        int first = load->Ref(load->image.U32(ownerAt[i] + countField + 4), itemAt, 0x08, false, broken);
        if (first < 0) return false;
        if (count < 0 || count > itemCount - first) return load->Fail(broken);
        for (int k = first; k < first + count; ++k) {
            if (taken[size_t(k)] || ownerOf(items[k]) != &owners[i]) return load->Fail(broken);
            taken[size_t(k)] = 1;
        }
        setRun(&owners[i], &items[first], count);
    }
    for (uint8_t t : taken)
        if (!t) return load->Fail(orphan);
    return true;
}

bool TieMeshesToFrames(Mv1Load* load) {
    ModelBase* base = load->base;
    return TieRuns(
        load, base->frames, load->frames, 0x94, base->meshes, load->meshes,
        [](ModelBaseFrame* f, ModelBaseMesh* first, int count) {
            f->firstMesh = first;
            f->meshCount = count;
        },
        [](const ModelBaseMesh& m) { return m.frame; }, "a frame's meshes are broken", "a mesh belongs to no frame");
}

bool TieListsToMeshes(Mv1Load* load) {
    ModelBase* base = load->base;
    return TieRuns(
        load, base->meshes, load->meshes, 0x30, base->triangleLists, load->lists,
        [](ModelBaseMesh* m, ModelBaseTriangleList* first, int count) {
            m->firstTriangleList = first;
            m->triangleListCount = count;
        },
        [](const ModelBaseTriangleList& l) { return l.mesh; }, "a mesh's triangle lists are broken",
        "a triangle list belongs to no mesh");
}

float UnitU16(Mv1Cursor* in) { return float(in->U16()) / 65535.0f; }

void SetColours(ModelBaseMeshVertex* v, uint32_t diffuse, uint32_t specular) {
    // 0xAARRGGBB words; the vertex keeps red, green, blue, alpha bytes.
    const uint32_t words[2] = {diffuse, specular};
    uint8_t* out[2] = {v->diffuse, v->specular};
    for (int w = 0; w < 2; ++w) {
        out[w][0] = uint8_t(words[w] >> 16);
        out[w][1] = uint8_t(words[w] >> 8);
        out[w][2] = uint8_t(words[w]);
        out[w][3] = uint8_t(words[w] >> 24);
    }
}

bool ReadMeshVertices(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    uint32_t at = load->meshes[size_t(i)];
    ModelBaseMesh& m = load->base->meshes[i];
    const ModelBaseFrame& f = *m.frame;
    const uint32_t flags = image.U32(at + 0x3C);
    const int sets = image.bytes[at + 0x3A];
    const uint32_t count = uint32_t(m.vertexCount);
    m.vertices = load->Take<ModelBaseMeshVertex>(count);
    if (!m.vertices) return false;
    if (count == 0) return true;
    static const int kWidths[4] = {0, 1, 2, 4};
    const int positionBytes = kWidths[flags & 3], normalBytes = kWidths[(flags >> 2) & 3];
    Mv1Cursor in(image, image.U32(at + 0x48));
    uint32_t sharedDiffuse = 0, sharedSpecular = 0;
    if (flags & 0x20) {
        sharedDiffuse = in.U32();
        sharedSpecular = in.U32();
    }
    if (!in.Need(count, uint64_t(positionBytes + normalBytes))) return load->Fail("a mesh's vertices run past the end of the file");
    for (uint32_t v = 0; v < count; ++v) m.vertices[v].position = int(in.Unsigned(positionBytes));
    for (uint32_t v = 0; v < count; ++v) m.vertices[v].normal = int(in.Unsigned(normalBytes));
    const int uvBytes = (flags & 0x10) ? 4 : 8;
    if (!in.Need(count, (flags & 0x20 ? 0 : 8) + uint64_t(sets) * uint64_t(uvBytes)))
        return load->Fail("a mesh's vertices run past the end of the file");
    for (uint32_t v = 0; v < count; ++v) {
        ModelBaseMeshVertex& out = m.vertices[v];
        if (out.position < 0 || out.position >= f.positionCount || out.normal < 0 || out.normal >= f.normalCount)
            return load->Fail("a mesh vertex names a position or normal its frame does not have");
        if (flags & 0x20) {
            SetColours(&out, sharedDiffuse, sharedSpecular);
        } else {
            uint32_t diffuse = in.U32();
            SetColours(&out, diffuse, in.U32());
        }
    }
    for (uint32_t v = 0; v < count; ++v)
        for (int s = 0; s < sets; ++s) {
            float u = (flags & 0x10) ? UnitU16(&in) : in.F32();
            float w = (flags & 0x10) ? UnitU16(&in) : in.F32();
            if (s < kModelUvChannels) {
                m.vertices[v].uv[s][0] = u;
                m.vertices[v].uv[s][1] = w;
            }
        }
    if (flags & 0x40) {
        if (!in.Need((count + 7) / 8, 1)) return load->Fail("a mesh's vertices run past the end of the file");
        uint8_t bits = 0;
        for (uint32_t v = 0; v < count; ++v) {
            if (v % 8 == 0) bits = in.U8();
            m.vertices[v].noOutline = (bits >> (7 - v % 8)) & 1;
        }
    }
    return in.ok() || load->Fail("a mesh's vertices run past the end of the file");
}

bool ReadListData(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    uint32_t at = load->lists[size_t(i)];
    ModelBaseTriangleList& l = base->triangleLists[i];
    ModelBaseMesh& mesh = *l.mesh;
    const ModelBaseFrame& f = *mesh.frame;
    const uint32_t flags = image.bytes[at + 0x12];
    Mv1Cursor in(image, image.U32(at + 0x18));
    if (l.vertexKind == 1 || l.vertexKind == 2) {
        l.boneCount = in.U16();
        if (l.boneCount > kModelMaxPaletteBones) return load->Fail("a triangle list has more than 54 bones");
        for (int b = 0; b < l.boneCount; ++b) {
            l.bones[b] = in.U16();
            if (l.bones[b] >= f.boneRefCount) return load->Fail("a triangle list names a bone its frame does not refer to");
        }
    } else if (l.vertexKind == 3) {
        l.maxWeights = in.U16();
        if (l.maxWeights > f.maxWeightsPerVertex) return load->Fail("a triangle list holds more weights than its frame");
    }
    l.vertexStride = TriangleListVertexStride(l.vertexKind, l.maxWeights);
    l.meshVertices = load->Take<int>(uint64_t(l.vertexCount));
    l.indices = load->Take<uint16_t>(uint64_t(l.indexCount));
    l.outlineIndices = load->Take<uint16_t>(uint64_t(l.indexCount));
    l.vertices = load->TakeBytes(uint64_t(l.vertexStride) * uint64_t(l.vertexCount ? l.vertexCount : 1));
    if (!l.meshVertices || !l.indices || !l.outlineIndices || !l.vertices) return false;
    static const int kNumberBytes[4] = {1, 2, 4, 0};
    const int numberBytes = kNumberBytes[flags & 3];
    const int indexBytes = (flags >> 2 & 3) == 0 ? 1 : (flags >> 2 & 3) == 1 ? 2 : 0;
    if (numberBytes == 0) return load->Fail("a triangle list has an unknown vertex number width");
    if (!in.Need(uint64_t(l.vertexCount), uint64_t(numberBytes)))
        return load->Fail("a triangle list runs past the end of the file");
    for (int v = 0; v < l.vertexCount; ++v) {
        uint32_t number = in.Unsigned(numberBytes);
        if (number >= uint32_t(mesh.vertexCount)) return load->Fail("a triangle list names a vertex its mesh does not have");
        // Weights beyond what the kind holds, or on a bone outside the
        // palette, are taken as the vertex fill takes them (the first 4 or
        // 8; the slot past the palette).
        l.meshVertices[v] = int(number);
    }
    // Widths 2 and 3 store no indices: they stay 0.
    if (!in.Need(uint64_t(l.indexCount), uint64_t(indexBytes))) return load->Fail("a triangle list runs past the end of the file");
    for (int k = 0; k < l.indexCount; ++k) {
        uint32_t index = indexBytes ? in.Unsigned(indexBytes) : 0;
        if (index >= uint32_t(l.vertexCount)) return load->Fail("a triangle list's index names no vertex");
        l.indices[k] = uint16_t(index);
    }
    mesh.triangleCount += l.indexCount / 3;
    if (mesh.needsInstanceVertices) {
        base->instanceVertexCounts[l.vertexKind] += uint32_t(l.vertexCount);
        mesh.instanceVertexCount += l.vertexCount;
    }
    return in.ok() || load->Fail("a triangle list runs past the end of the file");
}

}  // namespace

bool ReadMv1Meshes(Mv1Load* load) {
    ModelBase* base = load->base;
    uint32_t meshes = load->Header(0x4C), lists = load->Header(0x6C);
    if (!load->Walk(load->Header(0x50), meshes, kMeshBytes, 0x08, &load->meshes, "the mesh list is broken") ||
        !load->Walk(load->Header(0x70), lists, kListBytes, 0x08, &load->lists, "the triangle-list list is broken"))
        return false;
    base->meshes = load->Take<ModelBaseMesh>(meshes);
    base->triangleLists = load->Take<ModelBaseTriangleList>(lists);
    if (!base->meshes || !base->triangleLists) return false;
    base->meshCount = int(meshes);
    base->triangleListCount = int(lists);
    for (int i = 0; i < base->meshCount; ++i)
        if (!ReadMesh(load, i)) return false;
    for (int i = 0; i < base->triangleListCount; ++i)
        if (!ReadList(load, i)) return false;
    return TieMeshesToFrames(load) && TieListsToMeshes(load);
}

bool ReadMv1MeshVertices(Mv1Load* load) {
    for (int i = 0; i < load->base->meshCount; ++i)
        if (!ReadMeshVertices(load, i)) return false;
    for (int i = 0; i < load->base->triangleListCount; ++i)
        if (!ReadListData(load, i)) return false;
    return true;
}

}  // namespace morpotta
