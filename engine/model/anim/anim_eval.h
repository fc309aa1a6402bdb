// Evaluation of an attached animation's keys into per-frame translation,
// scale, rotation and shape weights, and the skin matrices of a frame.
#pragma once
#include <cstdint>

#include "model/base/model_records.h"

namespace morpotta {

// Floats per key of a base key set's value type: quaternions (0, 7) four,
// vectors (1) three, single floats (5) one; other types keep no values.
int ModelKeyValueWidth(int valueType);

enum FrameAnimFlag : uint32_t {
    FRAME_ANIM_TRANSLATION = 1,
    FRAME_ANIM_SCALE = 2,
    FRAME_ANIM_ANGLES = 4,
    FRAME_ANIM_QUATERNION = 8,
    FRAME_ANIM_MATRIX = 16,
    FRAME_ANIM_QUATERNION_INTERNAL = 32,
};

struct AnimKeyState {
    const ModelBaseAnimKeySet* keySet;
    int shapeIndex;  // -1 for none
    float lastValue;
    int keyIndex;    // current key, advanced with the animation's time
};

// Where the evaluation leaves its marks on an instance frame.
struct FrameAnimTarget {
    ModelShapeState* shapeStates;  // the frame's shape weights, by shape number
    int shapeCount;
    uint8_t* shapeChanged;
    uint32_t* matrixBitWord;
    uint32_t matrixBitMask;
};

struct FrameAnimRecord {
    const ModelBaseAnim* track;
    const ModelBaseFrame* frame;  // rest values; null: none
    FrameAnimTarget* target;      // null: no instance frame
    uint32_t flags;
    float scale[3];
    float translation[3];
    int rotationOrder;
    float rotation[3];
    float quaternion[4];
    Matrix34 matrix;  // used instead of angles in matrix mode
    int keyStateCount;
    AnimKeyState* keyStates;
};

struct AnimEvalContext {
    float time;
    uint8_t evaluated;         // 1: nothing to do until the time changes
    int blendType;             // 1: additive
    int interpolateMatrices;   // the animation asks for matrix blending
    int recordCount;
    FrameAnimRecord* records;
    uint8_t* matricesValid;
    uint8_t* shapesDirty;
};

// Interpolation factor between a key set's key k and the next; 0 for the
// last key, for times before k, and where the key times give no span.
float ComputeKeyFactor(const ModelBaseAnimKeySet* keySet, int k, float time, int* next);
// The key whose span holds the time: the last key at or before it (0 for
// times before the first key).
int FindKeyIndex(const ModelBaseAnimKeySet* keySet, float time);
void EvaluateFrameAnimation(AnimEvalContext* context);
// The local matrix of a record's values: the rotation (flag 32 a quaternion
// by the closed formula, 8 a quaternion through the product of its two 4x4
// matrices, 4 angles in the record's order, none identity) with its
// columns scaled (flag 2; scale applies first) and the translation (flag 1)
// in the fourth column. A whole-matrix record (flag 16) gives its matrix.
void BuildFrameLocalMatrix(const FrameAnimRecord* values, Matrix34* out);
// For each skin bone whose bone frame this is: skin = world . offset.
void UpdateFrameSkinMatrices(const ModelBaseFrame* frame, const Matrix34* world, const ModelBase* base,
                             Matrix34* skinMatrices);

}  // namespace morpotta
