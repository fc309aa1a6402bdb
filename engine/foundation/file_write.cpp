// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush steps, and the settling at start-up of a
// write that a kill or a crash cut short.
//
// A set of files commits through a record beside its first file,
// "<first path>.commit", written once every file's temporary is on the disk:
//     durable file set 1
//     <size> <CRC-32, 8 hex digits> <path>        one line per file, in order
//     end <CRC-32 of every byte above, 8 hex digits>
// Paths are as the writer gave them (relative ones from the working
// directory) and hold no line feed. A record whose end line is missing or
// does not match was cut short: its set was never stored. The size and
// check value of every file let the start-up tell a temporary that is the
// new copy from one that is not, and a file already renamed into place from
// its previous copy.
#include "engine/files.h"

#include "engine/log.h"
#include "foundation/file_write_steps.h"
#include "foundation/host_path.h"
#include "platform/files.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kTemporarySuffix = ".tmp";
constexpr const char* kRecordSuffix = ".commit";
constexpr const char kRecordMagic[] = "durable file set 1\n";
constexpr int64_t kMaxRecordBytes = int64_t(1) << 20;

struct FileWriteState {
    DurableStepHook hook;
};

FileWriteState& State() {
    static FileWriteState state;
    return state;
}

// The reason of the calling thread's last failed durable write.
std::string& LastError() {
    thread_local std::string text;
    return text;
}

std::string TemporaryOf(const std::string& path) { return path + kTemporarySuffix; }

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The folder that holds path, as the host takes it ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// One path per folder among these, to flush each folder once.
std::vector<std::string> OnePathPerFolder(const std::vector<std::string>& paths) {
    std::vector<std::string> folders, representatives;
    for (const std::string& path : paths) {
        const std::string folder = FolderOf(path);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        representatives.push_back(path);
    }
    return representatives;
}

// The same file however its path was spelled, for comparing paths.
std::string Normalised(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

uint32_t CheckValue(const void* bytes, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* at = static_cast<const Bytef*>(bytes);
    while (size > 0) {
        const uInt chunk = uInt(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, at, chunk);
        at += chunk;
        size -= chunk;
    }
    return uint32_t(crc);
}

std::string HostReason() { return std::strerror(errno); }

// Asks the test seam whether this step runs. True when the run is to end
// here as a kill would end it; a write step then leaves the first bytes the
// seam asked for.
bool StopsHere(DurableStep step, const std::string& path, const void* bytes = nullptr, size_t size = 0) {
    const DurableStepHook& hook = State().hook;
    if (!hook) return false;
    const int64_t keep = hook(step, path);
    if (keep < 0) return false;
    if (step == DurableStep::WriteTemporary || step == DurableStep::WriteRecord)
        platform::Files().writeFlushed(path.c_str(), bytes, std::min<size_t>(size, size_t(keep)));
    return true;
}

struct RecordedFile {
    std::string path;
    int64_t size = 0;
    uint32_t check = 0;
    std::string place;  // the host's path, once the settling has checked it
};

std::string RecordText(const DurableFile* files, size_t count) {
    std::string text = kRecordMagic;
    char line[64];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%zu %08" PRIx32 " ", files[i].size, CheckValue(files[i].bytes, files[i].size));
        text += line;
        text += files[i].path;
        text += '\n';
    }
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", CheckValue(text.data(), text.size()));
    return text + line;
}

// A record file is ours when it begins with the record's first line, or is
// a beginning of that line (a record cut short in its first bytes).
bool IsOurRecord(const std::string& text) {
    const size_t n = std::min(text.size(), sizeof kRecordMagic - 1);
    return text.compare(0, n, kRecordMagic, n) == 0;
}

// "<size> <check> <path>", each field after exactly one space.
bool ParseFileLine(const std::string& line, RecordedFile* file) {
    const size_t first = line.find(' ');
    if (first == std::string::npos || first == 0 || first > 18 || line.size() < first + 11 || line[first + 9] != ' ')
        return false;
    int64_t size = 0;
    for (size_t i = 0; i < first; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        size = size * 10 + (line[i] - '0');
    }
    uint32_t check = 0;
    for (size_t i = first + 1; i < first + 9; ++i) {
        const char c = line[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        check = check << 4 | uint32_t(digit);
    }
    file->size = size;
    file->check = check;
    file->path = line.substr(first + 10);
    return true;
}

// The files of a whole record; false for a record cut short or damaged.
bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    const size_t magic = sizeof kRecordMagic - 1;
    if (text.compare(0, magic, kRecordMagic) != 0) return false;
    size_t at = magic;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, 4, "end ") == 0) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "end %08" PRIx32, CheckValue(text.data(), at));
            return line == expected && end + 1 == text.size() && !files->empty();
        }
        RecordedFile file;
        if (!ParseFileLine(line, &file)) return false;
        files->push_back(std::move(file));
        at = end + 1;
    }
    return false;
}

// Whether the file at path holds the recorded bytes, read a piece at a time
// so that checking a large file takes little memory.
bool HoldsBytes(const std::string& path, const RecordedFile& expected) {
    const platform::FileSystemBackend& fs = platform::Files();
    const int descriptor = fs.openRead(path.c_str());
    if (descriptor < 0) return false;
    bool same = fs.sizeOf(descriptor) == expected.size;
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<Bytef> piece(size_t(1) << 18);
    for (int64_t at = 0; same && at < expected.size; at += int64_t(piece.size())) {
        const size_t want = size_t(std::min<int64_t>(int64_t(piece.size()), expected.size - at));
        same = fs.readAt(descriptor, piece.data(), want, at) == int64_t(want);
        crc = crc32(crc, piece.data(), uInt(want));
    }
    fs.close(descriptor);
    return same && uint32_t(crc) == expected.check;
}

int Fail(const std::string& reason, const char* format, const char* path, size_t other) {
    LastError() = reason;
    WriteLogFormat(format, path, reason.c_str(), other);
    return -1;
}

bool ValidSet(const DurableFile* files, size_t count) {
    if (count > 0 && !files) return false;
    std::set<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        if (!files[i].path || !*files[i].path || std::strchr(files[i].path, '\n') || (files[i].size > 0 && !files[i].bytes) ||
            files[i].size > size_t(kMaxDurableFileBytes))
            return false;
        if (!seen.insert(Normalised(files[i].path)).second) return false;
    }
    return true;
}

// A folder given to the settling, as the host has it.
struct SettledFolder {
    const DurableFolder* given;
    std::string path;      // as given, without a closing '/'
    std::string resolved;  // absolute, every link resolved
};

std::string Joined(const std::string& folder, const std::string& name) {
    if (folder == ".") return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A path a record names, as a log line shows it: control characters
// replaced and a long one cut.
std::string Shown(const std::string& path) {
    std::string shown = path.substr(0, 160);
    for (char& c : shown)
        if (uint8_t(c) < 0x20 || c == 0x7f) c = '?';
    return shown.size() < path.size() ? shown + "..." : shown;
}

// The start-up's problems: each is logged and is one line of the text
// GetDurableWriteError gives after the settling.
void Report(const std::string& line) {
    WriteLogFormat("%s", line.c_str());
    std::string& text = LastError();
    text += text.empty() ? line : "\n" + line;
}

// Whether the program stores a file of this name in the folder.
bool IsStoredName(const DurableFolder& place, const std::string& name) {
    const char* prefix = place.namePrefix ? place.namePrefix : "";
    return !name.empty() && name != "." && name != ".." && name.compare(0, std::strlen(prefix), prefix) == 0 &&
           !EndsWith(name, kTemporarySuffix) && !EndsWith(name, kRecordSuffix) &&
           (!place.storesName || place.storesName(name.c_str()) != 0);
}

// Whether the resolved path where is base or lies below it.
bool Inside(const std::string& where, const std::string& base) {
    if (where.compare(0, base.size(), base) != 0) return false;
    return where.size() == base.size() || base.back() == '/' || where[base.size()] == '/';
}

// Whether something at path is reached through a symbolic link that leads
// out of the resolved folder that holds path; nothing there leads nowhere.
bool LeadsOut(const std::string& path, const std::string& resolvedFolder) {
    std::string resolved;
    return platform::Files().resolvePath(path.c_str(), &resolved) && FolderOf(resolved) != resolvedFolder;
}

// The given folders that exist and lie where they are named from (the
// working directory for a relative folder, its parent for an absolute one),
// so that no symbolic link takes the settling elsewhere.
std::vector<SettledFolder> FoldersToSettle(const DurableFolder* folders, size_t count) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::vector<SettledFolder> usable;
    for (size_t f = 0; f < count; ++f) {
        if (!folders[f].folder || !*folders[f].folder) continue;
        SettledFolder folder{&folders[f], folders[f].folder, ""};
        while (folder.path.size() > 1 && folder.path.back() == '/') folder.path.pop_back();
        if (!fs.resolvePath(folder.path.c_str(), &folder.resolved)) continue;  // none yet: nothing to settle
        std::string base;
        const std::string namedFrom = folder.path[0] == '/' ? FolderOf(folder.path) : ".";
        if (fs.resolvePath(namedFrom.c_str(), &base) && Inside(folder.resolved, base)) {
            usable.push_back(std::move(folder));
            continue;
        }
        Report(Shown(folder.path) + " is not settled: a symbolic link leads it out to " + Shown(folder.resolved));
    }
    return usable;
}

// Why a file a record names is not one the settling may touch, or "" when
// it is: then its path is spelled from the folder it stands in, as given,
// and its place is set.
std::string Refusal(RecordedFile* file, const std::vector<SettledFolder>& folders) {
    const std::string& path = file->path;
    if (file->size > kMaxDurableFileBytes) return "is larger than a durable file may be";
    if (path.empty() || path[0] == '/') return "is not a relative path";
    if (std::any_of(path.begin(), path.end(), [](char c) { return uint8_t(c) < 0x20; }))
        return "holds a control character";
    if (path == ".." || path.starts_with("../") || path.ends_with("/..") || path.find("/../") != std::string::npos)
        return "climbs out of its folder with \"..\"";
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string resolved;
    if (!platform::Files().resolvePath(slash == std::string::npos ? "." : path.substr(0, slash).c_str(), &resolved))
        return "is not in a folder that exists";
    for (const SettledFolder& folder : folders) {
        if (folder.resolved != resolved || !IsStoredName(*folder.given, name)) continue;
        const std::string inFolder = Joined(folder.path, name);
        if (LeadsOut(inFolder, resolved) || LeadsOut(TemporaryOf(inFolder), resolved))
            return "is, or has a temporary that is, a symbolic link to a file elsewhere";
        file->path = inFolder;
        file->place = Joined(resolved, name);
        return "";
    }
    return "is not a name stored directly in one of the folders";
}

// Whether the settling may act on every file of the record found at
// recordPlace (the host's path): each one a stored name in the folders,
// none twice, and the first the one the record is named after. Their paths
// are then spelled from the folders; otherwise why is set.
bool MayActOn(std::vector<RecordedFile>* files, const std::string& recordPlace,
              const std::vector<SettledFolder>& folders, std::string* why) {
    std::set<std::string> places;
    for (RecordedFile& file : *files) {
        const std::string named = Shown(file.path);
        const std::string refusal = Refusal(&file, folders);
        if (!refusal.empty()) *why = "it names " + named + ", which " + refusal;
        else if (!places.insert(file.place).second) *why = "it names " + named + " twice";
        else if (places.size() == 1 && file.place + kRecordSuffix != recordPlace)
            *why = "its first file " + named + " is not the one it is named after";
        if (!why->empty()) return false;
    }
    return true;
}

enum class Settled { Finished, Nothing, Failed, Stopped };

// Settles the commit record of that name found in folder at start-up:
// finishes its set, drops a record cut short, or refuses one that names
// files the settling may not touch. Temporary files that must stay for the
// next start go to keep, as the host's paths. Stopped when the test seam
// ended the run there.
Settled SettleRecord(const SettledFolder& folder, const std::string& name, const std::vector<SettledFolder>& folders,
                     std::set<std::string>* keep) {
    const platform::FileSystemBackend& fs = platform::Files();
    const std::string record = Joined(folder.path, name), shown = Shown(record);
    // Drops the record, leaving every file it names as it is.
    auto drop = [&](const std::string& line) {
        if (StopsHere(DurableStep::RemoveRecord, record)) return Settled::Stopped;
        fs.removeFile(record.c_str());
        if (line.empty()) return Settled::Nothing;
        Report(line);
        return Settled::Failed;
    };
    if (LeadsOut(record, folder.resolved))
        return drop(shown + " is refused and removed: it is a symbolic link to a file elsewhere");
    std::string text;
    if (!ReadWholeHostFile(record.c_str(), kMaxRecordBytes, &text)) {
        Report(shown + " cannot be read; its set is left as it is");
        return Settled::Failed;
    }
    if (!IsOurRecord(text)) return Settled::Nothing;  // not a record of ours: left alone
    std::vector<RecordedFile> files;
    if (!ParseRecord(text, &files)) {
        WriteLogFormat("Removed %s, the record of a set whose store was cut short: its files keep their previous copies",
                       record.c_str());
        return drop("");
    }
    std::string why;
    if (!MayActOn(&files, Joined(folder.resolved, name), folders, &why))
        return drop(shown + " is refused and removed, nothing of its set renamed: " + why);
    std::vector<const RecordedFile*> toRename;
    for (const RecordedFile& file : files) {
        if (HoldsBytes(TemporaryOf(file.path), file)) {
            toRename.push_back(&file);
        } else if (!HoldsBytes(file.path, file)) {
            // Not left by a kill (every temporary was on the disk before the
            // record): the files were changed since. Nothing is renamed.
            return drop("The set of " + shown + " cannot be finished: " + file.path +
                        " holds neither its new copy nor a whole temporary; its files are left as they are");
        }
    }
    bool renamed = true;
    std::vector<std::string> paths;
    for (const RecordedFile* file : toRename) {
        if (StopsHere(DurableStep::Rename, file->path)) return Settled::Stopped;
        paths.push_back(file->path);
        if (fs.renameOver(TemporaryOf(file->path).c_str(), file->path.c_str())) continue;
        Report("The set of " + shown + " is not finished: " + file->path + " cannot be replaced (" + HostReason() +
               "); the next start tries again");
        keep->insert(TemporaryOf(file->place));
        renamed = false;
    }
    for (const std::string& path : OnePathPerFolder(paths)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return Settled::Stopped;
        fs.syncFolderOf(path.c_str());
    }
    if (!renamed) return Settled::Failed;
    if (StopsHere(DurableStep::RemoveRecord, record)) return Settled::Stopped;
    fs.removeFile(record.c_str());
    WriteLogFormat("Finished storing the %zu files of %s, cut short when the program last ended", files.size(),
                   record.c_str());
    return Settled::Finished;
}

// The names in the folder that end in suffix and are a stored name before
// it, in order.
std::vector<std::string> StoredNamesIn(const SettledFolder& folder, const char* suffix) {
    std::vector<platform::HostDirEntry> entries;
    std::vector<std::string> names;
    if (!platform::Files().listDirectory(folder.path.c_str(), &entries)) return names;
    for (const platform::HostDirEntry& e : entries) {
        if (e.isDirectory || !EndsWith(e.name, suffix)) continue;
        if (IsStoredName(*folder.given, e.name.substr(0, e.name.size() - std::strlen(suffix)))) names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

void SetDurableStepHook(DurableStepHook hook) { State().hook = std::move(hook); }

const char* GetDurableWriteError() { return LastError().c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    LastError().clear();
    if (!path || !*path || (size > 0 && !bytes)) {
        LastError() = "no path or no bytes";
        return WriteLogText("WriteFileDurably: no path or no bytes");
    }
    std::string temporary = TemporaryOf(path);
    using Step = platform::DurableWriteStep;
    const Step failed = platform::Files().replaceDurably(path, temporary.c_str(), bytes, size);
    if (failed == Step::Done) return 0;
    const std::string host = HostReason();
    switch (failed) {
    case Step::CreateTemporary: LastError() = "creating " + temporary + ": " + host; break;
    case Step::WriteTemporary: LastError() = "writing " + temporary + ": " + host; break;
    case Step::SyncTemporary: LastError() = "flushing " + temporary + " to the disk: " + host; break;
    case Step::Rename: LastError() = "renaming " + temporary + " over " + path + ": " + host; break;
    case Step::SyncFolder:
        LastError() = std::string("flushing the folder of ") + path + ": " + host;
        return WriteLogFormat("%s was written, but its folder could not be flushed (%s): a power cut may bring back "
                              "the previous copy", path, host.c_str());
    case Step::Done: break;
    }
    return WriteLogFormat("%s is kept as it was: %s", path, LastError().c_str());
}

int WriteFileSetDurably(const DurableFile* files, size_t count) {
    LastError().clear();
    if (!ValidSet(files, count)) {
        LastError() = "a file without a path or without bytes, named twice, or larger than a durable file may be";
        return WriteLogFormat("WriteFileSetDurably: %s", LastError().c_str());
    }
    if (count == 0) return 0;
    const platform::FileSystemBackend& fs = platform::Files();
    std::vector<std::string> paths, temporaries;
    for (size_t i = 0; i < count; ++i) {
        paths.push_back(files[i].path);
        temporaries.push_back(TemporaryOf(paths[i]));
    }
    const std::string record = paths[0] + kRecordSuffix;
    // Gives up before the record is stored: every temporary goes, every
    // file keeps its previous copy.
    auto abandon = [&](size_t written, const std::string& reason, const char* path) {
        for (size_t k = 0; k < written; ++k) fs.removeFile(temporaries[k].c_str());
        fs.removeFile(record.c_str());
        return Fail(reason, "%s was not stored (%s); it and the %zu other files of its set keep their previous copies",
                    path, count - 1);
    };

    for (size_t i = 0; i < count; ++i) {
        if (StopsHere(DurableStep::WriteTemporary, temporaries[i], files[i].bytes, files[i].size)) return -1;
        if (fs.writeFlushed(temporaries[i].c_str(), files[i].bytes, files[i].size) != platform::DurableWriteStep::Done)
            return abandon(i, "writing " + temporaries[i] + ": " + HostReason(), paths[i].c_str());
    }
    // The temporaries' names on the disk before the record that counts on them.
    std::vector<std::string> everyFile = paths;
    everyFile.push_back(record);
    for (const std::string& path : OnePathPerFolder(everyFile)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return -1;
        if (!fs.syncFolderOf(path.c_str()))
            return abandon(count, "flushing the folder " + FolderOf(path) + ": " + HostReason(), paths[0].c_str());
    }
    const std::string text = RecordText(files, count);
    if (StopsHere(DurableStep::WriteRecord, record, text.data(), text.size())) return -1;
    if (fs.writeFlushed(record.c_str(), text.data(), text.size()) != platform::DurableWriteStep::Done)
        return abandon(count, "writing " + record + ": " + HostReason(), paths[0].c_str());
    if (StopsHere(DurableStep::SyncFolder, FolderOf(record))) return -1;
    if (!fs.syncFolderOf(record.c_str()))
        return abandon(count, "flushing the folder " + FolderOf(record) + ": " + HostReason(), paths[0].c_str());

    // Stored: from here on a kill leaves the set for the next start to finish.
    int result = 0;
    for (size_t i = 0; i < count; ++i) {
        if (StopsHere(DurableStep::Rename, paths[i])) return -1;
        if (fs.renameOver(temporaries[i].c_str(), paths[i].c_str())) continue;
        result = Fail("renaming " + temporaries[i] + ": " + HostReason(),
                      "Cannot replace %s (%s): the %zu other files of its set are replaced, and the next start "
                      "finishes it",
                      paths[i].c_str(), count - 1);
    }
    for (const std::string& path : OnePathPerFolder(paths)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return -1;
        if (fs.syncFolderOf(path.c_str())) continue;
        result = Fail("flushing the folder " + FolderOf(path) + ": " + HostReason(),
                      "%s was written, but its folder could not be flushed (%s): the next start checks the %zu "
                      "other files of its set",
                      path.c_str(), count - 1);
    }
    if (result != 0) return result;  // the record stays for the next start
    if (StopsHere(DurableStep::RemoveRecord, record)) return -1;
    fs.removeFile(record.c_str());
    return 0;
}

int FinishInterruptedWrites(const DurableFolder* folders, size_t count) {
    LastError().clear();
    if (count > 0 && !folders) return 0;
    const std::vector<SettledFolder> settled = FoldersToSettle(folders, count);
    int finished = 0;
    std::set<std::string> keep;  // temporaries of sets the next start must finish
    std::set<std::string> seen;  // records, once each where two folders are one
    for (const SettledFolder& folder : settled) {
        for (const std::string& record : StoredNamesIn(folder, kRecordSuffix)) {
            if (!seen.insert(Joined(folder.resolved, record)).second) continue;
            const Settled result = SettleRecord(folder, record, settled, &keep);
            if (result == Settled::Stopped) return finished;
            finished += result == Settled::Finished;
        }
    }
    for (const SettledFolder& folder : settled) {
        for (const std::string& temporary : StoredNamesIn(folder, kTemporarySuffix)) {
            if (keep.count(Joined(folder.resolved, temporary))) continue;
            const std::string path = Joined(folder.path, temporary);
            if (StopsHere(DurableStep::RemoveTemporary, path)) return finished;
            RemoveUnfinishedWrite(path.substr(0, path.size() - std::strlen(kTemporarySuffix)).c_str());
        }
    }
    return finished;
}

int RemoveUnfinishedWrite(const char* path) {
    if (!path || !*path) return 0;
    std::string temporary = TemporaryOf(path);
    if (!platform::Files().removeFile(temporary.c_str())) return 0;
    WriteLogFormat("Removed %s, left by a write that was cut short", temporary.c_str());
    return 1;
}
