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

// The result of a durable write that stored what it was given but could not
// settle it on the disk (neither 0 nor -1; each function says what stands).
// A log line says why, and GetDurableWriteError.
constexpr int kDurableStoredUnsettled = 1;

// Files the program writes (saves, replays): the bytes go to a new
// "<path>.tmp" (one left there is removed first: no byte ever goes through
// a file or link that stood at that name), which is flushed to the disk and
// renamed over path; then the folder is flushed. After a crash or a power
// cut, path holds the previous copy or the new one, whole. path is a host
// path as the C library takes it, its folder as the program names it. What
// stands at path is replaced when it is a regular file, the new copy taking
// its permissions (and its owner, where the host allows); a symbolic link
// there leading to a regular file of the same name elsewhere (a file moved
// to another disk and linked back) is kept and that file replaced, its
// temporary beside it; anything else (a folder, a FIFO, a link to a file of
// another name or to nothing) is refused before anything is written. The
// write holds the lock of the folder it writes in (where a link leads)
// throughout, so that two programs writing there take turns; one that
// cannot have it within a few seconds writes nothing. 0; -1 and a log line
// (GetDurableWriteError says why), the previous copy kept; or
// kDurableStoredUnsettled: the new copy is in place, but its folder could
// not be flushed, so a power cut may bring back the previous one. It
// settles no store: a file that a DurableStore keeps is stored as a set of
// one (WriteFileSetDurably), which first finishes a set that counts on it.
int WriteFileDurably(const char* path, const void* bytes, size_t size);
// Removes the temporary file a WriteFileDurably of path left when it was
// cut short (a kill, a crash), where that write puts it: beside path, or
// beside the file a symbolic link at path leads to. The next write of path
// would replace it; call this at start-up so that nothing of a write cut
// short stays in the meantime (in a folder synchronised elsewhere, say).
// It holds the lock of that folder, as the write does, so a write of
// another program there is waited for and never loses its temporary. For
// a file no DurableStore keeps: a store's temporaries are its settling's
// (FinishInterruptedWrites). 0 when nothing is left (path itself is
// untouched); -1 and a log line when its folder cannot be looked at.
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
// What a program stores as durable sets: the folders their files stand in
// and the most one set holds. The writer and the start-up take the same
// description and one rule: a set the writer takes, the start-up finishes,
// and the writer refuses before writing anything a set the start-up would
// not finish. A file of a set is "<folder>/<name>" with the folder as given
// here ("<name>" alone for "."), the name a stored name of that folder; on
// the disk, what stands at the name is nothing yet or a regular file. The
// limits are those of the program's largest set: the start-up reads no more
// than they allow of a commit record's files.
struct DurableStore {
    const DurableFolder* folders;
    size_t folderCount;
    size_t maxFiles;   // files of one set
    int64_t maxBytes;  // bytes of one set, every file together
};
// Files that belong together (a replay's streams and its meta file, with
// the save that records the run's time) are stored as one: after a kill at
// any moment, or a power cut, and the next start's FinishInterruptedWrites,
// every path holds its previous copy or every path its new one. A store
// keeps this invariant: at every moment, either no commit record of it
// stands and every stored name holds one whole generation, or one record
// stands, and its set is settled before anything else of that store is
// written or removed.
// In order: the store takes the lock of each of the store's folders, in
// which no other program (nor another store of this one) stores or settles
// until it ends; a folder that cannot be had within a few seconds refuses
// the store. It settles what an earlier store left unfinished, as the start
// does (a set whose step failed in this run is finished now); while a
// record stays unsettled, nothing is written. Then each file goes to a new
// "<path>.tmp" (as for WriteFileDurably, taking the permissions of the file
// it replaces) and is flushed to the disk, with its folder; a commit record
// naming every file with its size and check value, "<first path>.commit",
// is written and flushed (the set is now stored); the files are renamed
// over their paths, their folders flushed, and the record is removed. Each
// folder is opened once and every step is taken in it.
// 0: stored, every file in place. -1 and a log line (GetDurableWriteError
// says why): not stored, every path keeps its previous copy (when a file
// cannot be written, every temporary file is removed). kDurableStoredUnsettled
// and a log line: stored, but not settled: a rename or a folder's flush
// failed after the record, which stands; the files renamed already hold
// their new copies, the others their previous ones, until the next start
// (or the next store of the store) puts every new copy in place.
int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count);
// Settles the durable writes a killed or crashed run left unfinished in the
// store's folders: a set whose commit record is whole is finished (the
// temporary files still there are renamed into place: the new set stands),
// and every other temporary file of a stored name ("<name>.tmp") is removed
// (the previous copies stand). Records are settled in every folder before
// any temporary file is removed, as a set may span folders. Call it at
// start-up. It holds the lock of every folder throughout, as a store does,
// so another program storing there (a copy of the program sharing a
// folder) is waited for, a few seconds at most; a folder it cannot have is
// not settled. A folder at whose name nothing stands holds nothing; one
// that stands but cannot be opened now (a link to a disk that is not
// mounted, a file in its place, no permission, held by another program)
// is reported, and no temporary file of any folder is removed, as a
// record there may count on it. A record that another copy of the program
// left in a folder both share, whose set names a folder of that copy's
// (its working directory is another), is left to that copy with the
// temporaries it names, and a store of this one refuses the files it names
// until then.
// Each folder is opened once, where its path leads (a folder the program
// names may be a link to another disk), and a record acts only in the
// folders so opened: on names the store's rule takes, never through a
// symbolic link. A file's temporary is taken only when it is a regular file
// with no other name, holding the size and check value recorded. A record
// that is not a regular file of its own, is larger than the store's largest
// set can make, or names a file against the rule is refused: nothing it
// names is read or renamed, and it is removed. A set that can never be
// finished (its files changed since, a folder standing at a file's name) is
// dropped, its files left as they are. A set whose step failed for a
// passing reason keeps its record and temporaries for the next start; a
// record that cannot be read now keeps every temporary. The number of sets
// finished (a program reads again what it read of them before); each
// problem is logged and reported (GetDurableProblem).
int FinishInterruptedWrites(const DurableStore* store);
// What became of a set or folder the last FinishInterruptedWrites of the
// calling thread could not settle.
enum DurableProblemKind {
    kDurableRecordRefused = 1,  // removed unread or unacted on; nothing of its set renamed
    kDurableSetNotFinished,     // a step failed for a passing reason: record and temporaries kept for the next start
    kDurableSetDropped,         // can never be finished: its record removed, its files left as they are
    kDurableRecordUnreadable,   // cannot be read now: it and every temporary kept for the next start
    kDurableFolderNotSettled,   // the folder cannot be opened or had now: nothing in it settled, every temporary kept
};
struct DurableProblem {
    int kind;            // a DurableProblemKind
    const char* folder;  // as the store gives it
    const char* record;  // the record's name in the folder, "" for the folder itself
    const char* file;    // the file of the set concerned, as the record names it, "" for none
    const char* reason;  // in a few words, the host's reason when it gave one
    int newFiles;        // files of the set that already held their new copy (renamed before the kill)
};
// The number of problems, and one of them (0, or -1 for no such index).
// Text taken from a record is cleaned of control characters and malformed
// UTF-8. The strings stay valid until the thread's next settling.
int GetDurableProblemCount();
int GetDurableProblem(int index, DurableProblem* out);
// Why the calling thread's last durable write failed, in a few words with
// the file it concerns ("writing replay/t3_meta.dat.tmp: No space left on
// device"); "" after one that succeeded.
const char* GetDurableWriteError();
