// Host-side halves of the packer: folders in, archive images out, and back.
#pragma once
#include "engine/archive.h"

#include <filesystem>
#include <string>
#include <vector>

// Every regular file under folder, named relative to it in code page 932
// with '\' between folders, in name order. False (with a message on
// stderr) when a file cannot be read or its name has no code page 932 form.
bool CollectFolder(const std::filesystem::path& folder, std::vector<ArchiveInput>* members);

bool ReadHostFile(const std::filesystem::path& path, std::string* bytes);
bool WriteHostFile(const std::filesystem::path& path, const std::string& bytes);

// An archive image in memory, opened with the key; false when refused.
bool OpenArchiveImage(const std::string& image, const char* key, ArchiveDirectory* directory);
// A member's contents, checked; false when damaged.
bool ReadMemberFromImage(const std::string& image, const ArchiveDirectory& directory, const ArchiveEntry& entry,
                         std::string* contents);
// The host path under folder for a member name.
bool MemberHostPath(const std::filesystem::path& folder, const std::string& name, std::filesystem::path* out);
