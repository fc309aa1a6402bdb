// Files: every file read of the engine goes through the current
// FileAccessTable, one set reading plain files and one that also looks into
// resource archives. Engine paths are code page 932 bytes with '\' or '/'.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int kMaxPathBytes = 260;

// Opaque non-zero value for an open file or search; 0 is failure.
using FileHandle = uintptr_t;

struct FileFindData {
    char name[kMaxPathBytes];  // code page 932
    int isDirectory;
    int64_t size;
};

// The twelve file functions in slot order.
struct FileAccessTable {
    FileHandle (*open)(const char* path, int useCache, int blockRead, int async);
    int (*close)(FileHandle file);                          // 0 or -1
    int64_t (*tell)(FileHandle file);
    int (*seek)(FileHandle file, int64_t offset, int origin);  // origin 0 start, 1 current, 2 end; 0 or -1
    size_t (*read)(void* buffer, size_t elementSize, size_t count, FileHandle file);  // whole elements
    int (*eof)(FileHandle file);                            // non-zero at the end
    int (*idle)(FileHandle file);                           // 1: no asynchronous operation pending
    int (*setDirectory)(const char* path);                  // 0 or -1
    int (*getDirectory)(char* buffer, size_t capacity);     // 0 or -1
    FileHandle (*findFirst)(const char* pattern, FileFindData* out);
    int (*findNext)(FileHandle find, FileFindData* out);    // 0, or -1 when there is no more
    int (*findClose)(FileHandle find);
};

const FileAccessTable* GetPlainFileAccessTable();
const FileAccessTable* GetArchiveFileAccessTable();
const FileAccessTable* GetFileAccessTable();  // the one in use

// Nonzero: every open looks for resource archives first (the default).
int SetUseArchive(int flag);
int SetArchiveFileExtension(const char* extension);  // without the dot, e.g. "dat"
int SetArchiveKey(const char* key);                  // before the first file read

// The slots of the current table.
FileHandle OpenFileStream(const char* path, int useCache, int blockRead, int async);
int CloseFileStream(FileHandle file);  // 0 is accepted and ignored
int64_t TellFileStream(FileHandle file);
int SeekFileStream(FileHandle file, int64_t offset, int origin);
size_t ReadFileStream(void* buffer, size_t elementSize, size_t count, FileHandle file);
int EofFileStream(FileHandle file);

FileHandle OpenFileToRead(const char* path, int async);
size_t ReadFromFile(void* buffer, size_t size, FileHandle file);  // bytes read
int64_t GetFileSizeByName(const char* path);                     // -1 when it cannot be opened
int GetFileStreamCurrentDir(char* buffer, size_t capacity);  // as an engine path, e.g. "\home\me\game"

// A new, empty file in the system's temporary folder, open for writing; its
// full host path goes to pathOut (usable with the C library and with the file
// functions). Null when none can be made or the path does not fit.
std::FILE* CreateTempFile(char* pathOut, size_t capacity);

// Paths. Each writes at most capacity bytes including the terminator and
// returns -1 (leaving out empty) when the result does not fit or climbs
// above its root. Results are engine paths with '\' separators (the host
// root is "\", a drive letter names it too), for the file functions here;
// the C library does not resolve them.
int BuildFullPath(const char* path, char* out, size_t capacity, const char* baseDirectory = nullptr);
int BuildFullPathW(const char16_t* path, char16_t* out, size_t capacity, const char16_t* baseDirectory = nullptr);
int BuildRelativePath(const char* filePath, const char* baseDirectory, char* out, size_t capacity);
int BuildRelativePathW(const char16_t* filePath, const char16_t* baseDirectory, char16_t* out, size_t capacity);
// Splits at the last '\', '/' or ':' (double-byte aware); the directory
// keeps its separator ("tpa\a.png" gives "tpa\" and "a.png"). Null outputs
// are skipped.
int SplitPathNameAndDir(const char* path, char* nameOut, size_t nameCapacity, char* dirOut, size_t dirCapacity);
int SplitPathNameAndDirW(const char16_t* path, char16_t* nameOut, size_t nameCapacity, char16_t* dirOut,
                         size_t dirCapacity);

// Expands a block of the engine's own codec: a 9-byte header (expanded
// size, packed size, escape byte) and the packed bytes. With a null buffer
// it only reports the expanded size. -1 on any inconsistency.
int64_t DecompressBlock(const void* block, size_t blockSize, void* out, size_t outCapacity);
// The matching compressor, for tools and tests: the block size, or -1.
int64_t CompressBlock(const void* data, size_t size, void* out, size_t outCapacity);
size_t CompressBlockBound(size_t size);

// Files a program keeps (saves, replays) are stored durably: after a kill
// at any moment, or a power cut, each path holds its previous copy or its
// new one, whole, and a set of files stored together holds its previous
// copies or its new ones. Paths are host paths as the C library takes them.
//
// How it is done: the bytes go to a temporary file beside the path,
// "<name>.<tag>.tmp", flushed to the disk, and are renamed over the path;
// then the folder is flushed. The tag is the program's own (it comes from
// the folder a store keeps its record in, the working directory for a
// single write), so two programs sharing a folder never write, rename or
// remove each other's temporaries. A temporary is private to its owner
// from its first byte and then takes the access of the file it replaces
// (permissions, access list, owner and group where the host allows, else
// the owner's permissions alone); nothing is ever written through a file
// or link that stood at its name.
//
// Two programs storing in one folder take turns: each write locks the
// folders it acts in (flock, which binds the programs of one machine, not
// those of others sharing a network folder) and never waits for one:
// a write that finds a folder held by another program writes nothing now
// and returns kDurableDeferred. The write is then kept in memory, and made
// by StoreDeferredWrites once the folder is free: a program calls it once a
// frame, and once more before it ends.

// The result of a durable write that stored what it was given but not as a
// whole on the disk: a log line and GetDurableWriteError say which file and
// what becomes of it (the next store or start puts it in place, or it keeps
// its previous copy for good).
constexpr int kDurableStoredUnsettled = 1;
// The result of a durable write that found a folder held by another program
// storing there: nothing is written yet; the write is kept and made by
// StoreDeferredWrites (see there).
constexpr int kDurableDeferred = 2;

// Stores one file. What stands at path is replaced when it is a regular
// file; a symbolic link there leading to a regular file of the same name
// elsewhere (a file moved to another disk and linked back) is kept and that
// file replaced, its temporary beside it; anything else (a folder, a FIFO,
// a link to a file of another name or to nothing) is refused before
// anything is written. 0; kDurableDeferred; kDurableStoredUnsettled (in
// place, but its folder could not be flushed, so a power cut may bring back
// the previous copy); -1 and a log line (GetDurableWriteError says why), the
// previous copy kept. A file that a DurableStore keeps is stored through it
// instead (WriteFileSetDurably with a set of one).
int WriteFileDurably(const char* path, const void* bytes, size_t size);
// Removes the temporary file of this program's that a WriteFileDurably of
// path left when it was cut short (a kill, a crash), where that write puts
// it: beside path, or beside the file a symbolic link at path leads to.
// Another program's temporaries there are left alone. Call it at start-up.
// 0 when nothing of it is left, or when the folder is held by another
// program now (the next write of path replaces it); -1 and a log line when
// the folder cannot be looked at.
int FinishInterruptedWrite(const char* path);
// One file of a set written together.
struct DurableFile {
    const char* path;  // "<folder>/<name>", the folder spelled as given in the store's folders
    const void* bytes;
    size_t size;
};
// A folder in which a program stores files durably, and the names it
// stores there: those that begin with namePrefix ("" for any name) and,
// when storesName is given, for which it returns nonzero. A name ending in
// ".tmp" or ".commit" is never a stored one.
struct DurableFolder {
    const char* folder;  // a host path; "." for the working directory
    const char* namePrefix;
    int (*storesName)(const char* name) = nullptr;  // name without its folder
};
// What a program stores as durable sets: the folders their files stand in,
// the most one set holds, and its commit record. The record is the store's
// journal: a file in a folder of the program's own, which no other program
// uses while it runs (the engine's double-start lock keeps a second copy
// out of its working directory, "Engine.lock"), so each program settles its
// own sets alone. A file of a set is "<folder>/<name>" with the folder as
// given here ("<name>" alone for "."), the name a stored name of that
// folder; on the disk, what stands at the name is nothing yet or a regular
// file. The store must stay valid while a write of it is kept.
struct DurableStore {
    const DurableFolder* folders;
    size_t folderCount;
    size_t maxFiles;   // files of one set
    int64_t maxBytes;  // bytes of one set, every file together
    const char* record = "Stores.commit";  // a host path
};
// Stores files that belong together (a replay's streams and its meta file,
// with the save that records the run's time) as one. In order: the set is
// checked against the store's rule (anything it would not settle is refused
// before anything is written); the record's folder and the set's are
// locked, or the set is kept (kDurableDeferred); what an earlier store of
// this program left unfinished is settled as FinishInterruptedWrites does
// (never waited on: a set that cannot be finished now stays in the record);
// each file goes to its temporary, flushed with its folder; the record,
// naming every file with its new size and check value and those of the copy
// it replaces, is written beside an earlier one's pending sets and flushed
// (the set is now stored); the files are renamed over their paths, their
// folders flushed, and the record emptied of the set. A set of one file
// needs no record: its rename alone is whole. A file of the set that
// another program replaced since is this store's only when the store
// replaced it last: the settling finishes a set only in folders where none
// of its files was replaced since it was stored.
// 0: stored, every file in place. -1 and a log line (GetDurableWriteError
// says why): not stored, every path keeps its previous copy.
// kDurableDeferred: kept, nothing written yet. kDurableStoredUnsettled and a
// log line: stored, but a file could not be renamed into place (or a folder
// flushed); GetDurableWriteError names it and says whether the next store or
// start puts it in place or it keeps its previous copy for good (a file
// that can never be replaced: a read-only or immutable file, a mount point).
int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count);
// Settles what this program's stores of the store left unfinished when a
// kill or a crash cut them short: in the folders where none of a stored
// set's files was replaced since, the set is finished (its temporaries
// renamed into place: the new set stands); this program's other
// temporaries of the stored names are removed. Call it at start-up. A
// folder held by another program now is not waited for: it is settled by
// the next store, or by StoreDeferredWrites. A folder that stands but cannot
// be opened now (a link to a disk that is not mounted) keeps its part of
// the record for the next start. Each folder is opened once, where its path
// leads, and the record acts only in the folders so opened: on names the
// store's rule takes, never through a symbolic link. A file's temporary is
// taken only when it is a regular file with no other name, holding the size
// and check value recorded. A record that is damaged, not a regular file of
// its own, larger than the store's sets can make, or names a file against
// the rule is refused and removed. The number of sets finished (a program
// reads again what it read of them before); each problem is logged and
// reported (GetDurableProblem).
int FinishInterruptedWrites(const DurableStore* store);
// Makes the kept writes (kDurableDeferred) whose folders are free now, in
// the order they were given; a later write of a file takes the file out of
// the earlier writes still kept. With a wait, waits up to that long in all
// for held folders and then gives up on what is still held: the last call
// before a program ends (ShutdownEngine makes one, of 5 s, for a program
// that did not). Each write given up on, or that failed, is logged and
// reported (GetDurableProblem, kDurableWriteNotStored), as is what a
// settling left for later and still could not settle. The number of writes
// still kept.
int StoreDeferredWrites(int waitMilliseconds);
// What the last FinishInterruptedWrites, WriteFileSetDurably or
// StoreDeferredWrites of the calling thread could not settle or store (a
// set's store settles what earlier ones left first).
enum DurableProblemKind {
    kDurableRecordRefused = 1,  // damaged or against the rule: removed, nothing of it renamed
    kDurableSetNotFinished,     // a step failed for a passing reason: kept for the next start
    kDurableSetDropped,         // can never be finished: its temporaries removed, its files left as they are
    kDurableRecordUnreadable,   // cannot be read now: it and every temporary kept for the next start
    kDurableFolderNotSettled,   // the folder cannot be opened now: its part kept for the next start
    kDurableWriteNotStored,     // a kept write that could not be made: its files keep their previous copies
};
struct DurableProblem {
    int kind;            // a DurableProblemKind
    const char* folder;  // as the store gives it ("" for a single write)
    const char* record;  // the set concerned, named after its first file ("" for a folder)
    const char* file;    // the file of the set concerned, "" for none
    const char* reason;  // in a few words, the host's reason when it gave one
    int newFiles;        // files of the set that hold their new copy (renamed before the kill)
    int files;           // files of the set
};
// The number of problems, and one of them (0, or -1 for no such index).
// Text taken from a record is cleaned of control characters and malformed
// UTF-8. The strings stay valid until the thread's next settling.
int GetDurableProblemCount();
int GetDurableProblem(int index, DurableProblem* out);
// Why the calling thread's last durable write failed, was kept, or was not
// settled, in a few words with the file it concerns ("writing
// replay/t3_meta.dat: No space left on device"); "" after one that
// succeeded.
const char* GetDurableWriteError();
