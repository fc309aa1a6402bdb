// File functions over memory streams, for readers that take a
// FileAccessTable and a file handle: the handle is a MemStream, and the
// memory stream functions have the shapes of the file slots they fill.
#pragma once
#include "engine/files.h"
#include "engine/stream.h"

inline FileAccessTable MemoryFileTable() {
    const StreamFunctions* m = GetMemStreamTable();
    FileAccessTable t{};
    t.tell = m->tell;
    t.seek = m->seek;
    t.read = m->read;
    t.eof = m->eof;
    t.idle = m->idle;
    t.close = m->close;
    return t;
}
