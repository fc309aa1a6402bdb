// Memory chain: a singly linked list of zero-filled blocks, newest first.
// Each block's header keeps the running total of this and every older
// block's data size, so the chain knows its size without a walk.
#include "model/base/memory_chain.h"

#include <atomic>

#include "engine/log.h"
#include "engine/memory.h"
#include "platform/lasting_state.h"

namespace morpotta {

struct ChainBlockHeader {
    void* data;
    ChainBlockHeader* older;
    size_t runningTotal;
};

namespace {

// Headers are padded to 16 bytes so that chained data stays 16-byte
// aligned for vertex arrays.
constexpr size_t kHeaderBytes = (sizeof(ChainBlockHeader) + 15) & ~size_t(15);

// Counted on every thread that loads models.
struct MemoryChainModule {
    std::atomic<uint64_t> allocCount{0};
    std::atomic<uint64_t> failAt{0};
};

MemoryChainModule& MemoryChainState() {
    return platform::LastingState<MemoryChainModule>();
}

}  // namespace

uint64_t SetModelAllocFailureAt(uint64_t nth) {
    const uint64_t made = MemoryChainState().allocCount.exchange(0);
    MemoryChainState().failAt.store(nth);
    return made;
}

void* AllocModelMemory(size_t size) {
    const uint64_t count = ++MemoryChainState().allocCount;
    const uint64_t failAt = MemoryChainState().failAt.load();
    if (failAt != 0 && count == failAt) return nullptr;
    return AllocMemoryZero(size, "", 0);
}

void* AllocChainedMemory(size_t size, MemoryChain* chain) {
    if (!chain || size > (size_t(1) << 40)) return nullptr;
    auto* raw = static_cast<unsigned char*>(AllocModelMemory(size + kHeaderBytes));
    if (!raw) {
        WriteLogText("メモリアドレス保存データ＋実際のデータを保存するメモリ領域の確保に失敗しました");
        return nullptr;
    }
    auto* header = reinterpret_cast<ChainBlockHeader*>(raw);
    header->data = raw + kHeaderBytes;
    header->older = chain->newest;
    header->runningTotal = size + (chain->newest ? chain->newest->runningTotal : 0);
    chain->newest = header;
    return header->data;
}

int FreeChainedBlock(MemoryChain* chain, void* data) {
    if (!chain || !data) return 0;
    ChainBlockHeader* newer = nullptr;
    for (ChainBlockHeader* b = chain->newest; b; newer = b, b = b->older) {
        if (b->data != data) continue;
        if (newer) newer->older = b->older;
        else chain->newest = b->older;
        FreeMemory(b);
        return 0;
    }
    return 0;
}

void FreeMemoryChain(MemoryChain* chain) {
    if (!chain) return;
    ChainBlockHeader* b = chain->newest;
    while (b) {
        ChainBlockHeader* older = b->older;
        FreeMemory(b);
        b = older;
    }
    chain->newest = nullptr;
}

}  // namespace morpotta
