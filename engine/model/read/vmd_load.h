// State shared by the parts of the VMD motion reader, for one motion.
#pragma once
#include <cstdint>
#include <vector>

#include "model/read/pmd_bones.h"
#include "model/read/read_model.h"
#include "model/read/vmd_file.h"

namespace morpotta {

// Key entries (of every track together) a motion may make: enough for
// hundreds of bones over minutes of motion at every half frame, and a
// bound on what a small file with far-apart frames can ask for.
constexpr uint64_t kVmdMaxKeyEntries = uint64_t(1) << 23;

// What a failure to make a track logs (behind "PMD Load Error : ").
struct VmdTrackMessages {
    const char* keySet;
    const char* times;
    const char* values;
};

struct VmdLoad {
    ReadModel* model;
    ReadModelAnimSet* set;
    VmdMotion motion;
    int motionNumber;
    uint32_t length;  // L: the last frame of every key
    uint64_t keyEntries;
    PmdSkeleton* skeleton;     // null: no bake
    PmdPhysicsBake* physics;   // null: no physics bake
    int halfFrame;
    // Per bone of the skeleton: the animation and tracks the sampling made
    // for it (null when the motion has no keys for it).
    std::vector<ReadModelAnim*> boneAnims;
    std::vector<ReadModelAnimKeySet*> boneTranslations;
    std::vector<ReadModelAnimKeySet*> boneRotations;
    std::vector<PmdKeyRange> boneRanges;

    // Takes count key entries from the motion's allowance; false (logged)
    // when it is spent.
    bool Spend(uint64_t count);
    // A key track of count keys with its times and values, added to anim;
    // null (logged with the messages) on failure.
    ReadModelAnimKeySet* AddTrack(ReadModelAnim* anim, uint8_t valueType, uint8_t kind, int count, float totalTime,
                                  const VmdTrackMessages& messages);
    // An animation of a frame in the set; null (logged) on failure.
    ReadModelAnim* AddAnim(const ReadModelFrame* frame, float length);
};

// The steps of a motion, in order; each 0, or -1 with its failure logged.
int SampleVmdBoneTracks(VmdLoad* load);
int SampleVmdCamera(VmdLoad* load);
int AddVmdMorphTracks(VmdLoad* load);
// IK and physics solved at every sample and baked into keys.
int BakeVmdMotion(VmdLoad* load);

// count entries of a bone track from half-frame sample firstSample on:
// times (frames), translations (plus the rest offset) and normalised
// rotations along the curves of the keys on either side of each sample;
// before the first key and after the last, that key's own values.
void SampleVmdBoneKeys(const std::vector<VmdBoneKey>& keys, int64_t firstSample, int count, const float rest[3],
                       float* times, float* translations, float* rotations);

}  // namespace morpotta
