// One in-memory file for the model readers' fuzz targets: whatever name
// LoadModelFile opens (or the one name installed) reads the bytes last set
// here; and drawing on the recording device, so that what a reader lets
// through also goes down the draw road.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/files.h"
#include "engine/model.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/recording/recording.h"
#include "model/base/graphics_services.h"

using namespace morpotta;

namespace model_fuzz {

inline std::string g_file;
inline size_t g_position = 0;
inline std::string g_only;  // when set, every other name fails to open

inline FileHandle Open(const char* path, int, int, int) {
    if (!g_only.empty() && g_only != path) return 0;
    return FileHandle(1);
}
inline int Close(FileHandle) { return 0; }
inline int64_t Tell(FileHandle) { return int64_t(g_position); }
inline int Seek(FileHandle, int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(g_position) : int64_t(g_file.size());
    if (base + offset < 0 || base + offset > int64_t(g_file.size())) return -1;
    g_position = size_t(base + offset);
    return 0;
}
inline size_t Read(void* buffer, size_t size, size_t count, FileHandle) {
    size_t left = g_file.size() - g_position;
    size_t whole = size ? std::min(count, left / size) : 0;
    std::memcpy(buffer, g_file.data() + g_position, whole * size);
    g_position += whole * size;
    return whole;
}
inline int GetDirectory(char* buffer, size_t capacity) {
    std::strncpy(buffer, "\\fuzz", capacity);
    return 0;
}

inline FileAccessTable g_table{Open, Close, Tell, Seek, Read, nullptr, nullptr, nullptr, GetDirectory, nullptr, nullptr, nullptr};

// Makes the table the model system's file functions; with a name, only
// that name opens (the files a model looks for beside it are missing).
inline void Install(const char* only = nullptr) {
    g_only = only ? only : "";
    SetModelFileAccessTable(&g_table);
}

// The bytes the next open reads.
inline void SetFile(std::string bytes) {
    g_file = std::move(bytes);
    g_position = 0;
}

// The recording device needs no window and no GL, and draws on the
// fixed-function road: software skinning and toon lighting run on the
// loaded data. The camera at (0, 0, -10) looks down +z, so the samples'
// frames are in view and not culled.
inline void StartDrawing() {
    CreateGraphicsDevice("recording");
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};
    const float nearZ = 1.0f, farZ = 1000.0f, f = 1.7320508f;  // 60 degrees
    float projection[16] = {f * 0.75f, 0, 0, 0, 0, f, 0, 0,
                            0, 0, farZ / (farZ - nearZ), 1, 0, 0, -nearZ * farZ / (farZ - nearZ), 0};
    SetDeviceViewMatrix(view);
    SetDeviceProjectionMatrix(projection);
    DeviceViewport viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    SendDeviceViewport(&viewport);
}

// One draw; the record of its device calls is dropped, so runs do not grow.
inline void Draw(int model) {
    DrawModel(model);
    ClearRecordedDeviceCalls();
}

}  // namespace model_fuzz
