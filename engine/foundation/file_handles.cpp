// The registry of open files and searches.
#include "foundation/file_handles.h"
#include "platform/lasting_state.h"

#include <mutex>
#include <vector>

namespace morpotta {

namespace {

struct Slot {
    void* object = nullptr;
    int type = 0;
    uint32_t generation = 0;
};

struct Registry {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;
};

Registry& TheRegistry() {
    return platform::LastingState<Registry>();
}

// Handle: generation in the high 32 bits, slot + 1 in the low ones, so 0
// is never a handle.
FileHandle MakeFileHandle(uint32_t slot, uint32_t generation) {
    return (FileHandle(generation) << 32) | FileHandle(slot + 1);
}

Slot* FindFileSlot(Registry& r, FileHandle handle, int type) {
    uint64_t low = uint64_t(handle) & 0xFFFFFFFFu;
    if (low == 0 || low > r.slots.size()) return nullptr;
    Slot& s = r.slots[low - 1];
    if (!s.object || s.type != type || s.generation != uint32_t(uint64_t(handle) >> 32)) return nullptr;
    return &s;
}

}  // namespace

FileHandle RegisterFileObject(void* object, int type) {
    if (!object) return 0;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    uint32_t index;
    if (!r.free.empty()) {
        index = r.free.back();
        r.free.pop_back();
    } else {
        if (r.slots.size() >= 0xFFFFFFF0u) return 0;
        index = uint32_t(r.slots.size());
        r.slots.push_back({});
    }
    Slot& s = r.slots[index];
    s.object = object;
    s.type = type;
    s.generation = s.generation + 1 == 0 ? 1 : s.generation + 1;
    return MakeFileHandle(index, s.generation);
}

void* LookupFileObject(FileHandle handle, int type) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    Slot* s = FindFileSlot(r, handle, type);
    return s ? s->object : nullptr;
}

void* UnregisterFileObject(FileHandle handle, int type) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    Slot* s = FindFileSlot(r, handle, type);
    if (!s) return nullptr;
    void* object = s->object;
    s->object = nullptr;
    s->type = 0;
    r.free.push_back(uint32_t(s - r.slots.data()));
    return object;
}

int CountFileObjects(int type) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    int n = 0;
    for (const Slot& s : r.slots)
        if (s.object && s.type == type) ++n;
    return n;
}

}  // namespace morpotta
