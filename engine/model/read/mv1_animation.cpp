// Binary model animations: key sets with their packed times and values,
// frame animations and animation sets.
//
// Key data: with key kind 18 (shape weight) first a u16 shape index. Flag
// bit 0: one key, no count or times. Otherwise the key count (u8 with bit
// 1, u16 with bit 2, else u32); without bit 3 one time per key (floats, or
// with bit 7 a range code and u16 values); with bit 3 no times but a start
// (u16 with bit 4, 0 with bit 5, else a float) and a step (u16 with bit 6,
// else a float). Then the values of value types 0 and 7 (four floats), 1
// (three) and 5 (one): floats, or with bit 8 one u16 per component, read
// as an angle from -pi (bit 9) or from 0 (bit 10) for types 1 and 5, else
// through a range code that precedes them. Other value types store none.
#include <climits>

#include "model/anim/anim_eval.h"
#include "model/base/model_math.h"
#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

constexpr uint32_t kKeySetBytes = 8;
constexpr uint32_t kFrameAnimBytes = 0x1C;
constexpr uint32_t kAnimSetBytes = 0x30;

bool ReadTimes(Mv1Load* load, Mv1Cursor* in, uint32_t flags, ModelBaseAnimKeySet* ks) {
    if (flags & 8) {
        ks->explicitTimes = 0;
        ks->startTime = (flags & 0x10) ? float(in->U16()) : (flags & 0x20) ? 0.0f : in->F32();
        ks->timeStep = (flags & 0x40) ? float(in->U16()) : in->F32();
        return true;
    }
    ks->explicitTimes = 1;
    Mv1Range range{1.0f, 0.0f};
    if (flags & 0x80) {
        uint8_t first = in->U8();
        range = DecodeMv1RangeCode(first, in->U8());
    }
    if (!in->Need(uint64_t(ks->keyCount), (flags & 0x80) ? 2 : 4)) return load->Fail("key times run past the end of the file");
    if (!(ks->times = load->Take<float>(uint64_t(ks->keyCount)))) return false;
    for (int k = 0; k < ks->keyCount; ++k)
        ks->times[k] = (flags & 0x80) ? float(in->U16()) * range.scale + range.offset : in->F32();
    return true;
}

bool ReadValues(Mv1Load* load, Mv1Cursor* in, uint32_t flags, ModelBaseAnimKeySet* ks) {
    const int width = ModelKeyValueWidth(ks->valueType);
    if (width == 0) return true;
    const uint64_t components = uint64_t(ks->keyCount) * uint64_t(width);
    const bool packed = flags & 0x100;
    const bool fromMinusPi = width != 4 && (flags & 0x200), fromZero = width != 4 && !fromMinusPi && (flags & 0x400);
    Mv1Range range{1.0f, 0.0f};
    if (packed && !fromMinusPi && !fromZero) {
        uint8_t first = in->U8();
        range = DecodeMv1RangeCode(first, in->U8());
    }
    if (!in->Need(components, packed ? 2 : 4)) return load->Fail("key values run past the end of the file");
    if (!(ks->values = load->Take<float>(components))) return false;
    for (uint64_t c = 0; c < components; ++c) {
        if (!packed) {
            ks->values[c] = in->F32();
            continue;
        }
        float u = float(in->U16());
        ks->values[c] = fromMinusPi ? u * kModelTwoPi / 65535.0f - kModelPi
                        : fromZero  ? u * kModelTwoPi / 65535.0f
                                    : u * range.scale + range.offset;
    }
    return true;
}

bool ReadKeySet(Mv1Load* load, uint32_t at, ModelBaseAnimKeySet* ks) {
    const Mv1Image& image = load->image;
    ks->valueType = image.bytes[at];
    ks->keyKind = image.bytes[at + 1];
    const uint32_t flags = image.bytes[at + 2] | image.bytes[at + 3] << 8;
    const uint32_t data = image.U32(at + 4);
    ks->shapeIndex = -1;
    if (data == 0) return true;  // no key data: no keys
    Mv1Cursor in(image, data);
    if (ks->keyKind == 18) ks->shapeIndex = in.U16();
    if (flags & 1) {
        ks->keyCount = 1;
        ks->timeStep = 1.0f;
    } else {
        uint32_t count = (flags & 2) ? in.U8() : (flags & 4) ? in.U16() : in.U32();
        if (count > uint32_t(INT_MAX)) return load->Fail("a key set has too many keys");
        ks->keyCount = int(count);
        if (!ReadTimes(load, &in, flags, ks)) return false;
    }
    if (!ReadValues(load, &in, flags, ks)) return false;
    if (ks->keyCount > 0)
        ks->totalTime = ks->explicitTimes ? ks->times[ks->keyCount - 1]
                                          : ks->startTime + float(ks->keyCount - 1) * ks->timeStep;
    return in.ok() || load->Fail("a key set runs past the end of the file");
}

bool ReadFrameAnims(Mv1Load* load, ModelBaseAnim* anims, uint32_t count, uint32_t first, uint32_t stride,
                    ModelBaseAnimKeySet* keySets) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t at = first + i * stride;
        ModelBaseAnim& a = anims[i];
        if (image.U32(at) != i) return load->Fail("the frame-animation list is broken");
        a.frameIndex = int(image.U32(at + 0x08));
        if (a.frameIndex < 0 || a.frameIndex >= base->frameCount) return load->Fail("a frame animation names no frame");
        a.value = image.F32(at + 0x0C);
        a.word = image.U32(at + 0x10);
        a.keySetCount = int(image.U32(at + 0x14));
        if (a.keySetCount == 0) continue;
        int k = load->Index(image.U32(at + 0x18), load->Header(kMv1KeySets), kMv1KeySetStrideRequired,
                            load->Header(kMv1KeySetCount), "a frame animation's key sets are broken");
        if (k < 0) return false;
        if (a.keySetCount < 0 || uint32_t(a.keySetCount) > load->Header(kMv1KeySetCount) - uint32_t(k))
            return load->Fail("a frame animation's key sets are broken");
        a.keySets = keySets + k;
    }
    return true;
}


bool ReadAnimSets(Mv1Load* load, ModelBaseAnim* anims, uint32_t animCount, uint32_t animsAt, uint32_t stride) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    std::vector<uint8_t> tied(animCount, 0);
    for (size_t s = 0; s < load->animSets.size(); ++s) {
        uint32_t at = load->animSets[s];
        ModelBaseAnimSet& set = base->animSets[s];
        if (!(set.name = load->Name(image.U32(at + 0x08)))) return false;
        set.endTime = image.F32(at + 0x10);
        uint32_t flags = image.U32(at + 0x2C);
        set.words[0] = flags & 1;
        set.words[1] = (flags >> 1) & 1;
        uint32_t count = image.U32(at + 0x14);
        if (count == 0) continue;
        int first = load->Index(image.U32(at + 0x18), animsAt, stride, animCount, "an animation set's frames are broken");
        if (first < 0) return false;
        if (count > animCount - uint32_t(first)) return load->Fail("an animation set's frames are broken");
        for (uint32_t a = uint32_t(first); a < uint32_t(first) + count; ++a) {
            int owner = load->Ref(image.U32(animsAt + a * stride + 0x04), load->animSets, 0x0C, false,
                                  "a frame animation names no animation set");
            if (owner < 0) return false;
            if (tied[a] || size_t(owner) != s) return load->Fail("an animation set's frames are broken");
            tied[a] = 1;
        }
        set.animCount = int(count);
        set.anims = anims + first;
    }
    for (uint8_t t : tied)
        if (!t) return load->Fail("a frame animation belongs to no animation set");
    return true;
}

}  // namespace

bool ReadMv1Animations(Mv1Load* load) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    const uint32_t keySetCount = load->Header(kMv1KeySetCount), keySetsAt = load->Header(kMv1KeySets);
    const uint32_t animCount = load->Header(kMv1FrameAnimCount), animsAt = load->Header(kMv1FrameAnims);
    const uint32_t stride = load->Header(kMv1FrameAnimStride);
    if (keySetCount > 0 && load->Header(kMv1KeySetStride) != kMv1KeySetStrideRequired)
        return load->Fail("the key-set records are not 20 bytes long");
    if (keySetCount > 0 && !image.Has(keySetsAt, uint64_t(keySetCount - 1) * kMv1KeySetStrideRequired + kKeySetBytes))
        return load->Fail("the key sets lie outside the file");
    if (animCount > 0 && (stride < kFrameAnimBytes || !image.Has(animsAt, uint64_t(animCount - 1) * stride + kFrameAnimBytes)))
        return load->Fail("the frame animations lie outside the file");
    if (!load->Walk(load->Header(kMv1AnimSets), load->Header(kMv1AnimSetCount), kAnimSetBytes, 0x0C, &load->animSets,
                    "the animation-set list is broken"))
        return false;
    auto* keySets = load->Take<ModelBaseAnimKeySet>(keySetCount);
    auto* anims = load->Take<ModelBaseAnim>(animCount);
    base->animSets = load->Take<ModelBaseAnimSet>(load->animSets.size());
    if (!keySets || !anims || !base->animSets) return false;
    for (uint32_t k = 0; k < keySetCount; ++k)
        if (!ReadKeySet(load, keySetsAt + k * kMv1KeySetStrideRequired, &keySets[k])) return false;
    if (!ReadFrameAnims(load, anims, animCount, animsAt, stride, keySets) ||
        !ReadAnimSets(load, anims, animCount, animsAt, stride))
        return false;
    base->animSetCount = int(load->animSets.size());
    return true;
}

}  // namespace morpotta
