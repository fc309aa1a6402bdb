// The graphics device: vertex and index buffers, textures, render, sampler
// and texture-stage states, fixed-function lighting, transforms and draws,
// behind one interface with interchangeable back ends (OpenGL, recording).
// The numbers of states, operations and formats are the ones the model and
// drawing code pass, so they are given here as named constants.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/screen.h"  // the device choice and HardwareRenderingActive

namespace morpotta {

// Primitive types.
enum DevicePrimitive {
    DEVICE_PT_POINTLIST = 1,
    DEVICE_PT_LINELIST = 2,
    DEVICE_PT_LINESTRIP = 3,
    DEVICE_PT_TRIANGLELIST = 4,
    DEVICE_PT_TRIANGLESTRIP = 5,
    DEVICE_PT_TRIANGLEFAN = 6,
};

// Texture and index formats.
enum DeviceFormat {
    DEVICE_FMT_UNKNOWN = 0,
    DEVICE_FMT_A8R8G8B8 = 21,
    DEVICE_FMT_X8R8G8B8 = 22,
    DEVICE_FMT_R5G6B5 = 23,
    DEVICE_FMT_A1R5G5B5 = 25,
    DEVICE_FMT_A4R4G4B4 = 26,
    DEVICE_FMT_INDEX16 = 101,
    DEVICE_FMT_INDEX32 = 102,
    // YUV layouts of off-screen plain surfaces, as four-character codes.
    DEVICE_FMT_YV12 = 0x32315659,  // planar: Y rows, then V and U rows at half the pitch
    DEVICE_FMT_YUY2 = 0x32595559,  // packed pairs Y0 U Y1 V
    DEVICE_FMT_UYVY = 0x59565955,  // packed pairs U Y0 V Y1
};

// Usage flags.
constexpr int DEVICE_USAGE_RENDERTARGET = 0x1;
constexpr int DEVICE_USAGE_WRITEONLY = 0x8;
constexpr int DEVICE_USAGE_DYNAMIC = 0x200;

// Flexible vertex format bits: position, normal, colours, then texture
// coordinate sets (count in bits 8-11, size of set i in bits 16+2i).
constexpr uint32_t DEVICE_FVF_XYZ = 0x002;
constexpr uint32_t DEVICE_FVF_XYZRHW = 0x004;
constexpr uint32_t DEVICE_FVF_POSITION_MASK = 0x00E;
constexpr uint32_t DEVICE_FVF_NORMAL = 0x010;
constexpr uint32_t DEVICE_FVF_DIFFUSE = 0x040;
constexpr uint32_t DEVICE_FVF_SPECULAR = 0x080;
constexpr int DEVICE_FVF_TEXCOUNT_SHIFT = 8;
constexpr uint32_t DEVICE_FVF_TEXCOUNT_MASK = 0xF00;
constexpr uint32_t DeviceFvfTexCount(int n) { return uint32_t(n) << DEVICE_FVF_TEXCOUNT_SHIFT; }
// Size codes of one texture-coordinate set: 0 two floats, 1 three, 2 four, 3 one.
constexpr uint32_t DeviceFvfTexCoordSize3(int set) { return 1u << (16 + set * 2); }
constexpr uint32_t DeviceFvfTexCoordSize4(int set) { return 2u << (16 + set * 2); }
constexpr uint32_t DeviceFvfTexCoordSize1(int set) { return 3u << (16 + set * 2); }

// Render states.
enum DeviceRenderState {
    DEVICE_RS_ZENABLE = 7,
    DEVICE_RS_FILLMODE = 8,
    DEVICE_RS_SHADEMODE = 9,
    DEVICE_RS_ZWRITEENABLE = 14,
    DEVICE_RS_ALPHATESTENABLE = 15,
    DEVICE_RS_SRCBLEND = 19,
    DEVICE_RS_DESTBLEND = 20,
    DEVICE_RS_CULLMODE = 22,
    DEVICE_RS_ZFUNC = 23,
    DEVICE_RS_ALPHAREF = 24,
    DEVICE_RS_ALPHAFUNC = 25,
    DEVICE_RS_ALPHABLENDENABLE = 27,
    DEVICE_RS_FOGENABLE = 28,
    DEVICE_RS_SPECULARENABLE = 29,
    DEVICE_RS_FOGCOLOR = 34,
    DEVICE_RS_FOGTABLEMODE = 35,
    DEVICE_RS_FOGSTART = 36,   // float bits
    DEVICE_RS_FOGEND = 37,     // float bits
    DEVICE_RS_FOGDENSITY = 38, // float bits
    DEVICE_RS_TEXTUREFACTOR = 60,
    DEVICE_RS_LIGHTING = 137,
    DEVICE_RS_AMBIENT = 139,
    DEVICE_RS_FOGVERTEXMODE = 140,
    DEVICE_RS_COLORVERTEX = 141,
    DEVICE_RS_NORMALIZENORMALS = 143,
    DEVICE_RS_DIFFUSEMATERIALSOURCE = 145,
    DEVICE_RS_SPECULARMATERIALSOURCE = 146,
    DEVICE_RS_AMBIENTMATERIALSOURCE = 147,
    DEVICE_RS_EMISSIVEMATERIALSOURCE = 148,
    DEVICE_RS_BLENDOP = 171,
    DEVICE_RS_DEPTHBIAS = 195,  // float bits
};
constexpr int kDeviceRenderStateCount = 256;

// Texture-stage states.
enum DeviceStageState {
    DEVICE_TSS_COLOROP = 1,
    DEVICE_TSS_COLORARG1 = 2,
    DEVICE_TSS_COLORARG2 = 3,
    DEVICE_TSS_ALPHAOP = 4,
    DEVICE_TSS_ALPHAARG1 = 5,
    DEVICE_TSS_ALPHAARG2 = 6,
    DEVICE_TSS_TEXCOORDINDEX = 11,
    DEVICE_TSS_RESULTARG = 28,
};
constexpr int kDeviceStageStateCount = 33;
constexpr int kDeviceStageCount = 8;

// Sampler states.
enum DeviceSamplerState {
    DEVICE_SAMP_ADDRESSU = 1,
    DEVICE_SAMP_ADDRESSV = 2,
    DEVICE_SAMP_ADDRESSW = 3,
    DEVICE_SAMP_MAGFILTER = 5,
    DEVICE_SAMP_MINFILTER = 6,
    DEVICE_SAMP_MIPFILTER = 7,
    DEVICE_SAMP_MAXANISOTROPY = 10,
};
constexpr int kDeviceSamplerStateCount = 14;
constexpr int kDeviceSamplerCount = 8;

// Stage filter selectors of SetStageFilterState.
constexpr int DEVICE_STAGE_MAGFILTER = 16;
constexpr int DEVICE_STAGE_MINFILTER = 17;
constexpr int DEVICE_STAGE_MIPFILTER = 18;

enum DeviceTextureOp {
    DEVICE_TOP_DISABLE = 1,
    DEVICE_TOP_SELECTARG1 = 2,
    DEVICE_TOP_SELECTARG2 = 3,
    DEVICE_TOP_MODULATE = 4,
    DEVICE_TOP_MODULATE2X = 5,
    DEVICE_TOP_MODULATE4X = 6,
    DEVICE_TOP_ADD = 7,
    DEVICE_TOP_ADDSIGNED = 8,
    DEVICE_TOP_ADDSIGNED2X = 9,
    DEVICE_TOP_SUBTRACT = 10,
    DEVICE_TOP_ADDSMOOTH = 11,
    DEVICE_TOP_BLENDDIFFUSEALPHA = 12,
    DEVICE_TOP_BLENDTEXTUREALPHA = 13,
    DEVICE_TOP_BLENDFACTORALPHA = 14,
    DEVICE_TOP_BLENDTEXTUREALPHAPM = 15,
    DEVICE_TOP_BLENDCURRENTALPHA = 16,
    DEVICE_TOP_MODULATEALPHA_ADDCOLOR = 18,
    DEVICE_TOP_MODULATECOLOR_ADDALPHA = 19,
    DEVICE_TOP_MODULATEINVALPHA_ADDCOLOR = 20,
    DEVICE_TOP_MODULATEINVCOLOR_ADDALPHA = 21,
    DEVICE_TOP_DOTPRODUCT3 = 24,
};

enum DeviceTextureArg {
    DEVICE_TA_DIFFUSE = 0,
    DEVICE_TA_CURRENT = 1,
    DEVICE_TA_TEXTURE = 2,
    DEVICE_TA_TFACTOR = 3,
    DEVICE_TA_SPECULAR = 4,
    DEVICE_TA_TEMP = 5,
    DEVICE_TA_SELECTMASK = 0x0F,
    DEVICE_TA_COMPLEMENT = 0x10,
    DEVICE_TA_ALPHAREPLICATE = 0x20,
};

enum DeviceBlend {
    DEVICE_BLEND_ZERO = 1,
    DEVICE_BLEND_ONE = 2,
    DEVICE_BLEND_SRCCOLOR = 3,
    DEVICE_BLEND_INVSRCCOLOR = 4,
    DEVICE_BLEND_SRCALPHA = 5,
    DEVICE_BLEND_INVSRCALPHA = 6,
    DEVICE_BLEND_DESTALPHA = 7,
    DEVICE_BLEND_INVDESTALPHA = 8,
    DEVICE_BLEND_DESTCOLOR = 9,
    DEVICE_BLEND_INVDESTCOLOR = 10,
};

enum DeviceBlendOp {
    DEVICE_BLENDOP_ADD = 1,
    DEVICE_BLENDOP_SUBTRACT = 2,
    DEVICE_BLENDOP_REVSUBTRACT = 3,
    DEVICE_BLENDOP_MIN = 4,
    DEVICE_BLENDOP_MAX = 5,
};

enum DeviceCompare {
    DEVICE_CMP_NEVER = 1,
    DEVICE_CMP_LESS = 2,
    DEVICE_CMP_EQUAL = 3,
    DEVICE_CMP_LESSEQUAL = 4,
    DEVICE_CMP_GREATER = 5,
    DEVICE_CMP_NOTEQUAL = 6,
    DEVICE_CMP_GREATEREQUAL = 7,
    DEVICE_CMP_ALWAYS = 8,
};

// Device cull values: which screen winding is dropped (y down).
enum DeviceCull { DEVICE_CULL_NONE = 1, DEVICE_CULL_CW = 2, DEVICE_CULL_CCW = 3 };
enum DeviceFill { DEVICE_FILL_POINT = 1, DEVICE_FILL_WIREFRAME = 2, DEVICE_FILL_SOLID = 3 };
enum DeviceShade { DEVICE_SHADE_FLAT = 1, DEVICE_SHADE_GOURAUD = 2 };
enum DeviceFilter { DEVICE_FILTER_NONE = 0, DEVICE_FILTER_POINT = 1, DEVICE_FILTER_LINEAR = 2, DEVICE_FILTER_ANISOTROPIC = 3 };
enum DeviceAddress {
    DEVICE_ADDRESS_WRAP = 1,
    DEVICE_ADDRESS_MIRROR = 2,
    DEVICE_ADDRESS_CLAMP = 3,
    DEVICE_ADDRESS_BORDER = 4,
    DEVICE_ADDRESS_MIRRORONCE = 5,
};
enum DeviceTransform { DEVICE_TS_VIEW = 2, DEVICE_TS_PROJECTION = 3, DEVICE_TS_WORLD = 256 };
enum DeviceLightType { DEVICE_LIGHT_POINT = 1, DEVICE_LIGHT_SPOT = 2, DEVICE_LIGHT_DIRECTIONAL = 3 };
enum DeviceColorSource { DEVICE_MCS_MATERIAL = 0, DEVICE_MCS_COLOR1 = 1, DEVICE_MCS_COLOR2 = 2 };
enum DeviceFogMode { DEVICE_FOG_NONE = 0, DEVICE_FOG_EXP = 1, DEVICE_FOG_EXP2 = 2, DEVICE_FOG_LINEAR = 3 };

constexpr int DEVICE_CLEAR_TARGET = 1;
constexpr int DEVICE_CLEAR_ZBUFFER = 2;

constexpr int kDeviceLightCount = 8;
// The size of the off-screen target everything renders into.
constexpr int kDeviceTargetWidth = 640;
constexpr int kDeviceTargetHeight = 480;

struct DeviceColorValue {
    float r, g, b, a;
};
struct DeviceVector {
    float x, y, z;
};
struct DeviceMaterial {
    DeviceColorValue diffuse, ambient, specular, emissive;
    float power;
};
struct DeviceLight {
    int type;  // DeviceLightType
    DeviceColorValue diffuse, specular, ambient;
    DeviceVector position, direction;
    float range, falloff;
    float attenuation0, attenuation1, attenuation2;
    float theta, phi;  // inner and outer cone angles, radians
};
struct DeviceViewport {
    int x, y, width, height;
    float minZ, maxZ;
};

// Device objects; their records belong to the device layer.
struct DeviceVertexBuffer;
struct DeviceIndexBuffer;
struct DeviceTexture;
struct DeviceSurface;

struct DeviceTextureDesc {
    int width, height, levels, format, usage;
};

// ---- Device life ----
// Creates the device on the named back end ("gl" or "recording"); 0 or -1.
int CreateGraphicsDevice(const char* backendName);
void ReleaseGraphicsDevice();
const char* GetDeviceBackendName();  // "" without a device

// ---- Buffers and textures ----
// Null without a device or when the back end refuses.
DeviceVertexBuffer* CreateDeviceVertexBuffer(int length, int usage, uint32_t fvf, int pool);
DeviceIndexBuffer* CreateDeviceIndexBuffer(int length, int usage, int format, int pool);
// Lock a byte range (size 0: to the end) for writing; the data is sent on unlock.
int LockDeviceVertexBuffer(DeviceVertexBuffer* buffer, int offset, int size, void** data, int flags);
int UnlockDeviceVertexBuffer(DeviceVertexBuffer* buffer);
int ReleaseDeviceVertexBuffer(DeviceVertexBuffer* buffer);
int LockDeviceIndexBuffer(DeviceIndexBuffer* buffer, int offset, int size, void** data, int flags);
int UnlockDeviceIndexBuffer(DeviceIndexBuffer* buffer);
int ReleaseDeviceIndexBuffer(DeviceIndexBuffer* buffer);
int GetDeviceVertexBufferLength(const DeviceVertexBuffer* buffer);

// levels 0: the full mip chain. Usage DEVICE_USAGE_RENDERTARGET makes a
// texture that SetDeviceRenderTarget can draw into.
DeviceTexture* CreateDeviceTexture(int width, int height, int levels, int usage, int format, int pool);
int LockDeviceTexture(DeviceTexture* texture, int level, void** bits, int* pitch);
int UnlockDeviceTexture(DeviceTexture* texture, int level);
int ReleaseDeviceTexture(DeviceTexture* texture);
int GetDeviceTextureDesc(const DeviceTexture* texture, int level, DeviceTextureDesc* out);
int BytesPerDevicePixel(int format);  // 0 for an unknown format

// ---- Direct device calls (every one reaches the back end) ----
int SendDeviceRenderState(int state, uint32_t value);
int SendDeviceStageState(int stage, int state, uint32_t value);
int SendDeviceSamplerState(int sampler, int state, uint32_t value);
int SendDeviceTexture(int stage, DeviceTexture* texture);
int SendDeviceTransform(int kind, const float matrix[16]);
int SendDeviceMaterial(const DeviceMaterial* material);
int SendDeviceLight(int index, const DeviceLight* light);
int SendDeviceLightEnable(int index, int enable);
int SendDeviceViewport(const DeviceViewport* viewport);
int SendDeviceFvf(uint32_t fvf);
int SendDeviceStreamSource(DeviceVertexBuffer* buffer, int offset, int stride);
int SendDeviceIndices(DeviceIndexBuffer* buffer);
// null: the off-screen 640x480 target.
int SetDeviceRenderTarget(DeviceTexture* texture);
// Programmable shaders (kind 0 vertex, 1 pixel): whether the back end runs
// them at all, whether it can run the one of that index (0 or -1), making
// it current (-1: none), and constant registers (four floats each).
int DeviceBackendHasShaders();
int PrepareDeviceShader(int kind, int index);
int SendDeviceShader(int kind, int index);
int SendDeviceShaderConstants(int kind, int firstRegister, const float* values, int registerCount);

int DrawDevicePrimitive(int type, int startVertex, int primitiveCount);
int DrawDeviceIndexedPrimitive(int type, int baseVertex, int minIndex, int vertexCount, int startIndex,
                               int primitiveCount);
// Draws from memory: afterwards stream 0 and the index buffer are unset, on
// the device and in the state cache (devicestate.h).
int DrawDevicePrimitiveUP(int type, int primitiveCount, const void* vertices, int stride);
int DrawDeviceIndexedPrimitiveUP(int type, int minIndex, int vertexCount, int primitiveCount, const void* indices,
                                 int indexFormat, const void* vertices, int stride);
int ClearDevice(int flags, uint32_t argb, float z);
int BeginDeviceScene();  // opens the scene when none is open
int EndDeviceScene();
// Ends the scene and shows the off-screen target scaled to the window.
int PresentDevice();
// Waits until the device has drawn everything asked of it (frame timing). 0 or -1.
int FinishDevice();
// Reads the current target as 0xAARRGGBB rows, top row first.
int ReadDevicePixels(int x, int y, int width, int height, uint32_t* out);
// The view and projection matrices and the viewport last sent (null
// outputs are skipped). 0.
int GetDeviceViewTransform(float view[16], float projection[16], DeviceViewport* viewport);

// The device object that the movie decoder asks for frame surfaces.
struct DeviceObject {
    // 0 and a surface, or -1 (the caller then keeps its own memory path).
    int (*CreateOffscreenPlainSurface)(int width, int height, int format, int pool, DeviceSurface** out,
                                       void* shared);
};
DeviceObject* Direct3DDevice9Object();  // null without a device

// Off-screen plain surfaces (YV12, YUY2 or UYVY) keep their pixels in
// memory of their own: a device release does not take them away, and their
// owner releases them. A lock hands out the pixels and the bytes per row.
int LockDeviceSurface(DeviceSurface* surface, void** bits, int* pitch);  // 0 or -1
int UnlockDeviceSurface(DeviceSurface* surface);
int ReleaseDeviceSurface(DeviceSurface* surface);  // null is ignored

}  // namespace morpotta
