// Attached animations. A slot's block holds its evaluation context, one
// record and one mark target per animation of the set, and one key state
// per key set; the per-frame slot table tells the matrix refresh which
// records animate a frame and at what rate.
#include "model/instance/model_animation.h"

#include <cstring>

#include "engine/memory.h"
#include "model/anim/anim_eval.h"
#include "model/base/memory_chain.h"

namespace morpotta {

namespace {

void MarkMatricesForAnimation(ModelInstance* in) {
    in->motionValid = 0;
    in->matricesValid = 0;
    std::memset(in->matrixDirtyBits, 0xFF, in->matrixDirtyBytes);
}

ModelFrameSlot& FrameSlot(ModelInstance* in, int frame, int slot) {
    return in->frameSlots[size_t(frame) * size_t(in->animSlotCount) + size_t(slot)];
}

// A free slot, or a new one at the end (the frame table laid out again).
int TakeSlot(ModelInstance* in) {
    for (int s = 0; s < in->animSlotCount; ++s)
        if (!in->animSlots[s].used) return s;
    const int count = in->animSlotCount + 1, frames = in->base->frameCount;
    auto* slots = static_cast<ModelAnimSlot*>(AllocModelMemory(sizeof(ModelAnimSlot) * size_t(count)));
    auto* table = static_cast<ModelFrameSlot*>(AllocModelMemory(sizeof(ModelFrameSlot) * size_t(count) * size_t(frames) + 1));
    if (!slots || !table) {
        FreeMemory(slots);
        FreeMemory(table);
        return -1;
    }
    if (in->animSlotCount > 0) std::memcpy(slots, in->animSlots, sizeof(ModelAnimSlot) * size_t(in->animSlotCount));
    for (int f = 0; f < frames; ++f)
        for (int s = 0; s < in->animSlotCount; ++s) table[size_t(f) * size_t(count) + size_t(s)] = FrameSlot(in, f, s);
    FreeMemory(in->animSlots);
    FreeMemory(in->frameSlots);
    in->animSlots = slots;
    in->frameSlots = table;
    in->animSlotCount = count;
    return count - 1;
}

struct SlotBlock {
    AnimEvalContext* context;
    FrameAnimRecord* records;
    FrameAnimTarget* targets;
    AnimKeyState* states;
};

void* AllocSlotBlock(const ModelBaseAnimSet& set, SlotBlock* out) {
    size_t keySets = 0;
    for (int a = 0; a < set.animCount; ++a) keySets += size_t(set.anims[a].keySetCount > 0 ? set.anims[a].keySetCount : 0);
    const size_t anims = size_t(set.animCount);
    const size_t bytes = sizeof(AnimEvalContext) + anims * (sizeof(FrameAnimRecord) + sizeof(FrameAnimTarget)) +
                         keySets * sizeof(AnimKeyState);
    auto* block = static_cast<unsigned char*>(AllocModelMemory(bytes));
    if (!block) return nullptr;
    out->context = reinterpret_cast<AnimEvalContext*>(block);
    out->records = reinterpret_cast<FrameAnimRecord*>(block + sizeof(AnimEvalContext));
    out->targets = reinterpret_cast<FrameAnimTarget*>(out->records + anims);
    out->states = reinterpret_cast<AnimKeyState*>(out->targets + anims);
    return block;
}

void FillRecord(ModelInstance* in, const ModelBaseAnim& anim, FrameAnimRecord* r, FrameAnimTarget* target,
                AnimKeyState* states) {
    r->track = &anim;
    r->keyStateCount = anim.keySetCount > 0 ? anim.keySetCount : 0;
    r->keyStates = states;
    for (int k = 0; k < r->keyStateCount; ++k) states[k] = AnimKeyState{&anim.keySets[k], anim.keySets[k].shapeIndex, 0.0f, 0};
    if (anim.frameIndex < 0 || anim.frameIndex >= in->base->frameCount) return;  // moves no frame
    ModelFrame& frame = in->frames[anim.frameIndex];
    const ModelBaseFrame* bf = frame.baseFrame;
    r->frame = bf;
    r->rotationOrder = bf->rotationOrder;
    r->target = target;
    *target = FrameAnimTarget{frame.shapeStates, frame.shapeStates ? bf->shapeCount : 0, &frame.shapeChanged,
                              frame.matrixBitWord, bf->matrixBit.mask};
}

}  // namespace

int AttachModelAnimation(ModelInstance* in, int setIndex) {
    const ModelBase* base = in->base;
    if (setIndex < 0 || setIndex >= base->animSetCount) return -1;
    const ModelBaseAnimSet& set = base->animSets[setIndex];
    int slot = TakeSlot(in);
    if (slot < 0) return -1;
    SlotBlock b;
    void* block = AllocSlotBlock(set, &b);
    if (!block) return -1;  // a slot made above stays free
    AnimKeyState* states = b.states;
    for (int a = 0; a < set.animCount; ++a) {
        FillRecord(in, set.anims[a], &b.records[a], &b.targets[a], states);
        states += b.records[a].keyStateCount;
    }
    // The set's first flag word makes it add to the rest pose, the second
    // blends it as matrices.
    *b.context = AnimEvalContext{0.0f, 0, set.words[0] ? 1 : 0, set.words[1] ? 1 : 0, set.animCount, b.records,
                                 &in->matricesValid, &in->shapesDirty};
    in->animSlots[slot] = ModelAnimSlot{1, block, &set, b.context, 1.0f};
    for (int a = 0; a < set.animCount; ++a) {
        int frame = set.anims[a].frameIndex;
        if (frame < 0 || frame >= base->frameCount || FrameSlot(in, frame, slot).active) continue;
        FrameSlot(in, frame, slot) = ModelFrameSlot{1, 1.0f, &b.records[a]};
    }
    SetModelAnimationTime(in, slot, 0.0f);
    return slot;
}

int SetModelAnimationTime(ModelInstance* in, int slot, float time) {
    if (slot < 0 || slot >= in->animSlotCount || !in->animSlots[slot].used) return -1;
    AnimEvalContext* c = in->animSlots[slot].context;
    c->time = time;
    c->evaluated = 0;
    for (int r = 0; r < c->recordCount; ++r)
        for (int k = 0; k < c->records[r].keyStateCount; ++k) {
            AnimKeyState& s = c->records[r].keyStates[k];
            s.keyIndex = FindKeyIndex(s.keySet, time);
        }
    MarkMatricesForAnimation(in);
    return 0;
}

int SetModelAnimationBlendRate(ModelInstance* in, int slot, float rate) {
    if (slot < 0 || slot >= in->animSlotCount || !in->animSlots[slot].used) return -1;
    in->animSlots[slot].blendRate = rate;
    for (int f = 0; f < in->base->frameCount; ++f)
        if (FrameSlot(in, f, slot).active) FrameSlot(in, f, slot).rate = rate;
    in->matricesValid = 0;
    std::memset(in->matrixDirtyBits, 0xFF, in->matrixDirtyBytes);
    return 0;
}

void ApplyModelAnimations(ModelInstance* in) {
    for (int s = 0; s < in->animSlotCount; ++s)
        if (in->animSlots[s].used) EvaluateFrameAnimation(in->animSlots[s].context);
    in->motionValid = 1;
}

}  // namespace morpotta
