// Resolving engine paths against the host file system. The game spells one
// folder in several letter cases, and the host is case-sensitive, so each
// component that does not exist as written is looked up in its parent
// directory ignoring ASCII case (UTF-8 keeps every byte of a multibyte
// character above 0x7F, so ASCII folding never touches one).
#include "foundation/host_path.h"

#include "engine/log.h"
#include "engine/text.h"
#include "foundation/ascii_fold.h"
#include "foundation/public_call.h"

#include <algorithm>

namespace morpotta {

namespace {

bool EqualUtf8IgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                               [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// The entry of directory whose name matches name ignoring case; the first
// in byte order when several do, so the choice is repeatable.
bool FindIgnoringCase(const std::string& directory, const std::string& name, std::string* found) {
    std::vector<platform::HostDirEntry> entries;
    if (!platform::Files().listDirectory(directory.c_str(), &entries)) return false;
    bool any = false;
    for (const auto& e : entries) {
        if (!EqualUtf8IgnoreCase(e.name, name)) continue;
        if (!any || e.name < *found) *found = e.name;
        any = true;
    }
    return any;
}

}  // namespace

int ResolveHostPath(const EnginePath& path, std::string* hostPath, platform::HostFileInfo* info) {
    // A drive letter has no meaning on this host: it names the root. Shares
    // cannot be reached.
    if (path.prefix.size() > 2) return -1;
    std::vector<std::string> names;
    for (const auto& part : path.parts) {
        std::string utf8;
        if (!ConvertCp932ToUtf8(part, &utf8) || utf8.find('/') != std::string::npos) return -1;
        names.push_back(std::move(utf8));
    }
    std::string exact;
    for (const auto& n : names) exact.append(1, '/').append(n);
    if (exact.empty()) exact.assign(1, '/');
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo found;
    if (fs.stat(exact.c_str(), &found)) {
        if (hostPath) *hostPath = exact;
        if (info) *info = found;
        return 0;
    }
    std::string resolved;
    for (const auto& n : names) {
        std::string candidate = resolved;
        candidate.append(1, '/').append(n);
        if (!fs.stat(candidate.c_str(), nullptr)) {
            std::string match;
            if (!FindIgnoringCase(resolved.empty() ? "/" : resolved, n, &match)) return -1;
            candidate = resolved;
            candidate.append(1, '/').append(match);
        }
        resolved = std::move(candidate);
    }
    if (resolved.empty()) resolved.assign(1, '/');
    if (!fs.stat(resolved.c_str(), &found)) return -1;
    if (hostPath) *hostPath = resolved;
    if (info) *info = found;
    return 0;
}

int ResolveHostPathText(const char* enginePath, std::string* hostPath, platform::HostFileInfo* info) {
    EnginePath full;
    if (!enginePath || ParseFullPath(enginePath, nullptr, &full) != 0) return -1;
    return ResolveHostPath(full, hostPath, info);
}

int HostPathToEngine(const std::string& hostPath, std::string* enginePath) {
    std::string text;
    if (!ConvertUtf8ToCp932(hostPath, &text)) return -1;
    // Only single-byte slashes are separators; a trail byte stays as it is.
    for (const char* p = text.c_str(); *p; p = NextCharInText(p))
        if (*p == '/') text[size_t(p - text.c_str())] = '\\';
    *enginePath = std::move(text);
    return 0;
}

int GetEngineCurrentDirectory(std::string* out) {
    std::string host;
    if (!out || !platform::Files().getCurrentDirectory(&host)) return Refuse("the current folder cannot be found");
    if (HostPathToEngine(host, out) != 0) return Refuse("the current folder's name is not in code page 932");
    return 0;
}

}  // namespace morpotta
