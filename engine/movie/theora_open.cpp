// Opening and closing a Theora decoder: the stream headers, the index of
// pages and key frames over the whole file, the frame image, the ring and
// the decode thread, and the movie's first frame.
#include "graphics/device/device.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "movie/theora_decoder.h"

#include <cstring>
#include <new>
#include <system_error>

namespace morpotta {

namespace {

constexpr int kChunkBytes = 4096;
constexpr int kTableGrowth = 1000;
// Larger coded frames are refused: a ring of them would not fit in memory.
constexpr uint32_t kMaxMovieSide = 4096;
constexpr int64_t kMaxFrames = INT32_MAX - 1;

// Pulls the next page out of the buffered bytes, reading more as needed;
// page bytes skipped as garbage are added to *skipped when given. false at
// the end of the file.
bool NextPage(TheoraDecoder* d, int64_t* skipped, int64_t* pageBytes) {
    for (;;) {
        const long r = ogg_sync_pageseek(&d->sync, &d->page);
        if (r > 0) {
            if (pageBytes) *pageBytes = r;
            return true;
        }
        if (r < 0) {
            if (skipped) *skipped += -r;
            continue;
        }
        if (ReadTheoraFileChunk(d, kChunkBytes) <= 0) return false;
    }
}

// The first packet of a beginning-of-stream page, tried as a Theora
// identification header; on success the page's stream becomes the
// decoder's.
bool TryTheoraStream(TheoraDecoder* d) {
    ogg_stream_state candidate;
    if (ogg_stream_init(&candidate, ogg_page_serialno(&d->page)) != 0) return false;
    ogg_packet first;
    if (ogg_stream_pagein(&candidate, &d->page) == 0 && ogg_stream_packetout(&candidate, &first) == 1 &&
        theora_decode_header(&d->info, &d->comment, &first) == 0) {
        d->stream = candidate;
        d->streamOpen = true;
        d->serialNumber = ogg_page_serialno(&d->page);
        d->headerCount = 1;
        return true;
    }
    ogg_stream_clear(&candidate);
    // A refused packet may have left part of a header behind.
    theora_comment_clear(&d->comment);
    theora_info_clear(&d->info);
    theora_info_init(&d->info);
    theora_comment_init(&d->comment);
    return false;
}

template <typename T>
bool Grow(T*& table, int32_t& capacity) {
    auto* grown = static_cast<T*>(ReallocMemory(table, sizeof(T) * size_t(capacity + kTableGrowth), "", 0));
    if (!grown) return false;
    table = grown;
    capacity += kTableGrowth;
    return true;
}

// Reads the whole file once: one page entry per page that frames came out
// after, and one key-frame flag per frame. -1 when memory runs out.
int IndexTheoraFile(TheoraDecoder* d) {
    int64_t position = 0;
    int64_t lastPageStart = 0;
    bool newPage = false;
    for (;;) {
        const int r = ogg_stream_packetout(&d->stream, &d->packet);
        if (r < 0) continue;  // a hole in the data; the next packet follows
        if (r == 0) {
            int64_t pageBytes = 0;
            if (!NextPage(d, &position, &pageBytes)) break;
            lastPageStart = position;
            position += pageBytes;
            newPage = true;
            ogg_stream_pagein(&d->stream, &d->page);  // pages of other streams are refused here
            continue;
        }
        const int kind = theora_packet_iskeyframe(&d->packet);
        if (kind < 0) continue;  // a header packet
        if (d->frameCount >= kMaxFrames) break;
        if (newPage) {
            if (d->pageCount == d->pageCapacity && !Grow(d->pages, d->pageCapacity))
                return Refuse("Theora ページ情報格納用メモリの確保に失敗しました");
            d->pages[d->pageCount++] = TheoraPageEntry{lastPageStart, int32_t(d->frameCount), 0, 0};
            newPage = false;
        }
        if (d->frameCount == d->keyFrameCapacity && !Grow(d->keyFrames, d->keyFrameCapacity))
            return Refuse("Theora キーフレーム情報格納用メモリの確保に失敗しました");
        TheoraPageEntry& last = d->pages[d->pageCount - 1];
        d->keyFrames[d->frameCount] = kind == 1 ? 1 : 0;
        if (kind == 1) last.keyFrame = 1;
        ++d->frameCount;
        ++last.frames;
    }
    return 0;
}

// The stream's values that the main thread reads after the thread runs.
bool TakeMovieInfo(TheoraDecoder* d) {
    const theora_info& i = d->info;
    if (i.width == 0 || i.height == 0 || i.width > kMaxMovieSide || i.height > kMaxMovieSide) {
        Refuse("Theora: a picture of %ux%u, not 1 to %u on each side", unsigned(i.width), unsigned(i.height),
               unsigned(kMaxMovieSide));
        return false;
    }
    d->movie.width = int32_t(i.width);
    d->movie.height = int32_t(i.height);
    d->movie.frameRate = i.fps_denominator ? double(i.fps_numerator) / double(i.fps_denominator) : 0.0;
    d->pixelFormat = i.pixelformat;
    return true;
}

TheoraDecoder* Fail(TheoraDecoder* d) {
    CloseTheoraDecoder(d);
    return nullptr;
}

}  // namespace

int ReadTheoraFileChunk(TheoraDecoder* d, int bytes) {
    char* buffer = ogg_sync_buffer(&d->sync, bytes);
    if (!buffer) return -1;
    const size_t got = d->files.read(buffer, 1, size_t(bytes), d->file);
    ogg_sync_wrote(&d->sync, long(got));
    return int(got);
}

int ReadTheoraHeaders(TheoraDecoder* d) {
    // The Theora stream among the beginning-of-stream pages; the first
    // other page ends them.
    while (!d->streamOpen && NextPage(d, nullptr, nullptr)) {
        if (!ogg_page_bos(&d->page)) break;
        TryTheoraStream(d);
    }
    // No Theora stream: the data is declined without a word. A Theora
    // movie whose headers do not follow is refused for it.
    if (!d->streamOpen) return -1;
    if (!ogg_page_bos(&d->page)) ogg_stream_pagein(&d->stream, &d->page);
    while (d->headerCount < 3) {
        const int r = ogg_stream_packetout(&d->stream, &d->packet);
        if (r < 0) return Refuse("Theora: the movie's headers are damaged");
        if (r > 0) {
            if (theora_decode_header(&d->info, &d->comment, &d->packet) != 0)
                return Refuse("Theora: the movie's headers are damaged");
            ++d->headerCount;
            continue;
        }
        if (!NextPage(d, nullptr, nullptr)) return Refuse("Theora: the movie is cut short inside its headers");
        ogg_stream_pagein(&d->stream, &d->page);
    }
    return 1;
}

TheoraDecoder* OpenTheoraDecoder(const FileAccessTable* table, FileHandle file, int ringSize) {
    if (!table || !file) return nullptr;
    char magic[4] = {};
    if (table->read(magic, 1, 4, file) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
    table->seek(file, 0, 0);
    if (ringSize < 1) {
        Refuse("Theora: a decoder ring of %d frames", ringSize);
        return nullptr;
    }

    void* memory = AllocMemoryZero(sizeof(TheoraDecoder), "", 0);
    if (!memory) {
        Refuse("Theora ムービーデコード処理用のメモリ確保に失敗しました");
        return nullptr;
    }
    auto* d = new (memory) TheoraDecoder;
    ogg_sync_init(&d->sync);
    theora_info_init(&d->info);
    theora_comment_init(&d->comment);
    d->files = *table;
    d->file = file;

    if (ReadTheoraHeaders(d) < 0 || !TakeMovieInfo(d)) return Fail(d);
    if (theora_decode_init(&d->state, &d->info) != 0) {
        Refuse("Theora: no decoder can be set up for the movie's headers");
        return Fail(d);
    }
    d->decoderOpen = true;
    ogg_sync_reset(&d->sync);
    ogg_stream_reset(&d->stream);
    d->files.seek(d->file, 0, 0);

    if (!Grow(d->pages, d->pageCapacity)) {
        Refuse("Theora ページ情報格納用メモリの確保に失敗しました");
        return Fail(d);
    }
    if (!Grow(d->keyFrames, d->keyFrameCapacity)) {
        Refuse("Theora キーフレーム情報格納用メモリの確保に失敗しました");
        return Fail(d);
    }
    if (IndexTheoraFile(d) < 0) return Fail(d);
    if (d->frameCount == 0) {
        Refuse("Theora: a movie without frames");
        return Fail(d);
    }
    d->movie.frameCount = int32_t(d->frameCount);
    d->pages[0].offset = 0;  // a restart reads from the first byte, passing the headers again

    CreateTheoraYuvSurface(d);
    if (CreateBaseImageXrgb32(d->movie.width, d->movie.height, &d->frameImage) != 0) {
        Refuse("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました");
        return Fail(d);
    }
    d->ring = static_cast<TheoraFrameSlot*>(AllocMemoryZero(sizeof(TheoraFrameSlot) * size_t(ringSize), "", 0));
    if (!d->ring) {
        Refuse("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました");
        return Fail(d);
    }
    d->ringSize = ringSize;

    // The thread starts parked; the seek below sets it going.
    try {
        d->thread = std::thread(TheoraDecodeThread, d);
    } catch (const std::system_error&) {
        Refuse("Theora ムービーデコード用スレッドの作成に失敗しました");
        return Fail(d);
    }
    SeekTheoraFrame(d, 0);
    ConvertTheoraFrame(d, 1, 1);
    return d;
}

int CloseTheoraDecoder(TheoraDecoder* d) {
    if (!d) return 0;
    if (d->thread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(d->lock);
            d->endRequest = 1;
        }
        d->threadWake.notify_all();
        d->thread.join();
    }
    for (int i = 0; d->ring && i < d->ringSize; ++i)
        for (uint8_t* plane : d->ring[i].planes) FreeMemory(plane);
    FreeMemory(d->ring);
    ReleaseDeviceSurface(d->yuvSurface);
    FreeMemory(d->pages);
    FreeMemory(d->keyFrames);
    FreeBaseImagePixels(&d->frameImage);
    if (d->streamOpen) ogg_stream_clear(&d->stream);
    if (d->decoderOpen) theora_clear(&d->state);
    theora_comment_clear(&d->comment);
    theora_info_clear(&d->info);
    ogg_sync_clear(&d->sync);
    d->~TheoraDecoder();
    FreeMemory(d);
    return 0;
}

int GetTheoraMovieInfo(TheoraDecoder* d, TheoraMovieInfo* info) {
    if (!d || !info) return -1;
    *info = d->movie;
    return 0;
}

int GetTheoraCurrentFrame(TheoraDecoder* d) {
    if (!d) return -1;
    std::lock_guard<std::mutex> hold(d->lock);
    return d->currentFrame;
}

DeviceSurface* GetTheoraYuvSurface(TheoraDecoder* d) { return d ? d->yuvSurface : nullptr; }
BASEIMAGE* GetTheoraFrameImage(TheoraDecoder* d) { return d ? &d->frameImage : nullptr; }

}  // namespace morpotta
