// The game's durable stores as one description for the store and the
// start-up (the replay folders and the save's, the largest set a record
// of a time-attack run makes), and what the player hears of a store that
// could not be settled.
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

// What the player calls the store a problem concerns, from the set's name:
// a replay set is named after a replay file, or after the save when that is
// its only file in the game's folders; a set none of whose files is there
// after its record.
std::string StoreOf(const DurableProblem& problem) {
    const std::string name = NameOf(problem.set);
    int stage = -1;
    if (std::sscanf(name.c_str(), "t%d_", &stage) == 1 && std::strcmp(problem.folder, kDemoReplayFolder) == 0)
        return "The store of the demo replay of stage " + std::to_string(stage);
    if (stage >= 0) return "The store of the replay of stage " + std::to_string(stage);
    if (name == SaveData::kFileName) return "The store of a replay with the save";
    return std::string("The store recorded in ") + problem.set;
}

// What the files of the set hold, as the player hears it.
std::string FilesHeld(const DurableProblem& problem, const char* where) {
    const int newOnes = problem.newFiles, others = problem.files - problem.newFiles;
    if (newOnes == 0) return std::string("its files") + where + " are as before";
    if (others <= 0) return std::string("its files") + where + " are new";
    return std::to_string(newOnes) + " of its " + std::to_string(problem.files) + " files" + where +
           (newOnes == 1 ? " is" : " are") + " new, " + (others == 1 ? "the other" : "the others") + " as before";
}

void SayProblem(const DurableProblem& problem) {
    const std::string store = StoreOf(problem);
    const std::string detail = std::string(problem.file) + (*problem.file ? " " : "") + problem.reason;
    const std::string held = FilesHeld(problem, "");
    // Said once a run: every store and start settles again, and finds it again.
    const std::string once = std::to_string(problem.kind) + problem.set + detail;
    switch (problem.kind) {
    case kDurableRecordUnusable: {
        // Another version's record is that version's to finish; any other
        // (damaged, unreadable, another user's, or one of a folder copied or
        // mounted again) only its removal lets go.
        if (std::strstr(problem.reason, "another version"))
            return ReportToPlayerOnce(once.c_str(), "%s is left as it is (%s): start that version of the game once to "
                                      "finish its store, or remove the file to keep the files as they are",
                                      problem.set, problem.reason);
        const std::string here = problem.files > 0 ? "; " + FilesHeld(problem, " here") : "";
        return ReportToPlayerOnce(once.c_str(), "%s is left as it is (%s%s): remove it (as the user who owns it, when "
                                  "that is another) to keep the files as they are", problem.set, problem.reason,
                                  here.c_str());
    }
    case kDurableSetNotFinished:
        return ReportToPlayerOnce(once.c_str(), "%s could not be finished (%s): %s; the game tries again at its next "
                                  "store or start", store.c_str(), detail.c_str(), held.c_str());
    case kDurableSetDropped:
        return ReportToPlayerOnce(once.c_str(), "%s could never be finished (%s): %s", store.c_str(), detail.c_str(),
                                  held.c_str());
    case kDurableSetWaitsElsewhere:
        return ReportToPlayerOnce(once.c_str(), "%s waits for a folder this copy of the game does not use (the save's "
                                  "folder of the copy that stored it, or one gone): %s. That copy finishes it when it "
                                  "starts; if there is none, remove %s to keep the files as they are", store.c_str(),
                                  FilesHeld(problem, " here").c_str(), problem.file);
    case kDurableFolderUnavailable:
        return ReportToPlayerOnce(once.c_str(), "%s: %s", problem.folder, problem.reason);
    default: return;
    }
}

// The folder the save stands in, as the stores name it: where a symbolic
// link at its name to a file of that name leads, else the working directory.
std::string SaveFolder() {
    std::error_code error;
    if (SaveData::FoundAt() != SaveData::Found::Link) return ".";
    const std::filesystem::path target = std::filesystem::canonical(SaveData::kFileName, error);
    return error ? "." : target.parent_path().string();
}

}  // namespace

const DurableStore& GameStores(bool demoReplays) {
    // The save's folder is found again at every call: the player may link
    // the save elsewhere while the game runs.
    static std::string saveFolder;
    saveFolder = SaveFolder();
    const auto isSave = [](const char* name) { return int(std::strcmp(name, SaveData::kFileName) == 0); };
    static DurableFolder folders[2][2] = {
        {{".", SaveData::kFileName, isSave},
         {kUserReplayFolder, "t", [](const char* name) { return int(IsStoredReplayName(name, gamemode::kTimeAttack)); }}},
        {{".", SaveData::kFileName, isSave},
         {kDemoReplayFolder, "t",
          [](const char* name) { return int(IsStoredReplayName(name, gamemode::kTimeAttackTable)); }}}};
    for (DurableFolder* store : folders) store[0].folder = saveFolder.c_str();
    // A record of a run: every stream of four players, the meta file and
    // the save; a stream stops where playback still reads it.
    constexpr size_t kFiles = kMaxMetaPlayers * kStreamCount + 2;
    constexpr int64_t kBytes = (kMaxMetaPlayers * kStreamCount + 1) * kMaxGameFileBytes + int64_t(SaveData::kFileSize);
    static const DurableStore stores[] = {{folders[0], 2, kFiles, kBytes}, {folders[1], 2, kFiles, kBytes}};
    return stores[demoReplays ? 1 : 0];
}

std::string SavePathInStores() {
    const std::string folder = GameStores().folders[0].folder;
    return folder == "." ? SaveData::kFileName : folder + "/" + SaveData::kFileName;
}

void TellDurableProblems() {
    DurableProblem problem;
    for (int i = 0; i < GetDurableProblemCount(); ++i)
        if (GetDurableProblem(i, &problem) == 0) SayProblem(problem);
}

bool FinishInterruptedStores() {
    if (FinishInterruptedWrites(&GameStores()) < 0) {
        ReportToPlayer("cannot start: %s, another copy of the game", GetDurableWriteError());
        return false;
    }
    TellDurableProblems();
    return true;
}

}  // namespace replay
