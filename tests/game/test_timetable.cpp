#include "game/timetable.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::unique_ptr<TimeTable> Parsed(const std::string& text) {
    auto t = std::make_unique<TimeTable>();
    TimeTable::Parse(*t, text.data(), text.size());
    return t;
}

TEST(TimeTableParse, RowsAlternateTargetAndAttemptLines) {
    auto t = Parsed(
        "stage0,30000,25000,26000,27000,28000,29000,31000\n"
        "count0,3,4,5,6,7,8,9\n"
        "stage1,1,2,3,4,5,6,7\n"
        "count1,0,0,0,0,0,0,1\n");
    EXPECT_EQ(t->target[0][1], 25000);
    EXPECT_EQ(t->attempts[0][6], 9);
    EXPECT_EQ(t->target[1][6], 7);
    EXPECT_EQ(t->attempts[1][6], 1);
    EXPECT_EQ(t->rowBest[0], 25000);
    EXPECT_EQ(t->rowBestColumn[0], 1);
    // Rows the file does not reach are initialised.
    EXPECT_EQ(t->target[2][0], 99999999);
    EXPECT_EQ(t->attempts[99][6], 0);
    EXPECT_EQ(t->rowBest[50], 99999999);
}

TEST(TimeTableParse, FirstOfEqualTargetsWinsTheRow) {
    auto t = Parsed("s,500,400,400,400,900,400,401\nc,1,1,1,1,1,1,1\n");
    EXPECT_EQ(t->rowBest[0], 400);
    EXPECT_EQ(t->rowBestColumn[0], 1);
}

TEST(TimeTableParse, RowWithoutAnySmallerTargetKeepsItsColumn) {
    auto t = Parsed("s,99999999,99999999,99999999,99999999,99999999,99999999,123456789\nc\n");
    EXPECT_EQ(t->rowBest[0], 99999999);
    EXPECT_EQ(t->rowBestColumn[0], 0);
}

TEST(TimeTableParse, CarriageReturnsAndExtraFieldsAreHarmless) {
    auto t = Parsed("s,10,20,30,40,50,60,70,80,90,100\r\nc,1,2,3,4,5,6,7,8,9\r\ns,11\r\nc,2\r\n");
    EXPECT_EQ(t->target[0][6], 70);
    EXPECT_EQ(t->attempts[0][6], 7);
    EXPECT_EQ(t->target[1][0], 11);
    EXPECT_EQ(t->target[1][1], 99999999);
    EXPECT_EQ(t->attempts[1][0], 2);
}

TEST(TimeTableParse, RowsBeyondTheTableAreIgnored) {
    std::string text;
    for (int r = 0; r < 150; ++r) {
        text += "s," + std::to_string(1000 + r) + "\nc," + std::to_string(r) + "\n";
    }
    auto t = Parsed(text);
    EXPECT_EQ(t->target[99][0], 1099);
    EXPECT_EQ(t->attempts[99][0], 99);
}

TEST(TimeTableParse, EmptyTextLeavesTheInitialisedTable) {
    auto t = Parsed("");
    EXPECT_EQ(t->target[0][0], 99999999);
    EXPECT_EQ(t->rowBest[0], 99999999);
    auto n = Parsed("no commas here\nnor here");
    EXPECT_EQ(n->target[0][0], 99999999);
}

TEST(TimeTableParse, AValueThatIsNoWholeNumberLeavesItsCellClearedAndDamageIsFound) {
    auto t = std::make_unique<TimeTable>();
    const std::string damaged = "s,2200,x,2600,-5,12abc,9300, 2300\r\nc,3,3,3\n";
    const TimeTable::Damage found = TimeTable::Parse(*t, damaged.data(), damaged.size());
    EXPECT_EQ(found.firstBadLine, 1);
    EXPECT_EQ(found.rows, 1);
    EXPECT_EQ(t->target[0][0], 2200);
    EXPECT_EQ(t->target[0][6], 2300);
    for (int column : {1, 3, 4}) EXPECT_EQ(t->target[0][column], 99999999) << column;
    EXPECT_EQ(t->attempts[0][2], 3);

    // A whole table, with or without a line feed at its end; and one cut
    // off after ten stages.
    std::string whole;
    for (int r = 0; r < TimeTable::kRows; ++r)
        whole += "stage" + std::to_string(r) + ",2200,2600,2600,2200,3600,9300,2300\ncount" + std::to_string(r) +
                 ",3,3,3,3,3,3,3\n";
    EXPECT_FALSE(TimeTable::Parse(*t, whole.data(), whole.size()).Any());
    EXPECT_FALSE(TimeTable::Parse(*t, whole.data(), whole.size() - 1).Any());
    size_t tenRows = 0;
    for (int n = 0; n < 20; ++n) tenRows = whole.find('\n', tenRows) + 1;
    const TimeTable::Damage cut = TimeTable::Parse(*t, whole.data(), tenRows + 8);
    EXPECT_EQ(cut.rows, 10);
    EXPECT_EQ(cut.firstBadLine, 21);
    EXPECT_TRUE(cut.Any());
}

TEST(TimeTableRecord, TimeBelowTargetImprovesEqualTimeOnlyCounts) {
    auto t = Parsed("s,41500\nc,2\n");
    EXPECT_FALSE(TimeTable::RecordTime(*t, 0, 0, 41500));
    EXPECT_EQ(t->attempts[0][0], 3);
    EXPECT_EQ(t->target[0][0], 41500);
    EXPECT_TRUE(TimeTable::RecordTime(*t, 0, 0, 40000));
    EXPECT_EQ(t->target[0][0], 40000);
    EXPECT_EQ(t->attempts[0][0], 4);
    EXPECT_FALSE(TimeTable::RecordTime(*t, 0, 0, 50000));
    EXPECT_EQ(t->target[0][0], 40000);
}

TEST(TimeTableRecord, CellsOutsideTheTableAreRefused) {
    auto t = Parsed("");
    EXPECT_FALSE(TimeTable::RecordTime(*t, -1, 0, 1));
    EXPECT_FALSE(TimeTable::RecordTime(*t, 100, 0, 1));
    EXPECT_FALSE(TimeTable::RecordTime(*t, 0, 7, 1));
}

}  // namespace

namespace {

TEST(TimeTableLoad, MissingFileLeavesTheInitialisedTable) {
    ScopedTempDir dir;
    auto t = std::make_unique<TimeTable>();
    t->target[3][3] = 5;
    t->attempts[3][3] = 5;
    EXPECT_FALSE(TimeTable::Load(*t));
    EXPECT_EQ(t->target[3][3], 99999999);
    EXPECT_EQ(t->attempts[3][3], 0);
    EXPECT_EQ(t->rowBest[3], 99999999);
}

TEST(TimeTableLoad, ReadsTheFileThroughTheEngine) {
    ScopedTempDir dir;
    std::filesystem::create_directory("tpa");
    std::ofstream("tpa/limitTimeTable.csv", std::ios::binary) << "s0,900,800\r\nc0,3,4\r\ns1,700\r\nc1,1\r\n";
    auto t = std::make_unique<TimeTable>();
    ASSERT_TRUE(TimeTable::Load(*t));
    EXPECT_EQ(t->target[0][1], 800);
    EXPECT_EQ(t->attempts[0][1], 4);
    EXPECT_EQ(t->rowBest[0], 800);
    EXPECT_EQ(t->rowBestColumn[0], 1);
    EXPECT_EQ(t->target[1][0], 700);
}

}  // namespace
