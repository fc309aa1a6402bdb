#include "engine/timer.h"
#include "foundation/handle.h"

#include <gtest/gtest.h>

using namespace morpotta;

namespace {

class HandleTableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InitHandleTable(&table_, HANDLE_KIND_SOUND, 4, 8, 2), 0); }
    void TearDown() override { TerminateHandleTable(&table_); }
    HandleTable table_;
    int a_ = 1, b_ = 2, c_ = 3;
};

TEST_F(HandleTableTest, HandleCarriesKindCheckAndSlot) {
    int h = AddHandleEntry(&table_, &a_);
    ASSERT_GE(h, 0);
    EXPECT_EQ(HandleKindOf(h), HANDLE_KIND_SOUND);
    EXPECT_EQ(HandleSlotOf(h), 0);
    EXPECT_EQ(LookupHandleEntry(&table_, h), &a_);
    EXPECT_EQ(HandleOfSlot(&table_, 0), h);
    EXPECT_EQ(HandleOfSlot(&table_, 1), -1);
}

TEST_F(HandleTableTest, WrongKindBadSlotAndErrorValuesAreRefused) {
    int h = AddHandleEntry(&table_, &a_);
    int wrongKind = MakeHandle(HANDLE_KIND_GRAPH, HandleCheckOf(h), HandleSlotOf(h));
    EXPECT_EQ(LookupHandleEntry(&table_, wrongKind), nullptr);
    EXPECT_EQ(LookupHandleEntry(&table_, MakeHandle(HANDLE_KIND_SOUND, HandleCheckOf(h), 3)), nullptr);
    EXPECT_EQ(LookupHandleEntry(&table_, MakeHandle(HANDLE_KIND_SOUND, HandleCheckOf(h), 60000)), nullptr);
    EXPECT_EQ(LookupHandleEntry(&table_, -1), nullptr);
    EXPECT_EQ(LookupHandleEntry(&table_, int(0x80000000u | uint32_t(h))), nullptr);
    EXPECT_EQ(RemoveHandleEntry(&table_, wrongKind), -1);
}

TEST_F(HandleTableTest, StaleHandleIsRefusedAfterTheSlotIsReused) {
    int first = AddHandleEntry(&table_, &a_);
    ASSERT_EQ(RemoveHandleEntry(&table_, first), 0);
    EXPECT_EQ(LookupHandleEntry(&table_, first), nullptr);
    EXPECT_EQ(RemoveHandleEntry(&table_, first), -1);
    int second = AddHandleEntry(&table_, &b_);
    EXPECT_EQ(HandleSlotOf(second), HandleSlotOf(first));
    EXPECT_NE(second, first);
    EXPECT_EQ(LookupHandleEntry(&table_, first), nullptr);
    EXPECT_EQ(LookupHandleEntry(&table_, second), &b_);
}

// A slot used over and over gives a new handle each time for a whole
// period of its kind's check ids, also where the count of handles made
// passes 2^32; a table made again goes on with them.
TEST_F(HandleTableTest, AHandleComesBackOnlyAfterAWholePeriodOfItsKind) {
    for (const bool nearTheWrap : {false, true}) {
        if (nearTheWrap) SetHandleChecksIssuedForTesting(HANDLE_KIND_SOUND, (uint64_t(1) << 32) - 3);
        RemoveHandleEntry(&table_, HandleOfSlot(&table_, 0));
        const int first = AddHandleEntry(&table_, &a_);
        ASSERT_GT(first, 0);
        ASSERT_EQ(RemoveHandleEntry(&table_, first), 0);
        for (int i = 1; i < HandleCheckPeriod(HANDLE_KIND_SOUND); ++i) {
            const int h = AddHandleEntry(&table_, &a_);
            ASSERT_NE(h, first) << i << " handles later" << (nearTheWrap ? ", across 2^32 handles made" : "");
            ASSERT_NE(HandleCheckOf(h), 0) << "no check id is 0";
            RemoveHandleEntry(&table_, h);
        }
        EXPECT_EQ(AddHandleEntry(&table_, &a_), first);
    }

    const int kept = HandleOfSlot(&table_, 0);
    ASSERT_EQ(TerminateHandleTable(&table_), 0);
    ASSERT_EQ(InitHandleTable(&table_, HANDLE_KIND_SOUND, 4, 8, 2), 0);
    const int again = AddHandleEntry(&table_, &b_);
    EXPECT_EQ(HandleSlotOf(again), 0);
    EXPECT_NE(again, kept);
    EXPECT_EQ(LookupHandleEntry(&table_, kept), nullptr);
}

TEST(HandleLayoutTest, EachKindsSlotFieldHoldsItsTableAndTheCheckIdTakesTheRest) {
    for (int kind = 0; kind < kHandleKindCount; ++kind) {
        const int h = MakeHandle(kind, HandleCheckPeriod(kind), HandleSlotLimit(kind) - 1);
        EXPECT_GE(h, 0) << kind;
        EXPECT_EQ(HandleKindOf(h), kind);
        EXPECT_EQ(HandleCheckOf(h), HandleCheckPeriod(kind));
        EXPECT_EQ(HandleSlotOf(h), HandleSlotLimit(kind) - 1);
    }
    EXPECT_EQ(HandleCheckPeriod(HANDLE_KIND_GRAPH), 4095);
    EXPECT_EQ(HandleCheckPeriod(HANDLE_KIND_MODEL), 2047);
    EXPECT_EQ(HandleCheckPeriod(HANDLE_KIND_MODEL_BASE), 1023);
    EXPECT_EQ(HandleSlotLimit(HANDLE_KIND_FONT), 64);
}

TEST_F(HandleTableTest, GrowsToItsLimitThenRefuses) {
    int handles[8];
    for (int i = 0; i < 8; ++i) {
        handles[i] = AddHandleEntry(&table_, i % 2 ? &b_ : &c_);
        ASSERT_GE(handles[i], 0) << i;
    }
    EXPECT_EQ(table_.capacity, 8);
    EXPECT_EQ(AddHandleEntry(&table_, &a_), -1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(LookupHandleEntry(&table_, handles[i]), i % 2 ? &b_ : &c_);
    RemoveHandleEntry(&table_, handles[5]);
    int again = AddHandleEntry(&table_, &a_);
    EXPECT_EQ(HandleSlotOf(again), 5);
}

TEST(HandleTableSetup, RefusesBadParameters) {
    HandleTable t;
    EXPECT_EQ(InitHandleTable(&t, -1, 4, 4, 0), -1);
    EXPECT_EQ(InitHandleTable(&t, 16, 4, 4, 0), -1);
    EXPECT_EQ(InitHandleTable(&t, 1, 8, 4, 0), -1);
    EXPECT_EQ(InitHandleTable(&t, HANDLE_KIND_GRAPH, 4, 32769, 0), -1);
    EXPECT_EQ(InitHandleTable(&t, HANDLE_KIND_FONT, 4, 65, 0), -1);
    EXPECT_EQ(AddHandleEntry(nullptr, &t), -1);
}

TEST(TimerTest, ElapsedTimeIsRightAcrossTheWrap) {
    EXPECT_EQ(ElapsedMilliseconds(100, 116), 16);
    EXPECT_EQ(ElapsedMilliseconds(0x7FFFFFF0, 0x10), 0x20);
    EXPECT_EQ(ElapsedMilliseconds(0x7FFFFFFF, 0), 1);
    int now = GetMillisecondCount();
    EXPECT_GE(now, 0);
    EXPECT_GE(GetMicrosecondCount(0), 0);
}

}  // namespace
