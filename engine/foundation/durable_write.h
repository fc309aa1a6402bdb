// The durable writes themselves (WriteFileSetDurably, WriteFileDurably),
// made now or found held, and the writes kept while their folders are held
// (foundation/durable_deferred.cpp). Every durable step of the process runs
// under DurableMutex, one at a time: two stores of this process never find
// each other's folder locks.
#pragma once
#include "engine/files.h"

#include <mutex>
#include <string>
#include <vector>

namespace morpotta {

std::mutex& DurableMutex();

// A file to store: its path and bytes.
struct FileToStore {
    std::string path;
    const void* bytes;
    size_t size;
};
// A set stored now: 0, -1, kDurableStoredUnsettled, or kDurableDeferred when
// a folder it needs is held (nothing written then).
int StoreSetNow(const DurableStore& store, const std::vector<FileToStore>& files);
// One file stored now, as WriteFileDurably describes; likewise.
int StoreFileNow(const FileToStore& file);

// Keeps a write found held (store null for a single write), a copy of its
// bytes, to be made by StoreDeferredWrites.
void KeepWrite(const DurableStore* store, const std::vector<FileToStore>& files);
// Takes the paths out of the writes kept: a later write of a file is the one
// that counts.
void TakeOutOfKeptWrites(const std::vector<FileToStore>& files);
// A settling that found a folder held is run again by StoreDeferredWrites.
void SettleAgainLater(const DurableStore& store);

// Sets the calling thread's reason of its last write ("" for none) and
// returns result.
int DurableResult(int result, const std::string& reason);

}  // namespace morpotta
