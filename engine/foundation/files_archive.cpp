// The archive-aware set of the file table: an open looks for a resource
// archive standing for a directory of the path first and falls back to the
// plain file when there is none or it lacks the member.
#include "engine/archive.h"
#include "foundation/archive_table.h"
#include "foundation/file_find.h"
#include "foundation/file_handles.h"
#include "foundation/files_internal.h"
#include "foundation/log_internal.h"
#include "foundation/public_call.h"

#include <set>

using namespace morpotta;

namespace {

FileHandle ArchiveOpen(const char* path, int, int, int) {
    const PublicCall call("FileAccessTable.open");
    EnginePath full;
    if (ParseOpenPath(path, &full) != 0) return 0;
    // An archive that cannot be read is said only when the plain file
    // cannot be opened either, as the reason it is not there.
    InnerAttempt archiveFirst;
    FileHandle file = 0;
    if (OpenArchiveMember(full, &file) == kMemberOpened) return file;
    file = OpenPlainFile(path);
    if (!file) archiveFirst.RefuseCall();
    return file;
}

// Members of an archive standing for the directory come first; host
// entries of the same name (ignoring case) are left out.
FileHandle ArchiveFindFirst(const char* pattern, FileFindData* out) {
    EnginePath directory;
    std::string namePattern;
    if (!SplitSearchPattern(pattern, &directory, &namePattern)) return RefuseSearchPattern(pattern);
    std::vector<FileFindData> members, entries;
    {
        // An archive that cannot be read leaves the folder's own entries.
        InnerAttempt archiveFirst;
        ListArchiveDirectory(directory, &members);
    }
    std::set<std::string> seen;
    for (const FileFindData& m : members) {
        if (!MatchFilePattern(namePattern.c_str(), m.name)) continue;
        entries.push_back(m);
        seen.insert(FoldArchiveName(m.name));
    }
    std::vector<FileFindData> host;
    CollectHostEntries(directory, namePattern, &host);
    for (const FileFindData& h : host)
        if (!seen.count(FoldArchiveName(h.name))) entries.push_back(h);
    return StartFileSearch(std::move(entries), out);
}

const FileAccessTable kArchiveTable = {
    ArchiveOpen,     CloseOpenFile,    TellOpenFile,     SeekOpenFile,      ReadOpenFile,       EofOpenFile,
    IdleOpenFile,    SetFileDirectory, GetFileDirectory, ArchiveFindFirst, ContinueFileSearch, EndFileSearch,
};

}  // namespace

const FileAccessTable* GetArchiveFileAccessTable() { return &kArchiveTable; }
