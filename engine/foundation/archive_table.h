// The resource archives the file table looks into: each is opened on first
// use and kept until ResetArchives or shut-down. Whether an archive exists
// for a prefix is looked up once per prefix and remembered the same way.
#pragma once
#include "engine/files.h"
#include "foundation/paths_internal.h"

#include <string>
#include <vector>

namespace morpotta {

enum ArchiveLookup {
    kNoArchive = 0,      // no archive stands for any directory of the path
    kMemberOpened = 1,   // *file holds the member
    kMemberMissing = 2,  // an archive stands for the path, without this member
    kArchiveFailed = 3,  // the archive or the member is unreadable (logged)
};

// Walks the absolute path from its root and takes the first directory
// prefix for which "<prefix>.<extension>" exists; the rest of the path is
// the member name.
ArchiveLookup OpenArchiveMember(const EnginePath& path, FileHandle* file);

// The size of the member a path names (kMemberOpened when found and
// intact). The unpacked member is kept for the next open of it, so a size
// query followed by a whole-file read unpacks once.
ArchiveLookup FindArchiveMemberSize(const EnginePath& path, int64_t* size);

// The entries an archive holds directly under an absolute directory (files
// and the folders implied by deeper names); false when no archive stands
// for the directory.
bool ListArchiveDirectory(const EnginePath& directory, std::vector<FileFindData>* out);

}  // namespace morpotta
