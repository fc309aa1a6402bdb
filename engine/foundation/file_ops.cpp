// Reading an open file, whether a host file or an archive member held in
// memory. Positions may go past the end (reads there return nothing), never
// before the start.
#include "foundation/file_handles.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "platform/files.h"

#include <cstring>
#include <limits>

namespace morpotta {

namespace {

OpenFile* Lookup(FileHandle file) { return static_cast<OpenFile*>(LookupFileObject(file, kFileObjectFile)); }

// The refusal of a handle that names no open file, in the name of the
// file table's entry when the program called the entry itself.
int RefuseFile(const char* entry, FileHandle file) {
    return RefuseIn(entry, "%llu is no open file", static_cast<unsigned long long>(file));
}

// The open file a call names, or null after its refusal.
OpenFile* LookupForCall(FileHandle file, const char* entry) {
    OpenFile* f = Lookup(file);
    if (!f) RefuseFile(entry, file);
    return f;
}

FileHandle Register(OpenFile* f) {
    FileHandle h = RegisterFileObject(f, kFileObjectFile);
    if (h != 0) return h;
    if (f->descriptor >= 0) platform::Files().close(f->descriptor);
    FreeMemory(f->data);
    FreeMemory(f);
    Refuse("no file handle left");
    return 0;
}

}  // namespace

FileHandle OpenHostFile(const char* hostPath) {
    const platform::FileSystemBackend& fs = platform::Files();
    int descriptor = fs.openRead(hostPath);
    if (descriptor < 0) return 0;
    int64_t size = fs.sizeOf(descriptor);
    auto* f = static_cast<OpenFile*>(ENGINE_ALLOC_ZERO(sizeof(OpenFile)));
    if (size < 0 || !f) {
        fs.close(descriptor);
        FreeMemory(f);
        return 0;
    }
    f->descriptor = descriptor;
    f->size = size;
    return Register(f);
}

FileHandle OpenMemoryFile(unsigned char* ownedData, int64_t size) {
    auto* f = static_cast<OpenFile*>(ENGINE_ALLOC_ZERO(sizeof(OpenFile)));
    if (!f) {
        FreeMemory(ownedData);
        return 0;
    }
    f->descriptor = -1;
    f->data = ownedData;
    f->size = size;
    return Register(f);
}

int CloseOpenFile(FileHandle file) {
    auto* f = static_cast<OpenFile*>(UnregisterFileObject(file, kFileObjectFile));
    if (!f) return RefuseFile("FileAccessTable.close", file);
    int result = 0;
    if (f->descriptor >= 0) result = platform::Files().close(f->descriptor);
    FreeMemory(f->data);
    FreeMemory(f);
    return result;
}

int64_t TellOpenFile(FileHandle file) {
    OpenFile* f = LookupForCall(file, "FileAccessTable.tell");
    return f ? f->position : -1;
}

int SeekOpenFile(FileHandle file, int64_t offset, int origin) {
    OpenFile* f = LookupForCall(file, "FileAccessTable.seek");
    if (!f) return -1;
    int64_t base;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = f->position; break;
        case 2: base = f->size; break;
        default: return RefuseIn("FileAccessTable.seek", "origin %d, not 0 (start), 1 (current) or 2 (end)", origin);
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
        return RefuseIn("FileAccessTable.seek", "a position before the start of the file");
    f->position = base + offset;
    return 0;
}

size_t ReadOpenFile(void* buffer, size_t elementSize, size_t count, FileHandle file) {
    OpenFile* f = LookupForCall(file, "FileAccessTable.read");
    if (!f) return 0;
    if (!buffer) return RefuseNullIn("FileAccessTable.read", "buffer"), 0;
    if (elementSize == 0 || count == 0) return 0;
    if (count > std::numeric_limits<size_t>::max() / elementSize) return 0;
    size_t wanted = elementSize * count;
    int64_t left = f->position < f->size ? f->size - f->position : 0;
    if (uint64_t(left) < wanted) wanted = size_t(left);
    if (wanted == 0) return 0;
    int64_t got;
    if (f->data) {
        std::memcpy(buffer, f->data + f->position, wanted);
        got = int64_t(wanted);
    } else {
        got = platform::Files().readAt(f->descriptor, buffer, wanted, f->position);
        if (got < 0) return 0;
    }
    f->position += got;
    return size_t(got) / elementSize;
}

// -1 for a bad handle: nonzero, so a read loop ends there too.
int EofOpenFile(FileHandle file) {
    OpenFile* f = LookupForCall(file, "FileAccessTable.eof");
    if (!f) return -1;
    return f->position >= f->size ? 1 : 0;
}

// Nothing is ever asynchronous; a bad handle is refused with -1, so that a
// wait loop ends.
int IdleOpenFile(FileHandle file) { return Lookup(file) ? 1 : RefuseFile("FileAccessTable.idle", file); }

}  // namespace morpotta
