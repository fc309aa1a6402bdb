// Shared helpers of the model tests: a started model system per test and
// a check that no tracked block leaks.
#pragma once
#include <gtest/gtest.h>

#include "engine/memory.h"
#include "model/base/model_handles.h"
#include "model/draw/model_draw.h"

using namespace morpotta;

class ModelSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        liveBefore_ = GetMemoryTotals().liveBlocks;
        StartModelHandleTables();
    }
    void TearDown() override {
        for (int slot = 0; slot < GetModelBaseTableSize(); ++slot) {
            int handle = GetModelBaseHandleOfSlot(slot);
            if (handle != -1) FreeModelBaseRecord(handle);
        }
        FreeModelDrawWork();
        EndModelHandleTables();
        SetModelAllocFailureAt(0);
        EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore_) << "tracked blocks leaked";
    }
    size_t liveBefore_ = 0;
};
