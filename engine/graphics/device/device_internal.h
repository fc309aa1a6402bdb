// Device objects, the full device state the front end mirrors, and the table
// of functions every back end fills.
#pragma once
#include "graphics/device/device.h"
#include "graphics/device/shader_index.h"

#include <cstdint>

namespace morpotta {

// Buffers keep their bytes in memory: a lock hands out that memory and the
// unlock sends the written range to the back end.
struct DeviceBufferRecord {
    int length;
    int usage;
    uint32_t fvf;      // vertex buffers
    int format;        // index buffers
    bool isIndex;
    unsigned char* bytes;
    int lockOffset, lockSize;
    bool locked;
    uintptr_t backendData;
    // Which buffer (never reused) and which contents (counted at each
    // lock): what the device layer knows of the indices is kept by these.
    uint32_t serial, version;
    // Whether the back end has the buffer, and the bytes written since it
    // last had them (another thread's writes wait for the device's thread).
    bool made;
    int dirtyFrom, dirtyTo;
};
struct DeviceVertexBuffer : DeviceBufferRecord {};
struct DeviceIndexBuffer : DeviceBufferRecord {};

struct DeviceTextureLevel {
    int width, height, pitch;
    unsigned char* bytes;
};

struct DeviceTexture {
    int width, height, levels, usage, format;
    DeviceTextureLevel level[16];
    int lockedMask;
    uintptr_t backendData;
    bool made;             // the back end has it
    uint32_t dirtyLevels;  // levels written since the back end last had them
};

struct DeviceSurface {
    int width, height, format, pitch;
    unsigned char* bytes;
    bool locked;
};
// The device object's CreateOffscreenPlainSurface: refused without a device.
int CreateDeviceOffscreenSurface(int width, int height, int format, int pool, DeviceSurface** out, void* shared);

// Everything a draw depends on, as last sent.
struct DeviceState {
    uint32_t renderStates[kDeviceRenderStateCount];
    uint32_t stageStates[kDeviceStageCount][kDeviceStageStateCount];
    uint32_t samplerStates[kDeviceSamplerCount][kDeviceSamplerStateCount];
    DeviceTexture* textures[kDeviceStageCount];
    float world[16], view[16], projection[16];
    DeviceMaterial material;
    DeviceLight lights[kDeviceLightCount];
    int lightEnabled[kDeviceLightCount];
    DeviceViewport viewport;
    uint32_t fvf;
    DeviceVertexBuffer* stream;
    int streamOffset, streamStride;
    DeviceIndexBuffer* indices;
    DeviceTexture* renderTarget;  // null: the off-screen target
    // Programmable shaders: the current indices (-1 none) and the constant
    // registers they read.
    int vertexShader, pixelShader;
    float vertexConstants[kVsRegisterCount][4];
    float pixelConstants[kPsRegisterCount][4];
};

// One draw, from buffers or from user memory.
struct DeviceDraw {
    int type;
    int primitiveCount;
    int vertexCount;       // vertices the draw reads (indexed: from minIndex)
    // Vertex source: a buffer (with the stream offset and stride) or memory.
    const DeviceVertexBuffer* vertexBuffer;
    const unsigned char* vertexMemory;
    int vertexOffset;      // bytes into the source of vertex 0 of the draw
    int stride;
    int startVertex;       // non-indexed
    // Index source: none, a buffer or memory.
    bool indexed;
    const DeviceIndexBuffer* indexBuffer;
    const void* indexMemory;
    int indexFormat;
    int startIndex;
    int baseVertex;
    int minIndex;
};

// Kinds of recorded calls.
enum DeviceCallKind {
    DEVICE_CALL_RENDER_STATE,
    DEVICE_CALL_STAGE_STATE,
    DEVICE_CALL_SAMPLER_STATE,
    DEVICE_CALL_TEXTURE,
    DEVICE_CALL_TRANSFORM,
    DEVICE_CALL_MATERIAL,
    DEVICE_CALL_LIGHT,
    DEVICE_CALL_LIGHT_ENABLE,
    DEVICE_CALL_VIEWPORT,
    DEVICE_CALL_FVF,
    DEVICE_CALL_STREAM_SOURCE,
    DEVICE_CALL_INDICES,
    DEVICE_CALL_RENDER_TARGET,
    DEVICE_CALL_DRAW,
    DEVICE_CALL_CLEAR,
    DEVICE_CALL_BEGIN_SCENE,
    DEVICE_CALL_END_SCENE,
    DEVICE_CALL_PRESENT,
    DEVICE_CALL_BUFFER_UPLOAD,
    DEVICE_CALL_TEXTURE_UPLOAD,
    DEVICE_CALL_SHADER,            // a: 0 vertex, 1 pixel; value: the index
    DEVICE_CALL_SHADER_CONSTANTS,  // a: 0 vertex, 1 pixel; b: first register; value: count
};

struct DeviceCall {
    int kind;      // DeviceCallKind
    int a, b;      // state id / stage / index
    uint64_t value;
};

struct DeviceBackend {
    const char* name;
    int (*open)();  // 0 or -1
    void (*close)();
    // Every state change, as sent (the back end may ignore it: the state is
    // also kept in DeviceState).
    void (*noteCall)(const DeviceCall& call);
    int (*createBuffer)(DeviceBufferRecord* buffer);
    void (*uploadBuffer)(DeviceBufferRecord* buffer, int offset, int size);
    void (*releaseBuffer)(DeviceBufferRecord* buffer);
    int (*createTexture)(DeviceTexture* texture);
    void (*uploadTexture)(DeviceTexture* texture, int level);
    void (*releaseTexture)(DeviceTexture* texture);
    int (*draw)(const DeviceState& state, const DeviceDraw& draw);
    int (*clear)(const DeviceState& state, int flags, uint32_t argb, float z);
    int (*present)();
    int (*readPixels)(const DeviceState& state, int x, int y, int width, int height, uint32_t* out);
    // Programmable shaders: 0 when the back end can run the vertex (kind 0)
    // or pixel (kind 1) shader of that index, else -1. Null: no shaders.
    int (*prepareShader)(int kind, int index);
    // Waits until every call so far has reached the target. Null: nothing
    // to wait for.
    void (*finish)();
};

extern const DeviceBackend kGlDeviceBackend;
extern const DeviceBackend kRecordingDeviceBackend;

const DeviceState& GetDeviceState();

// For the device layer's own files (device.cpp): the open back end (null
// without a device), whether the calling thread keeps the device's objects
// (the thread that made the device, or the one that ends the engine in its
// place as the process ends) and whether its GL context is current there
// (on the thread that made the device alone), a call
// noted for the recording back end, and an object let go forgotten by the
// state that may still name it.
const DeviceBackend* ActiveDeviceBackend();
bool OnDeviceThread();
bool OnContextThread();
void NoteDeviceCall(int kind, int a, int b, uint64_t value);
void ForgetInDeviceState(const DeviceBufferRecord* buffer);
void ForgetInDeviceState(const DeviceTexture* texture);

// The device's objects (device_objects.cpp). On the device's thread: before
// a draw, what other threads made or filled goes to the back end; between
// frames, what they let go is released; with the device, everything left.
void SendWaitingDeviceObjects();
void ReleaseDoomedDeviceObjects();
void ReleaseAllDeviceObjects();
// The mip level sizes of a texture (levels 0: full chain); returns the count.
int CountDeviceMipLevels(int width, int height, int levels);
// Vertex size in bytes of a flexible vertex format; 0 when malformed.
int DeviceFvfStride(uint32_t fvf);
// Bytes of one index of an index format; 0 for another format.
inline int DeviceIndexSize(int format) {
    return format == DEVICE_FMT_INDEX32 ? 4 : format == DEVICE_FMT_INDEX16 ? 2 : 0;
}
float DeviceFloatOfBits(uint32_t bits);
uint32_t DeviceBitsOfFloat(float value);

}  // namespace morpotta
