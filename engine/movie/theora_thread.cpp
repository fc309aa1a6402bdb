// The decode thread of a Theora decoder: it serves seeks, decodes ahead of
// the current frame into the ring of pictures, starts over at the first
// frame when the look-ahead passes the end of the movie, and waits on its
// condition while the ring is full or the file has ended.
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "movie/theora_decoder.h"

#include <cstring>

namespace morpotta {

namespace {

using Lock = std::unique_lock<std::mutex>;

// The next frame packet of the Theora stream into d->packet, passing
// header packets over. Its key-frame kind (1 key, 0 other), or -1 at the
// end of the file.
int NextFramePacket(TheoraDecoder* d) {
    for (;;) {
        const int r = ogg_stream_packetout(&d->stream, &d->packet);
        if (r > 0) {
            const int kind = theora_packet_iskeyframe(&d->packet);
            if (kind >= 0) return kind;
            continue;
        }
        if (r < 0) continue;  // a hole in the data
        const int page = ogg_sync_pageout(&d->sync, &d->page);
        if (page > 0) {
            ogg_stream_pagein(&d->stream, &d->page);
            continue;
        }
        if (page < 0) continue;  // bytes skipped to the next page
        if (ReadTheoraFileChunk(d, 4096) <= 0) return -1;
    }
}

// Reads the file again from its first byte and decodes up to the target
// frame; the decoder then holds the target's picture. -1 at the end of the
// file.
int RestartAt(TheoraDecoder* d, int target) {
    ogg_sync_reset(&d->sync);
    ogg_stream_reset(&d->stream);
    d->files.seek(d->file, d->pages[0].offset, 0);
    d->decodedFrame = -1;
    return DecodeTheoraFrames(d, target + 1) < 0 ? -1 : 0;
}

// Keeps the plane at the slot's layout: a copy whose size changed is made
// again. false when memory runs out.
bool FitPlane(uint8_t*& plane, size_t bytes, bool sizeChanged) {
    if (plane && !sizeChanged) return true;
    FreeMemory(plane);
    plane = static_cast<uint8_t*>(AllocMemory(bytes, "", 0));
    return plane != nullptr;
}

void CopyPlaneTopDown(uint8_t* dest, const uint8_t* top, int stride, int width, int height) {
    for (int r = 0; r < height; ++r)
        std::memcpy(dest + size_t(r) * width, top + ptrdiff_t(r) * stride, size_t(width));
}

// The decoder's picture into a free slot, top row first, rows packed at
// their width. Before any frame was accepted the picture is black. false
// when memory runs out.
bool FillSlot(TheoraDecoder* d, TheoraFrameSlot& s) {
    yuv_buffer yuv{};
    const bool real = d->hasPicture && theora_decode_YUVout(&d->state, &yuv) == 0 && yuv.y_width > 0 &&
                      yuv.y_height > 0 && yuv.uv_width > 0 && yuv.uv_height > 0 &&
                      yuv.y_width <= d->movie.width && yuv.y_height <= d->movie.height &&
                      yuv.uv_width <= yuv.y_width && yuv.uv_height <= yuv.y_height;
    if (!real) {
        yuv.y_width = d->movie.width;
        yuv.y_height = d->movie.height;
        yuv.uv_width = d->pixelFormat == OC_PF_444 ? yuv.y_width : yuv.y_width / 2;
        yuv.uv_height = d->pixelFormat == OC_PF_420 ? yuv.y_height / 2 : yuv.y_height;
    }
    const bool lumaChanged = s.yWidth != yuv.y_width || s.yHeight != yuv.y_height;
    const bool chromaChanged = s.chromaWidth != yuv.uv_width || s.chromaHeight != yuv.uv_height;
    s.yWidth = s.yStride = yuv.y_width;
    s.yHeight = yuv.y_height;
    s.chromaWidth = s.chromaStride = yuv.uv_width;
    s.chromaHeight = yuv.uv_height;
    const size_t lumaBytes = size_t(s.yStride) * s.yHeight;
    const size_t chromaBytes = size_t(s.chromaStride) * s.chromaHeight;
    if (!FitPlane(s.planes[0], lumaBytes, lumaChanged) || !FitPlane(s.planes[1], chromaBytes, chromaChanged) ||
        !FitPlane(s.planes[2], chromaBytes, chromaChanged)) {
        s.yWidth = s.chromaWidth = 0;  // the next fill allocates again
        return false;
    }
    if (!real) {
        std::memset(s.planes[0], 16, lumaBytes);
        std::memset(s.planes[1], 128, chromaBytes);
        std::memset(s.planes[2], 128, chromaBytes);
        return true;
    }
    CopyPlaneTopDown(s.planes[0], yuv.y, yuv.y_stride, s.yWidth, s.yHeight);
    CopyPlaneTopDown(s.planes[1], yuv.u, yuv.uv_stride, s.chromaWidth, s.chromaHeight);
    CopyPlaneTopDown(s.planes[2], yuv.v, yuv.uv_stride, s.chromaWidth, s.chromaHeight);
    return true;
}

// Frees the slots that are no longer wanted: behind the current frame
// (unless the look-ahead wrapped round to them) or beyond both the decoded
// frame and the look-ahead. Lock held.
void FreeStaleSlots(TheoraDecoder* d) {
    const int64_t current = d->currentFrame;
    const int64_t lookAhead = current + d->ringSize;
    for (int i = 0; i < d->ringSize; ++i) {
        TheoraFrameSlot& s = d->ring[i];
        if (!s.used || i == d->pinnedSlot) continue;
        bool stale;
        if (s.frame < current)
            stale = !(lookAhead >= d->frameCount && s.frame <= lookAhead - d->frameCount);
        else
            stale = s.frame > d->decodedFrame && s.frame > lookAhead;
        if (stale) s.used = 0;
    }
}

int FirstFreeSlot(const TheoraDecoder* d) {
    for (int i = 0; i < d->ringSize; ++i)
        if (!d->ring[i].used) return i;
    return -1;
}

bool AnyRequest(const TheoraDecoder* d) { return d->endRequest || d->pauseRequest || d->seekRequest; }

void ServeSeek(TheoraDecoder* d, Lock& held) {
    d->threadState = THEORA_THREAD_SEEKING;
    const int target = d->seekTarget;
    for (int i = 0; i < d->ringSize; ++i)
        if (i != d->pinnedSlot) d->ring[i].used = 0;
    held.unlock();
    const int result = RestartAt(d, target);
    held.lock();
    if (d->seekTarget == target) d->seekRequest = 0;  // else a newer seek waits
    d->endReached = result < 0 ? 1 : 0;
    d->mainWake.notify_all();
}

// Decodes the frame after the one the decoder holds (or starts over at the
// first frame past the end of the movie) and stores the picture in the
// free slot. Lock held on entry and on return.
void DecodeAhead(TheoraDecoder* d, Lock& held, int freeSlot) {
    d->threadState = THEORA_THREAD_DECODING;
    const bool haveDecoded = FindTheoraSlot(d, d->decodedFrame) >= 0;
    held.unlock();
    int result = 0;
    if (haveDecoded)
        result = d->decodedFrame + 1 < d->frameCount ? DecodeTheoraFrames(d, 1) : RestartAt(d, 0);
    const bool filled = result >= 0 && FillSlot(d, d->ring[freeSlot]);
    if (result >= 0 && !filled) WriteLogText("Theora: out of memory for a decoded frame");
    held.lock();
    if (filled) {
        d->ring[freeSlot].frame = d->decodedFrame;
        d->ring[freeSlot].used = 1;
    } else {
        d->endReached = 1;
    }
    d->mainWake.notify_all();
}

}  // namespace

int DecodeTheoraFrames(TheoraDecoder* d, int count) {
    // Only packets from the last key frame among those read reach the
    // decoder: the frames before it are not needed for its picture.
    int64_t lastKey = -1;
    for (int64_t f = int64_t(d->decodedFrame) + 1; f <= int64_t(d->decodedFrame) + count && f < d->frameCount; ++f)
        if (d->keyFrames[f]) lastKey = f;
    int kind = 0;
    for (int i = 0; i < count; ++i) {
        kind = NextFramePacket(d);
        if (kind < 0) return -1;
        const int64_t frame = int64_t(d->decodedFrame) + 1;
        if (lastKey < 0 || frame >= lastKey) {
            if (theora_decode_packetin(&d->state, &d->packet) == 0 && d->packet.bytes > 0) d->hasPicture = true;
        }
        d->decodedFrame = int32_t(frame);
    }
    return kind == 1 ? 1 : 0;
}

int FindTheoraSlot(const TheoraDecoder* d, int frame) {
    for (int i = 0; i < d->ringSize; ++i)
        if (d->ring[i].used && d->ring[i].frame == frame) return i;
    return -1;
}

void TheoraDecodeThread(TheoraDecoder* d) {
    const EngineTaskScope task("Theora decoder");
    Lock held(d->lock);
    for (;;) {
        if (d->endRequest) {
            d->threadState = THEORA_THREAD_ENDED;
            d->mainWake.notify_all();
            return;
        }
        if (d->pauseRequest) {
            d->threadState = THEORA_THREAD_PARKED;
            d->mainWake.notify_all();
            d->threadWake.wait(held, [d] { return d->endRequest || !d->pauseRequest; });
            continue;
        }
        if (d->seekRequest) {
            ServeSeek(d, held);
            continue;
        }
        if (!d->endReached) FreeStaleSlots(d);
        const int freeSlot = FirstFreeSlot(d);
        if (freeSlot < 0 || d->endReached) {
            // Nothing to do until the main thread asks for something.
            d->threadState = THEORA_THREAD_RING_FULL;
            d->mainWake.notify_all();
            d->threadWake.wait(held, [d] { return AnyRequest(d); });
            continue;
        }
        DecodeAhead(d, held, freeSlot);
    }
}

int SeekTheoraFrame(TheoraDecoder* d, int frame) {
    if (!d) return -1;
    {
        std::lock_guard<std::mutex> hold(d->lock);
        // A frame past the end would have no picture: the last one stands in.
        if (frame < 0) frame = 0;
        if (frame >= d->frameCount) frame = int(d->frameCount - 1);
        if (frame == d->currentFrame) return 0;
        d->rgbDone = 0;
        d->yuvDone = 0;
        d->currentFrame = frame;
        d->seekTarget = frame;
        d->seekRequest = 1;
        d->pauseRequest = 0;
    }
    d->threadWake.notify_all();
    return 0;
}

}  // namespace morpotta
