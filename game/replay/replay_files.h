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
// that holds its best time, is kept whole or not at all, across a crash
// too: every file goes to a temporary name, flushed, then the set's record
// is written in each of its folders, and only then are they renamed into
// place (WriteFileSetDurably); the next run that uses those folders
// finishes a set that stood and drops one that never did
// (FinishInterruptedStores).
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
// folder of the save first (the working directory, or where a symbolic link
// at the save's name leads: a save moved into a synchronised folder and
// linked back), then the folder of the player's replays or, for demo
// replays (recorded in mode 10 only), the content's; the names the game
// writes in each, and the largest set (every stream of four players, the
// meta file and the save). Each folder is used by one running copy of the
// game at a time. The save's folder comes first: it is where a set that
// holds the save is committed, so a copy that reads that save can always
// tell whether the set stood.
const DurableStore& GameStores(bool demoReplays = false);
// The save's path as the stores name it: its name in the folder it stands in.
std::string SavePathInStores();

// Takes the game's folders and settles the stores a kill or a crash cut
// short in them, this copy's or another's that shares a folder: a set
// whose record stood is finished, any other dropped. Call it at start-up,
// before the save is read. Each store that could not be settled is told to
// the player, in the game's words. False, with a line on standard error,
// when another copy of the game uses one of those folders now.
bool FinishInterruptedStores();
// Tells the player, in the game's words, what the last durable call could
// not settle.
void TellDurableProblems();

}  // namespace replay
