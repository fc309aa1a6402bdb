// Save record: defaults, the file form, range checks and high scores.
#include "game/savedata.h"

#include "engine/timer.h"

#include <cstring>

namespace {

constexpr int32_t kDefaultKeys[3] = {16, 32, 4096};
constexpr int kMaxCat = 6;

void PutI32(uint8_t* out, size_t offset, int32_t value) {
    uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i) out[offset + i] = uint8_t(v >> (8 * i));
}

int32_t GetI32(const uint8_t* in, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(in[offset + i]) << (8 * i);
    return int32_t(v);
}

// Each Put/Get pair walks the record in file order; the offsets come from
// the record itself, whose layout the header pins down.
#define SAVE_OFFSET(field) offsetof(SaveData, field)

bool NormaliseFlag(uint8_t& flag) {
    if (flag <= 1) return false;
    flag = 1;
    return true;
}

bool ResetUnless(int32_t& value, int32_t low, int32_t high, int32_t fallback) {
    if (value >= low && value <= high) return false;
    value = fallback;
    return true;
}

}  // namespace

void SaveData::SetDefaults(SaveData& record) {
    std::memset(&record, 0, sizeof record);
    record.saveId = GetMillisecondCount() % 1000 + 1;
    for (auto& row : record.keyRows) {
        for (int i = 0; i < 3; ++i) row[i] = kDefaultKeys[i];
    }
    record.windowed = 1;
    for (int i = 0; i < kStageCount; ++i) {
        record.stageCleared[i] = i >= kFirstFreeStage ? 1 : 0;
        record.bestTime[i] = kNoTime;
        record.bestTimeCat[i] = 0;
    }
}

void SaveData::Serialize(const SaveData& r, uint8_t out[kFileSize]) {
    std::memset(out, 0, kFileSize);
    PutI32(out, SAVE_OFFSET(saveId), r.saveId);
    for (int p = 0; p < kPlayerRows; ++p) {
        for (int i = 0; i < 3; ++i) PutI32(out, SAVE_OFFSET(keyRows) + size_t(p * 3 + i) * 4, r.keyRows[p][i]);
    }
    PutI32(out, SAVE_OFFSET(difficulty), r.difficulty);
    out[SAVE_OFFSET(windowed)] = r.windowed;
    PutI32(out, SAVE_OFFSET(drawPeriod), r.drawPeriod);
    out[SAVE_OFFSET(finalSetUnlocked)] = r.finalSetUnlocked;
    out[SAVE_OFFSET(soundTestUnlocked)] = r.soundTestUnlocked;
    out[SAVE_OFFSET(perfectClear)] = r.perfectClear;
    PutI32(out, SAVE_OFFSET(highScore), r.highScore);
    PutI32(out, SAVE_OFFSET(extraHighScore), r.extraHighScore);
    PutI32(out, SAVE_OFFSET(highScoreCat), r.highScoreCat);
    PutI32(out, SAVE_OFFSET(extraHighScoreCat), r.extraHighScoreCat);
    PutI32(out, SAVE_OFFSET(highScoreCheck), r.highScoreCheck);
    PutI32(out, SAVE_OFFSET(extraHighScoreCheck), r.extraHighScoreCheck);
    for (int i = 0; i < kStageCount; ++i) {
        out[SAVE_OFFSET(stageCleared) + size_t(i)] = r.stageCleared[i];
        PutI32(out, SAVE_OFFSET(bestTime) + size_t(i) * 4, r.bestTime[i]);
        PutI32(out, SAVE_OFFSET(bestTimeCat) + size_t(i) * 4, r.bestTimeCat[i]);
    }
}

void SaveData::Deserialize(const uint8_t in[kFileSize], SaveData& r) {
    std::memset(&r, 0, sizeof r);
    r.saveId = GetI32(in, SAVE_OFFSET(saveId));
    for (int p = 0; p < kPlayerRows; ++p) {
        for (int i = 0; i < 3; ++i) r.keyRows[p][i] = GetI32(in, SAVE_OFFSET(keyRows) + size_t(p * 3 + i) * 4);
    }
    r.difficulty = GetI32(in, SAVE_OFFSET(difficulty));
    r.windowed = in[SAVE_OFFSET(windowed)];
    r.drawPeriod = GetI32(in, SAVE_OFFSET(drawPeriod));
    r.finalSetUnlocked = in[SAVE_OFFSET(finalSetUnlocked)];
    r.soundTestUnlocked = in[SAVE_OFFSET(soundTestUnlocked)];
    r.perfectClear = in[SAVE_OFFSET(perfectClear)];
    r.highScore = GetI32(in, SAVE_OFFSET(highScore));
    r.extraHighScore = GetI32(in, SAVE_OFFSET(extraHighScore));
    r.highScoreCat = GetI32(in, SAVE_OFFSET(highScoreCat));
    r.extraHighScoreCat = GetI32(in, SAVE_OFFSET(extraHighScoreCat));
    r.highScoreCheck = GetI32(in, SAVE_OFFSET(highScoreCheck));
    r.extraHighScoreCheck = GetI32(in, SAVE_OFFSET(extraHighScoreCheck));
    for (int i = 0; i < kStageCount; ++i) {
        r.stageCleared[i] = in[SAVE_OFFSET(stageCleared) + size_t(i)];
        r.bestTime[i] = GetI32(in, SAVE_OFFSET(bestTime) + size_t(i) * 4);
        r.bestTimeCat[i] = GetI32(in, SAVE_OFFSET(bestTimeCat) + size_t(i) * 4);
    }
}

int SaveData::Sanitize(SaveData& r) {
    int fixes = 0;
    // The draw period divides the frame count; the cat numbers index name
    // and face tables; scores and times are shown in fixed-width fields.
    fixes += NormaliseFlag(r.windowed);
    fixes += ResetUnless(r.drawPeriod, 0, 2, 0);
    fixes += NormaliseFlag(r.finalSetUnlocked);
    fixes += NormaliseFlag(r.soundTestUnlocked);
    fixes += NormaliseFlag(r.perfectClear);
    fixes += ResetUnless(r.highScore, 0, kMaxScore, 0);
    fixes += ResetUnless(r.extraHighScore, 0, kMaxScore, 0);
    fixes += ResetUnless(r.highScoreCat, 0, kMaxCat, 0);
    fixes += ResetUnless(r.extraHighScoreCat, 0, kMaxCat, 0);
    for (int i = 0; i < kStageCount; ++i) {
        fixes += NormaliseFlag(r.stageCleared[i]);
        fixes += ResetUnless(r.bestTime[i], 0, kNoTime, kNoTime);
        fixes += ResetUnless(r.bestTimeCat[i], 0, kMaxCat, 0);
    }
    return fixes;
}

int32_t SaveData::CheckValue(int32_t saveId, int32_t score, int32_t cat, int32_t firstWeight) {
    // A 32-bit signed product, wrapping as the stored values always did.
    int32_t x = int32_t(uint32_t(score) * uint32_t(cat));
    uint32_t sum = 0;
    uint32_t weight = uint32_t(saveId) + uint32_t(firstWeight);
    while (x != 0) {
        int32_t digit = x % 10;
        sum += uint32_t(digit) * weight;
        x /= 10;
        weight += 1;
    }
    return int32_t(sum + uint32_t(saveId) + uint32_t(cat));
}

namespace {

bool RecordInto(int32_t& stored, int32_t& storedCat, int32_t& storedCheck, int32_t saveId, int32_t score,
                int32_t cat, int32_t firstWeight) {
    if (score <= stored) return false;
    stored = score;
    storedCat = cat;
    storedCheck = SaveData::CheckValue(saveId, score, cat, firstWeight);
    return true;
}

}  // namespace

bool SaveData::RecordHighScore(SaveData& r, int32_t score, int32_t cat) {
    return RecordInto(r.highScore, r.highScoreCat, r.highScoreCheck, r.saveId, score, cat, 7);
}

bool SaveData::RecordExtraHighScore(SaveData& r, int32_t score, int32_t cat) {
    return RecordInto(r.extraHighScore, r.extraHighScoreCat, r.extraHighScoreCheck, r.saveId, score, cat, 11);
}
