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
// at any moment, or a power cut, each file holds its previous copy or its
// new one, whole, and a set of files stored together holds its previous
// copies or its new ones. Paths are host paths as the C library takes them.
//
// The promise rests on one rule: each folder of a DurableStore is used by
// one running program at a time. Folders of a store that lead to one place
// (a link, another spelling) are one folder, which keeps the names any of
// their rules keep. A program takes a folder (opens it where its path
// leads, from the working directory of the moment, and locks it) and
// settles it at its first store or settling there, and keeps it until
// ShutdownEngine or its end; later stores there neither take nor settle it
// again. A program that reaches a folder another one holds is refused (-1,
// "the folder <folder> is used by another running program"), and nothing
// waits. Copies of a program may still share a folder one after the other:
// a synchronised folder, a save linked from elsewhere. The lock binds the
// programs of one machine, not those of another machine sharing a network
// folder.
//
// Settling finishes each set that stood when a run ended: a file that
// still holds the copy the set replaced gets its new one, a file stored
// again since is left to that store. A set stood once its commit folder
// (its folder that comes first in the store's folders) held its record, or
// once a file of it was renamed into place. A set that stood is never
// dropped: where it cannot be finished now (a rename or a flush fails, a
// folder of it is one this program does not use or cannot open or list),
// it keeps its record and is reported, and a new set naming a file it has
// yet to replace is refused until it is finished. A set that never stood
// is dropped by a program that uses every folder of it; one that uses only
// some of them cannot tell, and reports the set as waiting for a folder it
// does not use (whose program finishes it, or the removal of its record
// lets it go). A record in a folder it does not name (the folder copied
// with it, or its disk mounted again under another device number) is one
// no program can finish: it is reported with what its files there hold,
// and left as it is. A folder that cannot be listed is reported, never
// taken for empty: nothing is stored or settled there until it can be.
// Each file is read in parts, and one that holds more bytes than a set of
// the store (a record, more than its files' lines) is no copy a set made:
// a set is refused before it writes over one.
//
// How: each file's bytes go to a temporary beside it, "<name>.<id>.tmp",
// private to its owner until it takes the access of the file it replaces
// (owner, access list, then permissions), and flushed. Before anything is
// written every file is checked to be one a rename can replace (a regular
// file or nothing; not immutable, not a mount point, not kept from this
// user by a sticky folder), and a set is refused otherwise. A set of more
// than one file then writes its record, "store.<id>.commit", in every
// folder it touches, its commit folder last: from then on the set stands.
// The files are renamed over their paths, the commit folder's last, the
// folders flushed, and the records removed.

// The result of a durable write that stored what it was given but not yet
// wholly on the disk: GetDurableWriteError says which file and why; the
// next settling puts the rest in place.
constexpr int kDurableStoredUnsettled = 1;

// Stores one file, outside any store: its folder is not taken, and its
// temporary is named after the working directory, so that the next write
// of the path replaces one a kill left. What stands at path is replaced
// when it is a regular file; anything else (a folder, a FIFO, a device, a
// symbolic link) is refused before anything is written. 0;
// kDurableStoredUnsettled (in place, but its folder could not be flushed,
// so a power cut may bring back the previous copy); -1 and a log line
// (GetDurableWriteError says why), the previous copy kept.
int WriteFileDurably(const char* path, const void* bytes, size_t size);
// One file of a set written together.
struct DurableFile {
    const char* path;  // "<folder>/<name>", the folder spelled as given in the store's folders
    const void* bytes;
    size_t size;
};
// A folder in which a program stores files durably, and the names it
// stores there: those that begin with namePrefix ("" for any name) and,
// when storesName is given, for which it returns nonzero. A stored name
// is UTF-8 text of 1 to 200 bytes without a control character (C0, DEL or
// C1) or '/', other than "." and "..", and not ending in ".tmp" or
// ".commit"; every other character is kept ("£", "é", CJK, emoji).
struct DurableFolder {
    const char* folder;  // a host path; "." for the working directory
    const char* namePrefix;
    int (*storesName)(const char* name) = nullptr;  // name without its folder
};
// What a program stores as durable sets: the folders their files stand in
// and the most one set holds.
struct DurableStore {
    const DurableFolder* folders;
    size_t folderCount;
    size_t maxFiles;   // files of one set
    int64_t maxBytes;  // bytes of one set, every file together
};
// Stores files that belong together (a replay's streams and its meta file,
// with the save that records the run's time) as one, after taking the
// store's folders and settling them. 0: stored, every file in place. -1 and
// a log line (GetDurableWriteError says why): not stored, every file keeps
// its previous copy (also when a file of it is one an earlier set that
// stood has yet to replace). kDurableStoredUnsettled: stored, but a file
// could not be renamed into place or a folder flushed: the record stays,
// and the next store or settling finishes the set first.
int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count);
// Takes the store's folders and settles what other runs left in them (a
// folder this run took already is settled already). Call it at start-up,
// before reading any stored file. The number of sets finished; -1 when a
// folder is used by another running program (GetDurableWriteError names
// it; nothing is taken then). Each problem is logged and reported
// (GetDurableProblem).
int FinishInterruptedWrites(const DurableStore* store);
// What the calling thread's last FinishInterruptedWrites or
// WriteFileSetDurably found it could not settle.
enum DurableProblemKind {
    kDurableRecordUnusable = 1,  // a record this program cannot act on (unreadable, damaged, another version's,
                                 // or in a folder it does not name): left as it is, with its temporaries
    kDurableSetNotFinished,      // a step failed for a passing reason: the next settling tries again
    kDurableSetDropped,          // a file of a set that stands cannot get its new copy (it is gone or damaged)
    kDurableFolderUnavailable,   // a folder of the store cannot be opened or listed now: nothing is stored or
                                 // settled there
    kDurableSetWaitsElsewhere,   // a set that stands in a folder this program does not use, or may: left for the
                                 // program that uses it (file: the copy of its record here, whose removal lets
                                 // it go)
};
struct DurableProblem {
    int kind;            // a DurableProblemKind
    const char* folder;  // as the store gives it
    const char* set;     // the set concerned, named after its first file in this program's folders as they
                         // are renamed (the commit folder's last), or the record's path
    const char* file;    // the file concerned, "" for none
    const char* reason;  // in a few words, the host's reason when it gave one
    int newFiles;        // files of the set that hold their new copy
    int files;           // files of the set (of a set left as it is, those in its record's folder that hold
                         // their new or their previous copy)
};
// The number of problems, and one of them (0, or -1 for no such index).
// Text taken from a record is cleaned of control characters and malformed
// UTF-8. The strings stay valid until the thread's next durable call.
int GetDurableProblemCount();
int GetDurableProblem(int index, DurableProblem* out);
// Why the calling thread's last durable write failed or was not settled, in
// a few words with the file it concerns ("writing replay/t3_meta.dat: No
// space left on device"); "" after one that succeeded.
const char* GetDurableWriteError();
