// LoadModelFile, the reader order, reference counting of base data and the
// model system's life cycle.
#include "model_load_support.h"

#include "engine_temp_folder_fixture.h"
#include "foundation/subsystems.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/screen/device_restore.h"
#include "model/base/graphics_services.h"
#include "model/instance/model_instance.h"
#include "model/instance/model_system.h"

using namespace morpotta;

namespace {

TEST_F(ModelLoadTest, LoadsAnMqoFileAndKeepsOneReferencePerInstance) {
    int model = Load(MakeQuadDocument());
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(uint32_t(model) & 0xF8000000u, 0x50000000u);
    ModelBase* base = BaseOf(model);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->frameCount, 1);
    EXPECT_EQ(base->meshCount, 1);
    EXPECT_EQ(base->refCount, 1u);  // the instance's; the loader dropped its own
    EXPECT_EQ(base->instanceCount, 1u);
    EXPECT_EQ(GetModelMaterialCount(model), 2);  // "mat" and "NoMaterial"
}

TEST_F(ModelLoadTest, APathWithAFolderGivesTheAbsoluteFolderForTextures) {
    files_.Add("tpa\\model\\quad.mqo", WriteMqo(MakeQuadDocument()));
    int model = LoadModelFile("tpa\\model\\quad.mqo");
    ASSERT_GE(model, 0) << Log();
    const char* folder = BaseOf(model)->folder;
    ASSERT_NE(folder, nullptr);
    std::string f = folder;
    EXPECT_NE(f.find("game"), std::string::npos) << f;  // under the current directory
    EXPECT_NE(f.find("tpa"), std::string::npos) << f;
    EXPECT_NE(f.find("model"), std::string::npos) << f;
}

TEST_F(ModelLoadTest, LoadingTheSameFileTwiceMakesTwoBases) {
    int a = Load(MakeQuadDocument());
    int b = LoadModelFile("model.mqo");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(GetModelBaseHandle(a), GetModelBaseHandle(b));
    EXPECT_EQ(GetModelBaseCount(), 2);
}

// A file no reader takes is refused with a line that names it, and leaves
// the tables as they were.
TEST_F(ModelLoadTest, FilesNoReaderTakesAreNamedAndLeaveTheTablesAsTheyWere) {
    int keep = Load(MakeQuadDocument());
    ASSERT_GE(keep, 0);
    const std::string picture("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29);
    const std::pair<std::string, std::string> refused[] = {{"other.bin", std::string("\x01\x02\x03", 3)},
                                                           {"empty.mqo", ""},
                                                           {"cat.png", picture},
                                                           {"notes.txt", "a text file\r\n"},
                                                           {"picture.mqo", picture}};
    for (const auto& [name, bytes] : refused) {
        EXPECT_EQ(Load(name, bytes), -1) << name;
        const std::string said = "LoadModelFile refused: モデルファイル " + name + " の形式に対応する読み込み処理がありません";
        EXPECT_NE(Log().find(said + "\r\n"), std::string::npos) << Log();
    }
    EXPECT_EQ(LoadModelFile("missing.mqo"), -1);
    EXPECT_NE(Log().find("モデルファイル missing.mqo が読み込めませんでした"), std::string::npos);
    EXPECT_EQ(LoadModelFile(nullptr), -1);
    EXPECT_NE(Log().find("LoadModelFile refused: no file name (null)"), std::string::npos);
    EXPECT_EQ(GetModelBaseCount(), 1);
    EXPECT_EQ(GetModelInstanceCount(), 1);
}

// A file table whose size promises more than a read delivers.
TEST_F(ModelLoadTest, AShortReadOfTheWholeFileFails) {
    static std::string text;
    text = WriteMqo(MakeQuadDocument());
    static size_t position;
    FileAccessTable table{};
    table.open = [](const char*, int, int, int) -> FileHandle { return FileHandle(1); };
    table.close = [](FileHandle) { return 0; };
    table.seek = [](FileHandle, int64_t offset, int origin) {
        position = origin == 2 ? text.size() + 10 : size_t(offset);
        return 0;
    };
    table.tell = [](FileHandle) { return int64_t(position); };
    table.read = [](void* buffer, size_t size, size_t count, FileHandle) -> size_t {
        size_t bytes = std::min(size * count, text.size());
        std::memcpy(buffer, text.data(), bytes);
        return size ? bytes / size : 0;
    };
    table.getDirectory = [](char* buffer, size_t capacity) {
        std::strncpy(buffer, "\\game", capacity);
        return 0;
    };
    SetModelFileAccessTable(&table);
    EXPECT_EQ(LoadModelFile("model.mqo"), -1);
    SetModelFileAccessTable(nullptr);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

TEST_F(ModelLoadTest, EveryOperationRefusesWhileTheSystemIsNotStarted) {
    int model = Load(MakeQuadDocument());
    ASSERT_GE(model, 0);
    TerminateModelSystem();
    EXPECT_EQ(TerminateModelSystem(), 0);  // the second time does nothing
    files_.Add("again.mqo", WriteMqo(MakeQuadDocument()));
    EXPECT_EQ(LoadModelFile("again.mqo"), -1);
    EXPECT_NE(Log().find("LoadModelFile refused: the model system is not running (before start-up or after shut-down): "
                         "again.mqo"),
              std::string::npos)
        << Log();
    EXPECT_EQ(SetModelPosition(model, 1, 2, 3), -1);
    EXPECT_EQ(GetModelMaterialCount(model), -1);
    EXPECT_EQ(DeleteModel(model), -1);
    EXPECT_EQ(ReleaseModelBaseData(0x08000000), -1);
    EXPECT_EQ(InitializeModelSystem(), 0);
    EXPECT_EQ(InitializeModelSystem(), 0);  // started already: nothing happens
    EXPECT_EQ(GetModelMaterialCount(model), -1);  // the tables were emptied
}

TEST_F(ModelLoadTest, EngineStartAndEndRunTheModelSystem) {
    TerminateModelSystem();
    ClearEngineSubsystems();
    RegisterModelSubsystem();
    CallEngineSubsystems(&EngineSubsystem::startModels);
    EXPECT_TRUE(IsModelSystemReady());
    EXPECT_NE(GetModelDeviceLossHooks(), nullptr);
    ASSERT_GE(Load(MakeQuadDocument()), 0);
    CallEngineSubsystems(&EngineSubsystem::endModels);  // frees the live instance and its base
    EXPECT_FALSE(IsModelSystemReady());
    // What the start installed goes with the end.
    EXPECT_EQ(GetModelDeviceLossHooks(), nullptr);
    EXPECT_EQ(GetModelGraphicsServices()->MakeGraphFromBaseImage, nullptr);
    ClearEngineSubsystems();
    InitializeModelSystem();
}

// Shut-down takes back what start-up installed, so a program that starts
// the engine again, or calls the model system without one, meets none of
// the tables of the engine that ended.
class EngineEndTest : public EngineInTempFolderTest {};

TEST_F(EngineEndTest, ShutDownLeavesNoGraphicsFunctionsHooksOrDrawPathInstalled) {
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("none"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_NE(GetModelGraphicsServices()->MakeGraphFromBaseImage, nullptr);
    EXPECT_NE(GetModelDeviceLossHooks(), nullptr);
    EXPECT_NE(GetSoftwareDraw2DPath(), nullptr);
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_EQ(GetModelGraphicsServices()->MakeGraphFromBaseImage, nullptr);
    EXPECT_EQ(GetModelDeviceLossHooks(), nullptr);
    EXPECT_EQ(GetSoftwareDraw2DPath(), nullptr);
    SetWindowBackend("sdl2");
}

TEST_F(ModelLoadTest, BaseDataLivesAsLongAsItsInstances) {
    int first = Load(MakeQuadDocument());
    ASSERT_GE(first, 0);
    int baseHandle = GetModelBaseHandle(first);
    int second = ReserveModelInstanceHandle();
    ASSERT_EQ(SetupModelInstance(second, baseHandle), 0);
    second = GetModelInstanceHandleOfSlot(second & 0xFFFF);
    ModelBase* base = GetModelBase(baseHandle);
    EXPECT_EQ(base->refCount, 2u);
    EXPECT_EQ(base->instanceCount, 2u);
    EXPECT_EQ(base->firstInstance, InstanceOf(second));  // new ones go to the head
    EXPECT_EQ(DeleteModel(first), 0);
    EXPECT_EQ(GetModelBase(baseHandle), base);
    EXPECT_EQ(base->refCount, 1u);
    EXPECT_EQ(base->firstInstance, base->lastInstance);
    EXPECT_EQ(DeleteModel(second), 0);
    EXPECT_EQ(GetModelBase(baseHandle), nullptr);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

TEST_F(ModelLoadTest, ReleasingBaseDataNeverWrapsItsCount) {
    int reserved = ReserveModelBaseHandle();
    EXPECT_EQ(ReleaseModelBaseData(reserved), 0);  // a reserved slot is only cleared
    EXPECT_EQ(ReleaseModelBaseData(reserved), -1);
    EXPECT_EQ(ReleaseModelBaseData(0x50000000), -1);  // another kind
    int model = Load(MakeQuadDocument());
    int baseHandle = GetModelBaseHandle(model);
    // A stray release cannot take the instance's reference: the base stays
    // for the instance that uses it.
    EXPECT_EQ(ReleaseModelBaseData(baseHandle), -1);
    EXPECT_EQ(BaseOf(model)->refCount, 1u);
    EXPECT_EQ(SetModelPosition(model, 1, 2, 3), 0);
    // Base data no instance uses goes with one release, even at a count of 0.
    int loose = ReserveModelInstanceHandle();
    files_.Add("loose.mqo", WriteMqo(MakeQuadDocument()));
    int other = LoadModelFile("loose.mqo");
    int otherBase = GetModelBaseHandle(other);
    GetModelBase(otherBase)->refCount++;  // as a creator that keeps a reference
    EXPECT_EQ(DeleteModel(other), 0);
    EXPECT_NE(GetModelBase(otherBase), nullptr);
    EXPECT_EQ(ReleaseModelBaseData(otherBase), 0);
    EXPECT_EQ(GetModelBase(otherBase), nullptr);
    EXPECT_EQ(ReleaseModelInstance(loose), 0);
}

TEST_F(ModelLoadTest, SetupRefusesWhatIsNotReserved) {
    int model = Load(MakeQuadDocument());
    int baseHandle = GetModelBaseHandle(model);
    EXPECT_EQ(SetupModelInstance(model, baseHandle), -1);  // built already
    int reserved = ReserveModelInstanceHandle();
    EXPECT_EQ(SetupModelInstance(reserved, 0x08000000 | 77), -1);
    SetModelAllocFailureAt(1);
    EXPECT_EQ(SetupModelInstance(reserved, baseHandle), -1);
    SetModelAllocFailureAt(0);
    EXPECT_TRUE(IsModelInstanceSlotReserved(reserved));  // stays reserved
    EXPECT_EQ(ReleaseModelInstance(reserved), 0);
    EXPECT_EQ(GetModelInstanceCount(), 1);
}

}  // namespace
