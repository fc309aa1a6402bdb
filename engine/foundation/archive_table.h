// The resource archives the file table looks into: opened on first use,
// kept until shut-down.
#pragma once
#include "engine/files.h"
#include "foundation/paths_internal.h"

enum ArchiveLookup {
    kNoArchive = 0,      // no archive stands for any prefix of the path
    kMemberOpened = 1,   // *file holds the member
    kMemberMissing = 2,  // an archive stands for the path, without this member
    kArchiveFailed = 3,  // the archive or the member is unreadable (logged)
};

// Walks the absolute path from its root and takes the first directory
// prefix for which "<prefix>.<extension>" exists.
ArchiveLookup OpenArchiveMember(const EnginePath& path, FileHandle* file);
