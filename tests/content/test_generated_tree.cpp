#include "checker.h"
#include "engine/text.h"
#include "game/timetable.h"
#include "generated_tree.h"
#include "joined_lines.h"
#include "manifest.h"
#include "mqo.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

// Replaces count bytes at 'at' with insert. Kept out of line: inlined into
// the edit lambdas, g++ 12 warns falsely about the string copies.
[[gnu::noinline]] std::string Splice(const std::string& t, size_t at, size_t count, const std::string& insert) {
    std::string out(t, 0, at);
    out += insert;
    out.append(t, at + count, std::string::npos);
    return out;
}
// Every `what` of a stage's map (the lines after the first) becomes `with`.
[[gnu::noinline]] std::string ReplacedInMap(std::string t, char what, char with) {
    std::replace(t.begin() + std::ptrdiff_t(t.find('\n')), t.end(), what, with);
    return t;
}

TEST(GeneratedTree, PassesEveryCheck) {
    CheckReport report = CheckTree(ContentTreeRoot().string());
    EXPECT_TRUE(report.problems.empty()) << Joined(report.problems);
    size_t expected = Pictures().size() + ModelPaths().size() + SoundPaths().size() + MusicFiles().size();
    EXPECT_GT(size_t(report.filesChecked), expected + 100 + 15);  // plus stages, lists, sets, scripts, table
}

TEST(GeneratedTree, WritesTheContactSheet) {
    EXPECT_TRUE(fs::exists(ContentTreeRoot() / "contact_sheet.png"));
}

// Part by part, each a test of its own, so that no one test takes minutes
// under a sanitizer on a busy machine.
class TreeGeneration : public ::testing::TestWithParam<TreePart> {};

TEST_P(TreeGeneration, IsDeterministic) {
    ScopedTempDir fresh;
    GenerateTreePartInto(fresh.path(), GetParam());
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fresh.path() / "tpa")) {
        if (!entry.is_regular_file()) continue;
        fs::path other = ContentTreeRoot() / "tpa" / fs::relative(entry.path(), fresh.path() / "tpa");
        ASSERT_TRUE(fs::exists(other)) << other;
        ASSERT_EQ(ScopedTempDir::ReadFile(entry.path()), ScopedTempDir::ReadFile(other)) << other;
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

std::string PartName(const ::testing::TestParamInfo<TreePart>& info) {
    static const char* const names[] = {"Pictures", "ModelsAndSounds", "Music", "StagesAndReplays"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Parts, TreeGeneration, ::testing::ValuesIn(kTreeParts), PartName);

TEST(GeneratedTree, TimeTableGivesEveryStageATarget) {
    std::string text = ScopedTempDir::ReadFile(ContentTreeRoot() / "tpa" / "limitTimeTable.csv");
    auto table = std::make_unique<TimeTable>();
    TimeTable::Parse(*table, text.data(), text.size());
    for (int row = 0; row < TimeTable::kRows; ++row) {
        for (int type = 1; type <= 6; ++type) {
            EXPECT_GT(table->target[row][type], 1000) << row;
            EXPECT_LT(table->target[row][type], 99999999) << row;
            EXPECT_GE(table->attempts[row][type], 3) << row;  // the limit follows the target
        }
        EXPECT_LT(table->rowBest[row], 99999999);
    }
}

// Each case breaks one file of a copy of the tree and expects the checker
// to name that file.
class BrokenTree : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(ContentTreeRoot() / "tpa", dir_.path() / "tpa", fs::copy_options::recursive); }

    void Rewrite(const std::string& relative, const std::function<std::string(std::string)>& edit) {
        fs::path file = dir_.path() / "tpa" / relative;
        std::string text = edit(ScopedTempDir::ReadFile(file));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

    std::string Problems() { return Joined(CheckTree(dir_.path().string()).problems); }

    ScopedTempDir dir_;
};

TEST_F(BrokenTree, StageRulesAreEnforced) {
    Rewrite("stage/stage_normal3.stg", [](std::string t) {
        t[t.find('s')] = ' ';
        return t;
    });
    Rewrite("stage/stage_normal4.stg", [](std::string t) {
        return Splice(t, t.find('\n') - 2, 1, "");  // a row one cell short
    });
    Rewrite("stage/stage_normal5.stg", [](std::string t) {
        t[t.find('B', 30)] = '#';
        return t;
    });
    Rewrite("stage/stage_normal6.stg", [](std::string t) {
        // wall the goal in
        size_t g = t.find('G');
        size_t width = t.find('\n') + 1;
        t[g - 1] = 'B';
        t[g + 1] = 'B';
        t[g - width] = 'B';
        return t;
    });
    Rewrite("stage/stage_vs2.stg", [](std::string t) { return Splice(t, 0, t.find('\n'), "soon"); });
    // Versus rounds: one slot of the gem cycle missing, a limit too short,
    // no free cells to come back on.
    Rewrite("stage/stage_vs0.stg", [](std::string t) { return ReplacedInMap(t, '3', ' '); });
    Rewrite("stage/stage_vs1.stg", [](std::string t) { return Splice(t, 0, t.find('\n'), "5000"); });
    Rewrite("stage/stage_vs3.stg", [](std::string t) { return ReplacedInMap(t, ' ', 'B'); });
    std::string p = Problems();
    EXPECT_NE(p.find("stage_normal3.stg: needs exactly one start"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_normal4.stg: row"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_normal5.stg: character '#'"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_normal6.stg: the goal cannot be reached"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_vs2.stg: first line"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_vs0.stg: has no gem slot 3"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_vs1.stg: time limit outside"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_vs3.stg: fewer than 8 free cells"), std::string::npos) << p;
}

TEST_F(BrokenTree, PicturesModelsAndSoundsAreEnforced) {
    Rewrite("text/text_go.png", [](std::string t) { return Splice(t, t.size() / 2, t.size() / 2, ""); });
    fs::copy_file(dir_.path() / "tpa/item/jewelry2.png", dir_.path() / "tpa/item/door0.png",
                  fs::copy_options::overwrite_existing);
    Rewrite("neko3D/nekog_ju.mqo", [](std::string t) {
        std::string lf;
        for (char c : t) {
            if (c != '\r') lf += c;
        }
        return lf;
    });
    Rewrite("item/dai2.mqo", [](std::string t) {
        size_t v = t.find(" V(");
        return t.replace(v + 3, 1, "999");
    });
    fs::remove(dir_.path() / "tpa/SE/kitty01.wav");
    Rewrite("Music/pride.mp3", [](std::string t) { return Splice(t, 4000, 0, "xx"); });  // frames no longer line up
    std::string p = Problems();
    EXPECT_NE(p.find("text_go.png:"), std::string::npos) << p;
    EXPECT_NE(p.find("door0.png: is 16x16, needs 64x64"), std::string::npos) << p;
    EXPECT_NE(p.find("nekog_ju.mqo:"), std::string::npos) << p;
    EXPECT_NE(p.find("dai2.mqo: object 0: vertex index out of range"), std::string::npos) << p;
    EXPECT_NE(p.find("kitty01.wav: missing"), std::string::npos) << p;
    EXPECT_NE(p.find("pride.mp3: lost frame sync"), std::string::npos) << p;
}

TEST_F(BrokenTree, ListsSetsScriptsAndTableAreEnforced) {
    Rewrite("stage/stage_normal_list.txt", [](std::string t) {
        return Splice(t, t.find("end\n"), 4, "");  // group 0 loses its end line
    });
    Rewrite("stage/stage_normal_list.txt", [](std::string t) {
        // Stage 98 under the name that once ran into its best time.
        std::string longName, name98;
        EXPECT_TRUE(ConvertUtf8ToCp932("ひみつのとびらのちょっとむずかしい", &longName));
        EXPECT_TRUE(ConvertUtf8ToCp932("ひみつの扉のむずかしめ", &name98));
        const size_t at = t.rfind(name98 + "\n");
        EXPECT_NE(at, std::string::npos);
        return Splice(t, at, name98.size(), longName);
    });
    Rewrite("mapset/normal_set2.set", [](std::string t) { return Splice(t, t.size(), 0, "m 250\n"); });
    Rewrite("mapset/vs_set1.set", [](std::string t) { return Splice(t, t.size(), 0, "m r5,1,2\n"); });
    Rewrite("scenario/scenario1.scn", [](std::string t) { return Splice(t, 0, 0, "catif 0\ncatif 1\nendif\n"); });
    Rewrite("scenario/ending1.scn", [](std::string t) {
        return Splice(t, t.size(), 0, "mes \"" + std::string(60, 'a') + "\"\n");
    });
    Rewrite("scenario/ending0.scn", [](std::string t) {
        return Splice(t, t.size(), 0, "mes \"\x83\x5Cnext\"\n");  // the CP932 form of a katakana ending in 0x5C
    });
    Rewrite("limitTimeTable.csv", [](std::string t) { return Splice(t, t.find('\n'), 0, ",5"); });
    Rewrite("scenario/staffroll.txt", [](std::string t) {
        return Splice(t, t.size(), 0, "credits:x\nclosing:again\nthanks:" + std::string(61, 'a') + "\n");
    });
    std::string p = Problems();
    EXPECT_NE(p.find("stage_normal_list.txt: group 0 has no end line"), std::string::npos) << p;
    EXPECT_NE(p.find("stage_normal_list.txt: the name of stage 98 runs into its best time"), std::string::npos) << p;
    EXPECT_EQ(p.find("the name of stage 97 "), std::string::npos) << p;
    EXPECT_NE(p.find("normal_set2.set: names a missing stage 250"), std::string::npos) << p;
    EXPECT_NE(p.find("vs_set1.set: bad random stage line"), std::string::npos) << p;
    EXPECT_NE(p.find("scenario1.scn: conditions do not nest"), std::string::npos) << p;
    EXPECT_NE(p.find("ending1.scn: message line longer than 50 bytes"), std::string::npos) << p;
    EXPECT_NE(p.find("ending0.scn: a character ending in 0x5C reads as a line break"), std::string::npos) << p;
    EXPECT_NE(p.find("limitTimeTable.csv: line 1 needs a label and 7 values"), std::string::npos) << p;
    EXPECT_NE(p.find("staffroll.txt: line without a known key: credits:x"), std::string::npos) << p;
    EXPECT_NE(p.find("staffroll.txt: needs one closing line"), std::string::npos) << p;
    EXPECT_NE(p.find("staffroll.txt: entry longer than 60 bytes"), std::string::npos) << p;
}

TEST_F(BrokenTree, ModelPlacementAndTheEndingMusicAreEnforced) {
    // A cat built from its cell's corner, and one whose feet float.
    auto writeBox = [this](const std::string& relative, Vec3 low, Vec3 high) {
        MqoModel model;
        MqoMaterial fur;
        fur.name = "fur";
        fur.r = fur.g = fur.b = fur.a = 1.0f;
        AddBox(model.AddObject("cat"), low, high, model.AddMaterial(fur));
        std::ofstream(dir_.path() / "tpa" / relative, std::ios::binary | std::ios::trunc) << model.Write();
    };
    writeBox("neko3D/nekom_1.mqo", {0, -68, -10}, {76, -10, 10});
    writeBox("neko3D/nekom_2.mqo", {-36, -20, -10}, {36, 30, 10});
    // A block body a unit short of its cell, and caps a unit past a side
    // and reaching below the cell; a cap rising above its cell is fine.
    writeBox("mapblock3D/map_block2_0.mqo", {-39, -40, -40}, {40, 40, 40});
    writeBox("mapblock3D/map_block3_4.mqo", {-40, 33, -42}, {41, 42, 43});
    writeBox("mapblock3D/map_blockEX_4.mqo", {-40, -41, -42}, {40, 42, 43});
    writeBox("mapblock3D/map_block1_4.mqo", {-40, 33, -42}, {40, 48, 43});
    Rewrite("scenario/ending0.scn", [](std::string t) { return Splice(t, t.rfind("pbgm 9"), 7, ""); });
    Rewrite("scenario/ending1.scn", [](std::string t) { return Splice(t, 0, t.find('\n') + 1, ""); });
    std::string p = Problems();
    EXPECT_NE(p.find("nekom_1.mqo: reaches out of its cell along x"), std::string::npos) << p;
    EXPECT_NE(p.find("nekom_2.mqo: feet at y -20"), std::string::npos) << p;
    EXPECT_NE(p.find("ending0.scn: the staff roll's music (pbgm 9) is not cued"), std::string::npos) << p;
    EXPECT_NE(p.find("ending1.scn: the ending does not open with its music"), std::string::npos) << p;
    EXPECT_EQ(p.find("nekom_0.mqo"), std::string::npos) << p;
    EXPECT_NE(p.find("map_block2_0.mqo: the body does not fill its cell along x"), std::string::npos) << p;
    EXPECT_NE(p.find("map_block3_4.mqo: the cap reaches past its cell's sides or bottom"), std::string::npos) << p;
    EXPECT_NE(p.find("map_blockEX_4.mqo: the cap reaches past its cell's sides or bottom"), std::string::npos) << p;
    EXPECT_EQ(p.find("map_block1_4.mqo"), std::string::npos) << p;
}

}  // namespace
