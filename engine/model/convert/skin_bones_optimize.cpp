// Skin-bone optimisation: equal bones become one with the users of all,
// bones of one bone frame become contiguous.
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/convert/skin_bones.h"

namespace morpotta {

namespace {

bool SameBone(const ModelBaseSkinBone& a, const ModelBaseSkinBone& b) {
    return a.boneFrame == b.boneFrame && std::memcmp(&a.offset, &b.offset, sizeof(a.offset)) == 0;
}

}  // namespace

bool OptimizeModelBaseSkinBones(ModelBase* base) {
    int n = base->skinBoneCount;
    if (n == 0) return true;
    int userTotal = 0;
    for (int i = 0; i < n; ++i) userTotal += base->skinBones[i].userCount;
    auto* work = static_cast<unsigned char*>(
        AllocModelMemory(sizeof(ModelBaseSkinBone) * size_t(n) + sizeof(int) * size_t(n) * 2 +
                         sizeof(ModelBaseSkinBoneUser) * size_t(userTotal)));
    auto* users = static_cast<ModelBaseSkinBoneUser*>(
        AllocChainedMemory(sizeof(ModelBaseSkinBoneUser) * size_t(userTotal > 0 ? userTotal : 1), &base->memoryChain));
    if (!work || !users) {
        FreeMemory(work);
        WriteLogText("Model Optimize Error : スキニングメッシュ情報最適化処理で使用するテンポラリバッファの確保に失敗しました");
        return false;
    }
    auto* kept = reinterpret_cast<ModelBaseSkinBone*>(work);
    int* newIndex = reinterpret_cast<int*>(kept + n);  // old record -> kept record
    int* order = newIndex + n;                         // sorted place -> kept record

    // Merge.
    int keptCount = 0;
    for (int i = 0; i < n; ++i) {
        int match = -1;
        for (int k = 0; k < keptCount && match < 0; ++k)
            if (SameBone(kept[k], base->skinBones[i])) match = k;
        if (match < 0) {
            kept[keptCount] = base->skinBones[i];
            kept[keptCount].userCount = 0;
            match = keptCount++;
        }
        kept[match].userCount += base->skinBones[i].userCount;
        newIndex[i] = match;
    }
    // Sort by bone frame (exchange sort: bones are few).
    for (int k = 0; k < keptCount; ++k) order[k] = k;
    for (int i = 0; i < keptCount; ++i)
        for (int j = i + 1; j < keptCount; ++j)
            if (kept[order[i]].boneFrame > kept[order[j]].boneFrame) std::swap(order[i], order[j]);
    std::vector<int> placeOf(static_cast<size_t>(keptCount), 0);
    for (int k = 0; k < keptCount; ++k) placeOf[size_t(order[k])] = k;

    // Lay the user lists out again and re-point the frames' references.
    std::vector<ModelBaseSkinBone> sorted(static_cast<size_t>(keptCount));
    int userOffset = 0;
    for (int k = 0; k < keptCount; ++k) {
        sorted[size_t(k)] = kept[order[k]];
        sorted[size_t(k)].users = users + userOffset;
        userOffset += sorted[size_t(k)].userCount;
        sorted[size_t(k)].userCount = 0;
    }
    for (int i = 0; i < n; ++i) {
        const ModelBaseSkinBone& old = base->skinBones[i];
        ModelBaseSkinBone& target = sorted[size_t(placeOf[size_t(newIndex[i])])];
        for (int u = 0; u < old.userCount; ++u) target.users[target.userCount++] = old.users[u];
    }
    for (int k = 0; k < keptCount; ++k) {
        base->skinBones[k] = sorted[size_t(k)];
        for (int u = 0; u < base->skinBones[k].userCount; ++u) {
            const ModelBaseSkinBoneUser& user = base->skinBones[k].users[u];
            base->frames[user.frame].boneRefs[user.slot] = &base->skinBones[k];
        }
    }
    base->skinBoneCount = keptCount;
    // Each bone frame points to its first record.
    for (int f = 0; f < base->frameCount; ++f) {
        base->frames[f].ownSkinBoneCount = 0;
        base->frames[f].firstOwnSkinBone = nullptr;
    }
    for (int k = 0; k < keptCount; ++k) {
        int frame = base->skinBones[k].boneFrame;
        if (frame < 0 || frame >= base->frameCount) continue;
        ModelBaseFrame& f = base->frames[frame];
        if (!f.firstOwnSkinBone) f.firstOwnSkinBone = &base->skinBones[k];
        ++f.ownSkinBoneCount;
    }
    FreeMemory(work);
    return true;
}

bool SkinBoneUsersConsistent(const ModelBase* base) {
    for (int k = 0; k < base->skinBoneCount; ++k) {
        const ModelBaseSkinBone& bone = base->skinBones[k];
        for (int u = 0; u < bone.userCount; ++u) {
            const ModelBaseSkinBoneUser& user = bone.users[u];
            if (user.frame < 0 || user.frame >= base->frameCount || user.slot < 0 ||
                user.slot >= base->frames[user.frame].boneRefCount ||
                base->frames[user.frame].boneRefs[user.slot] != &bone)
                return false;
        }
    }
    return true;
}

}  // namespace morpotta
