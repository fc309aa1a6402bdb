// Fuzz target for the MQO reader: each input goes through LoadModelFile
// from an in-memory file, once as it stands and once behind a valid
// header line pair, so the fuzzer starts past the signature.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "model/base/graphics_services.h"
#include "model/instance/model_system.h"

namespace {

std::string g_file;
size_t g_position;

FileHandle Open(const char*, int, int, int) { return FileHandle(1); }
int Close(FileHandle) { return 0; }
int64_t Tell(FileHandle) { return int64_t(g_position); }
int Seek(FileHandle, int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(g_position) : int64_t(g_file.size());
    if (base + offset < 0 || base + offset > int64_t(g_file.size())) return -1;
    g_position = size_t(base + offset);
    return 0;
}
size_t Read(void* buffer, size_t size, size_t count, FileHandle) {
    size_t left = g_file.size() - g_position;
    size_t whole = size ? std::min(count, left / size) : 0;
    std::memcpy(buffer, g_file.data() + g_position, whole * size);
    g_position += whole * size;
    return whole;
}
int GetDirectory(char* buffer, size_t capacity) {
    std::strncpy(buffer, "\\fuzz", capacity);
    return 0;
}

FileAccessTable g_table{Open, Close, Tell, Seek, Read, nullptr, nullptr, nullptr, GetDirectory, nullptr, nullptr, nullptr};

void LoadOnce(const std::string& text) {
    g_file = text;
    g_position = 0;
    int model = LoadModelFile("fuzz.mqo");
    if (model != -1) {
        float lo[3], hi[3];
        GetModelBoundingBox(model, lo, hi);
        SetModelFrameOpacity(model, 0, 0.5f);
        SetModelMaterialSpecularColor(model, 0, 1, 1, 1, 1);
        DeleteModel(model);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    SetModelFileAccessTable(&g_table);
    InitializeModelSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    LoadOnce(text);
    LoadOnce("Metasequoia Document\r\nFormat Text Ver 1.0\r\n" + text);
    return 0;
}
