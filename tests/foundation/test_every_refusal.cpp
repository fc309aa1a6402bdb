// engine.h promises that a call refused returns -1 (null, 0 or a zero
// vector where the result is no int) and says why in one line of the log,
// naming the function the program called. Checked over every public function: each
// one the public headers declare is refused here at least once (before
// start-up, on another thread, with a wrong kind of handle, -1, a null
// pointer, a size out of range, or a file that is a folder, a FIFO or a
// device), or is listed with the reason it cannot be refused. A function
// missing from both fails the coverage case, so a new public function
// comes with its refusal.
#include "engine/engine.h"
#include "engine_temp_folder_fixture.h"
#include "log_lines.h"
#include "mqo_writer.h"
#include "theora_movie_writer.h"
#include "wave_writer.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- The functions the public headers declare ----

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A header's text without comments, literals and preprocessor lines.
std::string DeclarationsOf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t lineText = text.find_first_not_of(" \t", i);
        const bool directive = (i == 0 || text[i - 1] == '\n') && lineText != std::string::npos && text[lineText] == '#';
        if (directive || text.compare(i, 2, "//") == 0) {
            i = std::min(text.find('\n', i), text.size()) - 1;
        } else if (text.compare(i, 2, "/*") == 0) {
            i = std::min(text.find("*/", i + 2), text.size()) + 1;
        } else if (text[i] == '"' || text[i] == '\'') {
            const char quote = text[i];
            for (++i; i < text.size() && text[i] != quote; ++i)
                if (text[i] == '\\') ++i;
            out += '0';
        } else {
            out += text[i];
        }
    }
    return out;
}

// The names declared as functions at namespace scope: an identifier before
// an opening parenthesis outside every brace and parenthesis, in a
// declaration that is no alias, assertion or type.
std::set<std::string> FunctionsDeclaredIn(const std::string& header) {
    static const std::set<std::string> kNotDeclarations = {"using", "typedef", "static_assert", "enum", "struct"};
    const std::string text = DeclarationsOf(header);
    std::set<std::string> names;
    int braces = 0, parens = 0;
    std::string first, previous;
    for (size_t i = 0; i < text.size();) {
        if (IsNameChar(text[i])) {
            size_t end = i;
            while (end < text.size() && IsNameChar(text[end])) ++end;
            previous = text.substr(i, end - i);
            if (braces == 0 && parens == 0 && first.empty()) first = previous;
            i = end;
            continue;
        }
        const char c = text[i++];
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (c == '(' && braces == 0 && parens == 0 && !previous.empty() && !kNotDeclarations.count(first) &&
            previous.compare(0, 2, "__") != 0 && !std::isdigit(static_cast<unsigned char>(previous[0])))
            names.insert(previous);
        if (c == '(') ++parens;
        if (c == ')') --parens;
        if (c == '{') ++braces;
        if (c == '}') --braces;
        if ((c == ';' || c == '{' || c == '}') && parens == 0 && braces <= 1) first.clear();
        previous.clear();
    }
    return names;
}

std::set<std::string> PublicFunctions() {
    std::set<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(MORPOTTA_PUBLIC_HEADERS_DIR)) {
        if (entry.path().extension() != ".h") continue;
        const std::set<std::string> names = FunctionsDeclaredIn(ScopedTempDir::ReadFile(entry.path()));
        all.insert(names.begin(), names.end());
    }
    return all;
}

// ---- What the refused calls are given ----

// Made once the engine runs: one resource of every kind a program keeps by
// handle, a picture's and a sound's bytes, and a picture in memory.
struct Held {
    int picture = -1, sound = -1, stream = -1, waveMusic = -1, font = -1, model = -1, base = -1;
    std::string pngFile;
    std::vector<uint8_t> png, wave;
    BASEIMAGE image{};
};
Held& H() {
    static Held held;
    return held;
}

// Paths that name no file a program can read: a folder, a FIFO with no
// writer (which must not be waited on) and a device that never ends.
constexpr const char* kFolder = "folder";
constexpr const char* kFifo = "fifo";
constexpr const char* kDevice = "/dev/zero";

const Vector3 kVector{1, 2, 3};
char aByte[1];
const Matrix44 kSingular{};
const float kPoint[3] = {0, 0, 0};

// ---- The refusals ----

enum class When { kBeforeStartUp, kRunning, kOnAnotherThread };
constexpr When kBeforeStartUp = When::kBeforeStartUp, kRunning = When::kRunning,
               kOnAnotherThread = When::kOnAnotherThread;

// A refused call of a public function, made in the given state of the
// engine; true when it returned the function's refusal value.
struct Refusal {
    const char* function;
    When when;
    bool (*call)();
};

template <typename T>
bool Null(T* pointer) {
    return pointer == nullptr;
}
bool Zero(const Vector3& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

const std::vector<Refusal>& Refusals() {
    static const std::vector<Refusal> refusals = {
        // archive.h
        {"ScrambleArchiveBytes", kRunning, [] { return ScrambleArchiveBytes(1, 0, nullptr, 8), true; }},
        {"ReadArchiveDirectory", kRunning, [] {
             ArchiveDirectory directory;
             return ReadArchiveDirectory([](uint64_t, void*, size_t) { return false; }, 4, "", &directory) == -1;
         }},
        {"ReadArchiveMember", kRunning, [] {
             ArchiveEntry entry;
             entry.size = entry.storedSize = 8;
             return Null(ReadArchiveMember([](uint64_t, void*, size_t) { return false; }, ArchiveDirectory{}, entry));
         }},
        {"BuildArchiveImage", kRunning, [] {
             std::string image;
             return BuildArchiveImage({{"a.txt", "1"}, {"A.TXT", "2"}}, "", &image) == -1;
         }},
        // baseimage.h
        {"SetPixelFormatXrgb32", kRunning, [] { return SetPixelFormatXrgb32(nullptr) == -1; }},
        {"SetPixelFormatArgb32", kRunning, [] { return SetPixelFormatArgb32(nullptr) == -1; }},
        {"SetPixelFormatRgb24", kRunning, [] { return SetPixelFormatRgb24(nullptr) == -1; }},
        {"SetPixelFormatRgb565", kRunning, [] { return SetPixelFormatRgb565(nullptr) == -1; }},
        {"SetPixelFormatPalette8", kRunning, [] { return SetPixelFormatPalette8(nullptr) == -1; }},
        {"CreateBaseImageXrgb32", kRunning, [] { return CreateBaseImageXrgb32(4, 4, nullptr) == -1; }},
        {"CreateBaseImageXrgb32", kRunning, [] {
             BASEIMAGE image;
             return CreateBaseImageXrgb32(-1, -1, &image) == -1;
         }},
        {"CreateBaseImageWithFormat", kRunning, [] {
             BASEIMAGE image;
             return CreateBaseImageWithFormat(4, 4, nullptr, &image) == -1;
         }},
        {"FreeBaseImagePixels", kRunning, [] { return FreeBaseImagePixels(nullptr) == -1; }},
        {"GetBaseImagePixel", kRunning, [] { return GetBaseImagePixel(&H().image, -1, 0, nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"SetBaseImagePixel", kRunning, [] { return SetBaseImagePixel(&H().image, 0, 99, 0, 0, 0, 0) == -1; }},
        {"GetBaseImageAlphaKind", kRunning, [] { return GetBaseImageAlphaKind(nullptr) == -1; }},
        {"RotateBaseImage180", kRunning, [] { return RotateBaseImage180(nullptr) == -1; }},
        {"BlitBaseImageScaled", kRunning, [] {
             const ImageRect inside{0, 0, 4, 4}, outside{0, 0, 99, 4};
             return BlitBaseImageScaled(&outside, &H().image, &inside, &H().image, 0) == -1;
         }},
        {"ConvertBaseImageToArgb32", kRunning, [] {
             BASEIMAGE out;
             return ConvertBaseImageToArgb32(nullptr, &out) == -1;
         }},
        {"GetImageLoaderTable", kOnAnotherThread, [] { return Null(GetImageLoaderTable()); }},
        {"AddImageReader", kRunning, [] { return AddImageReader(nullptr) == -1; }},
        {"ReadImageToBaseImage", kRunning, [] {
             BASEIMAGE image;
             return ReadImageToBaseImage(kFolder, nullptr, 0, 0, &image, 0) == -1;
         }},
        {"ReadImageToBaseImage", kRunning, [] {
             BASEIMAGE image;
             return ReadImageToBaseImage(nullptr, H().wave.data(), H().wave.size(), 1, &image, 0) == -1;
         }},
        {"ReadBmpImage", kRunning, [] {
             BASEIMAGE image;
             return ReadBmpImage(nullptr, &image) == -1;
         }},
        {"ReadJpegImage", kRunning, [] {
             BASEIMAGE image;
             return ReadJpegImage(nullptr, &image) == -1;
         }},
        {"ReadPngImage", kRunning, [] {
             BASEIMAGE image;
             MemStream* wave = OpenMemStream(H().wave.data(), H().wave.size());
             StreamData stream = MakeMemStreamData(wave);
             const bool refused = ReadPngImage(&stream, &image) == -1;
             CloseMemStream(wave);
             return refused;
         }},
        {"ReadRawBgraImage", kRunning, [] {
             BASEIMAGE image;
             return ReadRawBgraImage(nullptr, &image) == -1;
         }},
        {"ReadTgaImage", kRunning, [] {
             BASEIMAGE image;
             return ReadTgaImage(nullptr, &image) == -1;
         }},
        {"ReadDdsImage", kRunning, [] {
             BASEIMAGE image;
             return ReadDdsImage(nullptr, &image) == -1;
         }},
        // camera.h
        {"SetCameraEyeTargetUp", kRunning, [] { return SetCameraEyeTargetUp(nullptr, kPoint, kPoint) == -1; }},
        {"SetCameraEyeTargetUp", kRunning, [] { return SetCameraEyeTargetUp(kPoint, kPoint, kPoint) == -1; }},
        {"ApplyUserViewMatrix", kRunning, [] { return ApplyUserViewMatrix(nullptr) == -1; }},
        {"CopyViewMatrix", kRunning, [] { return CopyViewMatrix(nullptr) == -1; }},
        {"SetCameraPerspective", kRunning, [] { return SetCameraPerspective(0, 1, 10) == -1; }},
        {"CopyProjectionMatrix", kRunning, [] { return CopyProjectionMatrix(nullptr) == -1; }},
        {"WorldToScreenPos", kRunning, [] { return Zero(WorldToScreenPos(nullptr)); }},
        {"DrawGraphBillboard3D", kRunning, [] { return DrawGraphBillboard3D(kPoint, 0.5f, 0.5f, 1, 0, H().sound, 1, 0) == -1; }},
        {"SetDefaultLightDirection", kRunning, [] { return SetDefaultLightDirection(0, 0, 0) == -1; }},
        {"GetDefaultLightDirection", kRunning, [] { return GetDefaultLightDirection(nullptr) == -1; }},
        {"SetAmbientLightFloat", kOnAnotherThread, [] { return SetAmbientLightFloat(1, 1, 1, 1) == -1; }},
        // draw2d.h
        {"SetBlendModeParam", kOnAnotherThread, [] { return SetBlendModeParam(BlendAlpha, 128) == -1; }},
        {"SetDrawTint", kOnAnotherThread, [] { return SetDrawTint(1, 2, 3) == -1; }},
        {"SetDrawTintPacked", kOnAnotherThread, [] { return SetDrawTintPacked(0x010203) == -1; }},
        {"DrawGraphAt", kRunning, [] { return DrawGraphAt(0, 0, H().sound, 0) == -1; }},
        {"DrawGraphRotatedAt", kRunning, [] { return DrawGraphRotatedAt(0, 0, NAN, 0, H().picture, 0, 0) == -1; }},
        {"DrawGraphWithBlendGraph", kRunning, [] { return DrawGraphWithBlendGraph(0, 0, H().picture, 0, H().font, 0, 0) == -1; }},
        {"DrawLineSegment", kBeforeStartUp, [] { return DrawLineSegment(0, 0, 8, 8, 0xFFFFFFFFu, 1) == -1; }},
        {"DrawRectangle", kBeforeStartUp, [] { return DrawRectangle(0, 0, 8, 8, 0xFFFFFFFFu, 1) == -1; }},
        {"SetDrawBlendGraph", kRunning, [] { return SetDrawBlendGraph(H().model, 0, 0) == -1; }},
        {"GetDrawBlendGraph", kOnAnotherThread, [] { return GetDrawBlendGraph() == -1; }},
        {"SetDrawArea", kOnAnotherThread, [] { return SetDrawArea(0, 0, 8, 8) == -1; }},
        {"SetDrawFilterMode", kOnAnotherThread, [] { return SetDrawFilterMode(1) == -1; }},
        {"GetDrawFilterMode", kOnAnotherThread, [] { return GetDrawFilterMode() == -1; }},
        {"SetDepthTestEnabled", kOnAnotherThread, [] { return SetDepthTestEnabled(1) == -1; }},
        {"SetDepthWriteEnabled", kOnAnotherThread, [] { return SetDepthWriteEnabled(1) == -1; }},
        {"GetDepthTestEnabled", kOnAnotherThread, [] { return GetDepthTestEnabled() == -1; }},
        {"GetDepthWriteEnabled", kOnAnotherThread, [] { return GetDepthWriteEnabled() == -1; }},
        // files.h
        {"SetUseArchive", kOnAnotherThread, [] { return SetUseArchive(0) == -1; }},
        {"SetArchiveFileExtension", kRunning, [] { return SetArchiveFileExtension(nullptr) == -1; }},
        {"SetArchiveKey", kOnAnotherThread, [] { return SetArchiveKey("key") == -1; }},
        {"OpenFileStream", kRunning, [] { return OpenFileStream(kFolder, 0, 1, 0) == 0; }},
        {"OpenFileStream", kRunning, [] { return OpenFileStream(kFifo, 0, 1, 0) == 0; }},
        {"OpenFileStream", kRunning, [] { return OpenFileStream(kDevice, 0, 1, 0) == 0; }},
        {"CloseFileStream", kRunning, [] { return CloseFileStream(12345) == -1; }},
        {"TellFileStream", kRunning, [] { return TellFileStream(12345) == -1; }},
        {"SeekFileStream", kRunning, [] { return SeekFileStream(12345, 0, 0) == -1; }},
        {"ReadFileStream", kRunning, [] {
             char byte;
             return ReadFileStream(&byte, 1, 1, 12345) == 0;
         }},
        {"EofFileStream", kRunning, [] { return EofFileStream(12345) == -1; }},
        {"OpenFileToRead", kRunning, [] { return OpenFileToRead(nullptr, 0) == 0; }},
        {"ReadFromFile", kRunning, [] {
             char byte;
             return ReadFromFile(&byte, 1, 12345) == 0;
         }},
        {"GetFileSizeByName", kRunning, [] { return GetFileSizeByName(kFifo) == -1; }},
        {"GetFileSizeByName", kRunning, [] { return GetFileSizeByName("packed/missing.png") == -1; }},
        {"GetFileStreamCurrentDir", kRunning, [] { return GetFileStreamCurrentDir(nullptr, 0) == -1; }},
        {"CreateTempFile", kRunning, [] {
             char path[2];
             return Null(CreateTempFile(path, sizeof path));
         }},
        {"BuildFullPath", kRunning, [] {
             char out[8];
             return BuildFullPath(nullptr, out, sizeof out) == -1;
         }},
        {"BuildFullPathW", kRunning, [] {
             char16_t out[4];
             return BuildFullPathW(u"a\\b\\c\\d\\e", out, 4) == -1;
         }},
        {"BuildRelativePath", kRunning, [] {
             char out[8];
             return BuildRelativePath("\\a\\b", nullptr, out, sizeof out) == -1;
         }},
        {"BuildRelativePathW", kRunning, [] { return BuildRelativePathW(u"\\a\\b", u"\\a", nullptr, 8) == -1; }},
        {"SplitPathNameAndDir", kRunning, [] {
             char name[2];
             return SplitPathNameAndDir("dir\\name", name, sizeof name, nullptr, 0) == -1;
         }},
        {"SplitPathNameAndDirW", kRunning, [] {
             char16_t name[8];
             return SplitPathNameAndDirW(nullptr, name, 8, nullptr, 0) == -1;
         }},
        {"DecompressBlock", kRunning, [] { return DecompressBlock(nullptr, 0, nullptr, 0) == -1; }},
        // The file table's entries, which a program may call itself.
        {"FileAccessTable.open", kRunning, [] { return GetFileAccessTable()->open(kFifo, 0, 1, 0) == 0; }},
        {"FileAccessTable.open", kRunning, [] { return GetPlainFileAccessTable()->open(kFolder, 0, 1, 0) == 0; }},
        {"FileAccessTable.close", kRunning, [] { return GetFileAccessTable()->close(12345) == -1; }},
        {"FileAccessTable.tell", kRunning, [] { return GetFileAccessTable()->tell(12345) == -1; }},
        {"FileAccessTable.seek", kRunning, [] { return GetPlainFileAccessTable()->seek(12345, 0, 0) == -1; }},
        {"FileAccessTable.read", kRunning, [] { return GetFileAccessTable()->read(aByte, 1, 1, 12345) == 0; }},
        {"FileAccessTable.eof", kRunning, [] { return GetFileAccessTable()->eof(12345) == -1; }},
        {"FileAccessTable.idle", kRunning, [] { return GetFileAccessTable()->idle(12345) == -1; }},
        {"FileAccessTable.setDirectory", kRunning, [] { return GetFileAccessTable()->setDirectory(nullptr) == -1; }},
        {"FileAccessTable.getDirectory", kRunning, [] { return GetArchiveFileAccessTable()->getDirectory(nullptr, 8) == -1; }},
        {"FileAccessTable.findFirst", kRunning, [] { return GetFileAccessTable()->findFirst(nullptr, nullptr) == 0; }},
        {"FileAccessTable.findNext", kRunning, [] { return GetFileAccessTable()->findNext(12345, nullptr) == -1; }},
        {"FileAccessTable.findClose", kRunning, [] { return GetFileAccessTable()->findClose(12345) == -1; }},
        {"StreamFunctions.idle", kRunning, [] { return GetFileStreamTable()->idle(12345) == -1; }},
        {"StreamFunctions.idle", kRunning, [] { return GetMemStreamTable()->idle(0) == -1; }},
        {"StreamFunctions.tell", kRunning, [] { return GetMemStreamTable()->tell(0) == -1; }},
        {"StreamFunctions.seek", kRunning, [] { return GetMemStreamTable()->seek(0, 0, 0) == -1; }},
        {"StreamFunctions.seek", kRunning, [] {
             MemStream* stream = OpenMemStream(H().png.data(), H().png.size());
             const bool refused = GetMemStreamTable()->seek(reinterpret_cast<uintptr_t>(stream), 0, 3) == -1;
             return CloseMemStream(stream), refused;
         }},
        {"StreamFunctions.read", kRunning, [] { return GetMemStreamTable()->read(aByte, 1, 1, 0) == 0; }},
        {"StreamFunctions.close", kRunning, [] { return GetMemStreamTable()->close(0) == -1; }},
        {"CompressBlock", kRunning, [] {
             char out[64];
             return CompressBlock(nullptr, 5, out, sizeof out) == -1;
         }},
        // font.h
        {"CreateFontToHandle", kBeforeStartUp, [] { return CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1) == -1; }},
        {"CreateFontToHandle", kRunning, [] { return CreateFontToHandle(nullptr, 9999, -1, 0, -1, -1, 0, -1, -1) == -1; }},
        {"DeleteFontHandle", kRunning, [] { return DeleteFontHandle(H().sound) == -1; }},
        {"DeleteAllFonts", kOnAnotherThread, [] { return DeleteAllFonts() == -1; }},
        {"CountFonts", kOnAnotherThread, [] { return CountFonts() == -1; }},
        {"SetDefaultFontSize", kOnAnotherThread, [] { return SetDefaultFontSize(20) == -1; }},
        {"SetDefaultFontType", kOnAnotherThread, [] { return SetDefaultFontType(0) == -1; }},
        {"GetDefaultFontHandle", kBeforeStartUp, [] { return GetDefaultFontHandle() == -1; }},
        {"DrawTextAt", kRunning, [] { return DrawTextAt(0, 0, nullptr, 0xFFFFFFFFu, 0) == -1; }},
        {"DrawTextWithFont", kRunning, [] { return DrawTextWithFont(0, 0, "text", 0xFFFFFFFFu, H().picture, 0, 0) == -1; }},
        {"DrawFormattedText", kBeforeStartUp, [] { return DrawFormattedText(0, 0, 0xFFFFFFFFu, "%d", 1) == -1; }},
        {"DrawFormattedTextWithFont", kRunning, [] { return DrawFormattedTextWithFont(0, 0, 0xFFFFFFFFu, H().sound, "%d", 1) == -1; }},
        {"GetStringWidth", kRunning, [] { return GetStringWidth(nullptr, 4, 0) == -1; }},
        {"GetStringWidthWithFont", kRunning, [] { return GetStringWidthWithFont("text", 4, H().model) == -1; }},
        // graph.h
        {"OpenGraphFile", kRunning, [] { return OpenGraphFile(kFolder, 0) == -1; }},
        {"OpenGraphFile", kRunning, [] { return OpenGraphFile(kFifo, 0) == -1; }},
        {"OpenGraphFile", kRunning, [] { return OpenGraphFile(kDevice, 0) == -1; }},
        {"OpenGraphFileWithAlpha", kRunning, [] { return OpenGraphFileWithAlpha(nullptr) == -1; }},
        {"OpenDivGraphFile", kRunning, [] {
             int handles[4];
             return OpenDivGraphFile(H().pngFile.c_str(), 4, 2, 2, 4000, 4000, handles, 0) == -1;
         }},
        {"MakeBlankGraph", kRunning, [] { return MakeBlankGraph(-1, -1, 0) == -1; }},
        {"MakeGraphFromBaseImage", kRunning, [] { return MakeGraphFromBaseImage(nullptr, nullptr, 0) == -1; }},
        {"MakeGraphFromBaseImageKept", kRunning, [] { return MakeGraphFromBaseImageKept(nullptr) == -1; }},
        {"RefillGraphFromBaseImageKept", kRunning, [] { return RefillGraphFromBaseImageKept(&H().image, H().sound) == -1; }},
        {"MakeGraphFromImageMemory", kRunning, [] {
             return MakeGraphFromImageMemory(H().wave.data(), H().wave.size(), nullptr, 0, 0, 0) == -1;
         }},
        {"RefillGraphFromBaseImage", kRunning, [] { return RefillGraphFromBaseImage(nullptr, nullptr, H().picture) == -1; }},
        {"RefillGraphFromImageMemory", kRunning, [] {
             return RefillGraphFromImageMemory(H().png.data(), H().png.size(), H().picture, nullptr, 0, 0, 0) == -1;
         }},
        {"DeleteGraphHandle", kRunning, [] { return DeleteGraphHandle(-1, 0) == -1; }},
        {"DeleteAllGraphs", kOnAnotherThread, [] { return DeleteAllGraphs() == -1; }},
        {"GetGraphDimensions", kRunning, [] { return GetGraphDimensions(H().font, nullptr, nullptr) == -1; }},
        // input.h
        {"CountJoypads", kOnAnotherThread, [] { return CountJoypads() == -1; }},
        {"QueryPadButtons", kOnAnotherThread, [] { return QueryPadButtons(1) == -1; }},
        {"QueryKeyState", kOnAnotherThread, [] { return QueryKeyState(KEYCODE_A) == -1; }},
        {"QueryAllKeyStates", kRunning, [] { return QueryAllKeyStates(nullptr) == -1; }},
        {"GetMousePosition", kOnAnotherThread, [] { return GetMousePosition(nullptr, nullptr) == -1; }},
        {"ReadMouseButtons", kOnAnotherThread, [] { return ReadMouseButtons() == -1; }},
        {"GetMouseWheelCount", kOnAnotherThread, [] { return GetMouseWheelCount(0) == -1; }},
        {"QueryGamePadState", kBeforeStartUp, [] {
             GamePadInput state;
             return QueryGamePadState(0, &state) == -1;
         }},
        {"SetInputBackend", kBeforeStartUp, [] { return SetInputBackend("joystick") == -1; }},
        {"SetInputBackend", kRunning, [] { return SetInputBackend("scripted") == -1; }},
        // lifecycle.h
        {"InitializeEngine", kOnAnotherThread, [] { return InitializeEngine() == -1; }},
        {"ShutdownEngine", kBeforeStartUp, [] { return ShutdownEngine() == -1; }},
        {"SetEngineStepObserver", kOnAnotherThread, [] { return SetEngineStepObserver(nullptr), true; }},
        {"SetWindowBackend", kBeforeStartUp, [] { return SetWindowBackend("wayland") == -1; }},
        {"SetWindowBackend", kRunning, [] { return SetWindowBackend("headless") == -1; }},
        // memory.h
        {"AllocMemory", kRunning, [] { return Null(AllocMemory(SIZE_MAX, "test", 1)); }},
        {"AllocMemoryZero", kRunning, [] { return Null(AllocMemoryZero(SIZE_MAX, "test", 1)); }},
        {"ReallocMemory", kRunning, [] {
             void* block = AllocMemory(4, "test", 1);
             const bool refused = Null(ReallocMemory(block, SIZE_MAX, "test", 1));
             FreeMemory(block);
             return refused;
         }},
        {"FreeMemory", kRunning, [] {
             auto* block = static_cast<unsigned char*>(AllocMemory(4, "test", 1));
             block[-1] ^= 0xFF;  // the header's copy of the size
             FreeMemory(block);
             block[-1] ^= 0xFF;
             FreeMemory(block);
             return true;
         }},
        {"CheckMemoryBlock", kRunning, [] { return CheckMemoryBlock(nullptr) == -1; }},
        {"FillByteRange", kRunning, [] { return FillByteRange(nullptr, 0, 4), true; }},
        {"CopyByteRange", kRunning, [] { return CopyByteRange(nullptr, "abcd", 4), true; }},
        // model.h
        {"TransformDirectionByMatrix", kRunning, [] { return Null(TransformDirectionByMatrix(nullptr, kPoint, nullptr)); }},
        {"DrawModel", kRunning, [] { return DrawModel(H().picture) == -1; }},
        {"IsModelMeshTranslucent", kRunning, [] { return IsModelMeshTranslucent(H().model, -1) == -1; }},
        {"LoadModelFile", kRunning, [] { return LoadModelFile(kFolder) == -1; }},
        {"LoadModelFile", kRunning, [] { return LoadModelFile("damaged.mqo") == -1; }},
        {"ReleaseModelBaseData", kRunning, [] { return ReleaseModelBaseData(H().picture) == -1; }},
        {"RecalculateModelBaseNormals", kRunning, [] { return RecalculateModelBaseNormals(H().model, 1) == -1; }},
        {"OptimizeModelBaseVertices", kRunning, [] { return OptimizeModelBaseVertices(-1) == -1; }},
        {"GetModelBaseHandle", kRunning, [] { return GetModelBaseHandle(H().sound) == -1; }},
        {"GetModelBoundingBox", kRunning, [] { return GetModelBoundingBox(H().font, nullptr, nullptr) == -1; }},
        {"SetModelPosition", kRunning, [] { return SetModelPosition(H().sound, 0, 0, 0) == -1; }},
        {"SetModelRotation", kRunning, [] { return SetModelRotation(-1, 0, 0, 0) == -1; }},
        {"GetModelMaterialCount", kRunning, [] { return GetModelMaterialCount(H().base) == -1; }},
        {"SetModelMaterialType", kRunning, [] { return SetModelMaterialType(H().model, -1, 0) == -1; }},
        {"GetModelMaterialType", kRunning, [] { return GetModelMaterialType(H().model, 99) == -1; }},
        {"SetModelMaterialSpecularColor", kRunning, [] { return SetModelMaterialSpecularColor(H().model, -1, 1, 1, 1, 1) == -1; }},
        {"SetModelMaterialOutlineWidth", kRunning, [] { return SetModelMaterialOutlineWidth(H().model, 99, 1) == -1; }},
        {"SetModelFrameOpacity", kRunning, [] { return SetModelFrameOpacity(H().model, -1, 1) == -1; }},
        {"DetachModelAnimation", kRunning, [] { return DetachModelAnimation(H().model, -1) == -1; }},
        {"ReleaseModelInstance", kRunning, [] { return ReleaseModelInstance(H().picture) == -1; }},
        {"DeleteModel", kRunning, [] { return DeleteModel(H().font) == -1; }},
        // movie.h
        {"OpenMovie", kRunning, [] { return OpenMovie(kFolder, nullptr, nullptr) == -1; }},
        {"OpenMovie", kRunning, [] { return OpenMovie("damaged.ogv", nullptr, nullptr) == -1; }},
        {"CloseMovie", kRunning, [] { return CloseMovie(H().picture) == -1; }},
        {"UpdateMovieFrame", kRunning, [] { return UpdateMovieFrame(-1) == -1; }},
        // music.h
        {"AddMusicData", kBeforeStartUp, [] { return AddMusicData() == -1; }},
        {"CreateMusicFromImage", kRunning, [] { return CreateMusicFromImage(nullptr, 4) == -1; }},
        {"LoadMusicMem", kRunning, [] { return LoadMusicMem(kFolder) == -1; }},
        {"DeleteMusicHandle", kRunning, [] { return DeleteMusicHandle(H().picture) == -1; }},
        {"DeleteAllMusic", kOnAnotherThread, [] { return DeleteAllMusic() == -1; }},
        {"GetMusicPlayState", kRunning, [] { return GetMusicPlayState(-1) == -1; }},
        {"PlayMidiMusic", kRunning, [] { return PlayMidiMusic(H().waveMusic, kPlayTypeBack) == -1; }},
        {"StopMidiMusic", kRunning, [] { return StopMidiMusic(H().sound) == -1; }},
        {"PlayMusicFile", kRunning, [] { return PlayMusicFile(nullptr, kPlayTypeBack) == -1; }},
        {"StopCurrentMusic", kOnAnotherThread, [] { return StopCurrentMusic() == -1; }},
        {"SetMusicVolume", kBeforeStartUp, [] { return SetMusicVolume(255) == -1; }},
        // numbers.h
        {"ParseDecimalInt", kRunning, [] { return ParseDecimalInt(nullptr) == -1; }},
        {"ParseDecimalDouble", kRunning, [] { return ParseDecimalDouble(nullptr) == 0; }},
        {"MultiplyTo128Bits", kRunning, [] { return MultiplyTo128Bits(nullptr, nullptr, nullptr), true; }},
        {"DivideFrom128Bits", kRunning, [] { return DivideFrom128Bits(nullptr, nullptr, nullptr), true; }},
        {"ClipRectangle", kRunning, [] { return ClipRectangle(nullptr, nullptr) == -1; }},
        // random.h
        {"SeedRandom", kOnAnotherThread, [] { return SeedRandom(1) == -1; }},
        {"GetRandomBits32", kOnAnotherThread, [] { return GetRandomBits32() == 0; }},
        {"GetRandomUpTo", kOnAnotherThread, [] { return GetRandomUpTo(10) == -1; }},
        // screen.h
        {"SetGraphicsDeviceChoice", kBeforeStartUp, [] { return SetGraphicsDeviceChoice("vulkan") == -1; }},
        {"SetProgrammableShaderUse", kOnAnotherThread, [] { return SetProgrammableShaderUse(1) == -1; }},
        {"GetProgrammableShaderUse", kOnAnotherThread, [] { return GetProgrammableShaderUse() == -1; }},
        {"SelectDrawTargetScreen", kRunning, [] { return SelectDrawTargetScreen(5) == -1; }},
        {"GetDrawTargetScreen", kOnAnotherThread, [] { return GetDrawTargetScreen() == -1; }},
        {"ClearDrawScreenToBackColor", kBeforeStartUp, [] { return ClearDrawScreenToBackColor(nullptr) == -1; }},
        {"PresentFrame", kBeforeStartUp, [] { return PresentFrame() == -1; }},
        {"CaptureScreenToGraph", kRunning, [] { return CaptureScreenToGraph(0, 0, 8, 8, H().sound, 0) == -1; }},
        {"BeginMaskedDraw", kOnAnotherThread, [] { return BeginMaskedDraw(DrawRect{0, 0, 8, 8}) == -1; }},
        {"SaveDrawScreenToPng", kRunning, [] { return SaveDrawScreenToPng(nullptr) == -1; }},
        {"SaveDrawScreenToPng", kRunning, [] { return SaveDrawScreenToPng(kFolder) == -1; }},
        {"ReadDrawScreenPixels", kRunning, [] { return ReadDrawScreenPixels(nullptr) == -1; }},
        {"SetGraphRestoreHandler", kOnAnotherThread, [] { return SetGraphRestoreHandler(nullptr) == -1; }},
        // shell.h
        {"OpenWebAddress", kRunning, [] { return OpenWebAddress("file:///etc/passwd") == -1; }},
        // sound.h
        {"SetSoundDeviceBackend", kBeforeStartUp, [] { return SetSoundDeviceBackend("pulse") == -1; }},
        {"SetSoundDeviceBackend", kRunning, [] { return SetSoundDeviceBackend("null") == -1; }},
        {"SetSoundCreateType", kRunning, [] { return SetSoundCreateType(7) == -1; }},
        {"AddSoundData", kBeforeStartUp, [] { return AddSoundData(-1) == -1; }},
        {"LoadSoundFile", kRunning, [] { return LoadSoundFile(kFolder, 1) == -1; }},
        {"LoadSoundFile", kRunning, [] { return LoadSoundFile("damaged.wav", 1) == -1; }},
        {"CreateSoundHandleFromFile", kRunning, [] { return CreateSoundHandleFromFile(H().pngFile.c_str(), 1) == -1; }},
        {"CreateSoundHandleFromImage", kRunning, [] {
             return CreateSoundHandleFromImage(H().png.data(), int(H().png.size()), 1) == -1;
         }},
        {"PlaySoundHandle", kRunning, [] { return PlaySoundHandle(H().picture, kPlayTypeBack) == -1; }},
        {"StopSoundHandle", kRunning, [] { return StopSoundHandle(-1) == -1; }},
        {"IsSoundPlaying", kRunning, [] { return IsSoundPlaying(H().font) == -1; }},
        {"SetSoundVolume", kRunning, [] { return SetSoundVolume(255, H().model) == -1; }},
        {"GetSoundPosition", kRunning, [] { return GetSoundPosition(-1) == -1; }},
        {"GetSoundTotalTime", kRunning, [] { return GetSoundTotalTime(H().picture) == -1; }},
        {"GetSoundTotalSamples", kRunning, [] { return GetSoundTotalSamples(-1) == -1; }},
        {"DeleteSoundHandle", kRunning, [] { return DeleteSoundHandle(-1) == -1; }},
        {"DeleteAllSoundHandles", kOnAnotherThread, [] { return DeleteAllSoundHandles() == -1; }},
        {"LoadWholeFile", kRunning, [] { return LoadWholeFile(H().pngFile.c_str(), nullptr, nullptr) == -1; }},
        {"LoadWholeFile", kRunning, [] {
             void* data = nullptr;
             int size = 0;
             return LoadWholeFile(kFifo, &data, &size) == -1;
         }},
        {"AddStreamFile", kRunning, [] { return AddStreamFile(kFolder, 0, H().stream, 0) == -1; }},
        {"AddStreamMemory", kRunning, [] { return AddStreamMemory(nullptr, 0, 0, H().stream, 0) == -1; }},
        {"PrepareStreamPlayback", kRunning, [] { return PrepareStreamPlayback(H().picture) == -1; }},
        {"PlayStreamSound", kRunning, [] { return PlayStreamSound(H().sound, kPlayTypeBack, 1) == -1; }},
        {"StopStreamSound", kRunning, [] { return StopStreamSound(H().sound) == -1; }},
        {"IsStreamSoundPlaying", kRunning, [] { return IsStreamSoundPlaying(-1) == -1; }},
        {"GetStreamSoundPosition", kRunning, [] { return GetStreamSoundPosition(H().sound) == -1; }},
        // stream.h
        {"OpenMemStream", kRunning, [] { return Null(OpenMemStream(nullptr, 4)); }},
        {"CloseMemStream", kRunning, [] { return CloseMemStream(nullptr) == -1; }},
        // text.h
        {"CopyText", kRunning, [] { return CopyText(nullptr, "text") == -1; }},
        {"CopyTextLimited", kRunning, [] {
             char out[4];
             return CopyTextLimited(out, "text", 0) == -1;
         }},
        {"CopyWideText", kRunning, [] { return CopyWideText(nullptr, u"text") == -1; }},
        {"AppendWideText", kRunning, [] {
             char16_t out[8] = u"a";
             return AppendWideText(out, nullptr) == -1;
         }},
        {"WideTextLength", kRunning, [] { return WideTextLength(nullptr) == 0; }},
        {"IsMultiByteLeadByte", kRunning, [] { return IsMultiByteLeadByte(nullptr) == 0; }},
        {"NextCharInText", kRunning, [] { return Null(NextCharInText(nullptr)); }},
        {"FindCharInText", kRunning, [] { return Null(FindCharInText(nullptr, 'a')); }},
        {"FindSubText", kRunning, [] { return Null(FindSubText("text", nullptr)); }},
        {"FormatString", kRunning, [] {
             char out[4];
             return FormatString(out, 0, "%d", 1) == -1;
         }},
        {"ConvertCp932ToUtf8", kRunning, [] { return !ConvertCp932ToUtf8("text", nullptr); }},
        {"ConvertUtf8ToCp932", kRunning, [] { return !ConvertUtf8ToCp932("text", nullptr); }},
        {"ConvertCp932ToUtf16", kRunning, [] { return !ConvertCp932ToUtf16("text", nullptr); }},
        {"ConvertUtf16ToCp932", kRunning, [] { return !ConvertUtf16ToCp932(u"text", nullptr); }},
        // vecmath.h
        {"AddVectorsInto", kRunning, [] { return AddVectorsInto(nullptr, &kVector, &kVector) == -1; }},
        {"SubtractVectorsInto", kRunning, [] { return SubtractVectorsInto(nullptr, &kVector, &kVector) == -1; }},
        {"CrossVectorsInto", kRunning, [] {
             Vector3 out;
             return CrossVectorsInto(&out, nullptr, &kVector) == -1;
         }},
        {"DotVectors", kRunning, [] { return DotVectors(&kVector, nullptr) == 0; }},
        {"NormalizeVectorInto", kRunning, [] { return NormalizeVectorInto(nullptr, &kVector) == -1; }},
        {"BuildIdentityMatrix", kRunning, [] { return BuildIdentityMatrix(nullptr) == -1; }},
        {"BuildTranslationMatrix", kRunning, [] { return BuildTranslationMatrix(nullptr, 1, 2, 3) == -1; }},
        {"BuildProductMatrix", kRunning, [] {
             Matrix44 out;
             return BuildProductMatrix(&out, nullptr, &kSingular) == -1;
         }},
        {"BuildInverseMatrix", kRunning, [] {
             Matrix44 out;
             return BuildInverseMatrix(&out, &kSingular) == -1;
         }},
        {"BuildEulerXYZMatrix", kRunning, [] { return BuildEulerXYZMatrix(nullptr, 0, 0, 0) == -1; }},
        {"BuildEulerXZYMatrix", kRunning, [] { return BuildEulerXZYMatrix(nullptr, 0, 0, 0) == -1; }},
        {"BuildEulerYXZMatrix", kRunning, [] { return BuildEulerYXZMatrix(nullptr, 0, 0, 0) == -1; }},
        {"BuildEulerYZXMatrix", kRunning, [] { return BuildEulerYZXMatrix(nullptr, 0, 0, 0) == -1; }},
        {"BuildEulerZXYMatrix", kRunning, [] { return BuildEulerZXYMatrix(nullptr, 0, 0, 0) == -1; }},
        {"BuildEulerZYXMatrix", kRunning, [] { return BuildEulerZYXMatrix(nullptr, 0, 0, 0) == -1; }},
        {"ExtractEulerXYZAngles", kRunning, [] { return ExtractEulerXYZAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ExtractEulerXZYAngles", kRunning, [] { return ExtractEulerXZYAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ExtractEulerYXZAngles", kRunning, [] { return ExtractEulerYXZAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ExtractEulerYZXAngles", kRunning, [] { return ExtractEulerYZXAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ExtractEulerZXYAngles", kRunning, [] { return ExtractEulerZXYAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ExtractEulerZYXAngles", kRunning, [] { return ExtractEulerZYXAngles(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"ComputeSinCos", kRunning, [] { return ComputeSinCos(1, nullptr, nullptr), true; }},
        // window.h
        {"ChangeWindowMode", kRunning, [] { return ChangeWindowMode(0) == -1; }},
        {"GetWindowModeFlag", kOnAnotherThread, [] { return GetWindowModeFlag() == -1; }},
        {"SetScreenMode", kBeforeStartUp, [] { return SetScreenMode(0, 0, 32, 60) == -1; }},
        {"GetScreenMode", kOnAnotherThread, [] { return GetScreenMode(nullptr, nullptr, nullptr, nullptr) == -1; }},
        {"SetAppWindowTitle", kOnAnotherThread, [] { return SetAppWindowTitle("title") == -1; }},
        {"SetAppWindowIcon", kOnAnotherThread, [] { return SetAppWindowIcon(1) == -1; }},
        {"RegisterIconResource", kRunning, [] { return RegisterIconResource(1, nullptr, 4, 4) == -1; }},
        {"GetAppWindowHandle", kOnAnotherThread, [] { return Null(GetAppWindowHandle()); }},
        {"SetDoubleStartCheck", kOnAnotherThread, [] { return SetDoubleStartCheck(0) == -1; }},
        {"ProcessWindowMessages", kBeforeStartUp, [] { return ProcessWindowMessages() == -1; }},
        {"SetRunWhileInactive", kOnAnotherThread, [] { return SetRunWhileInactive(1) == -1; }},
        {"IsRunWhileInactive", kOnAnotherThread, [] { return IsRunWhileInactive() == -1; }},
        {"IsWindowActive", kOnAnotherThread, [] { return IsWindowActive() == -1; }},
        {"SetMouseCursorVisible", kOnAnotherThread, [] { return SetMouseCursorVisible(1) == -1; }},
        // files.h: durable writes
        {"WriteFileDurably", kRunning, [] { return WriteFileDurably(nullptr, "x", 1) == -1; }},
        {"WriteFileDurably", kRunning, [] { return WriteFileDurably(kFolder, "x", 1) == -1; }},
        {"WriteFileSetDurably", kRunning, [] { return WriteFileSetDurably(nullptr, nullptr, 0) == -1; }},
        {"FinishInterruptedWrites", kRunning, [] { return FinishInterruptedWrites(nullptr) == -1; }},
        {"GetDurableProblem", kRunning, [] {
             DurableProblem problem;
             return GetDurableProblem(-1, &problem) == -1;
         }},
        // log.h: the writers return -1 whatever they write
        {"WriteLogText", kRunning, [] { return WriteLogText(nullptr) == -1; }},
        {"WriteLogFormat", kRunning, [] { return WriteLogFormat(nullptr) == -1; }},
        {"WriteLogFormatW", kOnAnotherThread, [] { return WriteLogFormatW(nullptr) == -1; }},
        // model.h
        {"TransformPointByMatrix", kRunning, [] { return Null(TransformPointByMatrix(nullptr, nullptr, nullptr)); }},
    };
    return refusals;
}

// Calls that succeed on the way past inner steps that may fail: readers
// tried in turn that decline, a movie's sound track that is not there, an
// archive looked for before the plain file, a picture read on a loader's
// thread. None of them may say a refusal.
struct SucceedingCall {
    const char* function;
    When when;
    bool (*call)();
};
constexpr const char* kSilentMovie = "silent.ogv";
bool Made(int handle, int (*remove)(int)) { return handle != -1 && remove(handle) == 0; }
int RemoveGraph(int graph) { return DeleteGraphHandle(graph, 0); }
const std::vector<SucceedingCall>& Successes() {
    static const std::vector<SucceedingCall> successes = {
        {"OpenMovie", kRunning, [] { return Made(OpenMovie(kSilentMovie, nullptr, nullptr), CloseMovie); }},
        {"OpenGraphFile", kRunning, [] { return Made(OpenGraphFile(kSilentMovie, 0), RemoveGraph); }},
        {"OpenGraphFile", kOnAnotherThread, [] { return Made(OpenGraphFile(H().pngFile.c_str(), 0), RemoveGraph); }},
        {"GetFileSizeByName", kRunning, [] { return GetFileSizeByName("packed/picture.png") == int64_t(H().png.size()); }},
        {"OpenGraphFile", kRunning, [] { return Made(OpenGraphFile("packed/picture.png", 0), RemoveGraph); }},
        {"ReadImageToBaseImage", kRunning, [] {
             BASEIMAGE image;
             const bool read = ReadImageToBaseImage(nullptr, H().png.data(), H().png.size(), 1, &image, 0) == 0;
             return FreeBaseImagePixels(&image), read;
         }},
        {"LoadModelFile", kRunning, [] { return Made(LoadModelFile("square.mqo"), DeleteModel); }},
        {"LoadSoundFile", kRunning, [] { return Made(LoadSoundFile("quiet.wav", 1), [](int s) { return DeleteSoundHandle(s); }); }},
        {"LoadMusicMem", kRunning, [] { return Made(LoadMusicMem("quiet.wav"), DeleteMusicHandle); }},
        {"SaveDrawScreenToPng", kRunning, [] { return SaveDrawScreenToPng(H().pngFile.c_str()) == 0; }},
    };
    return successes;
}

// The functions that refuse nothing, and why.
struct NoRefusal {
    const char* function;
    const char* why;
};
const char* const kPure = "a pure function: every argument has its answer";
const char* const kAnyThreadSetting = "a setting any thread makes or reads at any time, every value taken";
const char* const kReport = "reports the engine's state, on any thread at any time";
const char* const kLog = "the log's own setting or indent: every value taken";
const std::vector<NoRefusal>& FunctionsThatRefuseNothing() {
    static const std::vector<NoRefusal> functions = {
        {"ArchiveKeySeed", "hashes any key, null as the empty key"},
        {"FindArchiveEntry", "a lookup: null is the answer for a name no member has"},
        {"FoldArchiveName", kPure},
        {"SetBmp32AlphaUse", kAnyThreadSetting},
        {"MakeScreenColor", "clamps each channel: every argument has its colour"},
        {"MakeFloatColor", kPure},
        {"GetPlainFileAccessTable", "returns the engine's own table"},
        {"GetArchiveFileAccessTable", "returns the engine's own table"},
        {"GetFileAccessTable", "returns the engine's own table"},
        {"CompressBlockBound", kPure},
        {"CountGraphs", kReport},
        {"SetGraphMipLevels", kAnyThreadSetting},
        {"SetTransColorEnabled", kAnyThreadSetting},
        {"GetTransColorEnabled", kAnyThreadSetting},
        {"SetTransparentColorRGB", kAnyThreadSetting},
        {"GetTransparentColorRGB", "a setting any thread reads at any time; null outputs are skipped"},
        {"PadButtonBit", kPure},
        {"IsEngineInitialized", kReport},
        {"LogicalProcessorCount", kReport},
        {"IncreaseLogIndent", kLog},
        {"DecreaseLogIndent", kLog},
        {"SetLogOutput", kLog},
        {"GetLogOutput", kLog},
        {"ExitOnFatalError", "ends the process"},
        {"GetMemoryTotals", kReport},
        {"DumpMemoryBlocks", "writes the live blocks and returns their count"},
        {"CheckAllMemoryBlocks", "returns the count of damaged blocks, each said in the log"},
        {"CompareMemoryBlock", "a comparison of any two blocks, null ones among them"},
        {"CompareByteSpan", "a comparison of any two blocks, null ones among them"},
        {"TruncateFloatToInt", kPure},
        {"TruncateDoubleToInt", kPure},
        {"ComputeAbsInt", kPure},
        {"HardwareRenderingActive", kReport},
        {"IsSoundSystemOpen", kReport},
        {"GetSoundCreateType", kAnyThreadSetting},
        {"SetSoundReaderMask", kAnyThreadSetting},
        {"GetSoundReaderMask", kAnyThreadSetting},
        {"SamplesToMilliseconds", kPure},
        {"GetFileStreamTable", "returns the engine's own table"},
        {"GetMemStreamTable", "returns the engine's own table"},
        {"MakeFileStreamData", "inline: pairs a table with a handle, which the stream's functions check"},
        {"MakeMemStreamData", "inline: pairs a table with a stream, which the stream's functions check"},
        {"CompareText", "a comparison of any two texts, null ones among them"},
        {"CompareTextIgnoreCase", "a comparison of any two texts, null ones among them"},
        {"FormatStringInto", "inline over FormatString with the array's own size; FormatString says its refusals"},
        {"GetMillisecondCount", kReport},
        {"GetMicrosecondCount", kReport},
        {"SleepMilliseconds", "sleeps any time; 0 or below yields the thread"},
        {"ElapsedMilliseconds", kPure},
        {"MakeNormalizedVector", kPure},
        {"MeasureVectorLength", kPure},
        {"MakeIdentityMatrix", kPure},
        {"MakeAxisRotationMatrix", kPure},
        {"MakeInverseMatrix", "a pure function: a singular matrix gives the identity"},
        {"MakeProductMatrix", kPure},
        {"MakeScalingMatrix", kPure},
        {"MakeXRotationMatrix", kPure},
        {"MakeYRotationMatrix", kPure},
        {"MakeZRotationMatrix", kPure},
        {"Atan2Float", kPure},
        {"AsinFloat", kPure},
        {"AcosFloat", kPure},
        {"PowFloat", kPure},
        {"ComputeSquareRoot", kPure},
    };
    return functions;
}

// The durable store functions that refuse nothing.
const std::vector<NoRefusal>& DurableStoreFunctionsThatRefuseNothing() {
    static const std::vector<NoRefusal> functions = {
        {"GetDurableProblemCount", kReport},
        {"GetDurableWriteError", kReport},
    };
    return functions;
}

// ---- Running them ----

void WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs the call as the case says, on this thread or another.
template <typename Case>
bool RunCase(const Case& c) {
    bool result = false;
    if (c.when == kOnAnotherThread)
        std::thread([&] { result = c.call(); }).join();
    else
        result = c.call();
    return result;
}

// What is wrong with the refusal: "" when the call returned its refusal
// value and wrote one line, "<function> refused: <why>" (none in another's
// name, or in no name, and no second one).
std::string FaultOf(const Refusal& r) {
    const size_t before = LogSize();
    const bool refused = RunCase(r);
    const std::string said = std::string(r.function) + " refused: ";
    std::string fault = refused ? "" : "did not return its refusal value; ";
    int saidWhy = 0;
    for (const std::string& line : LogLinesSince(before)) {
        if (line.compare(0, said.size(), said) == 0 && line.size() > said.size())
            ++saidWhy;
        else
            fault += "wrote a line that is no refusal in its name: \"" + line + "\"; ";
    }
    if (saidWhy != 1) fault += "wrote " + std::to_string(saidWhy) + " lines \"" + said + "<why>\", not one";
    return fault;
}

// The lines of a call that succeeded which say a refusal, each as a fault.
std::string RefusalsSaidSince(size_t before, const std::string& function) {
    std::string faults;
    for (const std::string& line : LogLinesSince(before))
        if (SaysRefused(line)) faults += function + " succeeded but wrote \"" + line + "\"\n";
    return faults;
}

// The refusals made in the state given, each fault as a line.
std::string FaultsOf(const std::vector<Refusal>& refusals, bool running) {
    std::string faults;
    for (const Refusal& r : refusals) {
        if ((r.when != kBeforeStartUp) != running) continue;
        const std::string fault = FaultOf(r);
        if (!fault.empty()) faults += std::string(r.function) + ": " + fault + "\n";
    }
    return faults;
}

// Files that begin as their kind does and go on as no such file does; and
// an archive standing for the folder "packed" that is no archive, beside
// the folder's own picture.
void WriteDamagedFiles() {
    const std::string junk(64, '\x7f');
    std::ofstream("damaged.mqo", std::ios::binary) << "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nObject \"a\" {\r\n"
                                                   << junk;
    std::ofstream("damaged.wav", std::ios::binary) << "RIFF\x40\0\0\0WAVEfmt " << junk;
    std::ofstream("damaged.ogv", std::ios::binary) << "OggS" << junk;
    std::ofstream("packed.dat", std::ios::binary) << junk;
    std::filesystem::create_directory("packed");
    WriteBytes("packed/picture.png", H().png);
}

class EveryRefusalTest : public HeadlessEngineInTempFolderTest {
protected:
    void SetUp() override {
        HeadlessEngineInTempFolderTest::SetUp();
        std::filesystem::create_directory(kFolder);
        ASSERT_EQ(mkfifo(kFifo, 0600), 0);
    }
    void TearDown() override {
        FreeBaseImagePixels(&H().image);
        HeadlessEngineInTempFolderTest::TearDown();
    }
    // Starts the engine and makes what the refused calls are given.
    static void StartAndHoldOneOfEach() {
        ASSERT_EQ(InitializeEngine(), 0);
        Held& h = H();
        h.pngFile = "picture.png";
        ASSERT_EQ(SaveDrawScreenToPng(h.pngFile.c_str()), 0);
        const std::string png = ScopedTempDir::ReadFile(h.pngFile);
        h.png.assign(png.begin(), png.end());
        h.wave = wavewriter::SilentWave(100);
        std::ofstream("square.mqo", std::ios::binary) << WriteMqo(MakeMqoSquare(1, false));
        WriteBytes("quiet.wav", h.wave);
        moviegen::MovieOptions silent;
        silent.width = silent.height = 16;
        WriteBytes(kSilentMovie, moviegen::WriteTheoraMovie(silent));
        WriteDamagedFiles();
        h.picture = MakeBlankGraph(8, 8, 0);
        h.sound = CreateSoundHandleFromImage(h.wave.data(), int(h.wave.size()), 1);
        h.stream = AddSoundData(-1);
        h.waveMusic = CreateMusicFromImage(h.wave.data(), int(h.wave.size()));
        h.font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
        h.model = LoadModelFile("square.mqo");
        h.base = GetModelBaseHandle(h.model);
        ASSERT_EQ(CreateBaseImageXrgb32(4, 4, &h.image), 0);
        for (int handle : {h.picture, h.sound, h.stream, h.waveMusic, h.font, h.model, h.base}) ASSERT_NE(handle, -1);
    }
};

TEST_F(EveryRefusalTest, EveryDeclaredFunctionIsRefusedInTheTableOrSaysWhyItCannotBe) {
    std::set<std::string> listed;
    for (const Refusal& r : Refusals()) listed.insert(r.function);
    for (const auto* table : {&FunctionsThatRefuseNothing(), &DurableStoreFunctionsThatRefuseNothing()})
        for (const NoRefusal& n : *table) EXPECT_TRUE(listed.insert(n.function).second) << n.function << " twice";
    const std::set<std::string> declared = PublicFunctions();
    ASSERT_GT(declared.size(), 300u) << "the headers were not read";
    for (const std::string& name : declared)
        EXPECT_TRUE(listed.count(name)) << name << " is declared but has no refusal in the table, and no reason why not";
    // A table's entries, which a program may call, are named "<table>.<entry>".
    for (const std::string& name : listed)
        EXPECT_TRUE(declared.count(name) || name.find('.') != std::string::npos) << name << " is no public function";
}

TEST_F(EveryRefusalTest, CallsThatSucceedSayNoRefusal) {
    const size_t before = LogSize();
    StartAndHoldOneOfEach();
    std::string faults = RefusalsSaidSince(before, "start-up and one resource of each kind");
    for (const SucceedingCall& s : Successes()) {
        const size_t before = LogSize();
        if (!RunCase(s)) faults += std::string(s.function) + " failed\n";
        faults += RefusalsSaidSince(before, s.function);
    }
    EXPECT_EQ(faults, "");
}

TEST_F(EveryRefusalTest, EveryRefusalReturnsItsValueAndSaysWhyInTheFunctionsName) {
    EXPECT_EQ(FaultsOf(Refusals(), false), "");
    StartAndHoldOneOfEach();
    EXPECT_EQ(FaultsOf(Refusals(), true), "");
}

}  // namespace
