// What a durable write or settling could not do now because another
// program held a folder: the writes are kept, with copies of their bytes,
// and made by StoreDeferredWrites once the folder is free, in the order they
// were given; the settling is run again. Also the start-up's settling
// (FinishInterruptedWrites) and the problems both report.
#include "foundation/durable_settling.h"
#include "foundation/durable_write.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <set>
#include <thread>

namespace morpotta {

namespace {

struct KeptWrite {
    const DurableStore* store;  // null for a single write
    std::vector<std::string> paths, bytes;
};

std::deque<KeptWrite>& Kept() {
    static std::deque<KeptWrite> kept;
    return kept;
}

// Stores whose settling found a folder held.
std::vector<const DurableStore*>& ToSettle() {
    static std::vector<const DurableStore*> stores;
    return stores;
}

// Settles the store's record and the temporaries its runs left, as far as
// no folder is held: false when a held folder leaves some of it for later.
bool Settle(const DurableStore& store, int* finished) {
    DurableFolders folders;
    const std::string recordFolder = FolderAndName(store.record).first;
    const int folder = folders.Take(recordFolder);
    if (folder < 0) {
        if (errno == EWOULDBLOCK) return false;
        if (errno == ENOENT) return true;  // nothing was ever stored there
        ReportDurableProblem({kDurableFolderNotSettled, Cleaned(recordFolder), "", "",
                              "the folder of " + Cleaned(store.record) + " " + folders.Why(recordFolder)});
        return true;
    }
    const SettledRecord settled = SettleRecord(store, folders, folder);
    *finished += settled.finished;
    // A record that cannot be read now may count on any temporary.
    if (!settled.stopped && settled.readable) SweepTemporaries(store, folders, folder, settled.pending);
    return !settled.held && !folders.AnyHeld();
}

int MakeKeptWrite(const KeptWrite& write) {
    std::vector<FileToStore> files;
    for (size_t i = 0; i < write.paths.size(); ++i)
        files.push_back({write.paths[i], write.bytes[i].data(), write.bytes[i].size()});
    return write.store ? StoreSetNow(*write.store, files) : StoreFileNow(files[0]);
}

void ReportNotStored(const KeptWrite& write, const std::string& reason) {
    const std::string folder = write.store ? GivenFolder(FolderAndName(write.paths[0]).first.c_str()) : "";
    ReportDurableProblem({kDurableWriteNotStored, Cleaned(folder), Cleaned(write.paths[0]), "", reason, 0,
                          int(write.paths.size())});
}

// One pass: the settlings and kept writes whose folders are free now.
void StoreWhatIsFree() {
    std::vector<const DurableStore*>& stores = ToSettle();
    int finished = 0;
    stores.erase(std::remove_if(stores.begin(), stores.end(), [&](const DurableStore* s) { return Settle(*s, &finished); }),
                 stores.end());
    std::set<std::string> waiting;  // paths of earlier writes still kept: a later one of them waits its turn
    for (auto at = Kept().begin(); at != Kept().end();) {
        const bool behind = std::any_of(at->paths.begin(), at->paths.end(), [&](const std::string& p) { return waiting.count(p); });
        const int result = behind ? kDurableDeferred : MakeKeptWrite(*at);
        if (result == kDurableDeferred) {
            waiting.insert(at->paths.begin(), at->paths.end());
            ++at;
            continue;
        }
        if (result == -1) ReportNotStored(*at, GetDurableWriteError());
        at = Kept().erase(at);
    }
}

}  // namespace

void KeepWrite(const DurableStore* store, const std::vector<FileToStore>& files) {
    KeptWrite write{store, {}, {}};
    for (const FileToStore& file : files) {
        write.paths.push_back(file.path);
        write.bytes.emplace_back(static_cast<const char*>(file.bytes), file.size);
    }
    Kept().push_back(std::move(write));
}

void TakeOutOfKeptWrites(const std::vector<FileToStore>& files) {
    for (KeptWrite& write : Kept()) {
        for (const FileToStore& file : files) {
            const auto at = std::find(write.paths.begin(), write.paths.end(), file.path);
            if (at == write.paths.end()) continue;
            write.bytes.erase(write.bytes.begin() + (at - write.paths.begin()));
            write.paths.erase(at);
        }
    }
    std::erase_if(Kept(), [](const KeptWrite& write) { return write.paths.empty(); });
}

void SettleAgainLater(const DurableStore& store) {
    if (std::find(ToSettle().begin(), ToSettle().end(), &store) == ToSettle().end()) ToSettle().push_back(&store);
}

}  // namespace morpotta

using namespace morpotta;

int StoreDeferredWrites(int waitMilliseconds) {
    DurableProblems().clear();
    // A real wait, whatever clock the program runs on: the holder is another process.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMilliseconds, 0));
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(DurableMutex());
            StoreWhatIsFree();
            if ((Kept().empty() && ToSettle().empty()) || waitMilliseconds <= 0) return int(Kept().size());
            if (std::chrono::steady_clock::now() >= end) {
                // The last call: what is still held is given up on.
                for (const KeptWrite& write : Kept()) ReportNotStored(write, "its folder is held by another program");
                for (const DurableStore* store : ToSettle())
                    ReportDurableProblem({kDurableFolderNotSettled, "", Cleaned(store->record), "",
                                          "a folder of its store is held by another program"});
                Kept().clear();
                ToSettle().clear();
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int FinishInterruptedWrites(const DurableStore* store) {
    DurableProblems().clear();
    if (!store || (store->folderCount > 0 && !store->folders) || !store->record || !*store->record) return 0;
    const std::lock_guard<std::mutex> lock(DurableMutex());
    int finished = 0;
    if (!Settle(*store, &finished)) SettleAgainLater(*store);
    return finished;
}

int GetDurableProblemCount() { return int(DurableProblems().size()); }

int GetDurableProblem(int index, DurableProblem* out) {
    const std::vector<SettlingProblem>& problems = DurableProblems();
    if (index < 0 || size_t(index) >= problems.size() || !out) return -1;
    const SettlingProblem& p = problems[size_t(index)];
    *out = {p.kind, p.folder.c_str(), p.record.c_str(), p.file.c_str(), p.reason.c_str(), p.newFiles, p.files};
    return 0;
}
