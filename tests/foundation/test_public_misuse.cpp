// What a game programmer can get wrong through the public API alone: calls
// before start-up and after shut-down, handles of the wrong kind or of
// things gone, a null position, coordinates and sample counts at the ends
// of their types, and files that are not where the program or a model
// says. Each call is refused with -1 and a log line that says why, or does
// something defined (the sanitizer build runs every case).
#include "engine/engine.h"
#include "engine_temp_folder_fixture.h"
#include "mqo_writer.h"
#include "test_pictures.h"
#include "wave_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string ReadLog() { return ScopedTempDir::ReadFile("Log.txt"); }

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PublicMisuseTest : public EngineInTempFolderTest {
protected:
    void SetUp() override {
        EngineInTempFolderTest::SetUp();
        SetLogOutput(1);
    }
    static void Start(const char* window, const char* device) {
        ASSERT_EQ(SetWindowBackend(window), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice(device), 0);
        ASSERT_EQ(InitializeEngine(), 0);
    }
    // The log lines the call writes (the engine runs: the log only grows).
    template <typename Call>
    static std::vector<std::string> LinesWrittenBy(Call call) {
        const size_t before = ReadLog().size();
        call();
        return LinesOf(ReadLog().substr(before));
    }
    // -1, and the log's last line names the function and says why.
    static void ExpectRefused(const char* function, int (*call)()) {
        EXPECT_EQ(call(), -1) << function;
        const std::vector<std::string> lines = LinesOf(ReadLog());
        ASSERT_FALSE(lines.empty()) << function;
        EXPECT_TRUE(Contains(lines.back(), function) && Contains(lines.back(), "not running")) << lines.back();
    }
    static void ExpectPicturesAndFontsRefused() {
        ExpectRefused("OpenGraphFile", [] { return OpenGraphFile("shot.png", 0); });
        ExpectRefused("OpenDivGraphFile", [] {
            int handles[4] = {};
            return OpenDivGraphFile("shot.png", 4, 2, 2, 8, 8, handles, 0);
        });
        ExpectRefused("MakeBlankGraph", [] { return MakeBlankGraph(16, 16, 0); });
        ExpectRefused("CreateFontToHandle", [] { return CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1); });
        ExpectRefused("GetDefaultFontHandle", [] { return GetDefaultFontHandle(); });
        EXPECT_EQ(CountGraphs(), 0);
        EXPECT_EQ(CountFonts(), 0);
    }

public:
    // A public call a new game programmer gets wrong, and what its refusal
    // must say.
    struct Misuse {
        const char* function;
        std::function<int()> call;
        const char* why;
    };
    // Each call returns -1, and a line it writes names the function and says why.
    static void ExpectEachRefusedSaying(const std::vector<Misuse>& misuses) {
        for (const Misuse& m : misuses) {
            int result = 0;
            const std::vector<std::string> lines = LinesWrittenBy([&] { result = m.call(); });
            EXPECT_EQ(result, -1) << m.function;
            const bool said = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return Contains(line, m.function) && Contains(line, m.why);
            });
            EXPECT_TRUE(said) << m.function << " did not say \"" << m.why << "\": "
                              << (lines.empty() ? std::string("(no line)") : lines.back());
        }
    }
};

TEST_F(PublicMisuseTest, PicturesAndFontsAreRefusedWhileTheEngineIsNotRunning) {
    ExpectPicturesAndFontsRefused();

    Start("headless", "none");
    ASSERT_EQ(SaveDrawScreenToPng("shot.png"), 0);
    int handles[4] = {};
    EXPECT_NE(OpenGraphFile("shot.png", 0), -1);
    EXPECT_EQ(OpenDivGraphFile("shot.png", 4, 2, 2, 8, 8, handles, 0), 0);
    EXPECT_NE(MakeBlankGraph(16, 16, 0), -1);
    EXPECT_NE(CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1), -1);
    EXPECT_NE(GetDefaultFontHandle(), -1);
    ASSERT_EQ(ShutdownEngine(), 0);

    ExpectPicturesAndFontsRefused();
}

TEST_F(PublicMisuseTest, ShutDownFreesTheFontsAndTheirHandlesNameNoFontOfTheNextStart) {
    const size_t liveBefore = GetMemoryTotals().liveBlocks;
    std::vector<int> handles[2];
    for (std::vector<int>& cycle : handles) {
        Start("headless", "none");
        EXPECT_EQ(DrawTextAt(10, 10, "text", 0xFFFFFFFFu, 0), 0);
        cycle = {GetDefaultFontHandle(), CreateFontToHandle(nullptr, 24, -1, 0, -1, -1, 0, -1, -1)};
        ASSERT_EQ(ShutdownEngine(), 0);
        EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore);
    }
    for (int kept : handles[0])
        for (int made : handles[1]) EXPECT_NE(kept, made);
}

// The draws at the ends of the int range, on the software path and on the
// GL device: nothing of them shows but what reaches the screen.
class PublicMisuseDrawTest : public PublicMisuseTest, public ::testing::WithParamInterface<const char*> {
protected:
    static int PixelsOf(uint32_t colour) {
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        return int(std::count(pixels.begin(), pixels.end(), colour));
    }
};

TEST_P(PublicMisuseDrawTest, ANullPositionAndExtremeCoordinatesAreDefined) {
    const bool gl = std::string(GetParam()) == "gl";
    Start(gl ? "sdl2" : "headless", GetParam());
    ASSERT_EQ(HardwareRenderingActive(), gl ? 1 : 0);

    std::vector<std::string> lines;
    lines = LinesWrittenBy([] {
        const Vector3 nowhere = WorldToScreenPos(nullptr);
        EXPECT_TRUE(nowhere.x == 0 && nowhere.y == 0 && nowhere.z == 0);
    });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0], "WorldToScreenPos"));

    const uint32_t white = MakeScreenColor(255, 255, 255), black = MakeScreenColor(0, 0, 0);
    const int edged = CreateFontToHandle(nullptr, 16, -1, kFontTypeEdge, -1, 2, 0, -1, -1);
    ASSERT_NE(edged, -1);
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    EXPECT_EQ(DrawRectangle(INT_MAX, INT_MAX, INT_MIN, INT_MIN, white, 0), 0);
    EXPECT_EQ(DrawTextAt(INT_MAX, INT_MAX, "text", white, 0), 0);
    EXPECT_EQ(DrawTextWithFont(INT_MIN + 1, INT_MAX - 1, "text\ntext", white, edged, white, 0), 0);
    EXPECT_EQ(DrawTextWithFont(INT_MAX, INT_MIN, "text", white, edged, white, 1), 0);
    EXPECT_EQ(DrawLineSegment(INT_MAX - 2, INT_MIN, INT_MAX - 2, INT_MIN + 100, white, INT_MAX), 0);
    EXPECT_EQ(PixelsOf(black), 640 * 480) << "an outline, text or a line far off the screen showed";

    // The diagonal through the screen from ends far off it: cut to what can
    // show, it draws on either path.
    EXPECT_EQ(DrawLineSegment(INT_MIN, INT_MIN, INT_MAX, INT_MAX, white, 1), 0);
    EXPECT_GE(PixelsOf(white), 470);
    EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath(std::string("misuse_far_draws_") + GetParam() + ".png").c_str()), 0);

    EXPECT_EQ(DrawRectangle(INT_MAX, INT_MAX, INT_MIN, INT_MIN, white, 1), 0);
    EXPECT_EQ(PixelsOf(white), 640 * 480);
}

INSTANTIATE_TEST_SUITE_P(Paths, PublicMisuseDrawTest, ::testing::Values("none", "gl"));

TEST(PublicMisuseSoundTest, SampleCountsAtTheEndsOfTheirTypeConvertWithoutOverflow) {
    // The low 32 bits of the exact quotients.
    EXPECT_EQ(SamplesToMilliseconds(INT64_MAX, 44100), 1421916610);
    EXPECT_EQ(SamplesToMilliseconds(INT64_MIN, 44100), -1421916610);
    EXPECT_EQ(SamplesToMilliseconds(INT64_MAX, 1), -1000);
    EXPECT_EQ(SamplesToMilliseconds(INT64_MIN, 1), 0);
}

// A square with one textured material.
std::string TexturedSquare(const std::string& texture) {
    MqoDocument doc;
    MqoMaterialSpec m;
    m.name = "skin";
    m.texture = texture;
    doc.materials.push_back(m);
    MqoObjectSpec o;
    o.name = "square";
    o.vertices = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    MqoFaceSpec face;
    face.corners = {0, 1, 2, 3};
    face.material = 0;
    face.uvs = {0, 1, 1, 1, 1, 0, 0, 0};
    o.faces.push_back(face);
    doc.objects.push_back(o);
    return WriteMqo(doc);
}

TEST_F(PublicMisuseTest, FilesNotFoundOrNotReadableLogOneLineAndProbesNone) {
    Start("headless", "recording");
    std::filesystem::create_directory("models");
    ASSERT_EQ(SaveDrawScreenToPng("models/wood.png"), 0);
    std::ofstream("models/found.mqo", std::ios::binary) << TexturedSquare("wood.png");
    std::ofstream("models/missing.mqo", std::ios::binary) << TexturedSquare("gone.png");
    std::ofstream("notes.txt") << "no picture";

    // The texture lies beside the model, not in the working directory, and
    // has no alpha companion: every probe fails but the one that counts.
    int model = -1;
    EXPECT_EQ(LinesWrittenBy([&] { model = LoadModelFile("models/found.mqo"); }).size(), 0u);
    ASSERT_GE(model, 0);
    EXPECT_EQ(GetModelMaterialCount(model), 2) << "the file's material and the reader's NoMaterial";

    std::vector<std::string> lines = LinesWrittenBy([&] { EXPECT_GE(LoadModelFile("models/missing.mqo"), 0); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0], "models/gone.png, gone.png")) << lines[0];

    // A file that is no picture is tried as a movie before it is given up.
    for (const char* name : {"gone.png", "notes.txt"}) {
        lines = LinesWrittenBy([&] { EXPECT_EQ(OpenGraphFile(name, 0), -1); });
        ASSERT_EQ(lines.size(), 1u) << name;
        EXPECT_TRUE(Contains(lines[0], name)) << lines[0];
    }
}

// One resource of each kind a game keeps by handle.
struct Kept {
    int picture = -1, sound = -1, font = -1, model = -1;
};

Kept MakeOneOfEach(int pictureWidth, int soundMilliseconds) {
    Kept k;
    k.picture = MakeBlankGraph(pictureWidth, 8, 0);
    k.model = LoadModelFile("square.mqo");
    const std::vector<uint8_t> wave = wavewriter::SilentWave(soundMilliseconds);
    k.sound = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    k.font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
    EXPECT_TRUE(k.picture != -1 && k.model != -1 && k.sound != -1 && k.font != -1);
    return k;
}

// A handle kept past the engine's end, past DeleteAll* or past the
// deletion of its resource, and a handle of another kind, name nothing the
// program made since.
TEST_F(PublicMisuseTest, AHandleKeptPastItsResourceNeverNamesAnotherOne) {
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    std::ofstream("square.mqo", std::ios::binary) << TexturedSquare("");
    Start("headless", "recording");
    const Kept first = MakeOneOfEach(8, 200);
    ASSERT_EQ(ShutdownEngine(), 0);
    Start("headless", "recording");
    const Kept second = MakeOneOfEach(32, 500);

    EXPECT_NE(first.picture, second.picture);
    int width = 0;
    EXPECT_EQ(GetGraphDimensions(first.picture, &width, nullptr), -1);
    EXPECT_EQ(DrawGraphAt(0, 0, first.picture, 0), -1);
    EXPECT_EQ(GetSoundTotalTime(first.sound), -1);
    EXPECT_EQ(GetSoundTotalTime(second.sound), 500);
    EXPECT_EQ(GetModelMaterialCount(first.model), -1);
    EXPECT_EQ(DeleteFontHandle(first.font), -1);
    EXPECT_EQ(CountFonts(), 1);

    // Model base data is a kind of its own: no picture answers to it.
    const int base = GetModelBaseHandle(second.model);
    ASSERT_NE(base, -1);
    EXPECT_EQ(DeleteGraphHandle(base, 0), -1);
    EXPECT_EQ(GetGraphDimensions(second.picture, &width, nullptr), 0);
    EXPECT_EQ(RecalculateModelBaseNormals(second.picture, 1.0f), -1);
    EXPECT_EQ(RecalculateModelBaseNormals(base, 1.0f), 0);

    ASSERT_EQ(DeleteAllFonts(), 0);
    const int font = CreateFontToHandle(nullptr, 20, -1, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(DeleteFontHandle(second.font), -1);
    EXPECT_EQ(CountFonts(), 1) << "the font made after DeleteAllFonts lives on";
    EXPECT_NE(font, second.font);

    ASSERT_EQ(DeleteAllGraphs(), 0);
    const int picture = MakeBlankGraph(16, 16, 0);
    EXPECT_NE(picture, second.picture);
    EXPECT_EQ(GetGraphDimensions(second.picture, &width, nullptr), -1);

    // A deleted picture stays refused through a whole period of check ids.
    ASSERT_EQ(DeleteGraphHandle(picture, 0), 0);
    for (int i = 1; i < 4095; ++i) {
        const int made = MakeBlankGraph(4, 4, 0);
        ASSERT_NE(made, picture) << "came back after " << i;
        ASSERT_EQ(DeleteGraphHandle(made, 0), 0);
    }
    ASSERT_EQ(ShutdownEngine(), 0);
    SetSoundDeviceBackend("sdl2");
}


// The tables of functions a program hands the engine (an archive reader, a
// stream's functions) with an empty entry: each is refused, never called,
// saying which entry is missing; and a null block is said to be null.
TEST_F(PublicMisuseTest, EmptyEntriesOfTheProgramsTablesAreRefusedNotCalled) {
    ArchiveDirectory directory;
    ArchiveEntry member;
    member.size = member.storedSize = 8;
    static const char kBytes[] = "BM";
    MemStream* memory = OpenMemStream(kBytes, 2);
    ASSERT_NE(memory, nullptr);
    StreamData empty{}, noSeek = MakeMemStreamData(memory), noTell = noSeek;
    noSeek.functions.seek = nullptr;
    noTell.functions.tell = nullptr;
    BASEIMAGE image{};
    ExpectEachRefusedSaying({
        {"ReadArchiveDirectory", [&] { return ReadArchiveDirectory(ArchiveReader{}, 64, "", &directory); },
         "no archive reader (null)"},
        {"ReadArchiveMember", [&] { return ReadArchiveMember(ArchiveReader{}, directory, member) ? 0 : -1; },
         "no archive reader (null)"},
        {"ReadPngImage", [&] { return ReadPngImage(&empty, &image); }, "no stream function read (null)"},
        {"ReadTgaImage", [&] { return ReadTgaImage(&noSeek, &image); }, "no stream function seek (null)"},
        {"ReadBmpImage", [&] { return ReadBmpImage(&noTell, &image); }, "no stream function tell (null)"},
        {"DecompressBlock", [] { return int(DecompressBlock(nullptr, 20, nullptr, 0)); }, "no block (null)"},
    });
    CloseMemStream(memory);
}

// A handle no call ever gave.
constexpr int kNeverMade = 1;

std::vector<PublicMisuseTest::Misuse> CallsThatNeedARunningEngine() {
    static const std::vector<uint8_t> wave = wavewriter::SilentWave(100);
    const char* why = "not running";
    return {
        {"ProcessWindowMessages", [] { return ProcessWindowMessages(); }, why},
        {"ClearDrawScreenToBackColor", [] { return ClearDrawScreenToBackColor(nullptr); }, why},
        {"PresentFrame", [] { return PresentFrame(); }, why},
        {"SaveDrawScreenToPng", [] { return SaveDrawScreenToPng("shot.png"); }, why},
        {"ReadDrawScreenPixels", [] {
             std::vector<uint32_t> pixels(640 * 480);
             return ReadDrawScreenPixels(pixels.data());
         }, why},
        {"CaptureScreenToGraph", [] { return CaptureScreenToGraph(0, 0, 8, 8, kNeverMade, 0); }, why},
        {"DrawGraphAt", [] { return DrawGraphAt(0, 0, kNeverMade, 0); }, why},
        {"DrawGraphRotatedAt", [] { return DrawGraphRotatedAt(0, 0, 1.0, 0.0, kNeverMade, 0, 0); }, why},
        {"DrawRectangle", [] { return DrawRectangle(0, 0, 8, 8, 0xFFFFFFFFu, 1); }, why},
        {"DrawLineSegment", [] { return DrawLineSegment(0, 0, 8, 8, 0xFFFFFFFFu, 1); }, why},
        {"SetDrawBlendGraph", [] { return SetDrawBlendGraph(kNeverMade, 0, 0); }, why},
        {"GetGraphDimensions", [] { return GetGraphDimensions(kNeverMade, nullptr, nullptr); }, why},
        {"DeleteGraphHandle", [] { return DeleteGraphHandle(kNeverMade, 0); }, why},
        {"RefillGraphFromBaseImage", [] { return RefillGraphFromBaseImage(nullptr, nullptr, kNeverMade); }, why},
        {"DrawGraphBillboard3D", [] {
             const float at[3] = {0, 0, 0};
             return DrawGraphBillboard3D(at, 0.5f, 0.5f, 1.0f, 0.0f, kNeverMade, 1, 0);
         }, why},
        {"DrawTextAt", [] { return DrawTextAt(0, 0, "text", 0xFFFFFFFFu, 0); }, why},
        {"DrawTextWithFont", [] { return DrawTextWithFont(0, 0, "text", 0xFFFFFFFFu, kNeverMade, 0, 0); }, why},
        {"GetStringWidth", [] { return GetStringWidth("text", 4, 0); }, why},
        {"DeleteFontHandle", [] { return DeleteFontHandle(kNeverMade); }, why},
        {"CreateSoundHandleFromImage",
         [] { return CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1); }, why},
        {"LoadSoundFile", [] { return LoadSoundFile("quiet.wav", 1); }, why},
        {"PlaySoundHandle", [] { return PlaySoundHandle(kNeverMade, kPlayTypeBack); }, why},
        {"StopSoundHandle", [] { return StopSoundHandle(kNeverMade); }, why},
        {"GetSoundTotalTime", [] { return GetSoundTotalTime(kNeverMade); }, why},
        {"DeleteSoundHandle", [] { return DeleteSoundHandle(kNeverMade); }, why},
        {"PlayStreamSound", [] { return PlayStreamSound(kNeverMade, kPlayTypeBack, 1); }, why},
        {"LoadMusicMem", [] { return LoadMusicMem("tune.mid"); }, why},
        {"PlayMusicFile", [] { return PlayMusicFile("tune.mid", kPlayTypeBack); }, why},
        {"PlayMidiMusic", [] { return PlayMidiMusic(kNeverMade, kPlayTypeBack); }, why},
        {"LoadModelFile", [] { return LoadModelFile("square.mqo"); }, why},
        {"DrawModel", [] { return DrawModel(kNeverMade); }, why},
        {"SetModelPosition", [] { return SetModelPosition(kNeverMade, 0, 0, 0); }, why},
        {"DeleteModel", [] { return DeleteModel(kNeverMade); }, why},
        {"GetModelMaterialCount", [] { return GetModelMaterialCount(kNeverMade); }, why},
        {"QueryGamePadState", [] {
             GamePadInput state{};
             return QueryGamePadState(0, &state);
         }, why},
    };
}

// Before start-up and after shut-down every call that needs the engine is
// refused, each saying so, as OpenGraphFile does.
TEST_F(PublicMisuseTest, EveryCallThatNeedsTheEngineSaysItIsNotRunning) {
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    ExpectEachRefusedSaying(CallsThatNeedARunningEngine());
    Start("headless", "none");
    ASSERT_EQ(ShutdownEngine(), 0);
    ExpectEachRefusedSaying(CallsThatNeedARunningEngine());
    SetSoundDeviceBackend("sdl2");
}

// Handles of every kind a game keeps, one of them let go, given to calls
// that take another kind: each refusal says what the handle is.
TEST_F(PublicMisuseTest, EveryCallGivenAWrongHandleSaysWhatTheHandleIs) {
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    std::ofstream("square.mqo", std::ios::binary) << TexturedSquare("");
    Start("headless", "recording");
    const Kept k = MakeOneOfEach(8, 100);
    const int base = GetModelBaseHandle(k.model);
    const int gone = MakeBlankGraph(8, 8, 0);
    ASSERT_EQ(DeleteGraphHandle(gone, 0), 0);
    const float at[3] = {0, 0, 0};
    ExpectEachRefusedSaying({
        {"PlaySoundHandle", [&] { return PlaySoundHandle(k.picture, kPlayTypeBack); }, "of a picture, not of a sound"},
        {"GetSoundTotalTime", [&] { return GetSoundTotalTime(k.font); }, "of a font, not of a sound"},
        {"DeleteSoundHandle", [] { return DeleteSoundHandle(-1); }, "-1"},
        {"PlayStreamSound", [&] { return PlayStreamSound(k.sound, kPlayTypeBack, 1); }, "not a stream sound"},
        {"DrawGraphAt", [&] { return DrawGraphAt(0, 0, k.sound, 0); }, "of a sound, not of a picture"},
        {"GetGraphDimensions", [&] { return GetGraphDimensions(gone, nullptr, nullptr); }, "picture that is gone"},
        {"DeleteGraphHandle", [&] { return DeleteGraphHandle(gone, 0); }, "picture that is gone"},
        {"SetDrawBlendGraph", [&] { return SetDrawBlendGraph(k.model, 0, 0); }, "of a model, not of a picture"},
        {"CaptureScreenToGraph", [&] { return CaptureScreenToGraph(0, 0, 8, 8, k.sound, 0); }, "of a sound"},
        {"DrawGraphBillboard3D", [&] { return DrawGraphBillboard3D(at, 0.5f, 0.5f, 1, 0, -1, 1, 0); }, "-1"},
        {"DrawTextWithFont", [&] { return DrawTextWithFont(0, 0, "text", 0xFFFFFFFFu, k.picture, 0, 0); },
         "of a picture, not of a font"},
        {"DeleteFontHandle", [&] { return DeleteFontHandle(k.sound); }, "of a sound, not of a font"},
        {"GetStringWidthWithFont", [&] { return GetStringWidthWithFont("text", 4, k.model); }, "of a model"},
        {"DrawModel", [&] { return DrawModel(k.picture); }, "of a picture, not of a model"},
        {"SetModelPosition", [&] { return SetModelPosition(k.sound, 0, 0, 0); }, "of a sound, not of a model"},
        {"DeleteModel", [&] { return DeleteModel(k.font); }, "of a font, not of a model"},
        {"GetModelMaterialCount", [&] { return GetModelMaterialCount(base); },
         "of a model's base data, not of a model"},
        {"RecalculateModelBaseNormals", [&] { return RecalculateModelBaseNormals(k.model, 1.0f); },
         "not of a model's base data"},
        {"ReleaseModelBaseData", [&] { return ReleaseModelBaseData(k.picture); }, "of a picture"},
        {"PlayMidiMusic", [&] { return PlayMidiMusic(k.sound, kPlayTypeBack); }, "of a sound, not of a piece of music"},
        {"DeleteMusicHandle", [&] { return DeleteMusicHandle(k.picture); }, "of a picture"},
        {"CloseMovie", [&] { return CloseMovie(k.picture); }, "of a picture, not of a movie"},
        {"UpdateMovieFrame", [] { return UpdateMovieFrame(12345); }, "no handle"},
        {"CreateSoundHandleFromImage", [] { return CreateSoundHandleFromImage(nullptr, 10, 1); }, "null"},
        {"SaveDrawScreenToPng", [] { return SaveDrawScreenToPng(nullptr); }, "null"},
    });
    ASSERT_EQ(ShutdownEngine(), 0);
    SetSoundDeviceBackend("sdl2");
}

}  // namespace
