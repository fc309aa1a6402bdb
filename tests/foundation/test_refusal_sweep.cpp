// A refused call writes one line, "<function> refused: <why>", naming the
// function called and the reason a program can act on; a call that
// succeeds writes no refusal, whatever was tried and dropped on its way
// (engine.h). Swept over the tree's own test assets of every kind (fuzz
// seeds, test writers, archive members, screenshots, durable writes, loads
// on a loader thread), and over a file missing, a folder, a text file and a
// file cut short.
#include "engine/engine.h"
#include "engine_temp_folder_fixture.h"
#include "log_lines.h"
#include "model/base/model_handles.h"
#include "mv1_writer.h"
#include "theora_movie_writer.h"
#include "../model/pmd_samples.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

// The public call a case names, made on a file as a program makes it: its
// result, -1 when refused.
int CallOn(const std::string& function, const std::string& file) {
    static const DurableFolder kFolders[] = {{"store", ""}};
    static const DurableStore kStore{kFolders, 1, 2, 1024};
    const char* f = file.c_str();
    const std::string bytes = fs::is_regular_file(file) ? ScopedTempDir::ReadFile(file) : "";
    void* data = nullptr;
    int size = 0;
    if (function == "OpenGraphFile") return OpenGraphFile(f, 0);
    if (function == "OpenGraphFileWithAlpha") return OpenGraphFileWithAlpha(f);
    if (function == "MakeGraphFromImageMemory")
        return MakeGraphFromImageMemory(bytes.data(), bytes.size(), nullptr, 0, 1, 0);
    if (function == "OpenMovie") return OpenMovie(f, nullptr, nullptr);
    if (function == "LoadSoundFile") return LoadSoundFile(f, 1);
    if (function == "CreateSoundHandleFromFile") return CreateSoundHandleFromFile(f, 1);
    if (function == "LoadMusicMem") return LoadMusicMem(f);
    if (function == "PlayMusicFile") return PlayMusicFile(f, kPlayTypeBack);
    if (function == "LoadModelFile") return LoadModelFile(f);
    if (function == "SaveDrawScreenToPng") return SaveDrawScreenToPng(f);
    if (function == "WriteFileDurably") return WriteFileDurably(f, "kept", 4);
    if (function == "WriteFileSetDurably") {
        const DurableFile files[] = {{"store/first.dat", "1", 1}, {f, "2", 1}};
        return WriteFileSetDurably(&kStore, files, 2);
    }
    if (function == "LoadWholeFile" && LoadWholeFile(f, &data, &size) == 0) return FreeMemory(data), 0;
    return -1;
}

class RefusalSweepTest : public HeadlessEngineInTempFolderTest {
protected:
    void SetUp() override {
        HeadlessEngineInTempFolderTest::SetUp();
        ASSERT_EQ(InitializeEngine(), 0);
    }

    // Makes the call (on a thread of its own for a loader) and keeps what
    // is wrong with what it did and wrote. why: "" for a call that must
    // succeed, else words its one refusal line must hold.
    void Check(const std::string& function, const std::string& file, const std::string& why, bool onLoader = false) {
        ++calls_;
        const size_t before = LogSize();
        int result = -1;
        if (onLoader)
            std::thread([&] { result = CallOn(function, file); }).join();
        else
            result = CallOn(function, file);
        std::vector<std::string> lines;
        std::string fault = (result == -1) == why.empty() ? (why.empty() ? "failed; " : "was not refused; ") : "";
        for (const std::string& cp932 : LogLinesSince(before)) ConvertCp932ToUtf8(cp932, &lines.emplace_back());
        const std::string said = function + " refused: ";
        if (why.empty()) {
            for (const std::string& line : lines)
                if (SaysRefused(line)) fault += "wrote \"" + line + "\"; ";
        } else if (lines.size() != 1 || !lines[0].starts_with(said) || lines[0].find(why) == std::string::npos) {
            fault += "wrote " + std::to_string(lines.size()) + " lines, not one \"" + said + "...\" with \"" + why +
                     "\":";
            for (const std::string& line : lines) fault += " \"" + line + "\"";
        }
        if (!fault.empty())
            faults_ += function + "(" + file + ")" + (onLoader ? " on a loader: " : ": ") + fault + "\n";
    }
    // The refusals of a file missing, a folder and a text file, with the
    // extension given; textIsNot: what the call says a text file is not.
    void CheckBadFiles(const std::string& function, const std::string& extension, const std::string& textIsNot,
                       bool onLoader = false) {
        fs::create_directory("dir." + extension);
        Write("words." + extension, "Words of a text file, which no reader takes for anything else.\r\n");
        Check(function, "absent." + extension, "file not found: absent." + extension, onLoader);
        Check(function, "dir." + extension, "dir." + extension + " is a folder", onLoader);
        Check(function, "words." + extension, textIsNot, onLoader);
    }
    // The seeds of the fuzz target with the extension given (or all).
    static std::vector<std::string> Seeds(const char* target, const char* extension = "") {
        std::vector<std::string> paths;
        for (const auto& entry : fs::directory_iterator(fs::path(MORPOTTA_FUZZ_CORPUS_DIR) / target))
            if (!*extension || entry.path().extension() == extension)
                fs::copy_file(entry.path(), paths.emplace_back(entry.path().filename().string()),
                              fs::copy_options::overwrite_existing);
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static std::string Cut(const std::string& file, size_t keep) {
        Write("cut_" + file, ScopedTempDir::ReadFile(file).substr(0, keep));
        return "cut_" + file;
    }
    void ExpectNoFault() { EXPECT_EQ(faults_, "") << "of " << calls_ << " calls"; }

private:
    std::string faults_;
    int calls_ = 0;
};

TEST_F(RefusalSweepTest, PicturesAndMoviesSayOneTrueRefusalOrNone) {
    for (const std::string& picture : Seeds("fuzz_image")) {
        for (const char* function : {"OpenGraphFile", "OpenGraphFileWithAlpha", "MakeGraphFromImageMemory"})
            Check(function, picture, "");
        Check("OpenGraphFile", picture, "", true);
    }
    std::vector<std::string> movies = Seeds("fuzz_theora", ".ogv");
    moviegen::MovieOptions withSound;
    withSound.width = withSound.height = 16;
    withSound.sound = true;
    const std::vector<uint8_t> sounding = moviegen::WriteTheoraMovie(withSound);
    Write(movies.emplace_back("sounding.ogv"), std::string(sounding.begin(), sounding.end()));
    // A movie of another kind, for the media graph, where the tool is there.
    if (std::system("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=16x16:rate=10 -frames:v 1 -c:v rawvideo "
                    "raw.avi >/dev/null 2>&1") == 0)
        movies.push_back("raw.avi");
    for (const std::string& movie : movies)
        for (const char* function : {"OpenMovie", "OpenGraphFile"}) Check(function, movie, "");

    CheckBadFiles("OpenGraphFile", "png", "words.png is neither a picture nor a movie");
    CheckBadFiles("OpenGraphFile", "png", "words.png is no picture, and movies open on the engine's thread", true);
    CheckBadFiles("OpenGraphFileWithAlpha", "png", "words.png is no picture");
    Check("MakeGraphFromImageMemory", "words.png", "the image in memory is no picture");
    for (bool onLoader : {false, true})
        Check("OpenGraphFile", Cut("rgba.png", 60), "PNG: damaged or truncated", onLoader);
    CheckBadFiles("OpenMovie", "ogv", "words.ogv is no movie");
    Check("OpenMovie", Cut("two_frames.ogv", 200), "Theora: the movie is cut short");
    ExpectNoFault();
}

TEST_F(RefusalSweepTest, SoundsAndMusicSayOneTrueRefusalOrNone) {
    std::vector<std::string> sounds = Seeds("fuzz_wav", ".wav");
    for (const char* target : {"fuzz_mp3", "fuzz_ogg"}) sounds.push_back(Seeds(target)[0]);
    for (const int type : {0, 3}) {
        SetSoundCreateType(type);
        for (const std::string& sound : sounds) Check("LoadSoundFile", sound, "");
        CheckBadFiles("LoadSoundFile", "wav", "no sound any reader takes");
        Check("LoadSoundFile", Cut("pcm16_mono.wav", 30), "the WAVE data is cut short");
    }
    SetSoundCreateType(0);
    for (const std::string& sound : sounds) {
        for (const char* function : {"CreateSoundHandleFromFile", "LoadMusicMem"}) Check(function, sound, "");
        Check("LoadSoundFile", sound, "", true);
    }
    CheckBadFiles("LoadSoundFile", "wav", "no sound any reader takes", true);
    CheckBadFiles("CreateSoundHandleFromFile", "wav", "no sound any reader takes");
    Check("PlayMusicFile", sounds[0], "");
    for (const char* function : {"LoadMusicMem", "PlayMusicFile"}) {
        for (const std::string& midi : Seeds("fuzz_midi", ".mid")) Check(function, midi, "");
        CheckBadFiles(function, "mid", "no music");
        Check(function, Cut("format0.mid", 30), "the MIDI data is cut short");
    }
    ExpectNoFault();
}

TEST_F(RefusalSweepTest, ModelsSayOneTrueRefusalOrNone) {
    std::vector<std::string> models = Seeds("fuzz_mqo", ".mqo");
    for (const std::string& x : Seeds("fuzz_x", ".x")) models.push_back(x);
    Write(models.emplace_back("triangle.pmd"), WritePmd(PmdTriangle()));
    const int box = LoadModelFile(models[0].c_str());
    ASSERT_NE(box, -1);
    Write(models.emplace_back("box.mv1"), WriteMv1(GetModelBase(GetModelBaseHandle(box))));
    for (const std::string& model : models)
        for (bool onLoader : {false, true}) Check("LoadModelFile", model, "", onLoader);
    for (bool onLoader : {false, true})
        CheckBadFiles("LoadModelFile", "mqo", "モデルファイル words.mqo の形式に対応する読み込み処理がありません", onLoader);
    Check("LoadModelFile", Cut(models[0], 200), "MQO Load Error");
    ExpectNoFault();
}

TEST_F(RefusalSweepTest, FilesArchivesScreenshotsAndDurableWritesSayOneTrueRefusalOrNone) {
    const std::string picture = Seeds("fuzz_image", ".png")[0], sound = Seeds("fuzz_wav", ".wav")[0];
    std::string image;
    ASSERT_EQ(BuildArchiveImage({{"picture.png", ScopedTempDir::ReadFile(picture)},
                                 {"sound.wav", ScopedTempDir::ReadFile(sound)},
                                 {"model.mqo", ScopedTempDir::ReadFile(Seeds("fuzz_mqo")[0])}},
                                "", &image),
              0);
    Write("packed.dat", image);
    // An archive that is none, standing for a folder whose own files are read.
    Write("damaged.dat", "no archive at all");
    fs::create_directory("damaged");
    fs::copy_file(picture, "damaged/picture.png");
    // The first call that meets it, and finds no file in its stead, says so.
    Check("LoadWholeFile", "damaged/absent.dat", "damaged.dat cannot be read: archive: ");
    for (const char* file : {"packed/picture.png", "damaged/picture.png"})
        for (bool onLoader : {false, true}) Check("OpenGraphFile", file, "", onLoader);
    Check("LoadSoundFile", "packed/sound.wav", "");
    Check("LoadModelFile", "packed/model.mqo", "");
    Check("LoadWholeFile", "packed/sound.wav", "");
    Check("LoadWholeFile", sound, "");
    Check("OpenGraphFile", "packed/absent.png", "file not found: packed/absent.png");
    Check("LoadSoundFile", "damaged/absent.wav", "file not found: damaged/absent.wav");
    CheckBadFiles("LoadWholeFile", "dat", "");

    fs::create_directories("store/dir.dat");
    for (const char* twice : {"shot.png", "shot.png"}) Check("SaveDrawScreenToPng", twice, "");
    Check("WriteFileDurably", "kept.dat", "");
    Check("WriteFileSetDurably", "store/second.dat", "");
    ASSERT_EQ(mkfifo("fifo.png", 0600), 0);
    fs::create_symlink("shot.png", "link.png");
    for (const char* place : {"store", "fifo.png", "link.png"})
        Check("SaveDrawScreenToPng", place, "is no regular file");
    Check("SaveDrawScreenToPng", "nowhere/shot.png", "stands in a folder that cannot be used");
    Check("WriteFileDurably", "store", "is no regular file");
    Check("WriteFileSetDurably", "store/dir.dat", "is no regular file");
    ExpectNoFault();
}

}  // namespace
