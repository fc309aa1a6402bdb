// Bit tables and bit ranges.
#include "model/convert/bit_table.h"

#include <bit>
#include <cstring>

#include "engine/log.h"

namespace morpotta {

int InitBitTable(BitTable* table, int bitCount, int rowCount, MemoryChain* chain) {
    table->usedRowCount = 0;
    table->rowCount = rowCount;
    table->bitCount = bitCount;
    table->rowBytes = (bitCount + 7) / 8 + 1;
    table->rows = nullptr;
    table->rowWords = nullptr;
    uint8_t* memory = nullptr;
    // The row words follow the rows on a word boundary.
    size_t wordsAt = (size_t(table->rowBytes) * size_t(rowCount > 0 ? rowCount : 0) + 3) & ~size_t(3);
    if (bitCount >= 0 && rowCount >= 0) {
        size_t bytes = wordsAt + 4 * size_t(rowCount);
        memory = static_cast<uint8_t*>(AllocChainedMemory(bytes > 0 ? bytes : 1, chain));
    }
    if (!memory) return WriteLogText("ビットデータを格納するメモリの確保に失敗しました");
    table->rows = memory;
    table->rowWords = reinterpret_cast<uint32_t*>(memory + wordsAt);
    return 0;
}

namespace {

uint8_t* RowOf(const BitTable* table, int row) { return table->rows + size_t(row) * size_t(table->rowBytes); }

}  // namespace

int SetBitTableBit(BitTable* table, int row, int bit) {
    uint8_t* r = RowOf(table, row);
    uint8_t& marker = r[table->rowBytes - 1];
    if (marker == 0) {
        marker = 1;
        ++table->usedRowCount;
    }
    r[bit / 8] |= uint8_t(1u << (bit % 8));
    return 0;
}

int CopyBitTableRow(const BitTable* table, int row, uint8_t* out) {
    std::memcpy(out, RowOf(table, row), size_t(table->rowBytes - 1));
    out[table->rowBytes - 1] = 0;
    return 0;
}

int StoreBitTableRow(BitTable* table, int row, const uint8_t* in) {
    uint8_t* r = RowOf(table, row);
    if ((r[table->rowBytes - 1] & 1) == 0) ++table->usedRowCount;
    std::memcpy(r, in, size_t(table->rowBytes));
    return 0;
}

int OrBitTableRowInto(const BitTable* table, int row, uint8_t* inout) {
    const uint8_t* r = RowOf(table, row);
    for (int i = 0; i < table->rowBytes - 1; ++i) inout[i] |= r[i];
    return 0;
}

int CountSetBitsOfRow(const uint8_t* rowBytes, int byteCount) {
    int count = 0;
    for (int i = 0; i < byteCount - 1; ++i) count += std::popcount(unsigned(rowBytes[i]));
    return count;
}

int ListSetBitsOfRow(const BitTable* table, int row, uint16_t* out) {
    const uint8_t* r = RowOf(table, row);
    int count = 0;
    int whole = table->bitCount / 8;
    for (int i = 0; i < whole; ++i)
        for (int b = 0; b < 8; ++b)
            if (r[i] & (1u << b)) out[count++] = uint16_t(i * 8 + b);
    for (int b = 0; b < table->bitCount % 8; ++b)
        if (r[whole] & (1u << b)) out[count++] = uint16_t(whole * 8 + b);
    return count;
}

void InitBitArray(ModelBitRange* range, uint32_t* buffer, int firstBit, int bitCount) {
    range->firstWord = firstBit / 32;
    range->buffer = buffer;
    range->wordCount = ((firstBit % 32) + bitCount + 31) / 32;
    range->firstMask = 1u << (firstBit % 32);
    if (!buffer) return;
    uint32_t* word = buffer + range->firstWord;
    *word = 0;
    uint32_t mask = range->firstMask;
    for (int i = 0; i < bitCount; ++i) {
        *word |= mask;
        mask <<= 1;
        if (mask == 0) {
            ++word;
            mask = 1;
        }
    }
}

}  // namespace morpotta
