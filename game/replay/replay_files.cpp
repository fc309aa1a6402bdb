#include "game/replay/replay_files.h"

#include "engine/files.h"
#include "engine/log.h"
#include "game/data/game_files.h"
#include "game/data/player_notice.h"
#include "game/play/game_modes.h"
#include "game/replay/replay_format.h"
#include "game/replay/stage_streams.h"
#include "game/savedata.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace replay {

namespace {

bool IsDemo(int mode) {
    return mode == gamemode::kTimeAttackTable || mode == gamemode::kReplayDemo || mode == gamemode::kAttractDemo;
}

// The folder of mode's replays as the host names it.
const char* HostFolder(int mode) { return IsDemo(mode) ? kDemoReplayFolder : kUserReplayFolder; }

// The engine's form of the folder ('\\' separated).
std::string EngineFolder(int mode) {
    std::string folder = HostFolder(mode);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

// The C library's form of an engine path below the working directory.
std::string HostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// What a store that failed leaves of the replay and of the save that
// joined it: the ones stored before, when there were any.
std::string WhatIsKept(bool hadReplay, bool withSave, bool hadSave) {
    if (!withSave) return hadReplay ? "the replay stored before is kept" : "there was no replay of it before";
    if (hadReplay && hadSave) return "the replay and the save stored before are kept";
    if (hadReplay) return "the replay stored before is kept; there was no save before";
    return hadSave ? "there was no replay of it before; the save stored before is kept"
                   : "there was no replay of it nor a save before";
}

}  // namespace

std::string StreamFilePath(int mode, int stageNumber, int player, int type, Stream stream) {
    char name[160];
    const std::string folder = EngineFolder(mode);
    if (IsDemo(mode))
        std::snprintf(name, sizeof name, "%s\\t%d_%sState%dPType%d.dat", folder.c_str(), stageNumber,
                      StreamWord(stream), player, type);
    else
        std::snprintf(name, sizeof name, "%s\\t%d_%sState%dP.dat", folder.c_str(), stageNumber, StreamWord(stream),
                      player);
    return name;
}

std::string MetaFilePath(int mode, int stageNumber, int type) {
    char name[96];
    const std::string folder = EngineFolder(mode);
    if (IsDemo(mode))
        std::snprintf(name, sizeof name, "%s\\t%d_metaType%d.dat", folder.c_str(), stageNumber, type);
    else
        std::snprintf(name, sizeof name, "%s\\t%d_meta.dat", folder.c_str(), stageNumber);
    return name;
}

std::vector<PlayerStreams> ReadStreamFiles(int mode, int stageNumber, const std::vector<int32_t>& playerKinds) {
    std::vector<PlayerStreams> players(playerKinds.size());
    std::string text;
    for (size_t p = 0; p < players.size(); ++p) {
        std::vector<std::string> missing;
        for (int k = 0; k < kStreamCount; ++k) {
            const Stream stream = Stream(k);
            const std::string path = StreamFilePath(mode, stageNumber, int(p), playerKinds[p], stream);
            if (!ReadGameFile(path.c_str(), &text)) {
                missing.push_back(path);
                continue;
            }
            const ParseReport report = ParseStoredText(text, stream, &players[p]);
            if (report.badLines > 0)
                ReportContentFault(path.c_str(),
                                   "is damaged (%d of its lines cannot be played, the first line %d): the replay goes "
                                   "on without them",
                                   report.badLines, report.firstBadLine);
        }
        // One line for the replay's missing files, named by the first.
        if (missing.size() == 1)
            ReportContentFault(missing.front().c_str(), "is missing: its input stays at rest in the replay");
        else if (!missing.empty())
            ReportContentFault(missing.front().c_str(), "is missing, with %zu other stream files of its replay: their "
                               "input stays at rest in the replay", missing.size() - 1);
    }
    return players;
}

bool ReplayFiles::ReadUserMeta(int stageNumber, std::vector<int32_t>* deviceTypes) {
    deviceTypes->clear();
    const std::string path = MetaFilePath(gamemode::kReplayUser, stageNumber, 0);
    std::string text, why;
    if (!ReadGameFile(path.c_str(), &text)) return false;
    if (ParseMeta(text, deviceTypes, &why)) return true;
    ReportContentFault(path.c_str(), "is damaged (%s): the replay cannot be played, and play goes back to the title",
                       why.c_str());
    deviceTypes->clear();
    return false;
}

std::unique_ptr<ReplayStreams> ReplayFiles::OpenStreams(int mode, int stageNumber,
                                                        const std::vector<int32_t>& playerKinds) {
    if (mode == gamemode::kTimeAttack || mode == gamemode::kTimeAttackTable)
        return StageStreams::ForRecording(playerKinds);
    if (IsReplayMode(mode))
        return StageStreams::ForPlayback(playerKinds, ReadStreamFiles(mode, stageNumber, playerKinds));
    return nullptr;
}

bool ReplayFiles::SaveStreams(const StoredReplay& stored, int mode, int stageNumber, const SaveData* withSave) {
    const std::vector<int32_t>& kinds = stored.playerKinds;
    if (mode != gamemode::kTimeAttack && mode != gamemode::kTimeAttackTable) {
        WriteLogFormat("Replay of stage %d: mode %d stores no replay", stageNumber, mode);
        return false;
    }
    if (kinds.empty() || kinds.size() > size_t(kMaxMetaPlayers) || stored.text.size() != kinds.size()) {
        WriteLogFormat("Replay of stage %d: %zu players cannot be stored", stageNumber, kinds.size());
        return false;
    }
    const std::string folder = HostFolder(mode);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        ReportToPlayer("Replay of stage %d was not stored: the folder %s cannot be made (%s)%s", stageNumber,
                       folder.c_str(), error.message().c_str(), withSave ? ", nor its best time in the save" : "");
        return false;
    }

    // Every stream of every player in order, then the meta file.
    std::vector<std::string> paths, texts;
    for (size_t p = 0; p < kinds.size(); ++p) {
        for (int k = 0; k < kStreamCount; ++k) {
            paths.push_back(HostPath(StreamFilePath(mode, stageNumber, int(p), kinds[p], Stream(k))));
            texts.push_back(stored.text[p][size_t(k)]);
        }
    }
    paths.push_back(HostPath(MetaFilePath(mode, stageNumber, kinds[0])));
    texts.push_back(MetaText(kinds));
    const SaveData::Found save = SaveData::FoundAt();
    const bool saveInSet = withSave && SaveData::JoinsStores(save);
    const bool hadReplay = std::filesystem::exists(paths.back(), error);
    const bool hadSave = save == SaveData::Found::File || save == SaveData::Found::Link;
    if (saveInSet) {
        uint8_t bytes[SaveData::kFileSize];
        SaveData::Serialize(*withSave, bytes);
        paths.push_back(SavePathInStores());
        texts.push_back(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
    }
    std::vector<DurableFile> files;
    for (size_t i = 0; i < paths.size(); ++i) files.push_back({paths[i].c_str(), texts[i].data(), texts[i].size()});
    const int result = WriteFileSetDurably(&GameStores(IsDemo(mode)), files.data(), files.size());
    TellDurableProblems();
    if (result == kDurableStoredUnsettled) {
        const std::string with = saveInSet ? std::string(" with its best time in ") + SaveData::kFileName : "";
        const std::string subject = "replay " + std::string(GetDurableWriteError());
        ReportToPlayerOnce(subject.c_str(), "Replay of stage %d was stored%s, but not whole on the disk: %s",
                           stageNumber, with.c_str(), GetDurableWriteError());
    } else if (result != 0) {
        const std::string nor = saveInSet ? std::string(", nor its best time in ") + SaveData::kFileName : "";
        ReportToPlayer("Replay of stage %d was not stored%s (%s); %s", stageNumber, nor.c_str(), GetDurableWriteError(),
                       WhatIsKept(hadReplay, saveInSet, hadSave).c_str());
    }
    // Something no store replaces stands at the save's name: the save's
    // own store says so.
    if (withSave && !saveInSet) SaveData::Store(*withSave);
    // A set stored but not whole stands: the next store or start finishes it.
    return result == 0 || result == kDurableStoredUnsettled;
}

}  // namespace replay
