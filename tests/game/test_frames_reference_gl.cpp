// Whole frames of the game on headless GL, through the model shaders and
// on the fixed-function road: the largest stage with four cats and twelve
// enemies, a versus stage with four cats, a checkerboard of lone blocks
// (the most model draws a field can ask for) and the title's main menu.
// Each frame is drawn twice and must come out the same both times; it is
// saved under the build tree's "reference_frames" folder for a look.
// With MORPOTTA_REFERENCE_FRAMES set to a folder, each frame is also held
// against the picture of the same name there (written when missing): the
// pictures of an older build, so a change to the drawing code shows what
// it changed (scripts/compare-frames.sh runs it).
#include "engine/baseimage.h"
#include "field_fixture.h"
#include "game/play/game_modes.h"
#include "game/title/title_scene.h"
#include "play_setup.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

// How far a frame may stray from its reference: the GL tests' tolerance
// for two roads through one scene (colour bytes per channel, and pixels
// beyond that).
constexpr int kTolerance = 3;
constexpr int kOutliers = 64;

int Channel(uint32_t c, int shift) { return int(c >> shift & 0xFF); }

// Pixels apart by more than the tolerance, and the largest difference.
std::pair<int, int> Outliers(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int outliers = 0, worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int d = 0;
        for (int shift : {0, 8, 16}) d = std::max(d, std::abs(Channel(a[i], shift) - Channel(b[i], shift)));
        outliers += d > kTolerance;
        worst = std::max(worst, d);
    }
    return {outliers, worst};
}

bool ReadPicture(const std::string& path, std::vector<uint32_t>* out) {
    BASEIMAGE image{}, argb{};
    if (ReadImageToBaseImage(path.c_str(), nullptr, 0, 0, &image, 0) != 0) return false;
    const bool ok = ConvertBaseImageToArgb32(&image, &argb) == 0 && argb.width == 640 && argb.height == 480;
    if (ok) {
        out->assign(640 * 480, 0);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                int r = 0, g = 0, b = 0;
                GetBaseImagePixel(&argb, x, y, &r, &g, &b, nullptr);
                (*out)[size_t(y) * 640 + size_t(x)] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
            }
    }
    FreeBaseImagePixels(&argb);
    FreeBaseImagePixels(&image);
    return ok;
}

// Param: whether the model shaders run.
class ReferenceFrames : public FieldTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        FieldTest::SetUp();
        SetProgrammableShaderUse(GetParam() ? 1 : 0);
        StartOn("gl");
    }
    void TearDown() override {
        FieldTest::TearDown();
        SetProgrammableShaderUse(1);
    }
    std::string Name(const std::string& scene) const { return scene + (GetParam() ? "" : "_fixed"); }

    // The frame `draw` makes, drawn twice and checked against itself, then
    // saved and held against its reference.
    template <typename Draw>
    void Check(const std::string& scene, Draw draw) {
        const std::string name = Name(scene);
        auto frame = [&] {
            ClearDrawScreenToBackColor(nullptr);
            draw();
            std::vector<uint32_t> pixels = Pixels();
            for (uint32_t& c : pixels) c &= 0xFFFFFF;
            return pixels;
        };
        const std::vector<uint32_t> first = frame();
        const std::vector<uint32_t> second = frame();
        EXPECT_TRUE(first == second) << name << ": the same frame drawn twice came out different";
        const std::filesystem::path dir = std::filesystem::path(MORPOTTA_BUILD_DIR) / "reference_frames";
        std::filesystem::create_directories(dir);
        EXPECT_EQ(SaveDrawScreenToPng((dir / (name + ".png")).string().c_str()), 0);
        EXPECT_GT(std::count_if(first.begin(), first.end(), [&](uint32_t c) { return c != first[0]; }), 640 * 48)
            << name << ": a blank frame";

        const char* references = std::getenv("MORPOTTA_REFERENCE_FRAMES");
        if (!references || !*references) return;
        const std::filesystem::path reference = std::filesystem::path(references) / (name + ".png");
        if (!std::filesystem::exists(reference)) {
            std::filesystem::create_directories(reference.parent_path());
            EXPECT_EQ(SaveDrawScreenToPng(reference.string().c_str()), 0);
            return;
        }
        std::vector<uint32_t> expected;
        ASSERT_TRUE(ReadPicture(reference.string(), &expected)) << reference;
        const auto [outliers, worst] = Outliers(expected, first);
        EXPECT_LE(outliers, kOutliers) << name << ": pixels apart from the reference by more than " << kTolerance
                                       << " (largest difference " << worst << ")";
    }

    // A field of the simulator after 200 frames of its input.
    Stage& Field(playsim::Setup setup, int world, const std::string& input) {
        Stage& st = MakeStage(setup, world);
        Play(200, input);
        return st;
    }
    // The stage drawn with the cats' walk and turn counters as they stood
    // before: drawing advances them.
    static void DrawStill(Stage& st) {
        std::vector<std::pair<int32_t, int32_t>> counters;
        auto each = [&](auto visit) {
            for (auto& cat : st.cats)
                if (cat) visit(*cat);
            for (CatActor& enemy : st.enemies) visit(enemy);
        };
        each([&](CatActor& c) { counters.emplace_back(c.walkFrame, c.turnState); });
        st.Draw(1.0f);
        size_t i = 0;
        each([&](CatActor& c) { std::tie(c.walkFrame, c.turnState) = counters[i++]; });
    }
};

TEST_P(ReferenceFrames, LargestStageWithFourCatsAndTwelveEnemies) {
    Stage& st = Field(benchplay::FourPlayerSetup(), 0, benchplay::FourPlayerInput());
    benchplay::FillEnemies(st, st.gameData);
    Check("largest_stage", [&] { DrawStill(st); });
}

TEST_P(ReferenceFrames, VersusStageWithFourCats) {
    Stage& st = Field(benchplay::VersusSetup(), 2, benchplay::VersusInput());
    Check("versus_stage", [&] { DrawStill(st); });
}

TEST_P(ReferenceFrames, CheckerboardOfLoneBlocks) {
    Stage& st = Field(benchplay::FourPlayerSetup(), 1, benchplay::FourPlayerInput());
    st.grid.Reset(30, 20);
    for (int r = 0; r < 20; ++r)
        for (int c = r % 2; c < 30; c += 2) st.grid.Set(c, r, tile::kBlock);
    Check("checkerboard", [&] { DrawStill(st); });
}

TEST_P(ReferenceFrames, TitleMainMenu) {
    scene::Context context;
    context.data = &Data();
    context.input = app_->input.get();
    context.save = Data().save;
    TitleScene title(context);
    title.Init();
    title.introTimer = 0;
    title.frameCount = 120;
    Data().transitionCount = 30;
    Check("title", [&] { title.Draw(); });
}

INSTANTIATE_TEST_SUITE_P(Roads, ReferenceFrames, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Shaders" : "Fixed"; });

}  // namespace
