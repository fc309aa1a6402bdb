#include <cstring>

#include "model/convert/bit_table.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

using MemoryChainTest = ModelSystemTest;

TEST_F(MemoryChainTest, BlocksAreZeroedAlignedAndFreedSingly) {
    MemoryChain chain{};
    auto* a = static_cast<unsigned char*>(AllocChainedMemory(10, &chain));
    auto* b = static_cast<unsigned char*>(AllocChainedMemory(33, &chain));
    auto* c = static_cast<unsigned char*>(AllocChainedMemory(7, &chain));
    ASSERT_TRUE(a && b && c);
    for (int i = 0; i < 33; ++i) EXPECT_EQ(b[i], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    int dummy = 0;
    EXPECT_EQ(FreeChainedBlock(&chain, &dummy), 0);  // not in the chain: nothing changes
    EXPECT_EQ(FreeChainedBlock(&chain, c), 0);        // the newest: the next older becomes head
    EXPECT_EQ(FreeChainedBlock(&chain, a), 0);        // the oldest
    std::memset(b, 0x55, 33);
    FreeMemoryChain(&chain);
    EXPECT_EQ(chain.newest, nullptr);
    FreeMemoryChain(&chain);
}

TEST_F(MemoryChainTest, FailedAllocationLeavesTheChainIntact) {
    MemoryChain chain{};
    ASSERT_NE(AllocChainedMemory(8, &chain), nullptr);
    SetModelAllocFailureAt(1);
    EXPECT_EQ(AllocChainedMemory(8, &chain), nullptr);
    SetModelAllocFailureAt(0);
    EXPECT_NE(AllocChainedMemory(8, &chain), nullptr);
    FreeMemoryChain(&chain);
}

using BitTableTest = ModelSystemTest;

TEST_F(BitTableTest, RowsMarkersAndLists) {
    MemoryChain chain{};
    BitTable table;
    ASSERT_EQ(InitBitTable(&table, 9, 4, &chain), 0);
    EXPECT_EQ(table.rowBytes, 3);
    SetBitTableBit(&table, 1, 0);
    SetBitTableBit(&table, 1, 0);
    SetBitTableBit(&table, 1, 8);
    EXPECT_EQ(table.usedRowCount, 1);
    uint16_t bits[16];
    ASSERT_EQ(ListSetBitsOfRow(&table, 1, bits), 2);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 8);
    uint8_t scratch[3];
    CopyBitTableRow(&table, 1, scratch);
    EXPECT_EQ(scratch[2], 0);  // marker kept out of comparisons
    EXPECT_EQ(CountSetBitsOfRow(scratch, 3), 2);
    EXPECT_EQ(CountSetBitsOfRow(scratch, 1), 0);
    SetBitTableBit(&table, 2, 3);
    OrBitTableRowInto(&table, 2, scratch);
    EXPECT_EQ(CountSetBitsOfRow(scratch, 3), 3);
    scratch[2] = 1;
    StoreBitTableRow(&table, 3, scratch);
    EXPECT_EQ(table.usedRowCount, 3);
    EXPECT_EQ(ListSetBitsOfRow(&table, 3, bits), 3);
    FreeMemoryChain(&chain);
}

TEST_F(BitTableTest, InitFailsCleanlyWhenMemoryIsShort) {
    MemoryChain chain{};
    BitTable table;
    SetModelAllocFailureAt(1);
    EXPECT_EQ(InitBitTable(&table, 100, 100, &chain), -1);
    FreeMemoryChain(&chain);
}

TEST(BitArrayTest, SetsRangesAcrossWords) {
    uint32_t words[3] = {0xFFFFFFFF, 0, 0xFFFFFFFF};
    ModelBitRange range;
    InitBitArray(&range, words, 30, 4);
    EXPECT_EQ(range.firstWord, 0);
    EXPECT_EQ(range.wordCount, 2);
    EXPECT_EQ(range.firstMask, 1u << 30);
    EXPECT_EQ(words[0], 0xC0000000u);
    EXPECT_EQ(words[1], 0x3u);
    InitBitArray(&range, nullptr, 33, 1);
    EXPECT_EQ(range.firstWord, 1);
    EXPECT_EQ(range.wordCount, 1);
}

}  // namespace
