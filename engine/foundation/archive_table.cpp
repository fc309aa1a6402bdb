// Resource archives are not read yet: every path falls through to the plain file.
#include "foundation/archive_table.h"

#include "foundation/subsystems.h"

#include <string>

ArchiveLookup OpenArchiveMember(const EnginePath&, FileHandle*) { return kNoArchive; }
int SetArchiveFileExtension(const char*) { return 0; }
int SetArchiveKey(const char*) { return 0; }

namespace subsystems {
void ResetArchives() {}
void CloseArchives() {}
}  // namespace subsystems
