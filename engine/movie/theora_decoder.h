// The engine's Ogg Theora decoder. One decoder serves one movie: opening
// reads the stream headers and indexes the whole file (pages and key
// frames); a decode thread then keeps a ring of decoded pictures from the
// movie's current frame on, and the current frame is converted on demand to
// 32-bit XRGB in the decoder's image or copied into a YUV surface.
//
// The main thread and the decode thread share the requests, the thread
// state, the current and decoded frame numbers, the end flag and the ring
// slots' used flags and frame numbers under the decoder's lock; a slot's
// planes are written by the thread only while the slot is free and read by
// the main thread only while it is used, so they need no lock of their own.
// Every wait is on a condition, never a poll.
#pragma once
#include "engine/baseimage.h"
#include "engine/files.h"

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace morpotta {

struct DeviceSurface;

// Thread states.
enum TheoraThreadState {
    THEORA_THREAD_RING_FULL = 0,  // nothing to do until a request
    THEORA_THREAD_DECODING = 1,
    THEORA_THREAD_SEEKING = 2,
    THEORA_THREAD_ENDED = 3,
    THEORA_THREAD_PARKED = 4,
};

// One page after which frames came out while the file was indexed.
struct TheoraPageEntry {
    int64_t offset;      // file offset of the page
    int32_t firstFrame;  // number of the first frame that came out after it
    int32_t keyFrame;    // 1 when one of its frames is a key frame
    int32_t frames;      // frames that came out after it
};

// One decoded picture: three top-down planes, rows packed at their width.
struct TheoraFrameSlot {
    int32_t used;
    int32_t frame;
    uint8_t* planes[3];  // Y, U, V; owned
    int32_t yWidth, yHeight, yStride;
    int32_t chromaWidth, chromaHeight, chromaStride;
};

struct TheoraMovieInfo {
    double frameRate;
    int32_t frameCount;
    int32_t width, height;  // the coded frame
};


struct TheoraDecoder {
    // ---- Shared, under lock ----
    std::mutex lock;
    std::condition_variable threadWake;  // requests for the thread
    std::condition_variable mainWake;    // the thread's progress, for the main thread
    int32_t threadState = THEORA_THREAD_PARKED;
    int32_t pauseRequest = 1;
    int32_t endRequest = 0;
    int32_t seekRequest = 0;
    int32_t seekTarget = 0;
    int32_t endReached = 0;
    int32_t currentFrame = -1;   // written by the main thread
    int32_t pinnedSlot = -1;     // the slot the main thread is reading; the thread leaves it alone
    TheoraFrameSlot* ring = nullptr;  // slots' used and frame fields are shared
    int32_t ringSize = 0;

    // ---- The thread's own once it runs (the main thread's while parked at open) ----
    std::thread thread;
    FileAccessTable files{};
    FileHandle file = 0;
    ogg_sync_state sync{};
    ogg_page page{};
    ogg_stream_state stream{};
    ogg_packet packet{};
    theora_info info{};
    theora_comment comment{};
    theora_state state{};
    bool streamOpen = false;    // stream holds an initialised stream state
    bool decoderOpen = false;   // state was initialised for decoding
    bool hasPicture = false;    // the decoder accepted a frame, so its picture is real
    int32_t decodedFrame = -1;  // the frame whose picture the decoder holds
    int32_t serialNumber = 0;
    int32_t headerCount = 0;

    // ---- Set at open, read-only afterwards ----
    TheoraMovieInfo movie{};
    int32_t pixelFormat = 0;  // OC_PF_420, OC_PF_422 or OC_PF_444
    TheoraPageEntry* pages = nullptr;
    int32_t pageCount = 0;
    int32_t pageCapacity = 0;
    uint8_t* keyFrames = nullptr;
    int32_t keyFrameCapacity = 0;
    int64_t frameCount = 0;

    // ---- The main thread's ----
    BASEIMAGE frameImage{};
    DeviceSurface* yuvSurface = nullptr;
    uint32_t surfaceFormat = 0;  // four-character code, 0 without a surface
    int32_t rgbDone = 0;
    int32_t yuvDone = 0;
};

// file: positioned at its start, read through table; it stays the
// caller's. ringSize: decoded pictures kept ahead. Null when the file is no
// Ogg Theora movie (nothing logged) or when something cannot be had.
TheoraDecoder* OpenTheoraDecoder(const FileAccessTable* table, FileHandle file, int ringSize);
int CloseTheoraDecoder(TheoraDecoder* decoder);  // 0; null is ignored
int GetTheoraMovieInfo(TheoraDecoder* decoder, TheoraMovieInfo* info);
int GetTheoraCurrentFrame(TheoraDecoder* decoder);
DeviceSurface* GetTheoraYuvSurface(TheoraDecoder* decoder);
BASEIMAGE* GetTheoraFrameImage(TheoraDecoder* decoder);
// Makes frame the current frame (clamped to the movie) and has the thread
// decode from there; 0.
int SeekTheoraFrame(TheoraDecoder* decoder, int frame);
// Converts the current frame to the frame image (toRgb) and copies it into
// the YUV surface (toYuv), each once per frame. 1 when the frame was found
// and something asked for was filled; 0 when there was nothing to do or no
// picture could be had.
int ConvertTheoraFrame(TheoraDecoder* decoder, int toRgb, int toYuv);

// The movie's own sound: the file loaded as a sound through the Ogg Vorbis
// reader alone, with the sound creation settings restored afterwards.
// A sound handle, or -1 when the file has no sound that reader accepts.
int LoadTheoraMovieSound(const char* fileName);

// Internal steps, shared by the opening and the decode thread.
int ReadTheoraFileChunk(TheoraDecoder* decoder, int bytes);
int ReadTheoraHeaders(TheoraDecoder* decoder);
int DecodeTheoraFrames(TheoraDecoder* decoder, int count);
void TheoraDecodeThread(TheoraDecoder* decoder);
int CreateTheoraYuvSurface(TheoraDecoder* decoder);
// The first used ring slot that holds the frame, or -1 (lock held).
int FindTheoraSlot(const TheoraDecoder* decoder, int frame);

}  // namespace morpotta
