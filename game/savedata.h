// The player's persistent state: one fixed 992-byte little-endian record,
// stored byte for byte as "morpoCatSave.dat" in the working directory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct SaveData {
    static constexpr size_t kFileSize = 992;
    static constexpr int kStageCount = 100;
    static constexpr int kPlayerRows = 4;
    static constexpr int kNoTime = 99999999;
    static constexpr int kMaxScore = 99999999;
    static constexpr int kFirstFreeStage = 72;  // stages from here on are open from the start
    static constexpr const char* kFileName = "morpoCatSave.dat";

    int32_t saveId;
    int32_t keyRows[kPlayerRows][3];  // jump / decide, action / cancel, pause
    int32_t difficulty;                // 0 Easy, nonzero Hard
    uint8_t windowed;
    uint8_t padding0[3];
    int32_t drawPeriod;  // frames skipped between draws, 0..2
    uint8_t finalSetUnlocked;
    uint8_t soundTestUnlocked;
    uint8_t perfectClear;
    uint8_t padding1;
    int32_t highScore;
    int32_t extraHighScore;
    int32_t highScoreCat;
    int32_t extraHighScoreCat;
    int32_t highScoreCheck;
    int32_t extraHighScoreCheck;
    uint8_t stageCleared[kStageCount];
    int32_t bestTime[kStageCount];
    int32_t bestTimeCat[kStageCount];

    static void SetDefaults(SaveData& record);
    // Reads the record from the first 992 bytes of the file at path (the
    // player is told of a longer file, whose next store keeps only those). True when a whole record was read; otherwise
    // the record holds the defaults (a missing file is the first start; the
    // player is told of a short one).
    static bool Load(SaveData& record, const char* path = kFileName);
    // Writes a temporary file beside path, flushes it to the disk and renames
    // it over path, so the previous copy survives any failure, a crash or a
    // power cut. The save of the working directory is stored as a set of
    // the game's stores (replay::GameStores), which first settles what an
    // earlier run left in its folder, and is refused while another copy of
    // the game uses that folder. A symbolic link at its name to a file of
    // the same name elsewhere (a save moved into a synchronised folder) is
    // kept, and that file replaced in its own folder. False when it is not
    // stored and settled, which the player is told of, truly: the previous
    // save kept, or the new one stored and finished at the next start
    // (game/data/player_notice.h). What is neither nothing nor such a file
    // (a folder, a FIFO, another link) is not replaced, and the player is
    // told once.
    static bool Store(const SaveData& record, const char* path = kFileName);
    // What stands at the save's name, for a store: nothing yet, the save, a
    // symbolic link to a file of that name (stored where it leads), or
    // something no store replaces.
    enum class Found { Nothing, File, Link, Other };
    static Found FoundAt(const char* path = kFileName);
    // Whether a save found so is stored with the game's stores (alone or
    // with a replay).
    static bool JoinsStores(Found found) { return found != Found::Other; }

    // The file form, field by field at the record's offsets.
    static void Serialize(const SaveData& record, uint8_t out[kFileSize]);
    static void Deserialize(const uint8_t in[kFileSize], SaveData& record);
    // Brings every field into the range the game relies on; returns the
    // number of fields that had to be corrected.
    static int Sanitize(SaveData& record);

    static bool RecordHighScore(SaveData& record, int32_t score, int32_t cat);
    static bool RecordExtraHighScore(SaveData& record, int32_t score, int32_t cat);
    // firstWeight: 7 for the normal record, 11 for the final set.
    static int32_t CheckValue(int32_t saveId, int32_t score, int32_t cat, int32_t firstWeight);
};

static_assert(sizeof(SaveData) == SaveData::kFileSize);
static_assert(offsetof(SaveData, saveId) == 0);
static_assert(offsetof(SaveData, keyRows) == 4);
static_assert(offsetof(SaveData, difficulty) == 52);
static_assert(offsetof(SaveData, windowed) == 56);
static_assert(offsetof(SaveData, drawPeriod) == 60);
static_assert(offsetof(SaveData, finalSetUnlocked) == 64);
static_assert(offsetof(SaveData, soundTestUnlocked) == 65);
static_assert(offsetof(SaveData, perfectClear) == 66);
static_assert(offsetof(SaveData, highScore) == 68);
static_assert(offsetof(SaveData, extraHighScore) == 72);
static_assert(offsetof(SaveData, highScoreCat) == 76);
static_assert(offsetof(SaveData, extraHighScoreCat) == 80);
static_assert(offsetof(SaveData, highScoreCheck) == 84);
static_assert(offsetof(SaveData, extraHighScoreCheck) == 88);
static_assert(offsetof(SaveData, stageCleared) == 92);
static_assert(offsetof(SaveData, bestTime) == 192);
static_assert(offsetof(SaveData, bestTimeCat) == 592);

// Display name of a cat number (input device type 1..6) in UTF-8; "???"
// for any other value.
const char* CatDisplayName(int32_t cat);
// The high-score share (GameData::ShareHighScore opens it): the message
// text (UTF-8) and the share page's address with it, percent-encoded.
std::string BuildShareText(const SaveData& record);
std::string BuildShareAddress(const SaveData& record);
