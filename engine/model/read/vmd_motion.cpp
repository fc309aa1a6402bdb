// LoadVmdMotion: one VMD motion read into a read model as one animation
// set. Bone keys become translation and rotation tracks sampled at every
// half frame along their curves; morph keys drive the shapes of the
// model's first frame; camera keys become a camera frame with one key a
// frame. With the bones of a PMD model the IK and physics are baked into
// the keys (vmd_bake.cpp). LoadVmdFile is the model reader of a motion
// file on its own.
#include "model/read/vmd_motion.h"

#include <cstring>

#include "engine/log.h"
#include "engine/text.h"
#include "model/anim/anim_keys.h"
#include "model/convert/convert.h"
#include "model/read/model_readers.h"
#include "model/read/vmd_load.h"

namespace morpotta {

namespace {

constexpr uint8_t kKindCamera = 20;
const char kSignatureStem[] = "Vocaloid Motion Data ";

void BlendRotation(const float a[4], const float b[4], float f, float out[4]) {
    // Along the short way: quaternions of opposite sign are one rotation.
    float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    float g = dot >= 0.0f ? f : -f;
    for (int i = 0; i < 4; ++i) out[i] = (1.0f - f) * a[i] + g * b[i];
    NormalizeQuaternion(out);
}

float Along(float a, float b, const VmdCurve& curve, float t) {
    return a + (b - a) * EvaluateVmdBezier(t, curve.points, curve.linear);
}

// Walks keys sorted by frame: the key a sample at frame f starts from (the
// last of the keys at or before f), and whether a later key follows it.
template <typename Key>
class KeyWalk {
public:
    explicit KeyWalk(const std::vector<Key>& keys) : keys_(keys) {}
    // The segment of frame f (in any unit: scale is 2 for half frames).
    // false: f lies at or before the first key or at or after the last;
    // a is then the key whose own values hold.
    bool Segment(int64_t f, int64_t scale, const Key** a, const Key** b, float* t) {
        while (at_ + 1 < keys_.size() && scale * int64_t(keys_[at_ + 1].frame) <= f) ++at_;
        *a = &keys_[at_];
        if (at_ + 1 == keys_.size() || scale * int64_t(keys_[at_].frame) >= f) return false;
        *b = &keys_[at_ + 1];
        *t = float(f - scale * int64_t((*a)->frame)) / float(scale * int64_t((*b)->frame - (*a)->frame));
        return true;
    }

private:
    const std::vector<Key>& keys_;
    size_t at_ = 0;
};

const ReadModelFrame* FindFrame(const ReadModel* model, const char* name) {
    for (const ReadModelFrame* f = model->frames.first; f; f = f->next)
        if (f->name && CompareText(f->name, name) == 0) return f;
    return nullptr;
}

// The bone of the skeleton whose frame this is; -1 for none.
int BoneOfFrame(const PmdSkeleton* skeleton, const ReadModelFrame* frame) {
    if (!skeleton) return -1;
    for (int b = 0; b < skeleton->boneCount; ++b)
        if (skeleton->bones[b].frame == frame) return b;
    return -1;
}

const VmdTrackMessages kTranslationMessages = {
    "PMD Load Error : アニメーション座標キーセットの追加に失敗しました",
    "PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
    "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました"};
const VmdTrackMessages kRotationMessages = {
    "PMD Load Error : アニメーション回転キーセットの追加に失敗しました",
    "PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
    "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました"};

}  // namespace

bool VmdLoad::Spend(uint64_t count) {
    keyEntries += count;
    if (keyEntries <= kVmdMaxKeyEntries) return true;
    WriteLogFormat("VMD Load Error : the motion asks for more keys than a motion may hold");
    return false;
}

ReadModelAnimKeySet* VmdLoad::AddTrack(ReadModelAnim* anim, uint8_t valueType, uint8_t kind, int count,
                                       float totalTime, const VmdTrackMessages& messages) {
    auto* times = AllocReadModelArray<float>(model, size_t(count));
    if (!times) return WriteLogFormat("%s", messages.times), nullptr;
    auto* values = AllocReadModelArray<float>(model, size_t(count) * size_t(ReadKeyValueBytes(valueType) / 4));
    if (!values) return WriteLogFormat("%s", messages.values), nullptr;
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(model, anim);
    if (!ks) return WriteLogFormat("%s", messages.keySet), nullptr;
    ks->valueType = valueType;
    ks->keyKind = kind;
    ks->explicitTimes = 1;
    ks->keyCount = count;
    ks->totalTime = totalTime;
    ks->times = times;
    ks->values = values;
    model->keyDataBytes += KeyTrackBytes(ks);
    return ks;
}

ReadModelAnim* VmdLoad::AddAnim(const ReadModelFrame* frame, float length) {
    ReadModelAnim* anim = AddReadModelAnim(model, set);
    if (anim) anim->frameName = AddReadModelString(model, frame->name);
    if (!anim || !anim->frameName) return WriteLogFormat("PMD Load Error : アニメーションの追加に失敗しました"), nullptr;
    anim->frameIndex = int(frame->index);
    anim->value = length;
    return anim;
}

void SampleVmdBoneKeys(const std::vector<VmdBoneKey>& keys, int64_t firstSample, int count, const float rest[3],
                       float* times, float* translations, float* rotations) {
    KeyWalk<VmdBoneKey> walk(keys);
    for (int j = 0; j < count; ++j) {
        const int64_t s = firstSample + j;
        float* t = translations + 3 * j;
        float* r = rotations + 4 * j;
        times[j] = float(s) * 0.5f;
        const VmdBoneKey *a, *b;
        float x;
        if (!walk.Segment(s, 2, &a, &b, &x)) {
            for (int i = 0; i < 3; ++i) t[i] = a->translation[i] + rest[i];
            std::memcpy(r, a->rotation, 4 * sizeof(float));
            NormalizeQuaternion(r);
            continue;
        }
        for (int i = 0; i < 3; ++i) t[i] = Along(a->translation[i], b->translation[i], a->curves[i], x) + rest[i];
        const VmdCurve& turn = a->curves[3];
        BlendRotation(a->rotation, b->rotation, EvaluateVmdBezier(x, turn.points, turn.linear), r);
    }
}

namespace {

bool IkDrivenFrame(const VmdLoad* load, const ReadModelFrame* frame) {
    const int bone = BoneOfFrame(load->skeleton, frame);
    return bone >= 0 && load->skeleton->bones[bone].ikDriven;
}

// Keys of one bone track: every half frame from its first key to its last
// (from 0 to the motion's end for an IK-driven bone).
uint64_t BoneKeyCount(const VmdLoad* load, const VmdTrack<VmdBoneKey>& track, bool ikDriven) {
    const uint32_t first = ikDriven ? 0 : track.FirstFrame();
    const uint32_t last = ikDriven ? load->length : track.LastFrame();
    return 2 * uint64_t(last - first) + 1;
}

}  // namespace

int SampleVmdBoneTracks(VmdLoad* load) {
    // The keys of every track are counted before any is made.
    uint64_t entries = 0;
    for (const VmdTrack<VmdBoneKey>& track : load->motion.bones)
        if (const ReadModelFrame* frame = FindFrame(load->model, track.name))
            entries += 2 * BoneKeyCount(load, track, IkDrivenFrame(load, frame));
    if (!load->Spend(entries)) return -1;
    for (const VmdTrack<VmdBoneKey>& track : load->motion.bones) {
        const ReadModelFrame* frame = FindFrame(load->model, track.name);
        if (!frame) continue;  // a bone this model does not have
        const int bone = BoneOfFrame(load->skeleton, frame);
        const bool ikDriven = bone >= 0 && load->skeleton->bones[bone].ikDriven;
        // An IK-driven bone is solved at every sample of the motion.
        const uint32_t first = ikDriven ? 0 : track.FirstFrame();
        const uint32_t last = ikDriven ? load->length : track.LastFrame();
        const int count = int(BoneKeyCount(load, track, ikDriven));
        ReadModelAnim* anim = load->AddAnim(frame, float(last));
        if (!anim) return -1;
        ReadModelAnimKeySet* ts =
            load->AddTrack(anim, READ_KEY_VECTOR, READ_KIND_TRANSLATION, count, float(last), kTranslationMessages);
        if (!ts) return -1;
        ReadModelAnimKeySet* rs = load->AddTrack(anim, READ_KEY_QUATERNION_INTERNAL, READ_KIND_ROTATION, count,
                                                 float(last), kRotationMessages);
        if (!rs) return -1;
        const float rest[3] = {frame->translation.x, frame->translation.y, frame->translation.z};
        SampleVmdBoneKeys(track.keys, 2 * int64_t(first), count, rest, ts->times, ts->values, rs->values);
        std::memcpy(rs->times, ts->times, sizeof(float) * size_t(count));
        if (bone < 0) continue;
        load->boneAnims[size_t(bone)] = anim;
        load->boneTranslations[size_t(bone)] = ts;
        load->boneRotations[size_t(bone)] = rs;
        load->boneRanges[size_t(bone)] = PmdKeyRange{first, count, ts->values, rs->values, nullptr};
    }
    return 0;
}

int SampleVmdCamera(VmdLoad* load) {
    const std::vector<VmdCameraKey>& keys = load->motion.camera;
    if (keys.empty()) return 0;
    char name[16];
    FormatString(name, sizeof(name), "Camera%03d", load->motionNumber);
    ReadModelFrame* frame = AddReadModelFrame(load->model, name, nullptr);
    if (!frame) return WriteLogFormat("PMD Load Error : カメラ用フレームオブジェクトの追加に失敗しました");
    ReadModelAnim* anim = AddReadModelAnim(load->model, load->set);
    if (anim) anim->frameName = AddReadModelString(load->model, frame->name);
    if (!anim || !anim->frameName) return WriteLogFormat("PMD Load Error : カメラ用アニメーションの追加に失敗しました");
    const uint32_t first = keys.front().frame, last = keys.back().frame;
    anim->frameIndex = int(frame->index);
    anim->value = float(last);
    const int count = int(last - first + 1);
    if (!load->Spend(5 * uint64_t(count))) return -1;
    static const VmdTrackMessages kMessages[5] = {
        {"PMD Load Error : アニメーションカメラ座標キーセットの追加に失敗しました",
         "PMD Load Error : カメラ座標アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
         "PMD Load Error : カメラ座標アニメーションキーを格納するメモリ領域の確保に失敗しました"},
        {"PMD Load Error : アニメーションカメラ回転キーセットの追加に失敗しました",
         "PMD Load Error :カメラ回転アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
         "PMD Load Error : カメラ回転アニメーションキーを格納するメモリ領域の確保に失敗しました"},
        {"PMD Load Error : アニメーションカメラ距離キーセットの追加に失敗しました",
         "PMD Load Error :カメラ距離アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
         "PMD Load Error : カメラ距離アニメーションキーを格納するメモリ領域の確保に失敗しました"},
        {"PMD Load Error : アニメーションキーセットの追加に失敗しました",
         "PMD Load Error :カメラ視野角アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
         "PMD Load Error : カメラ視野角アニメーションキーを格納するメモリ領域の確保に失敗しました"},
        {"PMD Load Error : アニメーションキーセットの追加に失敗しました",
         "PMD Load Error :カメラ射影アニメーションキータイムを格納するメモリ領域の確保に失敗しました",
         "PMD Load Error : カメラ射影アニメーションキーを格納するメモリ領域の確保に失敗しました"},
    };
    static const uint8_t kTypes[5] = {READ_KEY_VECTOR, READ_KEY_VECTOR, READ_KEY_FLOAT, READ_KEY_FLOAT, READ_KEY_FLOAT4};
    static const uint8_t kKinds[5] = {READ_KIND_TRANSLATION, READ_KIND_ROTATION, kKindCamera, kKindCamera, kKindCamera};
    ReadModelAnimKeySet* sets[5];
    for (int i = 0; i < 5; ++i)
        if (!(sets[i] = load->AddTrack(anim, kTypes[i], kKinds[i], count, float(last), kMessages[i]))) return -1;
    KeyWalk<VmdCameraKey> walk(keys);
    for (int j = 0; j < count; ++j) {
        const int64_t f = int64_t(first) + j;
        for (ReadModelAnimKeySet* ks : sets) ks->times[j] = float(f);
        float* position = sets[0]->values + 3 * j;
        float* rotation = sets[1]->values + 3 * j;
        const VmdCameraKey *a, *b;
        float t;
        if (!walk.Segment(f, 1, &a, &b, &t)) {
            std::memcpy(position, a->position, sizeof(a->position));
            std::memcpy(rotation, a->rotation, sizeof(a->rotation));
            sets[2]->values[j] = a->distance;
            sets[3]->values[j] = float(a->viewAngle);
        } else {
            for (int i = 0; i < 3; ++i) position[i] = Along(a->position[i], b->position[i], a->curves[i], t);
            for (int i = 0; i < 3; ++i) rotation[i] = Along(a->rotation[i], b->rotation[i], a->curves[3], t);
            sets[2]->values[j] = Along(a->distance, b->distance, a->curves[4], t);
            sets[3]->values[j] = Along(float(a->viewAngle), float(b->viewAngle), a->curves[5], t);
        }
        sets[4]->values[j] = float(a->perspective);
    }
    return 0;
}

int AddVmdMorphTracks(VmdLoad* load) {
    const ReadModelFrame* frame = load->model->frames.first;
    if (load->motion.morphs.empty() || !frame) return 0;
    static const VmdTrackMessages kMessages = {"PMD Load Error : アニメーション表情キーセットの追加に失敗しました",
                                               "PMD Load Error : 表情キーを格納するメモリの確保に失敗しました",
                                               "PMD Load Error : 表情キーを格納するメモリの確保に失敗しました"};
    uint32_t length = 0;
    for (const auto& track : load->motion.morphs) length = track.LastFrame() > length ? track.LastFrame() : length;
    ReadModelAnim* anim = nullptr;  // made with the first morph that names a shape
    for (const VmdTrack<VmdMorphKey>& track : load->motion.morphs) {
        int shapeIndex = 0;
        const ReadModelShape* shape = frame->shapes.first;
        for (; shape; shape = shape->nextInFrame, ++shapeIndex)
            if (shape->name && CompareText(shape->name, track.name) == 0) break;
        if (!shape) continue;
        if (!anim && !(anim = load->AddAnim(frame, float(length)))) return -1;
        const int count = int(track.keys.size());
        if (!load->Spend(uint64_t(count))) return -1;
        ReadModelAnimKeySet* ks =
            load->AddTrack(anim, READ_KEY_FLOAT, READ_KIND_SHAPE_WEIGHT, count, float(track.LastFrame()), kMessages);
        if (!ks) return -1;
        ks->shapeIndex = shapeIndex;
        for (int k = 0; k < count; ++k) {
            ks->times[k] = float(track.keys[size_t(k)].frame);
            ks->values[k] = track.keys[size_t(k)].weight;
        }
    }
    return 0;
}

int LoadVmdMotion(const void* data, size_t size, int motionNumber, ReadModel* model, const char* setName,
                  PmdSkeleton* skeleton, PmdPhysicsBake* physics, int halfFrame) {
    VmdLoad load{};
    load.model = model;
    load.motionNumber = motionNumber;
    load.skeleton = skeleton;
    load.physics = physics;
    load.halfFrame = halfFrame ? 1 : 0;
    if (ReadVmdMotionFile(static_cast<const unsigned char*>(data), size, &load.motion) != 0) return -1;
    if (!(load.set = AddReadModelAnimSet(model, setName)))
        return WriteLogFormat("PMD Load Error : アニメーションセットの追加に失敗しました");
    load.length = load.motion.lastFrame;
    load.set->startTime = 0.0f;
    load.set->endTime = float(load.length);
    const size_t bones = skeleton ? size_t(skeleton->boneCount) : 0;
    load.boneAnims.assign(bones, nullptr);
    load.boneTranslations.assign(bones, nullptr);
    load.boneRotations.assign(bones, nullptr);
    load.boneRanges.assign(bones, PmdKeyRange{});
    if (SampleVmdBoneTracks(&load) != 0 || SampleVmdCamera(&load) != 0 || AddVmdMorphTracks(&load) != 0) return -1;
    if (skeleton && (skeleton->firstIk || physics)) return BakeVmdMotion(&load);
    return 0;
}

int LoadVmdFile(const ModelLoadParams* params) {
    // Files that are no motion at all are another reader's: refused
    // silently. A motion of another version says so.
    if (!params || !params->data || params->size < sizeof(kSignatureStem) - 1 ||
        std::memcmp(params->data, kSignatureStem, sizeof(kSignatureStem) - 1) != 0)
        return -1;
    ReadModel model;
    InitReadModel(&model);
    int result = -1;
    if (LoadVmdMotion(params->data, params->size, 0, &model, "Anim000", nullptr, nullptr, 0) == 0)
        result = ConvertReadModelToModelBase(&model, params->folder, params->options);
    FreeReadModel(&model);
    return result;
}

}  // namespace morpotta
