// The archive-aware set of the file table: an open looks for a resource
// archive standing for a directory of the path first and falls back to the
// plain file when there is none or it lacks the member.
#include "foundation/archive_table.h"
#include "foundation/file_find.h"
#include "foundation/file_handles.h"
#include "foundation/files_internal.h"

namespace {

FileHandle ArchiveOpen(const char* path, int, int, int) {
    EnginePath full;
    if (ParseOpenPath(path, &full) != 0) return 0;
    FileHandle file = 0;
    if (OpenArchiveMember(full, &file) == kMemberOpened) return file;
    return OpenPlainFile(path);
}

const FileAccessTable kArchiveTable = {
    ArchiveOpen,     CloseOpenFile,    TellOpenFile,     SeekOpenFile,       ReadOpenFile,      EofOpenFile,
    IdleOpenFile,    SetFileDirectory, GetFileDirectory, FindFirstHostFile, ContinueFileSearch, EndFileSearch,
};

}  // namespace

const FileAccessTable* GetArchiveFileAccessTable() { return &kArchiveTable; }
