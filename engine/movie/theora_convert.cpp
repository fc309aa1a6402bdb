// The current frame of a Theora decoder as a picture: converted to 32-bit
// XRGB in the decoder's frame image, or copied into the YUV surface of the
// graphics device (made only for 4:2:0 movies, whose layouts it can hold).
#include "graphics/device/device.h"
#include "engine/log.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_to_rgb.h"

#include <chrono>

namespace morpotta {

static_assert(DEVICE_FMT_YV12 == int(kFourCcYv12) && DEVICE_FMT_YUY2 == int(kFourCcYuy2) &&
              DEVICE_FMT_UYVY == int(kFourCcUyvy));

namespace {

// How long the main thread waits for the decode thread to deliver a frame
// before it gives up for this call; only a broken file system gets near it.
constexpr std::chrono::seconds kFrameWaitLimit{20};
constexpr int kSurfaceLockAttempts = 3;

YuvPlanes PlanesOf(const TheoraFrameSlot& s) {
    return YuvPlanes{s.planes[0], s.planes[1], s.planes[2], s.yWidth,       s.yHeight,
                     s.yStride,   s.chromaWidth, s.chromaHeight, s.chromaStride};
}

// Waits until the current frame is in the ring and pins its slot; -1 when
// it cannot be had (the thread ended, the file ended before it, or the wait
// ran out).
int PinCurrentFrame(TheoraDecoder* d) {
    std::unique_lock<std::mutex> held(d->lock);
    const auto deadline = std::chrono::steady_clock::now() + kFrameWaitLimit;
    for (;;) {
        if (d->threadState == THEORA_THREAD_ENDED) return -1;
        if (!d->seekRequest && d->threadState != THEORA_THREAD_SEEKING) {
            const int slot = FindTheoraSlot(d, d->currentFrame);
            if (slot >= 0) {
                d->pinnedSlot = slot;
                return slot;
            }
            if (d->endReached) return -1;
        }
        if (d->mainWake.wait_until(held, deadline) == std::cv_status::timeout) {
            WriteLogFormat("Theora: frame %d was not decoded in time", d->currentFrame);
            return -1;
        }
    }
}

void Unpin(TheoraDecoder* d) {
    std::lock_guard<std::mutex> hold(d->lock);
    d->pinnedSlot = -1;
}

// The copy into the surface; a lock that fails makes the surface again, up
// to three times. false when nothing was copied.
bool CopyToSurface(TheoraDecoder* d, const YuvPlanes& planes) {
    for (int attempt = 0; attempt < kSurfaceLockAttempts && d->yuvSurface; ++attempt) {
        void* bits = nullptr;
        int pitch = 0;
        if (LockDeviceSurface(d->yuvSurface, &bits, &pitch) != 0) {
            CreateTheoraYuvSurface(d);
            continue;
        }
        const bool copied = CopyYuv420ToSurface(planes, d->surfaceFormat, static_cast<uint8_t*>(bits), pitch,
                                                d->movie.width, d->movie.height);
        UnlockDeviceSurface(d->yuvSurface);
        return copied;
    }
    return false;
}

}  // namespace

int CreateTheoraYuvSurface(TheoraDecoder* d) {
    if (!HardwareRenderingActive()) return 0;
    ReleaseDeviceSurface(d->yuvSurface);
    d->yuvSurface = nullptr;
    d->surfaceFormat = 0;
    // The layouts hold chroma halved in both directions only.
    if (d->pixelFormat != OC_PF_420) return 0;
    DeviceObject* device = Direct3DDevice9Object();
    if (!device) return 0;
    for (int format : {DEVICE_FMT_YV12, DEVICE_FMT_YUY2, DEVICE_FMT_UYVY}) {
        DeviceSurface* surface = nullptr;
        if (device->CreateOffscreenPlainSurface(d->movie.width, d->movie.height, format, 0, &surface, nullptr) == 0 &&
            surface) {
            d->yuvSurface = surface;
            d->surfaceFormat = uint32_t(format);
            return 0;
        }
    }
    return 0;
}

int ConvertTheoraFrame(TheoraDecoder* d, int toRgb, int toYuv) {
    if (!d) return 0;
    const bool wantYuv = toYuv && !d->yuvDone && d->yuvSurface;
    const bool wantRgb = toRgb && !d->rgbDone;
    if (!wantYuv && !wantRgb) return 0;
    const int slot = PinCurrentFrame(d);
    if (slot < 0) return 0;
    const YuvPlanes planes = PlanesOf(d->ring[slot]);
    bool filled = false;
    if (wantYuv) {
        filled = CopyToSurface(d, planes);
        d->yuvDone = 1;  // also when the planes could not be copied: the next call would fare no better
    }
    if (wantRgb) {
        BASEIMAGE& image = d->frameImage;
        uint8_t* pixels = static_cast<uint8_t*>(image.pixels);
        if (IsYuv420(planes))
            ConvertYuv420ToXrgb(planes, pixels, image.pitch, image.width, image.height);
        else
            ConvertYuvFloatToXrgb(planes, pixels, image.pitch, image.width, image.height);
        d->rgbDone = 1;
        filled = true;
    }
    Unpin(d);
    return filled ? 1 : 0;
}

}  // namespace morpotta
