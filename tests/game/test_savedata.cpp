#include "durable_game.h"
#include "fsync_spy.h"
#include "game/savedata.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

void PutI32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(uint32_t(v) >> (8 * i));
}

// A record written by hand at the documented offsets, every value in range
// and distinct so that a field read from the wrong place shows.
std::vector<uint8_t> HandBuiltFixture() {
    std::vector<uint8_t> b(992, 0);
    PutI32(b, 0, 537);
    for (int i = 0; i < 12; ++i) PutI32(b, 4 + size_t(i) * 4, 1 << (4 + i));
    PutI32(b, 52, 1);
    b[56] = 0;
    PutI32(b, 60, 2);
    b[64] = 1;
    b[65] = 1;
    b[66] = 0;
    PutI32(b, 68, 1234567);
    PutI32(b, 72, 7654321);
    PutI32(b, 76, 3);
    PutI32(b, 80, 6);
    PutI32(b, 84, 1111);
    PutI32(b, 88, 2222);
    for (int i = 0; i < 100; ++i) {
        b[92 + size_t(i)] = uint8_t(i % 3 == 0);
        PutI32(b, 192 + size_t(i) * 4, 10000 + i * 37);
        PutI32(b, 592 + size_t(i) * 4, i % 7);
    }
    return b;
}

void WriteBytes(const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const char* name) {
    std::string s = ScopedTempDir::ReadFile(name);
    return std::vector<uint8_t>(s.begin(), s.end());
}

void ExpectDefaults(const SaveData& r) {
    EXPECT_GE(r.saveId, 1);
    EXPECT_LE(r.saveId, 1000);
    for (const auto& row : r.keyRows) {
        EXPECT_EQ(row[0], 16);
        EXPECT_EQ(row[1], 32);
        EXPECT_EQ(row[2], 4096);
    }
    EXPECT_EQ(r.difficulty, 0);
    EXPECT_EQ(r.windowed, 1);
    EXPECT_EQ(r.drawPeriod, 0);
    EXPECT_EQ(r.highScore, 0);
    EXPECT_EQ(r.extraHighScoreCat, 0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(r.stageCleared[i], i >= 72 ? 1 : 0) << i;
        EXPECT_EQ(r.bestTime[i], 99999999);
        EXPECT_EQ(r.bestTimeCat[i], 0);
    }
}

TEST(SaveDataLayout, FieldsLandAtTheirFileOffsets) {
    SaveData r;
    SaveData::SetDefaults(r);
    r.saveId = 0x01020304;
    r.keyRows[3][2] = 0x0A0B0C0D;
    r.drawPeriod = 2;
    r.perfectClear = 1;
    r.extraHighScoreCheck = -2;
    r.stageCleared[99] = 1;
    r.bestTime[0] = 0x11223344;
    r.bestTimeCat[99] = 5;
    uint8_t bytes[992];
    SaveData::Serialize(r, bytes);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[48], 0x0D);  // last key word, little-endian
    EXPECT_EQ(bytes[60], 2);
    EXPECT_EQ(bytes[66], 1);
    EXPECT_EQ(bytes[88], 0xFE);
    EXPECT_EQ(bytes[91], 0xFF);
    EXPECT_EQ(bytes[191], 1);
    EXPECT_EQ(bytes[192], 0x44);
    EXPECT_EQ(bytes[988], 5);
    EXPECT_EQ(bytes[57], 0);  // padding stays zero
}

TEST(SaveDataFile, HandBuiltRecordRoundTripsByteForByte) {
    ScopedTempDir dir;
    std::vector<uint8_t> fixture = HandBuiltFixture();
    WriteBytes("morpoCatSave.dat", fixture);
    SaveData r;
    ASSERT_TRUE(SaveData::Load(r));
    EXPECT_EQ(r.saveId, 537);
    EXPECT_EQ(r.keyRows[1][0], 1 << 7);
    EXPECT_EQ(r.drawPeriod, 2);
    EXPECT_EQ(r.highScoreCat, 3);
    EXPECT_EQ(r.bestTime[99], 10000 + 99 * 37);
    std::filesystem::remove("morpoCatSave.dat");
    ASSERT_TRUE(SaveData::Store(r));
    EXPECT_EQ(ReadBytes("morpoCatSave.dat"), fixture);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST(SaveDataFile, MissingAndShortFilesGiveDefaultsALongerOneItsFirstRecord) {
    ScopedTempDir dir;
    SaveData r;
    EXPECT_FALSE(SaveData::Load(r));
    ExpectDefaults(r);

    std::vector<uint8_t> shortFile = HandBuiltFixture();
    shortFile.resize(100);
    WriteBytes("morpoCatSave.dat", shortFile);
    EXPECT_FALSE(SaveData::Load(r));
    ExpectDefaults(r);

    std::vector<uint8_t> longFile = HandBuiltFixture();
    longFile.resize(4000, 0xAB);
    WriteBytes("morpoCatSave.dat", longFile);
    ASSERT_TRUE(SaveData::Load(r));
    EXPECT_EQ(r.saveId, 537);
    EXPECT_EQ(r.bestTime[99], 10000 + 99 * 37);
    ASSERT_TRUE(SaveData::Store(r));
    EXPECT_EQ(ReadBytes("morpoCatSave.dat"), HandBuiltFixture()) << "the record is stored as the file it came from began";
}

TEST(SaveDataFile, GarbageRecordIsBroughtIntoRange) {
    ScopedTempDir dir;
    std::mt19937 random(17);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> garbage(992);
        for (auto& b : garbage) b = uint8_t(random());
        WriteBytes("morpoCatSave.dat", garbage);
        SaveData r;
        ASSERT_TRUE(SaveData::Load(r));
        EXPECT_GE(r.drawPeriod, 0);
        EXPECT_LE(r.drawPeriod, 2);
        EXPECT_LE(r.windowed, 1);
        EXPECT_GE(r.highScoreCat, 0);
        EXPECT_LE(r.highScoreCat, 6);
        EXPECT_GE(r.highScore, 0);
        EXPECT_LE(r.highScore, 99999999);
        for (int i = 0; i < 100; ++i) {
            EXPECT_LE(r.stageCleared[i], 1);
            EXPECT_GE(r.bestTime[i], 0);
            EXPECT_LE(r.bestTime[i], 99999999);
            EXPECT_GE(r.bestTimeCat[i], 0);
            EXPECT_LE(r.bestTimeCat[i], 6);
        }
    }
}

TEST(SaveDataFile, FieldsOutOfRangeTakeTheirDefaults) {
    ScopedTempDir dir;
    std::vector<uint8_t> fixture = HandBuiltFixture();
    PutI32(fixture, 60, -1);        // a draw period of -1 would divide by zero
    PutI32(fixture, 76, 1000000);   // a cat number indexes the name table
    PutI32(fixture, 592 + 40, -3);  // and the face table
    PutI32(fixture, 192 + 8, -5);
    fixture[64] = 7;
    WriteBytes("morpoCatSave.dat", fixture);
    SaveData r;
    ASSERT_TRUE(SaveData::Load(r));
    EXPECT_EQ(r.drawPeriod, 0);
    EXPECT_EQ(r.highScoreCat, 0);
    EXPECT_EQ(r.bestTimeCat[10], 0);
    EXPECT_EQ(r.bestTime[2], 99999999);
    EXPECT_EQ(r.finalSetUnlocked, 1);
    EXPECT_EQ(r.highScore, 1234567);  // fields in range are kept
    EXPECT_EQ(SaveData::Sanitize(r), 0);
}

TEST(SaveDataFile, FailedStoreKeepsThePreviousSave) {
    ScopedTempDir dir;
    std::vector<uint8_t> fixture = HandBuiltFixture();
    WriteBytes("morpoCatSave.dat", fixture);
    // The new copy's flush fails, as a disk error makes it.
    Fsyncs().recording = true;
    Fsyncs().failCall = 1;
    SaveData r;
    SaveData::SetDefaults(r);
    EXPECT_FALSE(SaveData::Store(r));
    Fsyncs() = FsyncSpy{};
    EXPECT_EQ(ReadBytes("morpoCatSave.dat"), fixture);
    EXPECT_EQ(StoreLeftovers(), std::vector<std::string>{});
}

TEST(SaveDataScores, CheckValueFollowsTheDigitWeights) {
    EXPECT_EQ(SaveData::CheckValue(5, 1234, 1, 7), 136);
    // Final-set weights start at saveId + 11: 4*16 + 3*17 + 2*18 + 1*19.
    EXPECT_EQ(SaveData::CheckValue(5, 1234, 1, 11), 64 + 51 + 36 + 19 + 5 + 1);
    EXPECT_EQ(SaveData::CheckValue(300, 0, 4, 7), 304);
    // Large scores with the largest cat number stay within 32 bits.
    EXPECT_NO_FATAL_FAILURE(SaveData::CheckValue(1000, 99999999, 6, 11));
}

TEST(SaveDataScores, OnlyAHigherScoreIsRecorded) {
    SaveData r;
    SaveData::SetDefaults(r);
    r.saveId = 5;
    EXPECT_TRUE(SaveData::RecordHighScore(r, 1234, 1));
    EXPECT_EQ(r.highScoreCheck, 136);
    EXPECT_FALSE(SaveData::RecordHighScore(r, 1234, 2));
    EXPECT_EQ(r.highScoreCat, 1);
    EXPECT_FALSE(SaveData::RecordHighScore(r, 1000, 2));
    EXPECT_TRUE(SaveData::RecordExtraHighScore(r, 50, 6));
    EXPECT_EQ(r.extraHighScoreCat, 6);
    EXPECT_EQ(r.highScore, 1234);
}

}  // namespace
