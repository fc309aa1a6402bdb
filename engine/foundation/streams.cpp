// Stream tables: the same six functions over an open file (through the file
// table in use, archives included) or over a block of memory.
#include "engine/stream.h"

#include "engine/files.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "foundation/subsystems.h"

#include <cstring>
#include <limits>

using namespace morpotta;

namespace {

int IdleFileStream(uintptr_t handle) {
    const PublicCall call("StreamFunctions.idle");
    return GetFileAccessTable()->idle(handle);
}

MemStream* AsMem(uintptr_t handle) { return reinterpret_cast<MemStream*>(handle); }

// The refusal of a memory stream's entry called with no stream, in the
// entry's name when the program called the entry itself.
int RefuseNoStream(const char* entry) { return RefuseNullIn(entry, "memory stream"); }

int64_t TellMem(uintptr_t handle) {
    MemStream* s = AsMem(handle);
    return s ? int64_t(s->position) : RefuseNoStream("StreamFunctions.tell");
}

int SeekMem(uintptr_t handle, int64_t offset, int origin) {
    MemStream* s = AsMem(handle);
    if (!s) return RefuseNoStream("StreamFunctions.seek");
    int64_t base;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = int64_t(s->position); break;
        case 2: base = int64_t(s->size); break;
        default: return RefuseIn("StreamFunctions.seek", "origin %d, not 0 (start), 1 (current) or 2 (end)", origin);
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
        return RefuseIn("StreamFunctions.seek", "a position before the start of the stream");
    s->position = size_t(base + offset);
    s->eof = s->position >= s->size ? 1 : 0;
    return 0;
}

size_t ReadMem(void* buffer, size_t elementSize, size_t count, uintptr_t handle) {
    MemStream* s = AsMem(handle);
    if (!s) return RefuseNoStream("StreamFunctions.read"), 0;
    if (elementSize == 0 || count == 0) return 0;
    if (!buffer) return RefuseNullIn("StreamFunctions.read", "buffer"), 0;
    if (count > std::numeric_limits<size_t>::max() / elementSize) return 0;
    size_t wanted = elementSize * count;
    size_t left = s->position < s->size ? s->size - s->position : 0;
    if (wanted > left) wanted = left;
    if (wanted > 0) std::memcpy(buffer, s->data + s->position, wanted);
    s->position += wanted;
    s->eof = s->position >= s->size ? 1 : 0;
    return wanted / elementSize;
}

int EofMem(uintptr_t handle) {
    MemStream* s = AsMem(handle);
    return (!s || s->position >= s->size) ? 1 : 0;
}

int IdleMem(uintptr_t handle) { return AsMem(handle) ? 1 : RefuseNoStream("StreamFunctions.idle"); }

int CloseMem(uintptr_t handle) {
    const PublicCall call("StreamFunctions.close");
    return CloseMemStream(AsMem(handle));
}

const StreamFunctions kFileStreamTable = {TellFileStream, SeekFileStream, ReadFileStream,
                                          EofFileStream,  IdleFileStream, CloseFileStream};
const StreamFunctions kMemStreamTable = {TellMem, SeekMem, ReadMem, EofMem, IdleMem, CloseMem};

}  // namespace

const StreamFunctions* GetFileStreamTable() { return &kFileStreamTable; }
const StreamFunctions* GetMemStreamTable() { return &kMemStreamTable; }

MemStream* OpenMemStream(const void* data, size_t size) {
    const PublicCall call("OpenMemStream");
    if (!data && size > 0) return RefuseNull("data"), nullptr;
    auto* s = static_cast<MemStream*>(ENGINE_ALLOC_ZERO(sizeof(MemStream)));
    if (!s) return Refuse("out of memory"), nullptr;
    s->data = static_cast<const unsigned char*>(data);
    s->size = size;
    s->eof = size == 0 ? 1 : 0;
    return s;
}

int CloseMemStream(MemStream* stream) {
    const PublicCall call("CloseMemStream");
    if (!stream) return RefuseNull("stream");
    FreeMemory(stream);
    return 0;
}

namespace morpotta::subsystems {

// Both tables are constant and valid before start-up too; nothing to fill.
void FillStreamTables() {}

}  // namespace morpotta::subsystems
