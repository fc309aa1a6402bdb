// Rest transform of a base frame from its read frame.
#pragma once
#include "model/base/model_records.h"
#include "model/read/read_model.h"

namespace morpotta {

void DecomposeFrameTransform(const ReadModelFrame* read, ModelBaseFrame* frame);

}  // namespace morpotta
