// Movie handles: Theora movies and movies of other formats (made at test
// time by the ffmpeg tool) opened and closed, the handle table's limits,
// refusals with their log lines, the temporary copy of a file the movie
// graph cannot open by name, the movies left open at the engine's end,
// and the movie renderer's type checks.
#include "engine/archive.h"
#include "engine/engine.h"
#include "engine/sound.h"
#include "engine/text.h"
#include "foundation/handle.h"
#include "foundation/log_internal.h"
#include "foundation/object_creation.h"
#include "foundation/subsystems.h"
#include "movie/movie_record.h"
#include "movie/movie_renderer.h"
#include "movie_test_util.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "sound/sound_internal.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace morpotta;

using namespace movietest;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMovieKindBits = 0x18000000u;

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// A short test pattern encoded by the ffmpeg tool; false when it failed.
bool MakeClip(const std::string& name, const char* codec, const char* size = "96x64", int frames = 5,
              const char* extra = "") {
    const std::string command = std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=") + size +
                                ":rate=10 -frames:v " + std::to_string(frames) + " -c:v " + codec + " " + extra +
                                " " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string LogText() {
    std::string utf8;
    ConvertCp932ToUtf8(ScopedTempDir::ReadFile("Log.txt"), &utf8);
    return utf8;
}

int FilesIn(const fs::path& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
}

class MovieHandleTest : public MovieTest {
protected:
    void SetUp() override {
        // The table is made on the first open and kept: make it before the
        // count of live blocks is taken.
        SetLogOutput(0);
        OpenMovie("no such movie", nullptr, nullptr);
        MovieTest::SetUp();
        // Temporary copies go where the test can count them.
        fs::create_directory(temp_);
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        setenv("TMPDIR", temp_.c_str(), 1);
        SetLogOutput(1);
    }
    void TearDown() override {
        SetLogOutput(0);
        EndLog();
        EXPECT_EQ(CountOpenMovies(), 0);
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        MovieTest::TearDown();
        // The table's blocks are not left for the next case to count.
        CloseAllMovies();
    }
    ScopedTempDir dir_;
    fs::path temp_ = dir_.path() / "tmp";
    std::string oldTmp_;
};

TEST_F(MovieHandleTest, ATheoraMovieOpensWithItsSizeAndSoundAndClosesWhole) {
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(1);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    MovieOptions o;
    o.frames = 4;
    o.sound = true;
    WriteBytes("sound.ogv", WriteTheoraMovie(o));
    o.sound = false;
    WriteBytes("silent.ogv", WriteTheoraMovie(o));

    int width = 0, height = 0;
    const int movie = OpenMovie("sound.ogv", &width, &height, 12345);
    ASSERT_GE(movie, 0);
    EXPECT_EQ(uint32_t(movie) & 0x78000000u, kMovieKindBits);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 96);
    MovieRecord* r = GetMovieRecord(movie);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->theora, 1);
    EXPECT_NE(r->file, FileHandle(0));
    EXPECT_GE(r->soundHandle, 0) << "the Vorbis track loads as the movie's sound";
    EXPECT_EQ(r->currentFrame, GetTheoraFrameImage(r->decoder));
    EXPECT_EQ(r->graphBuilder, nullptr);

    const int silent = OpenMovie("silent.ogv", nullptr, nullptr);
    ASSERT_GE(silent, 0);
    EXPECT_EQ(HandleSlotOf(silent), 1);
    EXPECT_EQ(GetMovieRecord(silent)->soundHandle, -1);
    EXPECT_EQ(CountOpenMovies(), 2);

    EXPECT_EQ(CloseMovie(movie), 0);
    EXPECT_EQ(CloseMovie(movie), -1) << "a closed movie's handle is refused";
    EXPECT_EQ(GetMovieRecord(movie), nullptr);
    EXPECT_EQ(UpdateMovieFrame(movie, 0), -1);
    EXPECT_EQ(SetMovieFrameCallback(movie, nullptr, 0), -1);
    EXPECT_EQ(CloseMovie(-1), -1);
    EXPECT_EQ(CloseMovie((silent & ~int(0x78000000)) | int(0x10000000)), -1) << "another kind";
    EXPECT_EQ(CloseMovie(silent), 0);
    TerminateSoundSystem();
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
}

struct Calls {
    static int Count(MovieRecord* record, uint32_t user) {
        ++seen;
        lastUser = user;
        ConvertTheoraFrame(record->decoder, 1, 0);
        return 0;
    }
    static inline int seen = 0;
    static inline uint32_t lastUser = 0;
};

TEST_F(MovieHandleTest, EveryUpdateCallsTheFrameCallbackAndThePictureStaysTheFirstFrame) {
    MovieOptions o;
    o.frames = 12;
    WriteBytes("clip.ogv", WriteTheoraMovie(o));
    const int movie = OpenMovie("clip.ogv", nullptr, nullptr);
    ASSERT_GE(movie, 0);
    Calls::seen = 0;
    EXPECT_EQ(UpdateMovieFrame(movie, 0), 0) << "without a callback";
    ASSERT_EQ(SetMovieFrameCallback(movie, Calls::Count, 77), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(UpdateMovieFrame(movie, 0), 0);
    EXPECT_EQ(Calls::seen, 3);
    EXPECT_EQ(Calls::lastUser, 77u);
    EXPECT_LE(LargestColourError(*GetMovieRecord(movie)->currentFrame, 0), 2) << "still frame 0";
    EXPECT_EQ(CloseMovie(movie), 0);
}

TEST_F(MovieHandleTest, AviAndMp4OpenThroughTheMovieGraphWithTheirFrameSize) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is missing";
    ASSERT_TRUE(MakeClip("clip.avi", "mjpeg"));
    ASSERT_TRUE(MakeClip("clip.mp4", "mpeg4", "80x48"));
    for (const char* name : {"clip.avi", "clip.mp4"}) {
        SCOPED_TRACE(name);
        int width = 0, height = 0;
        const int movie = OpenMovie(name, &width, &height);
        ASSERT_GE(movie, 0);
        const bool avi = std::string(name) == "clip.avi";
        EXPECT_EQ(width, avi ? 96 : 80);
        EXPECT_EQ(height, avi ? 64 : 48);
        MovieRecord* r = GetMovieRecord(movie);
        EXPECT_EQ(r->theora, 0);
        EXPECT_EQ(r->decoder, nullptr);
        EXPECT_EQ(r->temporaryFile, 0) << "the graph opened the file by its name";
        ASSERT_NE(r->renderer, nullptr);
        EXPECT_EQ(r->renderer->Pitch(), width * 3);
        EXPECT_EQ(r->currentFrame, &r->frameImage);
        EXPECT_EQ(r->frameImage.pixels, nullptr) << "a movie graph never delivers a frame";
        mg::FilterState state = mg::FilterState::Running;
        ASSERT_NE(r->mediaControl, nullptr);
        EXPECT_EQ(r->mediaControl->GetState(&state), mg::kOk);
        EXPECT_EQ(state, mg::FilterState::Stopped) << "built and never run";
        int64_t duration = 0;
        EXPECT_EQ(r->mediaSeeking->GetDuration(&duration), mg::kOk);
        EXPECT_EQ(duration, 5 * mg::kTimeUnitsPerSecond / 10) << "five frames at 10 per second";
        EXPECT_EQ(r->basicAudio->SetVolume(-600), mg::kOk);
        EXPECT_EQ(UpdateMovieFrame(movie, 0), 0);
        EXPECT_EQ(CloseMovie(movie), 0);
    }
    EXPECT_EQ(FilesIn(temp_), 0);
}

TEST_F(MovieHandleTest, FilesNoBackEndTakesAreRefusedInOneLineAndChangeNothing) {
    WriteBytes("clip.ogv", WriteTheoraMovie(MovieOptions{}));
    const int before = OpenMovie("clip.ogv", nullptr, nullptr);
    ASSERT_EQ(CloseMovie(before), 0);
    std::ofstream("notes.txt") << "no movie here";
    MovieOptions o;
    o.video = false;
    o.sound = true;
    WriteBytes("sound_only.ogg", WriteTheoraMovie(o));
    const std::pair<const char*, const char*> refusals[] = {
        {"notes.txt", "notes.txt is no movie: neither an Ogg Theora movie nor one the media graph reads"},
        {"missing.avi", "file not found: missing.avi"},
        {"sound_only.ogg", "sound_only.ogg is no movie: neither an Ogg Theora movie nor one the media graph reads"}};
    for (const auto& [name, why] : refusals) {
        SCOPED_TRACE(name);
        int width = -5;
        const size_t before = LogText().size();
        EXPECT_EQ(OpenMovie(name, &width, nullptr), -1);
        EXPECT_EQ(width, -5) << "outputs untouched";
        const std::string said = LogText().substr(before);
        EXPECT_NE(said.find(std::string("OpenMovie refused: ") + why + "\r\n"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
    }
    EXPECT_EQ(CountOpenMovies(), 0);
    EXPECT_EQ(FilesIn(temp_), 0) << "the copies that could not be rendered are gone";

    // The check-id counter did not move: the next movie gets the next check id in the same slot.
    const int movie = OpenMovie("clip.ogv", nullptr, nullptr);
    EXPECT_EQ(movie, MakeHandle(HANDLE_KIND_MOVIE, HandleCheckOf(before) + 1, HandleSlotOf(before)));
    EXPECT_EQ(CloseMovie(movie), 0);
}

TEST_F(MovieHandleTest, AFailedGraphManagerIsReported) {
    CoCreateInstanceEntry = [](const mg::Guid& classId, mg::Unknown* outer, uint32_t context, const mg::Guid& iid,
                               void** out) {
        if (classId == mg::kClassFilterGraph) return mg::kOutOfMemory;
        return mg::CreateMediaObject(classId, outer, context, iid, out);
    };
    std::ofstream("anything.avi") << "no Theora movie";
    EXPECT_EQ(OpenMovie("anything.avi", nullptr, nullptr), -1);
    CoCreateInstanceEntry = mg::CreateMediaObject;
    const std::string log = LogText();
    EXPECT_NE(log.find("CLSID_FilterGraph の作成に失敗しました"), std::string::npos) << log;
    EXPECT_EQ(log.find("が開けませんでした"), std::string::npos) << "nothing further was tried";
}

TEST_F(MovieHandleTest, TheTableHoldsAHundredAndReusesTheLowestSlotUnderANewCheckId) {
    // The cheapest movie to open a hundred times: one raw frame.
    if (!HaveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is missing";
    ASSERT_TRUE(MakeClip("tiny.avi", "rawvideo", "16x16", 1));
    std::vector<int> movies;
    for (int i = 0; i < kMovieTableSize; ++i) {
        movies.push_back(OpenMovie("tiny.avi", nullptr, nullptr));
        ASSERT_EQ(HandleSlotOf(movies.back()), i);
    }
    const size_t logBefore = LogText().size();
    EXPECT_EQ(OpenMovie("tiny.avi", nullptr, nullptr), -1) << "the 101st";
    EXPECT_NE(LogText().find("OpenMovie refused: 100 movies are open", logBefore), std::string::npos) << LogText();

    ASSERT_EQ(CloseMovie(movies[5]), 0);
    ASSERT_EQ(CloseMovie(movies[7]), 0);
    const int reused = OpenMovie("tiny.avi", nullptr, nullptr);
    EXPECT_EQ(HandleSlotOf(reused), 5) << "the lowest empty slot";
    EXPECT_EQ(HandleCheckOf(reused), HandleCheckOf(movies.back()) + 1);
    EXPECT_EQ(GetMovieRecord(movies[5]), nullptr) << "the old handle of the slot is refused";
    EXPECT_EQ(GetMovieRecord(reused)->checkId, uint32_t(HandleCheckOf(reused)));
    movies[5] = reused;
    movies[7] = OpenMovie("tiny.avi", nullptr, nullptr);
    EXPECT_EQ(HandleSlotOf(movies[7]), 7);
    for (int m : movies) EXPECT_EQ(CloseMovie(m), 0);
}

// An archive member: the graph cannot open it by name, so it renders a
// temporary copy (here of more than 1 MiB, copied in pieces), which
// closing the movie deletes.
TEST_F(MovieHandleTest, AnArchiveMemberPlaysFromATemporaryCopyThatClosingDeletes) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "the ffmpeg tool is missing";
    ASSERT_TRUE(MakeClip("big.avi", "rawvideo", "320x240", 6, "-pix_fmt bgr24"));
    const std::string bytes = ScopedTempDir::ReadFile("big.avi");
    ASSERT_GT(bytes.size(), 1048576u) << "more than one piece";
    std::string image;
    ASSERT_EQ(BuildArchiveImage({{"clip.avi", bytes}}, "k", &image), 0);
    std::ofstream("pack.dat", std::ios::binary) << image;
    fs::remove("big.avi");
    subsystems::ResetArchives();
    SetArchiveFileExtension("dat");
    SetArchiveKey("k");
    SetUseArchive(1);

    int width = 0;
    const int movie = OpenMovie("pack\\clip.avi", &width, nullptr);
    subsystems::CloseArchives();
    SetArchiveKey("");
    ASSERT_GE(movie, 0) << LogText();
    EXPECT_EQ(width, 320);
    MovieRecord* r = GetMovieRecord(movie);
    EXPECT_EQ(r->temporaryFile, 1);
    std::string copy;
    ASSERT_TRUE(platform::Utf16ToUtf8(r->fileName, copy));
    EXPECT_EQ(fs::path(copy).parent_path(), temp_);
    EXPECT_EQ(ScopedTempDir::ReadFile(copy), bytes) << "copied whole";
    EXPECT_EQ(CloseMovie(movie), 0);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(FilesIn(temp_), 0);
}

// Movies the program never closed close with the engine: the Theora
// decoder's thread is joined (here still decoding ahead of a longer movie),
// the movie graph's temporary copy deleted, every record and the table
// freed; the engine then opens movies again from a fresh table.
TEST(MovieEngineEnd, MoviesLeftOpenCloseWithTheEngine) {
    ScopedTempDir dir;
    const fs::path temp = dir.path() / "tmp";
    fs::create_directory(temp);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string keptTmp = oldTmp ? oldTmp : "";
    setenv("TMPDIR", temp.c_str(), 1);
    MovieOptions o;
    o.frames = 40;
    o.sound = true;
    WriteBytes("long.ogv", WriteTheoraMovie(o));
    const bool graphs = HaveFfmpeg() && MakeClip("clip.avi", "rawvideo", "96x64", 3, "-pix_fmt bgr24");
    if (graphs) {
        std::string image;
        ASSERT_EQ(BuildArchiveImage({{"clip.avi", ScopedTempDir::ReadFile("clip.avi")}}, "k", &image), 0);
        std::ofstream("pack.dat", std::ios::binary) << image;
        fs::remove("clip.avi");
    }
    platform::UseVirtualClock(true);
    SetLogOutput(0);
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    // A table an earlier case left would be freed by the engine's end and
    // count as blocks gone: start, as a program does, without one.
    CloseAllMovies();
    const size_t liveBefore = GetMemoryTotals().liveBlocks;

    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(InitializeEngine(), 0);
        SetArchiveFileExtension("dat");
        SetArchiveKey("k");
        SetUseArchive(1);
        EXPECT_GE(OpenMovie("long.ogv", nullptr, nullptr), 0);
        EXPECT_GE(OpenMovie("long.ogv", nullptr, nullptr), 0);
        if (graphs) {
            EXPECT_GE(OpenMovie("pack\\clip.avi", nullptr, nullptr), 0);
            EXPECT_EQ(FilesIn(temp), 1) << "the member plays from a temporary copy";
        }
        EXPECT_EQ(CountOpenMovies(), graphs ? 3 : 2);
        ASSERT_EQ(ShutdownEngine(), 0);
        EXPECT_EQ(CountOpenMovies(), 0) << "run " << run;
        EXPECT_EQ(FilesIn(temp), 0) << "run " << run << ": no temporary copy is left";
        EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore) << "run " << run << ": tracked blocks leaked";
    }

    SetUseArchive(0);
    SetArchiveKey("");
    SetSoundDeviceBackend("sdl2");
    SetWindowBackend("sdl2");
    platform::UseVirtualClock(false);
    if (keptTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", keptTmp.c_str(), 1);
}

// The file functions of a file whose reads come up short from the second
// piece on, as when a file shrinks while it is copied.
struct ShortFile {
    static inline int reads = 0;
    static FileHandle Open(const char*, int, int, int) { return FileHandle(1); }
    static int Close(FileHandle) { return 0; }
    static int64_t Tell(FileHandle) { return 3 * 1048576; }
    static int Seek(FileHandle, int64_t, int) { return 0; }
    static size_t Read(void* buffer, size_t size, size_t count, FileHandle) {
        std::memset(buffer, 0x5A, size * count);
        return ++reads == 1 ? count : count / 2;
    }
};

TEST_F(MovieHandleTest, AShortReadEndsTheCopyAndDeletesIt) {
    FileAccessTable files{};
    files.open = ShortFile::Open;
    files.close = ShortFile::Close;
    files.tell = ShortFile::Tell;
    files.seek = ShortFile::Seek;
    files.read = ShortFile::Read;
    ShortFile::reads = 0;
    auto* r = static_cast<MovieRecord*>(AllocMemoryZero(sizeof(MovieRecord), "", 0));
    EXPECT_FALSE(CopyMovieToTemporaryFile(r, &files, "shrinking.avi"));
    EXPECT_EQ(ShortFile::reads, 2) << "no piece after the short one";
    EXPECT_EQ(r->temporaryFile, 0);
    EXPECT_EQ(FilesIn(temp_), 0) << "no partial copy is left";
    FreeMemory(r);
}

mg::MediaType VideoType(const mg::Guid& subtype, int32_t width, int32_t height) {
    mg::MediaType t = mg::MakeRgb24VideoType(width, height, 0);
    t.subtype = subtype;
    return t;
}

TEST(MovieRenderer, TakesOnly24BitRgbVideoAndSizesItsFrameBufferFromIt) {
    mg::Result created = 1;
    D_CMovieRenderer* renderer = D_CMovieRenderer::Create(nullptr, &created);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(created, mg::kOk);
    EXPECT_TRUE(renderer->ClassId() == kClassMovieRenderer);
    EXPECT_EQ(renderer->CheckMediaType(nullptr), mg::kPointer);
    mg::MediaType notVideoInfo = VideoType(mg::kSubtypeRgb24, 8, 8);
    notVideoInfo.formatType = mg::kFormatWaveFormatEx;
    EXPECT_EQ(renderer->CheckMediaType(&notVideoInfo), mg::kInvalidArg) << "even though the major type is video";
    mg::MediaType audio = VideoType(mg::kSubtypeRgb24, 8, 8);
    audio.majorType = mg::kMediaTypeAudio;
    EXPECT_EQ(renderer->CheckMediaType(&audio), mg::kFail);
    const mg::MediaType rgb32 = VideoType(mg::kSubtypeRgb32, 8, 8);
    EXPECT_EQ(renderer->CheckMediaType(&rgb32), mg::kFail);
    const mg::MediaType rgb24 = VideoType(mg::kSubtypeRgb24, 8, 8);
    EXPECT_EQ(renderer->CheckMediaType(&rgb24), mg::kOk);

    const struct {
        int width, height, pitch, rows;
    } cases[] = {{1, 4, 4, 4}, {2, 4, 8, 4}, {4, 4, 12, 4}, {320, -240, 960, 240}};
    for (const auto& c : cases) {
        ASSERT_EQ(renderer->SetMediaType(VideoType(mg::kSubtypeRgb24, c.width, c.height)), mg::kOk);
        EXPECT_EQ(renderer->Width(), c.width);
        EXPECT_EQ(renderer->Height(), c.rows) << "a top-down format counts its rows alike";
        EXPECT_EQ(renderer->Pitch(), c.pitch) << c.width;
        EXPECT_NE(renderer->FrameBuffer(), nullptr);
    }
    EXPECT_EQ(renderer->SetMediaType(VideoType(mg::kSubtypeRgb24, -3, 4)), mg::kInvalidArg);
    EXPECT_EQ(renderer->Width(), 320) << "a size no buffer can hold leaves the last one";
    renderer->Release();
}

}  // namespace
