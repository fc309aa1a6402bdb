// The replay files: the user's own time-attack records under "replay\" in
// the working directory, and the built-in demo replays under
// "tpa\d_replay\" (read through the engine's file functions, so they may
// sit in a resource archive):
//     replay\t<stage>_<kind>State<player>P.dat       replay\t<stage>_meta.dat
//     tpa\d_replay\t<stage>_<kind>State<player>PType<type>.dat
//     tpa\d_replay\t<stage>_metaType<type>.dat
// with <kind> one of in, action, slope, analog, mouse, keyboard, players
// counted from 0, and <type> the device type of that player (of the first
// player for the meta file). Text forms: game/replay/replay_format.h.
//
// ReplayFiles is the replay source the stages use: register one with
// SetReplaySource (the game does at start-up). A stored set, with the save
// that holds its best time when that joins it, is kept whole or not at
// all, across a crash too: every file goes to a temporary name, flushed,
// then a commit record names them, and only then are they renamed into
// place (WriteFileSetDurably); the next start finishes a set whose record
// was written and drops any other (FinishInterruptedStores). A save that is
// a symbolic link does not join the set (the start-up follows no link): it
// is stored on its own after the replay.
#pragma once
#include "game/play/replay_seam.h"
#include "game/replay/replay_streams.h"

#include <string>
#include <vector>

struct DurableStore;

namespace replay {

// The folders of the replay files below the working directory, as the host
// names them: the user's records and the built-in demo replays. The files'
// paths and the stores' description (GameStores) both take them from here,
// as the stores' rule places a file by its folder's spelling.
constexpr const char* kUserReplayFolder = "replay";
constexpr const char* kDemoReplayFolder = "tpa/d_replay";

std::string StreamFilePath(int mode, int stageNumber, int player, int type, Stream stream);
std::string MetaFilePath(int mode, int stageNumber, int type);

// The streams of players whose files are read (nothing is read into a
// stream whose file is missing: that stream stays at rest); the player is
// told once of a replay's missing files and of a file's skipped lines.
std::vector<PlayerStreams> ReadStreamFiles(int mode, int stageNumber, const std::vector<int32_t>& playerKinds);

class ReplayFiles : public ReplaySource {
public:
    bool ReadUserMeta(int stageNumber, std::vector<int32_t>* deviceTypes) override;
    std::unique_ptr<ReplayStreams> OpenStreams(int mode, int stageNumber,
                                               const std::vector<int32_t>& playerKinds) override;
    bool SaveStreams(const StoredReplay& stored, int mode, int stageNumber, const SaveData* withSave) override;
};

// The game's durable stores, for the store and the start-up alike: the
// replay folders and the working directory's save, the names the game
// writes in each, and the largest set (every stream of four players, the
// meta file and the save). The save is stored through it whenever it can
// be (SaveData::Store), so that every store settles first what an earlier
// one left.
const DurableStore& GameStores();
// The record of the stores' unfinished sets, in the working directory.
constexpr const char* kStoresRecord = "Stores.commit";

// Settles the stores a kill or a crash cut short, in the replay folders and
// of the save: a replay set (with its save) whose commit record is whole is
// finished, this copy's temporary files of any other store are removed (a
// save linked to a file elsewhere: beside that file). Call it at start-up,
// once the engine holds its double-start lock (the record is this copy's
// alone). Each store that could not be settled is told to the player, in
// the game's words. The number of sets finished: the save read before may
// be older than the one now in place.
int FinishInterruptedStores();
// Makes the stores kept while another program held a folder they write in
// (another copy of the game storing in a shared replay folder): with no
// wait once a frame, and with a wait once as the game ends. The player
// hears of a store only when it could not be made.
void StoreKeptWrites(int waitMilliseconds);
// Tells the player, in the game's words, what the last durable call could
// not settle or store.
void TellDurableProblems();

}  // namespace replay
