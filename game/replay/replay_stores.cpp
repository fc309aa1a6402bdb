// The game's durable stores as one description for the store and the
// start-up (the replay folders and the save's, the largest set a record
// of a time-attack run makes), and what the player hears of a store that
// start-up could not settle.
#include "engine/files.h"
#include "game/data/game_files.h"
#include "game/data/player_notice.h"
#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/replay/replay_format.h"
#include "game/replay/replay_streams.h"
#include "game/savedata.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace replay {

namespace {

// The file's name in a path of the engine's ('\\') or of the host's ('/').
std::string NameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// Whether name is one the replay store writes in the folder of mode's
// replays: the numbers are read from the name, are ones the store writes,
// and the name the store makes of them must be the same.
bool IsStoredReplayName(const char* name, int mode) {
    // Numbers of the store's are short: a longer one is no name of it, and
    // is not read into an int.
    for (const char* at = name; *at; ++at)
        if (std::strspn(at, "0123456789") > 9) return false;
    int stage = 0, player = 0, type = 0;
    char word[16] = {};
    if (std::sscanf(name, "t%d_%15[a-z]", &stage, word) != 2 || stage < 0 || stage >= SaveData::kStageCount) return false;
    const bool demo = mode != gamemode::kTimeAttack;
    if (std::strcmp(word, "meta") == 0) {
        if (demo && (std::sscanf(name, "t%*d_metaType%d", &type) != 1 || type < 0)) return false;
        return name == NameOf(MetaFilePath(mode, stage, type));
    }
    const int found = demo ? std::sscanf(name, "t%*d_%*[a-z]State%dPType%d", &player, &type)
                           : std::sscanf(name, "t%*d_%*[a-z]State%dP", &player);
    if (found != (demo ? 2 : 1) || player < 0 || player >= kMaxMetaPlayers || type < 0) return false;
    for (int k = 0; k < kStreamCount; ++k)
        if (name == NameOf(StreamFilePath(mode, stage, player, type, Stream(k)))) return true;
    return false;
}

// What the player calls the set a problem concerns, from its first file: a
// replay set begins with its first stream.
std::string SubjectOf(const DurableProblem& problem) {
    int stage = -1;
    const bool isReplay = std::sscanf(NameOf(problem.record).c_str(), "t%d_", &stage) == 1;
    if (isReplay && std::strcmp(problem.folder, kDemoReplayFolder) == 0)
        return "the demo replay of stage " + std::to_string(stage);
    if (isReplay) return "the replay of stage " + std::to_string(stage);
    return NameOf(problem.record) == SaveData::kFileName ? "the save" : std::string("a store of ") + problem.record;
}

// What stays of a set the game gave up on: its files before the store,
// unless some were already replaced.
std::string WhatStays(const DurableProblem& problem) {
    if (problem.newFiles > 0)
        return std::to_string(problem.newFiles) + " of its " + std::to_string(problem.files) +
               " files are new, the others as before";
    std::error_code error;
    return std::filesystem::is_regular_file(problem.record, error) ? "the previous one is kept" : "there was none before";
}

// The file and the reason a problem names, as the player reads them.
std::string DetailOf(const DurableProblem& problem) {
    return std::string(problem.file) + (*problem.file ? " " : "") + problem.reason;
}

void SayProblem(const DurableProblem& problem) {
    const std::string subject = SubjectOf(problem), detail = DetailOf(problem);
    switch (problem.kind) {
    case kDurableRecordRefused:
        return ReportToPlayer("The record of unfinished stores %s was refused and removed (%s): nothing of it was put "
                              "in place", problem.record, detail.c_str());
    case kDurableSetNotFinished:
        return ReportToPlayer("The store of %s could not be finished (%s): %s; the game tries again at its next store "
                              "or start", subject.c_str(), detail.c_str(), WhatStays(problem).c_str());
    case kDurableSetDropped:
        return ReportToPlayer("The store of %s could never be finished (%s): %s", subject.c_str(), detail.c_str(),
                              WhatStays(problem).c_str());
    case kDurableRecordUnreadable:
        return ReportToPlayer("The record of unfinished stores %s cannot be read (%s): nothing is stored until it can "
                              "be, at the latest at the game's next start", problem.record, detail.c_str());
    case kDurableFolderNotSettled:
        return ReportToPlayer("Stores cut short in %s were not looked at (%s): they are finished once the folder can "
                              "be opened again, at the game's next start", *problem.folder ? problem.folder : ".",
                              detail.c_str());
    case kDurableWriteNotStored:
        return ReportToPlayer("The store of %s kept while another program stored in its folder was not made (%s): %s",
                              subject.c_str(), detail.c_str(), WhatStays(problem).c_str());
    default: return;
    }
}

}  // namespace

const DurableStore& GameStores() {
    static const DurableFolder folders[] = {
        {kUserReplayFolder, "t", [](const char* name) { return int(IsStoredReplayName(name, gamemode::kTimeAttack)); }},
        {kDemoReplayFolder, "t",
         [](const char* name) { return int(IsStoredReplayName(name, gamemode::kTimeAttackTable)); }},
        // In the working directory the save alone.
        {".", SaveData::kFileName, [](const char* name) { return int(std::strcmp(name, SaveData::kFileName) == 0); }}};
    // A record of a run: every stream of four players, the meta file and
    // the save; a stream stops where playback still reads it. The record of
    // unfinished stores stands beside the save, in the folder the engine's
    // double-start lock keeps to this copy of the game.
    static const DurableStore store{folders, std::size(folders), size_t(kMaxMetaPlayers * kStreamCount + 2),
                                    (kMaxMetaPlayers * kStreamCount + 1) * kMaxGameFileBytes +
                                        int64_t(SaveData::kFileSize),
                                    kStoresRecord};
    return store;
}

void TellDurableProblems() {
    DurableProblem problem;
    for (int i = 0; GetDurableProblem(i, &problem) == 0; ++i) SayProblem(problem);
}

int FinishInterruptedStores() {
    const int finished = FinishInterruptedWrites(&GameStores());
    TellDurableProblems();
    // A save linked to a file elsewhere is stored beside that file, outside
    // the stores: what a store of it cut short left there goes too. Should
    // that folder not be looked at now, the next store of the save says so.
    if (SaveData::FoundAt() == SaveData::Found::Link) FinishInterruptedWrite(SaveData::kFileName);
    return finished;
}

void StoreKeptWrites(int waitMilliseconds) {
    StoreDeferredWrites(waitMilliseconds);
    TellDurableProblems();
}

}  // namespace replay
