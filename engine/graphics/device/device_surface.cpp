// Off-screen plain surfaces in YUV layouts, which the movie decoder fills
// with its frames. They are memory of their own on every back end: a lock
// hands out the bytes, and nothing is sent to the back end.
#include "engine/log.h"
#include "engine/memory.h"
#include "graphics/device/device_internal.h"

namespace morpotta {

namespace {

constexpr int kMaxSurfaceSide = 8192;

// Bytes per row of the luma (or packed) plane, rounded up to 16; 0 for a
// layout that is not offered.
int SurfacePitch(int width, int format) {
    switch (format) {
    case DEVICE_FMT_YV12: return (width + 15) & ~15;
    case DEVICE_FMT_YUY2:
    case DEVICE_FMT_UYVY: return (2 * width + 15) & ~15;
    default: return 0;
    }
}

size_t SurfaceBytes(int pitch, int height, int format) {
    size_t bytes = size_t(pitch) * size_t(height);
    if (format == DEVICE_FMT_YV12) bytes += 2 * size_t(pitch / 2) * size_t((height + 1) / 2);
    return bytes;
}

}  // namespace

int CreateDeviceOffscreenSurface(int width, int height, int format, int, DeviceSurface** out, void*) {
    if (!out) return -1;
    *out = nullptr;
    if (!HardwareRenderingActive()) return -1;
    const int pitch = SurfacePitch(width, format);
    if (pitch == 0 || width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        return WriteLogFormat("An off-screen surface of %dx%d in format 0x%08X is not offered", width, height,
                              unsigned(format));
    auto* s = static_cast<DeviceSurface*>(ENGINE_ALLOC_ZERO(sizeof(DeviceSurface)));
    if (!s) return WriteLogText("Out of memory for an off-screen surface");
    s->bytes = static_cast<unsigned char*>(ENGINE_ALLOC_ZERO(SurfaceBytes(pitch, height, format)));
    if (!s->bytes) {
        FreeMemory(s);
        return WriteLogText("Out of memory for an off-screen surface");
    }
    s->width = width;
    s->height = height;
    s->format = format;
    s->pitch = pitch;
    *out = s;
    return 0;
}

int LockDeviceSurface(DeviceSurface* s, void** bits, int* pitch) {
    if (!s || !bits || !pitch || s->locked) return -1;
    s->locked = true;
    *bits = s->bytes;
    *pitch = s->pitch;
    return 0;
}

int UnlockDeviceSurface(DeviceSurface* s) {
    if (!s || !s->locked) return -1;
    s->locked = false;
    return 0;
}

int ReleaseDeviceSurface(DeviceSurface* s) {
    if (!s) return 0;
    FreeMemory(s->bytes);
    FreeMemory(s);
    return 0;
}

}  // namespace morpotta
