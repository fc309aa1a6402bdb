// Bit tables: rows of bits, each with a trailing row-used marker byte. The
// conversion records with them which skin bones touch each position and
// each face. Memory comes from the model's memory chain.
#pragma once
#include <cstdint>

#include "model/base/memory_chain.h"
#include "model/base/model_records.h"

namespace morpotta {

struct BitTable {
    int usedRowCount;
    int rowCount;
    int bitCount;
    int rowBytes;  // (bitCount + 7) / 8 + 1, the last byte the marker
    uint8_t* rows;
    uint32_t* rowWords;  // one word per row, behind the rows
};

int InitBitTable(BitTable* table, int bitCount, int rowCount, MemoryChain* chain);  // 0 or -1
int SetBitTableBit(BitTable* table, int row, int bit);
// Copies the row without its marker; out's marker position becomes 0.
int CopyBitTableRow(const BitTable* table, int row, uint8_t* out);
int StoreBitTableRow(BitTable* table, int row, const uint8_t* in);
int OrBitTableRowInto(const BitTable* table, int row, uint8_t* inout);
int CountSetBitsOfRow(const uint8_t* rowBytes, int byteCount);
int ListSetBitsOfRow(const BitTable* table, int row, uint16_t* out);

// Fills the range record; with a buffer, sets bitCount bits from firstBit.
void InitBitArray(ModelBitRange* range, uint32_t* buffer, int firstBit, int bitCount);

}  // namespace morpotta
