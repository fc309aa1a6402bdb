// Finding and checking the sections of a PMD file (layout in pmd_file.h).
// Counts come from the file, so every section is measured against the
// bytes that are left before it is trusted, in 64-bit arithmetic.
#include "model/read/pmd_file.h"

#include <cmath>
#include <cstring>

#include "engine/log.h"
#include "model/read/pmd_bones.h"
#include "model/read/read_model.h"

namespace morpotta {

namespace {

constexpr size_t kEnglishFixedBytes = 276;
constexpr size_t kGroupNameBytes = 50;
constexpr uint8_t kMaxShape = 2;
constexpr uint8_t kMaxGroup = 15;

struct PmdCursor {
    const unsigned char* data;
    size_t size;
    size_t at;

    size_t Left() const { return size - at; }
    // The next bytes as a section, or null when they run past the end.
    const unsigned char* Take(uint64_t bytes) {
        if (bytes > Left()) return nullptr;
        const unsigned char* p = data + at;
        at += size_t(bytes);
        return p;
    }
};

int ReadCount(PmdCursor* c, int bytes, uint32_t* count, const char* what) {
    const unsigned char* p = c->Take(uint64_t(bytes));
    if (!p) return LogPmdLoadError(what);
    *count = bytes == 1 ? p[0] : bytes == 2 ? PmdU16(p) : PmdU32(p);
    return 0;
}

// count records of size bytes each.
int TakeRecords(PmdCursor* c, uint32_t count, size_t size, const unsigned char** out, const char* what) {
    *out = c->Take(uint64_t(count) * size);
    return *out ? 0 : LogPmdLoadError(what);
}

int ParseVertices(PmdCursor* c, PmdFile* f) {
    if (ReadCount(c, 4, &f->vertexCount, "the vertex count lies past the end of the file") != 0) return -1;
    return TakeRecords(c, f->vertexCount, kPmdVertexBytes, &f->vertices, "the vertices run past the end of the file");
}

int ParseFaces(PmdCursor* c, PmdFile* f) {
    uint32_t indexCount = 0;
    if (ReadCount(c, 4, &indexCount, "the index count lies past the end of the file") != 0 ||
        TakeRecords(c, indexCount, 2, &f->indices, "the vertex indices run past the end of the file") != 0)
        return -1;
    f->faceCount = indexCount / 3;
    for (uint32_t i = 0; i < f->faceCount * 3; ++i)
        if (PmdU16(f->indices + 2 * i) >= f->vertexCount) return LogPmdLoadError("a face names a vertex the model does not have");
    return 0;
}

int ParseMaterials(PmdCursor* c, PmdFile* f) {
    if (ReadCount(c, 4, &f->materialCount, "the material count lies past the end of the file") != 0 ||
        TakeRecords(c, f->materialCount, kPmdMaterialBytes, &f->materials,
                    "the materials run past the end of the file") != 0)
        return -1;
    uint64_t faces = 0;
    uint32_t used = 0;
    for (uint32_t i = 0; i < f->materialCount; ++i) {
        const unsigned char* m = f->materials + i * kPmdMaterialBytes;
        uint32_t indices = PmdU32(m + 46);
        if (indices > 0) {
            faces += (uint64_t(indices) - 1) / 3 + 1;
            ++used;
        }
    }
    if (faces > f->faceCount) return LogPmdLoadError("the materials take more faces than the model has");
    if (used > uint32_t(kReadMeshMaxMaterials)) return LogPmdLoadError("more materials take faces than a mesh can hold");
    return 0;
}

int ParseBones(PmdCursor* c, PmdFile* f) {
    if (ReadCount(c, 2, &f->boneCount, "the bone count lies past the end of the file") != 0) return -1;
    if (f->boneCount > uint32_t(kPmdMaxBones)) return LogPmdLoadError("the model has more bones than can be read");
    if (TakeRecords(c, f->boneCount, kPmdBoneBytes, &f->bones, "the bones run past the end of the file") != 0)
        return -1;
    for (uint32_t i = 0; i < f->vertexCount; ++i) {
        const unsigned char* v = f->vertices + i * kPmdVertexBytes;
        if (PmdU16(v + 32) >= f->boneCount || PmdU16(v + 34) >= f->boneCount)
            return LogPmdLoadError("a vertex names a bone the model does not have");
    }
    return 0;
}

int ParseIks(PmdCursor* c, PmdFile* f) {
    uint32_t count = 0;
    if (ReadCount(c, 2, &count, "the IK count lies past the end of the file") != 0) return -1;
    f->iks.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* ik = c->Take(kPmdIkBytes);
        if (!ik) return LogPmdLoadError("the IK list runs past the end of the file");
        const unsigned char* links = c->Take(uint64_t(ik[4]) * 2);
        if (!links) return LogPmdLoadError("the IK list runs past the end of the file");
        bool inside = PmdU16(ik) < f->boneCount && PmdU16(ik + 2) < f->boneCount;
        for (int l = 0; l < ik[4]; ++l) inside = inside && PmdU16(links + 2 * l) < f->boneCount;
        if (!inside) return LogPmdLoadError("an IK entry names a bone the model does not have");
        if (!std::isfinite(PmdF32(ik + 7))) return LogPmdLoadError("an IK entry's angle limit is no number");
        f->iks.push_back(ik);
    }
    return 0;
}

int ParseMorphs(PmdCursor* c, PmdFile* f) {
    uint32_t count = 0;
    if (ReadCount(c, 2, &count, "the morph count lies past the end of the file") != 0) return -1;
    f->morphs.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* morph = c->Take(kPmdMorphBytes);
        if (!morph || !c->Take(uint64_t(PmdU32(morph + 20)) * kPmdMorphVertexBytes))
            return LogPmdLoadError("the morphs run past the end of the file");
        f->morphs.push_back(morph);
    }
    if (count < 2) return 0;  // a lone base morph is never read
    const uint32_t baseCount = PmdU32(f->morphs[0] + 20);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* morph = f->morphs[i];
        const uint32_t limit = i == 0 ? f->vertexCount : baseCount;
        for (uint32_t v = 0, n = PmdU32(morph + 20); v < n; ++v)
            if (PmdU32(morph + kPmdMorphBytes + v * kPmdMorphVertexBytes) >= limit)
                return LogPmdLoadError("a morph names a vertex the model does not have");
    }
    return 0;
}

// The three display lists, then the optional parts.
int ParseTail(PmdCursor* c, PmdFile* f, bool readPhysics) {
    uint32_t count = 0, groups = 0;
    const unsigned char* skipped = nullptr;
    if (ReadCount(c, 1, &count, "the morph display list lies past the end of the file") != 0 ||
        TakeRecords(c, count, 2, &skipped, "the morph display list runs past the end of the file") != 0 ||
        ReadCount(c, 1, &groups, "the bone group names lie past the end of the file") != 0 ||
        TakeRecords(c, groups, kGroupNameBytes, &skipped, "the bone group names run past the end of the file") != 0 ||
        ReadCount(c, 4, &count, "the bone display list lies past the end of the file") != 0 ||
        TakeRecords(c, count, 3, &skipped, "the bone display list runs past the end of the file") != 0)
        return -1;
    if (c->Left() == 0) return 0;
    const unsigned char* flag = c->Take(1);
    if (flag[0] != 0) {
        // A model with no morph at all has no names for morphs past the base.
        uint64_t morphNames = f->morphs.empty() ? 0 : f->morphs.size() - 1;
        uint64_t bytes = kEnglishFixedBytes + kPmdNameBytes * (uint64_t(f->boneCount) + morphNames) +
                         kGroupNameBytes * uint64_t(groups);
        if (!c->Take(bytes)) return LogPmdLoadError("the English names run past the end of the file");
    }
    if (c->Left() == 0) return 0;
    if (!(f->toonNames = c->Take(kPmdToonNames * kPmdToonNameBytes)))
        return LogPmdLoadError("the toon texture names run past the end of the file");
    if (c->Left() == 0 || !readPhysics) return 0;
    f->hasPhysics = true;
    if (ReadCount(c, 4, &f->bodyCount, "the rigid-body count lies past the end of the file") != 0 ||
        TakeRecords(c, f->bodyCount, kPmdBodyBytes, &f->bodies, "the rigid bodies run past the end of the file") != 0 ||
        ReadCount(c, 4, &f->jointCount, "the joint count lies past the end of the file") != 0 ||
        TakeRecords(c, f->jointCount, kPmdJointBytes, &f->joints, "the joints run past the end of the file") != 0)
        return -1;
    return 0;
}

int CheckToonIndices(const PmdFile* f) {
    for (uint32_t i = 0; i < f->materialCount; ++i) {
        uint8_t toon = f->materials[i * kPmdMaterialBytes + 44];
        if (toon == kPmdNoToon) continue;
        if (toon >= kPmdToonNames) return LogPmdLoadError("a material names a toon texture the model does not have");
    }
    return 0;
}

int CheckPhysics(const PmdFile* f) {
    for (uint32_t i = 0; i < f->bodyCount; ++i) {
        const unsigned char* b = f->bodies + i * kPmdBodyBytes;
        uint16_t bone = PmdU16(b + 20);
        if (bone != kPmdNoBone && bone >= f->boneCount) return LogPmdLoadError("a rigid body names a bone the model does not have");
        if (b[22] > kMaxGroup) return LogPmdLoadError("a rigid body's collision group is not one of the 16");
        if (b[25] > kMaxShape) return LogPmdLoadError("a rigid body's shape is not a sphere, a box or a capsule");
    }
    for (uint32_t i = 0; i < f->jointCount; ++i) {
        const unsigned char* j = f->joints + i * kPmdJointBytes;
        if (PmdU32(j + 20) >= f->bodyCount || PmdU32(j + 24) >= f->bodyCount)
            return LogPmdLoadError("a joint names a rigid body the model does not have");
    }
    return 0;
}

}  // namespace

uint16_t PmdU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

uint32_t PmdU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float PmdF32(const unsigned char* p) {
    uint32_t bits = PmdU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

int ParsePmdFile(const unsigned char* data, size_t size, bool readPhysics, PmdFile* file) {
    *file = PmdFile{};
    file->data = data;
    file->size = size;
    PmdCursor c{data, size, kPmdHeaderBytes};
    if (size < kPmdHeaderBytes) return LogPmdLoadError("the header runs past the end of the file");
    if (ParseVertices(&c, file) != 0 || ParseFaces(&c, file) != 0 || ParseMaterials(&c, file) != 0 ||
        ParseBones(&c, file) != 0 || ParseIks(&c, file) != 0 || ParseMorphs(&c, file) != 0 ||
        ParseTail(&c, file, readPhysics) != 0 || CheckToonIndices(file) != 0 || CheckPhysics(file) != 0)
        return -1;
    return 0;
}

void CopyPmdName(char* out, const unsigned char* field, size_t width) {
    std::memset(out, 0, width + 1);
    std::memcpy(out, field, width);
}

}  // namespace morpotta
