// Movies as graphs: a file that is no picture opens as a graph that shows
// the movie's first frame, drawn by the software path and by GL; deleting
// the graph closes the movie.
#include "engine/engine.h"
#include "movie/movie_record.h"
#include "platform/clock.h"
#include "test_pictures.h"
#include "theora_movie_writer.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

using namespace morpotta;

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

struct Device {
    const char* window;
    const char* graphics;
    const char* picture;
};

class MovieGraphTest : public ::testing::TestWithParam<Device> {
protected:
    void SetUp() override {
        platform::UseVirtualClock(true);
        SetLogOutput(0);
        ASSERT_EQ(SetWindowBackend(GetParam().window), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice(GetParam().graphics), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        if (InitializeEngine() != 0) GTEST_SKIP() << "no engine on " << GetParam().graphics;
    }
    void TearDown() override {
        if (IsEngineInitialized()) ShutdownEngine();
        SetSoundDeviceBackend("sdl2");
        SetGraphicsDeviceChoice("auto");
        SetWindowBackend("sdl2");
        platform::UseVirtualClock(false);
    }
    ScopedTempDir dir_;
};

TEST_P(MovieGraphTest, ATheoraMovieOpensAsAGraphShowingItsFirstFrame) {
    moviegen::MovieOptions o;
    o.frames = 12;
    WriteBytes("clip.ogv", moviegen::WriteTheoraMovie(o));
    const int graph = OpenGraphFile("clip.ogv", 0);
    ASSERT_NE(graph, -1);
    int width = 0, height = 0;
    EXPECT_EQ(GetGraphDimensions(graph, &width, &height), 0);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 96);
    EXPECT_EQ(CountOpenMovies(), 1);

    ClearDrawScreenToBackColor(nullptr);
    for (int frame = 0; frame < 3; ++frame) {  // every draw brings the movie up to date; it stays on frame 0
        ASSERT_EQ(DrawGraphAt(40, 30, graph, 0), 0);
        ASSERT_EQ(ProcessWindowMessages(), 0);
    }
    const std::string png = TestPicturePath(GetParam().picture);
    ASSERT_EQ(SaveDrawScreenToPng(png.c_str()), 0);

    BASEIMAGE shot{};
    ASSERT_EQ(ReadImageToBaseImage(png.c_str(), nullptr, 0, 0, &shot, 0), 0);
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int r = 0, g = 0, b = 0;
            ASSERT_EQ(GetBaseImagePixel(&shot, 40 + x, 30 + y, &r, &g, &b, nullptr), 0);
            const moviegen::Rgb want = moviegen::PictureColour(x, y, 0);
            worst = std::max({worst, std::abs(r - want.red), std::abs(g - want.green), std::abs(b - want.blue)});
        }
    int r = -1, g = -1, b = -1;
    GetBaseImagePixel(&shot, 20, 20, &r, &g, &b, nullptr);
    FreeBaseImagePixels(&shot);
    EXPECT_LE(worst, 3) << "the movie's first frame, as encoded";
    EXPECT_EQ(r + g + b, 0) << "nothing drawn outside it";

    EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
    EXPECT_EQ(CountOpenMovies(), 0) << "the movie closed with its graph";
}

TEST_P(MovieGraphTest, AFileThatIsNeitherPictureNorMovieGivesNoGraph) {
    std::ofstream("notes.txt") << "neither";
    EXPECT_EQ(OpenGraphFile("notes.txt", 0), -1);
    EXPECT_EQ(CountOpenMovies(), 0);
    EXPECT_EQ(CountGraphs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Devices, MovieGraphTest,
                         ::testing::Values(Device{"headless", "none", "movie_graph_software.png"},
                                           Device{"sdl2", "auto", "movie_graph_gl.png"}),
                         [](const ::testing::TestParamInfo<Device>& info) {
                             return std::string(info.param.graphics) == "none" ? "Software" : "Gl";
                         });

}  // namespace
