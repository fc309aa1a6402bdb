#include "model_test_support.h"

#include <vector>

namespace {

using ModelHandleTest = ModelSystemTest;

TEST_F(ModelHandleTest, InstanceTableRefusesThe65537thAndReusesSlots) {
    std::vector<ModelInstance> records(kModelInstanceSlotLimit + 1);
    std::vector<int> handles;
    for (int i = 0; i < kModelInstanceSlotLimit; ++i) {
        int reserved = ReserveModelInstanceHandle();
        ASSERT_NE(reserved, -1) << i;
        int handle = StoreModelInstance(reserved, &records[i]);
        ASSERT_NE(handle, -1);
        handles.push_back(handle);
    }
    EXPECT_EQ(GetModelInstanceTableSize(), kModelInstanceSlotLimit);
    EXPECT_EQ(ReserveModelInstanceHandle(), -1);
    ASSERT_EQ(ClearModelInstanceSlot(handles[100]), 0);
    int again = ReserveModelInstanceHandle();
    EXPECT_EQ(again & 0xFFFF, 100);
    EXPECT_EQ(ClearModelInstanceSlot(again), 0);
    for (int h : handles) ClearModelInstanceSlot(h);
    EXPECT_EQ(GetModelInstanceCount(), 0);
}

TEST_F(ModelHandleTest, StaleAndReservedInstanceHandlesAreRefused) {
    ModelInstance a{}, b{};
    int first = StoreModelInstance(ReserveModelInstanceHandle(), &a);
    ASSERT_NE(first, -1);
    EXPECT_EQ(GetModelInstance(first), &a);
    ASSERT_EQ(ClearModelInstanceSlot(first), 0);
    EXPECT_EQ(GetModelInstance(first), nullptr);
    int reserved = ReserveModelInstanceHandle();
    EXPECT_EQ(reserved & 0xFFFF, first & 0xFFFF);
    EXPECT_EQ(GetModelInstance(reserved), nullptr);  // reserved, not built
    EXPECT_TRUE(IsModelInstanceSlotReserved(reserved));
    int second = StoreModelInstance(reserved, &b);
    EXPECT_NE(second, first);
    EXPECT_EQ(GetModelInstance(first), nullptr);  // same slot, older check id
    EXPECT_EQ(ClearModelInstanceSlot(first), -1);
    EXPECT_EQ(GetModelInstance(second), &b);
    EXPECT_EQ(GetModelInstance(second ^ 0x08000000), nullptr);  // wrong kind
    EXPECT_EQ(GetModelInstance(-1), nullptr);
    ClearModelInstanceSlot(second);
}

// The instance's check id is its handle's; a handle comes back only after
// 2047 more, however often the tables are made again meanwhile.
TEST_F(ModelHandleTest, AnInstanceHandleComesBackOnlyAfter2047More) {
    ModelInstance record{};
    const int first = StoreModelInstance(ReserveModelInstanceHandle(), &record);
    ASSERT_NE(first, -1);
    EXPECT_EQ(int(record.checkId), (first >> 16) & 0x7FF);
    ClearModelInstanceSlot(first);
    for (int i = 1; i < 2047; ++i) {
        if (i % 500 == 0) StartModelHandleTables();
        const int h = StoreModelInstance(ReserveModelInstanceHandle(), &record);
        ASSERT_NE(h, first) << i;
        ClearModelInstanceSlot(h);
    }
    EXPECT_EQ(StoreModelInstance(ReserveModelInstanceHandle(), &record), first);
    ClearModelInstanceSlot(first);
}

TEST_F(ModelHandleTest, BaseHandlesRefuseFreeReservedAndOutOfRangeSlots) {
    int reserved = ReserveModelBaseHandle();
    ASSERT_NE(reserved, -1);
    EXPECT_EQ(uint32_t(reserved) & 0xF8000000u, kModelBaseHandleKind);
    EXPECT_EQ(GetModelBase(reserved), nullptr);                 // reserved
    EXPECT_EQ(GetModelBase(reserved + 1), nullptr);             // free slot
    EXPECT_EQ(GetModelBase(int(kModelBaseHandleKind | 0x1FFFF)), nullptr);  // past the table
    auto* base = static_cast<ModelBase*>(AllocModelMemory(sizeof(ModelBase)));
    ASSERT_EQ(StoreModelBase(reserved, base), 0);
    EXPECT_EQ(GetModelBase(reserved), base);
    EXPECT_EQ(FreeModelBaseRecord(reserved), 0);
    EXPECT_EQ(GetModelBase(reserved), nullptr);
    EXPECT_EQ(FreeModelBaseRecord(reserved), -1);
}

TEST_F(ModelHandleTest, BaseTableGrowsPastOneBlock) {
    std::vector<int> handles;
    for (int i = 0; i < kModelTableGrowth + 5; ++i) handles.push_back(ReserveModelBaseHandle());
    EXPECT_EQ(GetModelBaseTableSize(), 2 * kModelTableGrowth);
    EXPECT_EQ(handles.back() & 0x1FFFF, kModelTableGrowth + 4);
    for (int h : handles) EXPECT_EQ(FreeModelBaseRecord(h), 0);  // reserved slots are only cleared
    EXPECT_EQ(GetModelBaseCount(), 0);
}

TEST(ModelHandleLifeTest, RefusedWhileNotStartedAndEndingTwiceIsHarmless) {
    EndModelHandleTables();
    EXPECT_EQ(ReserveModelBaseHandle(), -1);
    EXPECT_EQ(ReserveModelInstanceHandle(), -1);
    EXPECT_EQ(GetModelBase(int(kModelBaseHandleKind)), nullptr);
    StartModelHandleTables();
    int h = ReserveModelBaseHandle();
    EXPECT_NE(h, -1);
    EndModelHandleTables();
    EndModelHandleTables();
    EXPECT_EQ(GetModelBase(h), nullptr);
    EXPECT_FALSE(IsModelSystemReady());
}

}  // namespace
