// Model system life cycle, loading by file name and the release of base
// data. A base record is counted once per instance; LoadModelFile holds one
// reference of its own while it builds the first instance and drops it at
// the end, so the record goes with its last instance.
#include <cstring>
#include <string>

#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/model.h"
#include "engine/text.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "foundation/subsystems.h"
#include "graphics/screen/device_restore.h"
#include "model/base/graphics_services.h"
#include "model/base/model_handles.h"
#include "model/base/model_math.h"
#include "model/convert/convert.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_services.h"
#include "model/draw/model_texture_restore.h"
#include "model/instance/model_instance.h"
#include "model/instance/model_system.h"
#include "model/read/model_readers.h"
#include "platform/allocator.h"

using namespace morpotta;

namespace morpotta {

namespace {

constexpr size_t kPathCapacity = 1024;
constexpr int64_t kMaxModelFileBytes = int64_t(1) << 31;
constexpr size_t kLargeModelBlockBytes = 256 * 1024;

// Index of the last '\', '/' or ':' (a trail byte 0x5C is none), or npos.
size_t LastSeparator(const std::string& path) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsMultiByteLeadByte(&path[i]) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') cut = i;
    }
    return cut;
}

bool CurrentDirectory(std::string* out) {
    const FileAccessTable* files = GetModelFileAccessTable();
    char buffer[kPathCapacity] = {};
    if (!files || !files->getDirectory || files->getDirectory(buffer, sizeof(buffer)) != 0) return false;
    *out = buffer;
    return true;
}

// Folder (absolute) and bare name of a model path.
bool SplitModelPath(const std::string& path, std::string* folder, std::string* name) {
    std::string current;
    if (!CurrentDirectory(&current)) current.clear();
    size_t cut = LastSeparator(path);
    if (cut == std::string::npos) {
        *folder = current;
        *name = path;
    } else {
        // A drive root keeps its separator.
        bool keep = path[cut] == ':' || (cut > 0 && path[cut - 1] == ':');
        std::string part = path.substr(0, keep ? cut + 1 : cut);
        char full[kPathCapacity] = {};
        if (BuildFullPath(part.c_str(), full, sizeof(full), current.empty() ? nullptr : current.c_str()) != 0)
            return false;
        *folder = full;
        *name = path.substr(cut + 1);
    }
    size_t dot = name->find('.');
    if (dot != std::string::npos) name->resize(dot);
    return true;
}

// The whole file and a 0 byte behind it; -1 (logged) on any failure.
int ReadWholeModelFile(const char* path, char** dataOut, size_t* sizeOut) {
    const FileAccessTable* files = GetModelFileAccessTable();
    FileHandle file = files && files->open ? files->open(path, 0, 1, 0) : 0;
    if (!file) return Refuse("モデルファイル %s が読み込めませんでした", path);
    int64_t size = -1;
    if (files->seek(file, 0, 2) == 0) size = files->tell(file);
    if (size < 0 || size >= kMaxModelFileBytes || files->seek(file, 0, 0) != 0) {
        files->close(file);
        return Refuse("モデルファイル %s が読み込めませんでした", path);
    }
    auto* data = static_cast<char*>(AllocModelMemory(size_t(size) + 1));
    if (!data) {
        files->close(file);
        return Refuse("モデルファイル %s のデータを格納するメモリ領域の確保に失敗しました", path);
    }
    // The whole file is one element: anything short of it is a failure.
    bool whole = size == 0 || files->read(data, size_t(size), 1, file) == 1;
    files->close(file);
    if (!whole) {
        FreeMemory(data);
        return Refuse("モデルファイル %s が読み込めませんでした", path);
    }
    data[size] = 0;
    *dataOut = data;
    *sizeOut = size_t(size);
    return 0;
}

int OfferToReaders(const ModelLoadParams* params) {
    int count = 0;
    const ModelReader* readers = GetModelReaders(&count);
    for (int i = 0; i < count; ++i) {
        int handle = readers[i](params);
        if (handle >= 0) return handle;
        if (params->ownedData && !*params->ownedData) return -1;  // the reader that knew the file let it go
    }
    return -1;
}

void ReleaseAllRecords() {
    for (int slot = 0; slot < GetModelInstanceTableSize(); ++slot) {
        int handle = GetModelInstanceHandleOfSlot(slot);
        if (handle != -1) ReleaseModelInstance(handle);
    }
    // Whatever is left has no instance: it goes whatever its count says.
    for (int slot = 0; slot < GetModelBaseTableSize(); ++slot) {
        int handle = GetModelBaseHandleOfSlot(slot);
        if (handle != -1) FreeModelBaseRecord(handle);
    }
}

}  // namespace

int InitializeModelSystem() {
    if (IsModelSystemReady()) return 0;
    // A model load allocates and frees the largest blocks the engine
    // handles (the file, the read model, the work of the conversion); they
    // go back to the system when freed rather than stay resident.
    platform::FixLargeBlockThreshold(kLargeModelBlockBytes);
    GetModelSineTable();
    StartModelHandleTables();
    return 0;
}

int TerminateModelSystem() {
    if (!IsModelSystemReady()) return 0;
    ReleaseAllRecords();
    FreeModelDrawWork();
    // The built-in graphs go with the graph table when graphics end next;
    // their handles would name other graphs in an engine started again.
    ForgetModelBuiltinGraphs();
    EndModelHandleTables();  // reserved slots go with the tables
    return 0;
}

}  // namespace morpotta

int ReleaseModelBaseData(int baseHandle) {
    const PublicCall call("ReleaseModelBaseData");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelBase* base = GetModelBase(baseHandle);
    // A reserved slot is only cleared.
    if (!base)
        return ClearModelBaseSlot(baseHandle) == 0
                   ? 0
                   : RefuseModelHandle(baseHandle, HANDLE_KIND_MODEL_BASE);
    // The references of live instances go only with their instances: a
    // release beyond the others is refused, so the count never wraps round
    // and no instance is left pointing at freed data.
    if (base->refCount <= base->instanceCount && base->instanceCount > 0)
        return Refuse("モデル基本データ %08x はまだモデルに使われています", unsigned(baseHandle));
    if (base->refCount > 0 && --base->refCount > 0) return 0;
    return FreeModelBaseRecord(baseHandle) == 0 ? 0 : -1;
}

// Any thread loads models, each on its own and with no lock held but the
// tables' own for a moment: the records stay the loading thread's until
// they are whole, and enter their tables as the call returns (its textures
// are made with settings of their own, leaving other pictures' alone). A
// load on another thread than the engine's has its device buffers reach
// the device with the engine's thread's next draw.
int LoadModelFile(const char* fileName) {
    LoaderCall call("LoadModelFile");
    if (!call.admitted()) return -1;
    ModelLoadRecords records;
    if (!fileName) return RefuseNull("file name");
    if (!IsModelSystemReady())
        return Refuse("the model system is not running (before start-up or after shut-down): %s", fileName);
    std::string folder, name;
    if (!SplitModelPath(fileName, &folder, &name))
        return Refuse("モデルファイル %s が読み込めませんでした", fileName);
    char* data = nullptr;
    size_t size = 0;
    if (ReadWholeModelFile(fileName, &data, &size) != 0) return -1;
    ModelLoadParams params{data, size, fileName, name.c_str(), folder.c_str(), nullptr, &data};
    // What the readers and the conversion say is held: the reason of the
    // call's refusal when the model cannot be made, notes (a texture found
    // nowhere) when it can.
    InnerAttempt load;
    int baseHandle = -1;
    {
        LogSubjectScope subject(std::string(" (モデルファイル ") + fileName + ")");
        ModelLoadSettingsScope settings;
        baseHandle = OfferToReaders(&params);
    }
    FreeMemory(data);
    if (baseHandle < 0) return load.RefuseCall("モデルファイル %s の形式に対応する読み込み処理がありません", fileName);
    // What a reader tried and passed by on its way (a motion file beside
    // the model that is not there) is no reason of what follows.
    load.DropReasons();
    // A model whose buffers cannot be made still draws, from memory.
    BuildModelBaseDeviceBuffers(baseHandle, 1);
    ModelBase* base = GetModelBase(baseHandle);
    ++base->refCount;  // the loader's own reference while it builds the instance
    int modelHandle = ReserveModelInstanceHandle();
    if (modelHandle == -1) {
        ReleaseModelBaseData(baseHandle);
        return load.RefuseCall("モデルファイル %s のモデルハンドルの作成に失敗しました", fileName);
    }
    if (SetupModelInstance(modelHandle, baseHandle) != 0) {
        ReleaseModelInstance(modelHandle);
        ReleaseModelBaseData(baseHandle);
        return load.RefuseCall("モデルファイル %s のモデル基本データからモデルデータへの変換に失敗しました", fileName);
    }
    load.KeepNotes();
    int handle = GetModelInstanceHandleOfSlot(int(uint32_t(modelHandle) & kModelInstanceSlotMask));
    ReleaseModelBaseData(baseHandle);
    return handle;
}

namespace morpotta {

namespace {

// The model system's part of rebuilding a lost device.
const ModelDeviceLossHooks kDeviceLossHooks = {ReleaseModelVertexBuffers, RecreateModelVertexBuffers,
                                               RestoreModelTextures};

void StartModels() {
    InstallModelGraphicsServices();
    SetModelDeviceLossHooks(&kDeviceLossHooks);
    InitializeModelSystem();
}

// What StartModels installed goes with the model system: a graphics layer
// started again, or none, is not reached through the tables of this one.
void EndModels() {
    TerminateModelSystem();
    SetModelDeviceLossHooks(nullptr);
    SetModelGraphicsServices(nullptr);
}

const EngineSubsystem kModels = {
    .name = "models",
    .startModels = StartModels,
    .endModels = EndModels,
};

}  // namespace

void RegisterModelSubsystem() { RegisterEngineSubsystem(&kModels); }

}  // namespace morpotta
