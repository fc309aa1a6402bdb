// Cached device state: setters that send a value to the device only when it
// differs from the last one sent (the pending 2-D batch is flushed first),
// the draw-state block of blend and texture-stage settings, and the caches
// model drawing reads and writes directly.
#pragma once
#include "graphics/device/device.h"

#include <cstdint>

namespace morpotta {

constexpr uint16_t kDeviceStageLeave = 0xFFFF;

struct DeviceDrawStage {
    int graph;            // graph handle, -1 none
    int texCoordIndex;    // -1 leave
    int resultToTemp;     // -1 leave; used only when the device has the temporary register
    uint16_t alphaArg1, alphaArg2, alphaOp;
    uint16_t colorArg1, colorArg2, colorOp;  // 0xFFFF leave
};

struct DeviceDrawStateBlock {
    int head;  // first word, 0
    int blendEnable;
    uint32_t factorColor;  // TFACTOR
    int sourceBlend, destinationBlend, blendOp;
    int stageCount;
    DeviceDrawStage stages[kDeviceStageCount];
};

// The light x material products of one enabled light, in upload order.
struct DeviceLightProducts {
    DeviceLight light;
    DeviceColorValue diffuse, specular, ambient;  // Kd, Ks, Ka
    float attenuation0, attenuation1, attenuation2;
};

struct DeviceStateCache {
    uint32_t renderStates[kDeviceRenderStateCount];
    uint8_t renderStateKnown[kDeviceRenderStateCount];
    uint32_t stageStates[kDeviceStageCount][kDeviceStageStateCount];
    uint8_t stageStateKnown[kDeviceStageCount][kDeviceStageStateCount];
    uint32_t samplerStates[kDeviceSamplerCount][kDeviceSamplerStateCount];
    uint8_t samplerStateKnown[kDeviceSamplerCount][kDeviceSamplerStateCount];
    DeviceTexture* textures[kDeviceStageCount];
    // Shaders, vertex format and buffers. A draw from memory unsets stream 0
    // and the index buffer here as it does on the device, so no caller has
    // to forget them by hand.
    int vertexShader, pixelShader;
    void* vertexDeclaration;
    uint32_t fvf;
    DeviceVertexBuffer* streamSource;
    int streamOffset, streamStride;
    DeviceIndexBuffer* indexBuffer;
    // Material and lights.
    DeviceMaterial material;
    int materialKnown;
    int materialChanged;  // set by the caller to force the next SetDeviceMaterial through
    DeviceLight lights[kDeviceLightCount];
    int lightEnabled[kDeviceLightCount];
    int enabledLightCount;
    DeviceLightProducts lightProducts[kDeviceLightCount];
    DeviceColorValue ambientLight;   // the global ambient light
    DeviceColorValue globalAmbient;  // ambient light x material ambient + emissive
    // The layer's own settings that model drawing compares with the device's.
    int alphaTestFunc, alphaTestRef;  // the device's
    int layerAlphaTestFunc, layerAlphaTestRef;
    int fogEnable;                    // the layer's fog switch
    int filterMode;                   // the layer's own texture filter, -1 unknown
    int lightingOff;                  // the layer's lighting-off switch
    int forceRefresh;                 // send every value even when unchanged
    int hasTempRegister;              // the device supports RESULTARG = TEMP
};

DeviceStateCache* GetDeviceStateCache();
// Forgets every cached value (after device creation or reset).
void ResetDeviceStateCache();

// The 2-D batch, registered by the 2-D drawing code; flushed before any
// state change so model state does not mix with it.
using PendingDrawFlusher = int (*)();
void SetPendingDrawFlusher(PendingDrawFlusher flusher);
int FlushPendingDraws();

int SetDeviceRenderState(int state, uint32_t value);   // cached
int SetDeviceStageState(int stage, int state, uint32_t value);
int SetDeviceSamplerState(int sampler, int state, uint32_t value);
int SetDeviceTexture(int stage, DeviceTexture* texture);
int SetDeviceFvf(uint32_t fvf);
int SetDeviceStreamSource(DeviceVertexBuffer* buffer, int offset, int stride);
int SetDeviceIndices(DeviceIndexBuffer* buffer);

int SetDeviceZEnable(int value);
int SetDeviceZWriteEnable(int value);
int SetDeviceZFunc(int value);
int SetDeviceDepthBias(int value);
int SetDeviceShadeMode(int value);
int SetDeviceFillMode(int value);      // 2 wireframe, 3 solid
int SetDeviceCullMode(int value);      // 0 none, 1 counter-clockwise, 2 clockwise
int SetDeviceSpecularEnable(int value);
int SetDeviceDiffuseFromVertexColor(int value);
int SetDeviceSpecularFromVertexColor(int value);
int SetDeviceLighting(int flag);
// Keeps the layer's lighting-off switch (= !flag) and sets the device lighting state.
int SetLightingEnabled(int flag);
int SetDeviceAlphaTest(int compareFunction, int reference);
int SetDeviceWorldMatrix(const float matrix[16]);
int SetDeviceViewMatrix(const float matrix[16]);
int SetDeviceProjectionMatrix(const float matrix[16]);
int SetDeviceAmbientLight(float r, float g, float b, float a);
int SetDeviceLight(int index, const DeviceLight* light);
int EnableDeviceLight(int index, int enable);
// 17 floats: diffuse, ambient, specular, emissive RGBA, power. Sent unless
// equal to the cached material (or materialChanged is set); recomputes the
// light x material products either way.
int SetDeviceMaterial(const float values[17]);
int SetDeviceFogEnable(int flag);        // the layer's switch and the device state
int RestoreDeviceFogEnable();
int SetDeviceTextureAddress(int modeU, int modeV, int modeW, int sampler);
int SetStageFilterState(int stage, int which, int value);  // which 16 MAG, 17 MIN, 18 MIP
int SetStageMaxAnisotropy(int stage, int value);
int ResetTexCoordIndices();
int ApplyDeviceDrawState(const DeviceDrawStateBlock* block, int option, int resolveGraphs);

// Programmable shaders of the built-in table (graphics/device/shader_index.h),
// on back ends that run them while the engine's setting allows them
// (SetProgrammableShaderUse). A selection gives 1 with the shader current,
// or 0 (shaders off, or that index cannot be made): the caller then takes
// the fixed-function road and clears the shaders.
int DeviceShadersAvailable();
int SelectVertexShader(int index);
int SelectPixelShader(int index);
void ClearDeviceShaders();
// kind 0 vertex, 1 pixel; four floats per register.
int SetDeviceShaderConstants(int kind, int firstRegister, const float* values, int registerCount);
int UploadShaderConstants(int flag);
// The shader-index bases for the layer's current lighting and fog state.
int GetVertexShaderBase();
int GetPixelShaderBase();

}  // namespace morpotta
