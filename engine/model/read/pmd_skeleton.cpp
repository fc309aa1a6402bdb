// PMD bones into frames, and the IK list. A bone's frame is made once its
// parent's exists, so bones listed before their parents still land under
// them; a parent chain that loops refuses the file.
#include <cmath>

#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "model/base/memory_chain.h"
#include "model/base/model_math.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

// "ひざ" (knee) in code page 932: a knee bends one way only.
constexpr char kKneeName[] = "\x82\xd0\x82\xb4";

int FrameFailure() { return WriteLogFormat("PMD Load Error : フレームオブジェクトの追加に失敗しました"); }

int ParentIndex(const PmdFile& file, uint32_t bone) {
    uint16_t parent = PmdU16(file.bones + bone * kPmdBoneBytes + 20);
    return parent < file.boneCount ? int(parent) : -1;  // 65535 and strays: a root bone
}

int AddBoneFrame(PmdLoad* load, uint32_t index, int* orderCount) {
    const unsigned char* record = load->file.bones + index * kPmdBoneBytes;
    PmdBone* bone = &load->skeleton.bones[index];
    int parentIndex = ParentIndex(load->file, index);
    PmdBone* parent = parentIndex >= 0 ? &load->skeleton.bones[parentIndex] : nullptr;
    char name[kPmdNameBytes + 1];
    CopyPmdName(name, record, kPmdNameBytes);
    ReadModelFrame* frame = AddReadModelFrame(&load->model, name, parent ? parent->frame : nullptr);
    if (!frame) return FrameFailure();
    bone->fileRecord = record;
    bone->frame = frame;
    bone->parent = parent;
    bone->type = record[24];
    bone->knee = FindSubText(name, kKneeName) ? 1 : 0;
    for (int a = 0; a < 3; ++a) {
        bone->head[a] = PmdF32(record + 27 + 4 * a);
        bone->restTranslation[a] = bone->head[a] - (parent ? parent->head[a] : 0.0f);
        bone->translation[a] = bone->restTranslation[a];
    }
    bone->rotation[3] = bone->restRotation[3] = 1.0f;
    frame->translation = Vector3{bone->translation[0], bone->translation[1], bone->translation[2]};
    load->skeleton.order[(*orderCount)++] = int(index);
    return 0;
}

bool AllocBones(PmdLoad* load) {
    size_t count = load->file.boneCount ? load->file.boneCount : 1;
    load->skeleton.bones = static_cast<PmdBone*>(AllocModelMemory(count * sizeof(PmdBone)));
    load->skeleton.order = static_cast<int*>(AllocModelMemory(count * sizeof(int)));
    return load->skeleton.bones && load->skeleton.order;
}

PmdIkEntry* InsertByFirstLink(PmdIkEntry* first, PmdIkEntry* entry) {
    auto key = [](const PmdIkEntry* e) {
        return e->linkCount ? PmdU16(e->fileRecord + kPmdIkBytes) : 0;
    };
    PmdIkEntry* before = first;
    PmdIkEntry* after = nullptr;
    while (before && key(before) < key(entry)) after = before, before = before->next;
    entry->prev = after;
    entry->next = before;
    if (before) before->prev = entry;
    if (!after) return entry;
    after->next = entry;
    return first;
}

}  // namespace

int BuildPmdFrames(PmdLoad* load) {
    if (!(load->meshFrame = AddReadModelFrame(&load->model, "Mesh", nullptr))) return FrameFailure();
    if (!AllocBones(load))
        return WriteLogFormat("PMD Load Error : 読み込み処理用ボーン情報を格納するメモリ領域の確保に失敗しました");
    const uint32_t count = load->file.boneCount;
    load->skeleton.boneCount = int(count);
    int made = 0;
    for (bool pending = true; pending;) {
        pending = false;
        int before = made;
        for (uint32_t i = 0; i < count; ++i) {
            if (load->skeleton.bones[i].frame) continue;
            int parent = ParentIndex(load->file, i);
            if (parent >= 0 && !load->skeleton.bones[parent].frame) {
                pending = true;
                continue;
            }
            if (AddBoneFrame(load, i, &made) != 0) return -1;
        }
        // A pass that places nothing leaves only bones whose parents loop.
        if (pending && made == before) return WriteLogFormat("PMD Load Error : the bone parents form a loop");
    }
    RefreshPmdBoneMatrices(&load->skeleton, 0, 0);
    return 0;
}

int BuildPmdIkList(PmdLoad* load) {
    const PmdFile& file = load->file;
    size_t links = 0;
    for (const unsigned char* ik : file.iks) links += ik[4];
    load->iks = static_cast<PmdIkEntry*>(AllocModelMemory((file.iks.size() + 1) * sizeof(PmdIkEntry)));
    load->ikLinks = static_cast<PmdBone**>(AllocModelMemory((links + 1) * sizeof(PmdBone*)));
    if (!load->iks || !load->ikLinks)
        return WriteLogFormat("PMD Load Error : 読み込み処理用ＩＫ情報を格納するメモリ領域の確保に失敗しました");
    PmdBone* bones = load->skeleton.bones;
    PmdBone** link = load->ikLinks;
    for (size_t i = 0; i < file.iks.size(); ++i) {
        const unsigned char* record = file.iks[i];
        PmdIkEntry* entry = &load->iks[i];
        entry->fileRecord = record;
        entry->target = &bones[PmdU16(record)];
        entry->effector = &bones[PmdU16(record + 2)];
        entry->linkCount = record[4];
        entry->iterations = PmdU16(record + 5);
        entry->limit = PmdF32(record + 7) * kModelPi;
        entry->links = link;
        entry->effector->ikDriven = 1;
        bool knee = entry->target->knee || entry->effector->knee;
        for (uint32_t l = 0; l < entry->linkCount; ++l) {
            PmdBone* bone = &bones[PmdU16(record + kPmdIkBytes + 2 * l)];
            bone->ikDriven = 1;
            knee = knee || bone->knee;
            *link++ = bone;
        }
        entry->knee = knee ? 1 : 0;
        load->skeleton.firstIk = InsertByFirstLink(load->skeleton.firstIk, entry);
    }
    MeasurePmdIkChains(load->skeleton.firstIk);
    return 0;
}

}  // namespace morpotta
