// Reading VMD motions in the tests: into the read model of a PMD model (to
// look at the tracks the reader and the bake make), and finding tracks.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "model/read/vmd_motion.h"
#include "pmd_test_support.h"
#include "vmd_writer.h"

using namespace morpotta;

// A PMD model read into a read model with one motion read into it.
class VmdRead : public PmdRead {
public:
    VmdRead(const PmdDocument& model, const std::string& motion, bool bake = true, int physicsMode = PMD_PHYSICS_BAKE)
        : PmdRead(WritePmd(model), physicsMode) {
        if (result != 0) return;
        ResetPmdBonesToRest(&load.skeleton);
        motionResult = LoadVmdMotion(motion.data(), motion.size(), 0, &load.model, "Anim000",
                                     bake ? &load.skeleton : nullptr,
                                     bake && load.physicsRead ? &load.physics : nullptr, 0);
    }
    ReadModelAnimSet* Set() const { return load.model.animSets.first; }
    // The animation of the frame named (UTF-8), or null.
    ReadModelAnim* Anim(const std::string& frame) const {
        const std::string name = Cp932(frame);
        for (ReadModelAnim* a = Set() ? Set()->anims.first : nullptr; a; a = a->nextInSet)
            if (a->frameName && name == a->frameName) return a;
        return nullptr;
    }
    int motionResult = -1;
};

inline ReadModelAnimKeySet* Track(const ReadModelAnim* anim, int kind) {
    for (ReadModelAnimKeySet* ks = anim ? anim->keySets.first : nullptr; ks; ks = ks->nextInAnim)
        if (ks->keyKind == kind) return ks;
    return nullptr;
}

inline bool TimesRiseFrom(const ReadModelAnimKeySet* ks, float first, float step) {
    for (int k = 0; k < ks->keyCount; ++k)
        if (ks->times[k] != first + step * float(k)) return false;
    return true;
}
