// Binary model frames: the frame records and their tree, the skin bones
// and bone references, and each frame's packed positions, weights and
// normals.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "model/base/model_math.h"
#include "model/convert/skin_bones.h"
#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

constexpr uint32_t kFrameBytes = 0xDC;
constexpr uint32_t kSkinBoneBytes = 0x4C;


Vector3 VectorAt(const Mv1Image& image, size_t at) {
    return Vector3{image.F32(at), image.F32(at + 4), image.F32(at + 8)};
}


bool ReadFrame(Mv1Load* load, int i, int* lastChild) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    ModelBaseFrame& f = base->frames[i];
    uint32_t at = load->frames[size_t(i)];
    f.base = base;
    f.index = i;
    if (!(f.name = load->Name(image.U32(at + 0x08)))) return false;
    SetModelBitPosition(&f.matrixBit, i);
    SetModelBitPosition(&f.drawBit, i);
    f.subtreeMeshCount = int(image.U32(at + 0x30));
    f.descendantCount = int(image.U32(at + 0x34));
    f.translation = VectorAt(image, at + 0x4C);
    f.scale = VectorAt(image, at + 0x58);
    f.rotation = VectorAt(image, at + 0x64);
    f.rotationOrder = int(image.U32(at + 0x70));
    for (int q = 0; q < 4; ++q) f.quaternion[q] = image.F32(at + 0x74 + 4 * uint32_t(q));
    f.flags = image.U32(at + 0x84);
    f.ignoreParent = (f.flags & 2) ? 1 : 0;
    f.userWord = image.U32(at + 0x88);
    f.useFrameSmoothingAngles = int(image.U32(at + 0x8C));
    f.smoothingAngle = image.F32(at + 0xB4);
    f.dataA = load->BlockPlace(0, image.U32(at + 0x14), "a frame's place in data block A lies outside it");
    f.dataB = load->BlockPlace(1, image.U32(at + 0x24), "a frame's place in data block B lies outside it");
    if (f.dataA == kMv1BadPlace || f.dataB == kMv1BadPlace) return false;
    const int record = load->FrameRecordAt(image.U32(at + 0xAC));
    if (record == -1) return false;
    f.attachedRecord = record >= 0 ? &base->frameRecords[record] : nullptr;
    f.maxWeightsPerVertex = image.bytes[at + 0xB2] | image.bytes[at + 0xB3] << 8;
    if (f.rotationOrder < 0 || f.rotationOrder > 5) return load->Fail("a frame has an unknown rotation order");
    if (!IsFiniteVector3(f.translation) || !IsFiniteVector3(f.scale) || !IsFiniteVector3(f.rotation))
        return load->Fail("a frame's transform is not finite");
    // Parents come before their children: the tree is built in list order.
    int parent = load->Ref(image.U32(at + 0x38), load->frames, 0x0C, true, "a frame's parent is not a frame");
    if (parent == -1) return false;
    if (parent >= i) return load->Fail("a frame comes before its parent");
    if (parent >= 0) {
        f.parent = &base->frames[parent];
        if (lastChild[parent] >= 0) base->frames[lastChild[parent]].nextSibling = &f;
        else f.parent->firstChild = &f;
        lastChild[parent] = i;
    } else {
        base->topFrames[base->topFrameCount++] = &f;
    }
    return true;
}

bool ReadSkinBones(Mv1Load* load) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    uint32_t count = load->Header(0x5C), first = load->Header(kMv1SkinBones);
    uint32_t userCount = load->Header(kMv1SkinBoneUserCount), usersAt = load->Header(kMv1SkinBoneUsers);
    if ((count > 0 && !image.Has(first, uint64_t(count - 1) * kMv1SkinBoneStride + kSkinBoneBytes)) ||
        (userCount > 0 && !image.Has(usersAt, uint64_t(userCount) * 8)))
        return load->Fail("the skin bones lie outside the file");
    base->skinBoneCount = int(count);
    base->skinBones = load->Take<ModelBaseSkinBone>(count);
    auto* users = load->Take<ModelBaseSkinBoneUser>(userCount);
    if (!base->skinBones || !users) return false;
    for (uint32_t u = 0; u < userCount; ++u)
        users[u] = ModelBaseSkinBoneUser{int(image.U32(usersAt + 8 * u)), int(image.U32(usersAt + 8 * u + 4))};
    // The file may list the bones in any frame order; base data keeps each
    // frame's bones together, in frame order, so a frame finds its own as
    // one run.
    std::vector<int> order(count);
    for (uint32_t k = 0; k < count; ++k) {
        const int frame = int(image.U32(first + k * kMv1SkinBoneStride + 0x0C));
        if (frame < 0 || frame >= base->frameCount) return load->Fail("a skin bone names no frame");
        order[k] = int(k);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return image.U32(first + uint32_t(a) * kMv1SkinBoneStride + 0x0C) <
               image.U32(first + uint32_t(b) * kMv1SkinBoneStride + 0x0C);
    });
    load->skinBoneSlot.assign(count, 0);
    for (uint32_t slot = 0; slot < count; ++slot) load->skinBoneSlot[size_t(order[slot])] = int(slot);
    for (uint32_t slot = 0; slot < count; ++slot) {
        const uint32_t k = uint32_t(order[slot]);
        uint32_t at = first + k * kMv1SkinBoneStride;
        ModelBaseSkinBone& bone = base->skinBones[slot];
        bone.boneFrame = int(image.U32(at + 0x0C));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) bone.offset.m[r][c] = image.F32(at + 0x10 + 4 * uint32_t(r * 3 + c));
        bone.offset.m[3][3] = 1.0f;
        bone.translationOnly = int(image.U32(at + 0x40));
        bone.userCount = int(image.U32(at + 0x44));
        uint32_t firstUser = image.U32(at + 0x48);
        if (bone.userCount > 0) {
            int u = load->Index(firstUser, usersAt, 8, userCount, "a skin bone's users lie outside their list");
            if (u < 0) return false;
            if (uint32_t(bone.userCount) > userCount - uint32_t(u))
                return load->Fail("a skin bone's users lie outside their list");
            bone.users = users + u;
        } else if (bone.userCount < 0) {
            return load->Fail("a skin bone's users lie outside their list");
        }
        ModelBaseFrame& owner = base->frames[bone.boneFrame];
        if (!owner.firstOwnSkinBone) owner.firstOwnSkinBone = &bone;
        ++owner.ownSkinBoneCount;
    }
    return true;
}

bool ReadBoneRefs(Mv1Load* load) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    uint32_t count = load->Header(kMv1BoneRefCount), first = load->Header(kMv1BoneRefs);
    if (count > 0 && !image.Has(first, uint64_t(count) * 4)) return load->Fail("the bone references lie outside the file");
    base->boneRefCount = int(count);
    base->boneRefs = load->Take<ModelBaseSkinBone*>(count);
    if (!base->boneRefs) return false;
    for (uint32_t r = 0; r < count; ++r) {
        int k = load->Index(image.U32(first + 4 * r), load->Header(kMv1SkinBones), kMv1SkinBoneStride,
                            uint32_t(base->skinBoneCount), "a bone reference names no skin bone");
        if (k < 0) return false;
        base->boneRefs[r] = &base->skinBones[load->skinBoneSlot[size_t(k)]];
    }
    for (int i = 0; i < base->frameCount; ++i) {
        ModelBaseFrame& f = base->frames[i];
        uint32_t at = load->frames[size_t(i)];
        if (uint32_t own = image.U32(at + 0xA0)) {
            int k = load->Index(own, load->Header(kMv1SkinBones), kMv1SkinBoneStride, uint32_t(base->skinBoneCount),
                                "a frame's skin bone is not a skin bone");
            if (k < 0) return false;
            f.skinBone = &base->skinBones[load->skinBoneSlot[size_t(k)]];
        }
        uint32_t refs = image.U32(at + 0xA4);
        if (refs == 0) continue;
        int r = load->Index(image.U32(at + 0xA8), first, 4, count, "a frame's bone references lie outside their list");
        if (r < 0) return false;
        if (refs > count - uint32_t(r)) return load->Fail("a frame's bone references lie outside their list");
        f.boneRefCount = int(refs);
        f.boneRefs = base->boneRefs + r;
    }
    return SkinBoneUsersConsistent(base) || load->Fail("a skin bone's user does not refer to it");
}

bool ReadPositions(Mv1Load* load, ModelBaseFrame* f, Mv1Cursor* in, uint32_t flags, uint32_t count) {
    f->positionCount = int(count);
    f->positions = load->Take<ModelBasePosition>(count);
    if (!f->positions) return false;
    if (flags & 4) {
        float minimum[3], range[3];
        for (int a = 0; a < 3; ++a) {
            minimum[a] = in->F32();
            range[a] = in->F32();
        }
        if (!in->Need(count, 6)) return load->Fail("a frame's positions run past the end of the file");
        for (uint32_t p = 0; p < count; ++p) {
            float v[3];
            for (int a = 0; a < 3; ++a) v[a] = float(in->U16()) * range[a] / 60000.0f + minimum[a];
            f->positions[p].position = Vector3{v[0], v[1], v[2]};
        }
    } else {
        if (!in->Need(count, 12)) return load->Fail("a frame's positions run past the end of the file");
        for (uint32_t p = 0; p < count; ++p) {
            float x = in->F32(), y = in->F32(), z = in->F32();
            f->positions[p].position = Vector3{x, y, z};
        }
    }
    for (uint32_t p = 0; p < count; ++p)
        if (!IsFiniteVector3(f->positions[p].position)) return load->Fail("a frame's positions are not finite");
    return true;
}

// Bone slots and weights of every position. Each position keeps its pairs
// and, when it has fewer than the most, the -1 that ends them: a first
// pass counts what the second fills.
bool ReadWeights(Mv1Load* load, ModelBaseFrame* f, Mv1Cursor* in, uint32_t flags) {
    const int most = f->maxWeightsPerVertex;
    const int indexBytes = (flags & 0x10) ? 2 : 1, weightBytes = (flags & 0x20) ? 2 : 1;
    const uint32_t end = (flags & 0x10) ? 0xFFFF : 0xFF;
    const float scale = (flags & 0x20) ? 65535.0f : 255.0f;
    Mv1Cursor counting = *in;
    uint64_t slots = 0;
    for (int p = 0; p < f->positionCount && counting.ok(); ++p) {
        int w = 0;
        for (; w < most; ++w) {
            if (counting.Unsigned(indexBytes) == end) break;
            counting.Unsigned(weightBytes);
        }
        slots += uint64_t(w < most ? w + 1 : w);
    }
    if (!counting.ok()) return load->Fail("a frame's weights run past the end of the file");
    int* bones = load->Take<int>(slots);
    float* weights = load->Take<float>(slots);
    if (!bones || !weights) return false;
    for (int p = 0; p < f->positionCount; ++p) {
        ModelBasePosition& out = f->positions[p];
        out.weightBones = bones;
        out.weightValues = weights;
        for (int w = 0; w < most; ++w) {
            uint32_t bone = in->Unsigned(indexBytes);
            if (bone == end) {
                *bones++ = -1;
                *weights++ = 0.0f;
                break;
            }
            if (bone >= uint32_t(f->boneRefCount)) return load->Fail("a weight names a bone the frame does not refer to");
            *bones++ = int(bone);
            *weights++ = float(in->Unsigned(weightBytes)) / scale;
        }
    }
    return true;
}

bool ReadNormals(Mv1Load* load, ModelBaseFrame* f, Mv1Cursor* in, uint32_t flags, uint32_t count) {
    f->normalCount = int(count);
    f->normals = load->Take<ModelBaseNormal>(count);
    if (!f->normals) return false;
    const int encoding = int(flags & 3);
    static const int kBytes[4] = {0, 3, 6, 12};
    if (!in->Need(count, uint64_t(kBytes[encoding]))) return load->Fail("a frame's normals run past the end of the file");
    for (uint32_t n = 0; encoding != 0 && n < count; ++n) {
        float v[3];
        for (int a = 0; a < 3; ++a) {
            if (encoding == 1) v[a] = float(int8_t(in->U8())) / 127.0f;
            else if (encoding == 2) v[a] = float(int16_t(in->U16())) / 32767.0f;
            else v[a] = in->F32();
        }
        f->normals[n].normal = Vector3{v[0], v[1], v[2]};
        if (!IsFiniteVector3(f->normals[n].normal)) return load->Fail("a frame's normals are not finite");
    }
    return true;
}

}  // namespace

bool ReadMv1Frames(Mv1Load* load) {
    ModelBase* base = load->base;
    uint32_t count = load->Header(0x20);
    if (!load->Walk(load->Header(0x24), count, kFrameBytes, 0x0C, &load->frames, "the frame list is broken"))
        return false;
    base->frameCount = int(count);
    base->frames = load->Take<ModelBaseFrame>(count);
    base->topFrames = load->Take<ModelBaseFrame*>(count);
    std::vector<int> lastChild(count, -1);
    if (!base->frames || !base->topFrames) return false;
    for (int i = 0; i < int(count); ++i)
        if (!ReadFrame(load, i, lastChild.data())) return false;
    return ReadSkinBones(load) && ReadBoneRefs(load);
}

bool ReadMv1FrameVertices(Mv1Load* load) {
    const Mv1Image& image = load->image;
    for (int i = 0; i < load->base->frameCount; ++i) {
        ModelBaseFrame* f = &load->base->frames[i];
        uint32_t at = load->frames[size_t(i)];
        uint32_t flags = image.bytes[at + 0xB0] | image.bytes[at + 0xB1] << 8;
        uint32_t positions = image.U32(at + 0xBC), normals = image.U32(at + 0xC0);
        Mv1Cursor in(image, image.U32(at + 0xC4));
        if (positions > 0 && image.U32(at + 0xC4) == 0) return load->Fail("a frame's vertex data are missing");
        if (!ReadPositions(load, f, &in, flags, positions)) return false;
        if (!(flags & 8) && f->maxWeightsPerVertex > 0 && !ReadWeights(load, f, &in, flags)) return false;
        if (!ReadNormals(load, f, &in, flags, normals)) return false;
    }
    return true;
}

}  // namespace morpotta
