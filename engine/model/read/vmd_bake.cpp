// The motion bake: at every half-frame sample of a motion the PMD bones
// take their sampled poses, the IK chains are solved and the physics world
// steps; IK-driven bones keep their solved poses as keys, physics-driven
// bones their simulated matrices. Every key of a baked track holds a pose
// of its own time: samples between two solves are blended from them.
#include <cstring>

#include "engine/log.h"
#include "model/anim/anim_keys.h"
#include "model/read/vmd_load.h"

namespace morpotta {

namespace {

const VmdTrackMessages kBakedTranslation = {
    "PMD Load Error : アニメーション座標キーセットの追加に失敗しました",
    "PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
    "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました"};
const VmdTrackMessages kBakedRotation = {
    "PMD Load Error : アニメーション回転キーセットの追加に失敗しました",
    "PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
    "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました"};
const VmdTrackMessages kMatrixTrack = {
    "PMD Load Error : 行列アニメーションキーセットの追加に失敗しました",
    "PMD Load Error : 行列アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
    "PMD Load Error : 行列アニメーションキーを格納するメモリ領域の確保に失敗しました"};

// An IK-driven bone without keys of its own: tracks over the whole motion
// that start from its rest pose at every sample.
int AddRestTracks(VmdLoad* load, int b) {
    PmdBone* bone = &load->skeleton->bones[b];
    const int count = int(2 * load->length + 1);
    if (!load->Spend(2 * uint64_t(count))) return -1;
    ReadModelAnim* anim = load->AddAnim(bone->frame, float(load->length));
    if (!anim) return -1;
    ReadModelAnimKeySet* ts = load->AddTrack(anim, READ_KEY_VECTOR, READ_KIND_TRANSLATION, count,
                                             float(load->length), kBakedTranslation);
    ReadModelAnimKeySet* rs = ts ? load->AddTrack(anim, READ_KEY_QUATERNION_INTERNAL, READ_KIND_ROTATION, count,
                                                  float(load->length), kBakedRotation)
                                 : nullptr;
    if (!rs) return -1;
    for (int s = 0; s < count; ++s) ts->times[s] = rs->times[s] = float(s) * 0.5f;
    load->boneAnims[size_t(b)] = anim;
    load->boneTranslations[size_t(b)] = ts;
    load->boneRotations[size_t(b)] = rs;
    bone->bakedRest = 1;
    return 0;
}

// The bones point at arrays of this motion only while it is baked.
void ForgetBakeArrays(PmdSkeleton* sk) {
    for (int b = 0; b < sk->boneCount; ++b) {
        PmdBone* bone = &sk->bones[b];
        bone->keyRanges = bone->cursor = nullptr;
        bone->bakedTranslations = bone->bakedRotations = nullptr;
        bone->bakedCount = 0;
        bone->bakedRest = 0;
    }
}

// Every bone's sampled arrays for the bake.
int PrepareBones(VmdLoad* load) {
    PmdSkeleton* sk = load->skeleton;
    ForgetBakeArrays(sk);
    for (int b = 0; b < sk->boneCount; ++b) {
        PmdBone* bone = &sk->bones[b];
        if (!load->boneAnims[size_t(b)]) {
            if (bone->ikDriven && AddRestTracks(load, b) != 0) return -1;
            if (!bone->ikDriven) {
                std::memcpy(bone->translation, bone->restTranslation, sizeof(bone->translation));
                std::memcpy(bone->rotation, bone->restRotation, sizeof(bone->rotation));
            }
        }
        if (bone->ikDriven) {
            bone->bakedTranslations = load->boneTranslations[size_t(b)]->values;
            bone->bakedRotations = load->boneRotations[size_t(b)]->values;
            bone->bakedCount = int(2 * load->length + 1);
        } else if (load->boneAnims[size_t(b)]) {
            bone->keyRanges = bone->cursor = &load->boneRanges[size_t(b)];
        }
    }
    return 0;
}

// Entry s of an IK-driven bone's tracks from its current pose.
void WritePose(const PmdBone* bone, int s) {
    std::memcpy(bone->bakedTranslations + 3 * s, bone->translation, 3 * sizeof(float));
    std::memcpy(bone->bakedRotations + 4 * s, bone->rotation, 4 * sizeof(float));
}

// The odd entries halfway between the solved even ones.
void BlendOddEntries(const PmdBone* bone, int count) {
    float* t = bone->bakedTranslations;
    float* r = bone->bakedRotations;
    for (int s = 1; s + 1 < count; s += 2) {
        for (int i = 0; i < 3; ++i) t[3 * s + i] = 0.5f * (t[3 * (s - 1) + i] + t[3 * (s + 1) + i]);
        const float* a = r + 4 * (s - 1);
        const float* b = r + 4 * (s + 1);
        float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
        float sign = dot >= 0.0f ? 1.0f : -1.0f;
        for (int i = 0; i < 4; ++i) r[4 * s + i] = 0.5f * (a[i] + sign * b[i]);
        NormalizeQuaternion(r + 4 * s);
    }
}

void SamplePoses(VmdLoad* load, int s, bool solve) {
    PmdSkeleton* sk = load->skeleton;
    for (int b = 0; b < sk->boneCount; ++b) {
        PmdBone* bone = &sk->bones[b];
        if (solve || !bone->ikDriven) SetPmdBonePoseFromSample(bone, s);
    }
    if (!solve) {
        RefreshPmdBoneMatrices(sk, 0, 1);  // IK-driven bones keep the last solve
        return;
    }
    MeasurePmdIkChains(sk->firstIk);
    RefreshPmdBoneMatrices(sk, 0, 0);
    SolvePmdIkList(sk->firstIk, s);
}

// Room for the key matrices of every simulated body.
void PrepareBodies(VmdLoad* load, std::vector<std::vector<Matrix44>>* keys, int count) {
    PmdPhysicsBake* bake = load->physics;
    keys->resize(size_t(bake->bodyCount));
    for (int i = 0; i < bake->bodyCount; ++i) {
        if (IsRigidBodyBoneDriven(bake, i)) continue;
        (*keys)[size_t(i)].assign(size_t(count), Matrix44{});
        bake->bodies[i].keys = (*keys)[size_t(i)].data();
        bake->bodies[i].keyCount = count;
    }
}

// A track's arrays replaced by new ones of count keys.
bool ResizeTrack(VmdLoad* load, ReadModelAnimKeySet* ks, uint8_t valueType, uint8_t kind, int count, float step,
                 const char* failure) {
    auto* times = AllocReadModelArray<float>(load->model, size_t(count));
    auto* values = AllocReadModelArray<float>(load->model, size_t(count) * size_t(ReadKeyValueBytes(valueType) / 4));
    if (!times || !values) return WriteLogFormat("%s", failure), false;
    load->model->keyDataBytes -= KeyTrackBytes(ks);
    ks->valueType = valueType;
    ks->keyKind = kind;
    ks->keyCount = count;
    ks->times = times;
    ks->values = values;
    for (int k = 0; k < count; ++k) times[k] = float(k) * step;
    load->model->keyDataBytes += KeyTrackBytes(ks);
    return true;
}

// The simulated bones' key matrices into their tracks.
int WritePhysicsKeys(VmdLoad* load, int count, float step) {
    PmdPhysicsBake* bake = load->physics;
    std::vector<bool> done(size_t(load->skeleton->boneCount), false);
    for (int i = 0; i < bake->bodyCount; ++i) {
        const PmdBakeBody& body = bake->bodies[i];
        if (IsRigidBodyBoneDriven(bake, i) || done[body.boneIndex]) continue;
        done[body.boneIndex] = true;
        const size_t b = body.boneIndex;
        if (!load->boneAnims[b]) {
            ReadModelAnim* anim = load->AddAnim(body.bone->frame, float(load->length));
            if (!anim) return WriteLogFormat("PMD Load Error : 行列アニメーションの追加に失敗しました");
            ReadModelAnimKeySet* ks =
                load->AddTrack(anim, READ_KEY_MATRIX4X3, READ_KIND_MATRIX, count, float(load->length), kMatrixTrack);
            if (!ks) return -1;
            for (int k = 0; k < count; ++k) {
                ks->times[k] = float(k) * step;
                for (int r = 0; r < 4; ++r) std::memcpy(ks->values + 12 * k + 3 * r, body.keys[k].m[r], 3 * sizeof(float));
            }
            continue;
        }
        ReadModelAnimKeySet* ts = load->boneTranslations[b];
        ReadModelAnimKeySet* rs = load->boneRotations[b];
        if (!ResizeTrack(load, rs, READ_KEY_MATRIX3X3, READ_KIND_ROTATION_SCALE, count, step,
                         "PMD Load Error : アニメーション行列キーを格納するメモリ領域の確保に失敗しました") ||
            !ResizeTrack(load, ts, READ_KEY_VECTOR, READ_KIND_TRANSLATION, count, step,
                         "PMD Load Error : 座標アニメーションキーを格納するメモリ領域の確保に失敗しました"))
            return -1;
        for (int k = 0; k < count; ++k) {
            for (int r = 0; r < 3; ++r) std::memcpy(rs->values + 9 * k + 3 * r, body.keys[k].m[r], 3 * sizeof(float));
            std::memcpy(ts->values + 3 * k, body.keys[k].m[3], 3 * sizeof(float));
        }
    }
    return 0;
}

int Bake(VmdLoad* load, std::vector<std::vector<Matrix44>>* bodyKeys) {
    PmdSkeleton* sk = load->skeleton;
    const int samples = int(2 * load->length + 1);
    const int physicsKeys = load->halfFrame ? samples : int(load->length + 1);
    if (PrepareBones(load) != 0) return -1;
    if (load->physics) {
        if (!load->Spend(uint64_t(physicsKeys) * uint64_t(load->physics->bodyCount))) return -1;
        if (SetupBakePhysics(load->physics) != 0) return -1;
        PrepareBodies(load, bodyKeys, physicsKeys);
    }
    for (int s = 0; s < samples; ++s) {
        const bool keyed = load->halfFrame || s % 2 == 0;
        SamplePoses(load, s, keyed);
        if (load->physics) StepBakePhysics(load->physics, s, load->halfFrame);
        if (!keyed) continue;
        for (int b = 0; b < sk->boneCount; ++b)
            if (sk->bones[b].ikDriven) WritePose(&sk->bones[b], s);
    }
    if (!load->halfFrame)
        for (int b = 0; b < sk->boneCount; ++b)
            if (sk->bones[b].ikDriven) BlendOddEntries(&sk->bones[b], samples);
    return load->physics ? WritePhysicsKeys(load, physicsKeys, load->halfFrame ? 0.5f : 1.0f) : 0;
}

}  // namespace

int BakeVmdMotion(VmdLoad* load) {
    std::vector<std::vector<Matrix44>> bodyKeys;
    int result = Bake(load, &bodyKeys);
    ForgetBakeArrays(load->skeleton);
    if (load->physics) ReleasePhysicsModelRecord(load->physics);
    return result;
}

}  // namespace morpotta
