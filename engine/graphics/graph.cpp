// Graph handles. Every graph keeps its pixels as a 32-bit ARGB image (the
// software path and a device rebuild read it) and, with a device, a texture
// made from them. Pieces of a divided picture share both.
//
// Pictures are made and deleted on any thread. A picture is read, converted
// and given its texture without a lock; the resource lock is held only to
// enter or take out its table entry, so the engine's thread never waits
// for another thread's picture. The settings pictures are made with are
// one atomic word, read whole when a call begins. The records are freed by
// the engine's thread, which may be drawing one when another thread
// deletes it, so it reads them without the table's lock. Refills and
// drawing are the engine's thread's alone.
#include "graphics/graph_internal.h"

#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/window.h"
#include "foundation/engine_thread.h"
#include "foundation/handle.h"
#include "foundation/log_internal.h"
#include "graphics/graphics_internal.h"
#include "platform/lasting_state.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

using namespace morpotta;

namespace {

struct GraphSettings {
    int transEnabled = 1;
    int transRed = 0, transGreen = 0, transBlue = 0;
    int mipEnabled = 0;
    int mipLevels = 1;
};

// The settings in one word, so that a change is seen whole or not at all:
// the transparent colour in bits 0-23, its switch in bit 24, the mip
// switch in bit 25, the mip levels in the high 32 bits.
constexpr uint64_t kTransColourBits = 0xFFFFFFu;
constexpr uint64_t kTransEnabledBit = uint64_t(1) << 24;
constexpr uint64_t kMipEnabledBit = uint64_t(1) << 25;
constexpr int kMipLevelsShift = 32;
constexpr uint64_t kMipLevelsBits = uint64_t(0xFFFFFFFFu) << kMipLevelsShift;

constexpr uint64_t PackMipLevels(int levels) { return uint64_t(uint32_t(levels)) << kMipLevelsShift; }

struct GraphModule {
    HandleTable table;
    std::atomic<uint64_t> settings{kTransEnabledBit | PackMipLevels(1)};
    const GraphMovieHooks* movies = nullptr;
};

GraphModule& GraphState() {
    return platform::LastingState<GraphModule>();
}

uint64_t SettingsWord() { return GraphState().settings.load(std::memory_order_relaxed); }

// Replaces the bits of the mask with those of value, whatever other
// threads change meanwhile.
void ChangeSettings(uint64_t mask, uint64_t value) {
    uint64_t word = SettingsWord();
    while (!GraphState().settings.compare_exchange_weak(word, (word & ~mask) | (value & mask), std::memory_order_relaxed)) {
    }
}

// The settings a picture is made with, as they stand when its call begins
// (another thread may change them meanwhile).
GraphSettings CurrentSettings() {
    const uint64_t word = SettingsWord();
    GraphSettings s;
    s.transEnabled = word & kTransEnabledBit ? 1 : 0;
    s.transRed = int(word >> 16 & 0xFF);
    s.transGreen = int(word >> 8 & 0xFF);
    s.transBlue = int(word & 0xFF);
    s.mipEnabled = word & kMipEnabledBit ? 1 : 0;
    s.mipLevels = int(uint32_t(word >> kMipLevelsShift));
    return s;
}

bool EnsureGraphTable() {
    return InitHandleTable(&GraphState().table, HANDLE_KIND_GRAPH, kGraphTableSize, kGraphTableSize, 0) == 0;
}

GRAPH* Lookup(int handle) { return static_cast<GRAPH*>(LookupHandleEntry(&GraphState().table, handle)); }

// Calls visit with every graph in the table.
template <typename Visit>
void ForEachGraph(Visit visit) {
    ForEachHandle(&GraphState().table, [&](int handle) {
        if (GRAPH* g = Lookup(handle)) visit(g);
    });
}

uint32_t* PixelAt(BASEIMAGE& image, int x, int y) {
    return static_cast<uint32_t*>(image.pixels) + size_t(y) * size_t(image.width) + size_t(x);
}

bool AnyAlphaBelowFull(BASEIMAGE& image, int x0, int y0, int w, int h) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            if ((*PixelAt(image, x, y) >> 24) != 0xFF) return true;
    return false;
}

// Halves an ARGB image with a 2x2 box (odd edges repeat).
void Downsample(const uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh) {
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            int x0 = x * 2 < sw ? x * 2 : sw - 1, y0 = y * 2 < sh ? y * 2 : sh - 1;
            int x1 = x0 + 1 < sw ? x0 + 1 : x0, y1 = y0 + 1 < sh ? y0 + 1 : y0;
            uint32_t p[4] = {src[y0 * sw + x0], src[y0 * sw + x1], src[y1 * sw + x0], src[y1 * sw + x1]};
            uint32_t out = 0;
            for (int c = 0; c < 32; c += 8) {
                uint32_t sum = 0;
                for (uint32_t v : p) sum += (v >> c) & 0xFF;
                out |= ((sum + 2) / 4) << c;
            }
            dst[y * dw + x] = out;
        }
}

int UploadShared(GraphShared* s) {
    if (!s->texture) return 0;
    void* bits = nullptr;
    int pitch = 0;
    DeviceTextureDesc desc;
    GetDeviceTextureDesc(s->texture, 0, &desc);
    const uint32_t* previous = static_cast<const uint32_t*>(s->image.pixels);
    int pw = s->width, ph = s->height;
    for (int level = 0; level < desc.levels; ++level) {
        DeviceTextureDesc ld;
        GetDeviceTextureDesc(s->texture, level, &ld);
        if (LockDeviceTexture(s->texture, level, &bits, &pitch) != 0) return -1;
        if (level == 0) {
            for (int y = 0; y < ld.height; ++y)
                std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * size_t(pitch), previous + size_t(y) * size_t(pw),
                            size_t(ld.width) * 4);
        } else {
            // Mip levels are made from the level above, which the texture keeps in memory.
            Downsample(previous, pw, ph, static_cast<uint32_t*>(bits), ld.width, ld.height);
        }
        UnlockDeviceTexture(s->texture, level);
        previous = static_cast<const uint32_t*>(bits);
        pw = ld.width;
        ph = ld.height;
    }
    return 0;
}

// Without a lock on another thread: the device takes its objects from any
// thread, and the engine does not end during a LoaderCall.
int MakeTexture(GraphShared* s) {
    if (!HardwareRenderingActive()) return 0;
    s->texture = CreateDeviceTexture(s->width, s->height, s->mipLevels, 0, DEVICE_FMT_A8R8G8B8, 0);
    if (!s->texture) return Refuse("the graph's texture could not be made");
    return UploadShared(s);
}

void FreeShared(GraphShared* s) {
    DropGraphMemImg(s);
    if (s->texture) ReleaseDeviceTexture(s->texture);
    FreeBaseImagePixels(&s->image);
    FreeMemory(s->sourcePath);
    FreeMemory(s);
}

// Lets go of one count of the picture; the last one frees it, on the
// engine's thread, which may have drawn it.
void ReleaseShared(GraphShared* s) {
    if (s->refCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        RunOnEngineThread([](void* shared) { FreeShared(static_cast<GraphShared*>(shared)); }, s);
}

// A graph out of its table: its movie, the record, and the picture with its
// last piece (the engine's thread).
void FreeGraph(void* record) {
    auto* g = static_cast<GRAPH*>(record);
    if (g->movieHandle != -1 && GraphState().movies && GraphState().movies->close) GraphState().movies->close(g->movieHandle);
    GraphShared* s = g->shared;
    FreeMemory(g);
    ReleaseShared(s);
}

// Applies an alpha image (its blue channel) or the transparent-colour key to
// an ARGB image. -1 when the alpha image's size differs.
int ApplyAlpha(BASEIMAGE& argb, const BASEIMAGE* alpha, bool keyTransparent, const GraphSettings& settings) {
    if (alpha) {
        if (alpha->width != argb.width || alpha->height != argb.height)
            return Refuse("the alpha picture is %dx%d, the colour picture %dx%d", alpha->width, alpha->height, argb.width,
                          argb.height);
        for (int y = 0; y < argb.height; ++y)
            for (int x = 0; x < argb.width; ++x) {
                int a = 255;
                if (GetBaseImagePixel(alpha, x, y, nullptr, nullptr, &a, nullptr) != 0) return -1;
                uint32_t* p = PixelAt(argb, x, y);
                *p = (*p & 0x00FFFFFFu) | uint32_t(a) << 24;
            }
        return 0;
    }
    if (!keyTransparent) return 0;
    const uint32_t key = uint32_t(settings.transRed) << 16 | uint32_t(settings.transGreen) << 8 | uint32_t(settings.transBlue);
    for (int y = 0; y < argb.height; ++y)
        for (int x = 0; x < argb.width; ++x) {
            uint32_t* p = PixelAt(argb, x, y);
            if ((*p & 0x00FFFFFFu) == key) *p &= 0x00FFFFFFu;
        }
    return 0;
}

// An ARGB copy of the colour picture with its alpha settled; -1 on failure.
int PrepareImage(const BASEIMAGE* color, const BASEIMAGE* alpha, bool keyTransparent, const GraphSettings& settings,
                 BASEIMAGE* out) {
    if (!color) return RefuseNull("picture");
    if (!color->pixels) return Refuse("the picture has no pixels");
    if (ConvertBaseImageToArgb32(color, out) != 0) return -1;
    // Block-compressed pixels (a DDS picture) are judged as decoded.
    const bool compressed = color->format.compression != PIXEL_COMPRESSION_NONE;
    const bool ownAlpha = GetBaseImageAlphaKind(compressed ? out : color) >= 2;
    if (ApplyAlpha(*out, alpha, keyTransparent && !ownAlpha, settings) != 0) {
        FreeBaseImagePixels(out);
        return -1;
    }
    return 0;
}

// A piece of a picture into the table, made whole before any other thread
// can find it; the resource lock is held for the entry alone. A table that
// cannot take it refuses the picture, saying whether it is full or memory
// ran out.
int AddGraph(GraphShared* s, int x, int y, int w, int h) {
    auto* g = static_cast<GRAPH*>(ENGINE_ALLOC_ZERO(sizeof(GRAPH)));
    if (!g) return Refuse("out of memory for a picture's record");
    g->x = x;
    g->y = y;
    g->width = w;
    g->height = h;
    g->movieHandle = -1;
    g->shared = s;
    g->hasAlpha = AnyAlphaBelowFull(s->image, x, y, w, h) ? 1 : 0;
    int handle = -1;
    {
        ResourceLockGuard resources(ResourceLock());
        handle = EnsureGraphTable() ? AddHandleEntry(&GraphState().table, g, &g->handle) : -1;
        if (handle != -1) s->refCount.fetch_add(1, std::memory_order_relaxed);
    }
    if (handle == -1) {
        FreeMemory(g);
        char full[96];
        std::snprintf(full, sizeof full, "the picture table is full (%d pictures); delete one to make another",
                      kGraphTableSize);
        return RefuseHandleEntry(&GraphState().table, "picture table", full);
    }
    return handle;
}

// Takes ownership of an ARGB image and makes the shared record with its
// texture, counted once for the caller, who lets go of it (ReleaseShared)
// once its pieces are entered.
GraphShared* MakeShared(BASEIMAGE& image, int sourceKind, const char* path, bool keyed, const GraphSettings& settings) {
    void* memory = ENGINE_ALLOC_ZERO(sizeof(GraphShared));
    if (!memory) {
        FreeBaseImagePixels(&image);
        Refuse("out of memory for a graph");
        return nullptr;
    }
    auto* s = new (memory) GraphShared{};
    s->refCount.store(1, std::memory_order_relaxed);
    s->image = image;
    std::memset(&image, 0, sizeof image);
    s->width = s->image.width;
    s->height = s->image.height;
    s->mipLevels = settings.mipEnabled ? (settings.mipLevels < 0 ? 0 : settings.mipLevels) : 1;
    s->sourceKind = sourceKind;
    s->transparentKeyed = keyed ? 1 : 0;
    if (path) {
        size_t n = std::strlen(path) + 1;
        s->sourcePath = static_cast<char*>(ENGINE_ALLOC(n));
        if (s->sourcePath) std::memcpy(s->sourcePath, path, n);
    }
    if (MakeTexture(s) != 0) {
        FreeShared(s);
        return nullptr;
    }
    return s;
}

int MakeWhole(BASEIMAGE& argb, int sourceKind, const char* path, bool keyed, const GraphSettings& settings) {
    GraphShared* s = MakeShared(argb, sourceKind, path, keyed, settings);
    if (!s) return -1;
    const int handle = AddGraph(s, 0, 0, s->width, s->height);
    ReleaseShared(s);
    return handle;
}

// The pieces of a divided picture into the table, row by row; none when one
// cannot be entered.
int EnterPieces(GraphShared* s, int count, int countAcross, int pieceWidth, int pieceHeight, int* handles) {
    for (int i = 0; i < count; ++i) {
        handles[i] = AddGraph(s, (i % countAcross) * pieceWidth, (i / countAcross) * pieceHeight, pieceWidth,
                              pieceHeight);
        if (handles[i] != -1) continue;
        for (int k = 0; k < i; ++k) DeleteGraphHandle(handles[k], 0);
        return -1;
    }
    return 0;
}

// Writes an ARGB picture into the graph's piece and sends it to the texture.
int Refill(GRAPH* g, BASEIMAGE& argb) {
    GraphShared* s = g->shared;
    for (int y = 0; y < g->height; ++y)
        std::memcpy(PixelAt(s->image, g->x, g->y + y), PixelAt(argb, 0, y), size_t(g->width) * 4);
    g->hasAlpha = AnyAlphaBelowFull(s->image, g->x, g->y, g->width, g->height) ? 1 : 0;
    DropGraphMemImg(s);
    return UploadShared(s);
}

// Why a public call's handle names no graph; -1.
int RefuseGraph(int graph) { return CheckGraphicsRunning() ? RefuseHandle(graph, HANDLE_KIND_GRAPH) : -1; }

int RefillFrom(const BASEIMAGE* color, const BASEIMAGE* alpha, int graph) {
    GRAPH* g = GetGraphForCall(graph);
    if (!g) return -1;
    if (!color) return RefuseNull("picture");
    if (color->width != g->width || color->height != g->height)
        return Refuse("the picture is %dx%d, the graph %dx%d", color->width, color->height, g->width, g->height);
    BASEIMAGE argb;
    if (PrepareImage(color, alpha, g->shared->transparentKeyed != 0, CurrentSettings(), &argb) != 0) return -1;
    int result = Refill(g, argb);
    FreeBaseImagePixels(&argb);
    return result;
}

// Loading on the engine's thread pauses with the rest of the program while
// the window is inactive; the message loop returns once it is active again
// or gone. Another thread's loading goes on.
void WaitWhileWindowInactive() {
    if (OnEngineThread() && GetAppWindowHandle() && !IsWindowActive() && !IsRunWhileInactive()) ProcessWindowMessages();
}

int ReadPicture(const char* fileName, const void* data, size_t size, int fromMemory, int mirror, BASEIMAGE* out) {
    if (!fromMemory) WaitWhileWindowInactive();
    return ReadImageToBaseImage(fileName, data, size, fromMemory, out, mirror ? 1 : 0);
}

// A file that is no picture may be a movie, opened as its graph on the
// engine's thread. One that is neither is refused once, for what decided
// it: the file itself (missing, a folder), the reason of a picture reader
// that knew the data and found it broken (held by asPicture), or that it is
// neither.
int OpenAsMovieGraph(const char* fileName, int noTransparency, InnerAttempt& asPicture) {
    if (!OnEngineThread())
        return asPicture.RefuseCall("%s is no picture, and movies open on the engine's thread alone", fileName);
    const GraphMovieHooks* movies = GraphState().movies;
    int graph = -1;
    {
        InnerAttempt asMovie;
        if (movies && movies->openGraph) graph = movies->openGraph(fileName, noTransparency);
    }
    if (graph != -1) return graph;
    return asPicture.RefuseCall("%s is neither a picture nor a movie that can be read", fileName);
}

}  // namespace

int OpenGraphFile(const char* fileName, int noTransparency) {
    LoaderCall call("OpenGraphFile");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    if (!fileName) return RefuseNull("file name");
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE picture, argb;
    WaitWhileWindowInactive();
    {
        InnerAttempt asPicture;
        if (ReadPictureFile(fileName, &picture) != 0) return OpenAsMovieGraph(fileName, noTransparency, asPicture);
    }
    bool keyed = !noTransparency && settings.transEnabled;
    int result = PrepareImage(&picture, nullptr, keyed, settings, &argb);
    FreeBaseImagePixels(&picture);
    if (result != 0) return -1;
    return MakeWhole(argb, GRAPH_SOURCE_FILE, fileName, keyed, settings);
}

int OpenGraphFileWithAlpha(const char* fileName) {
    LoaderCall call("OpenGraphFileWithAlpha");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE picture, argb;
    if (ReadPicture(fileName, nullptr, 0, 0, 0, &picture) != 0) return -1;
    int result = PrepareImage(&picture, nullptr, false, settings, &argb);
    FreeBaseImagePixels(&picture);
    if (result != 0) return -1;
    return MakeWhole(argb, GRAPH_SOURCE_FILE, fileName, false, settings);
}

int OpenDivGraphFile(const char* fileName, int count, int countAcross, int countDown, int pieceWidth,
                     int pieceHeight, int* handles, int noTransparency) {
    LoaderCall call("OpenDivGraphFile");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    if (!handles) return RefuseNull("place for the handles");
    if (count <= 0 || countAcross <= 0 || countDown <= 0 || pieceWidth <= 0 || pieceHeight <= 0 ||
        int64_t(countAcross) * countDown < count)
        return Refuse("%d pieces, %d across and %d down, of %dx%d: no division", count, countAcross, countDown,
                      pieceWidth, pieceHeight);
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE picture, argb;
    if (ReadPicture(fileName, nullptr, 0, 0, 0, &picture) != 0) return -1;
    if (int64_t(countAcross) * pieceWidth > picture.width || int64_t(countDown) * pieceHeight > picture.height) {
        FreeBaseImagePixels(&picture);
        return Refuse("%s is smaller than its pieces", fileName);
    }
    bool keyed = !noTransparency && settings.transEnabled;
    int result = PrepareImage(&picture, nullptr, keyed, settings, &argb);
    FreeBaseImagePixels(&picture);
    if (result != 0) return -1;
    GraphShared* s = MakeShared(argb, GRAPH_SOURCE_FILE, fileName, keyed, settings);
    if (!s) return -1;
    result = EnterPieces(s, count, countAcross, pieceWidth, pieceHeight, handles);
    ReleaseShared(s);
    return result;
}

int MakeBlankGraph(int width, int height, int) {
    LoaderCall call("MakeBlankGraph");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE argb;
    if (CreateBaseImageXrgb32(width, height, &argb) != 0) return -1;
    SetPixelFormatArgb32(&argb.format);
    return MakeWhole(argb, GRAPH_SOURCE_NONE, nullptr, false, settings);
}

namespace {

// everyMip: a texture's whole chain of mip levels, whatever the settings.
int MakeFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int transparency, bool everyMip) {
    LoaderCall call("MakeGraphFromBaseImage");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    GraphSettings settings = CurrentSettings();
    if (everyMip) {
        settings.mipEnabled = 1;
        settings.mipLevels = 0;
    }
    BASEIMAGE argb;
    bool keyed = transparency && settings.transEnabled;
    if (PrepareImage(color, alpha, keyed, settings, &argb) != 0) return -1;
    return MakeWhole(argb, GRAPH_SOURCE_IMAGE, nullptr, keyed, settings);
}

}  // namespace

int MakeGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int transparency) {
    return MakeFromBaseImage(color, alpha, transparency, false);
}

namespace morpotta {

int MakeTextureGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha) {
    return MakeFromBaseImage(color, alpha, 0, true);
}

}  // namespace morpotta

int MakeGraphFromBaseImageKept(const BASEIMAGE* image) {
    LoaderCall call("MakeGraphFromBaseImageKept");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE argb;
    if (PrepareImage(image, nullptr, false, settings, &argb) != 0) return -1;
    return MakeWhole(argb, GRAPH_SOURCE_IMAGE, nullptr, false, settings);
}

int RefillGraphFromBaseImageKept(const BASEIMAGE* image, int graph) {
    const PublicCall call("RefillGraphFromBaseImageKept");
    if (!AllowOnlyOnEngineThread()) return -1;
    return RefillFrom(image, nullptr, graph);
}

int MakeGraphFromImageMemory(const void* data, size_t size, const void* alphaData, size_t alphaSize, int transparency,
                             int mirror) {
    LoaderCall call("MakeGraphFromImageMemory");
    if (!call.admitted() || !CheckGraphicsRunning()) return -1;
    const GraphSettings settings = CurrentSettings();
    BASEIMAGE picture, alpha, argb;
    if (ReadPicture(nullptr, data, size, 1, mirror, &picture) != 0) return -1;
    bool haveAlpha = alphaData && alphaSize > 0;
    if (haveAlpha && ReadPicture(nullptr, alphaData, alphaSize, 1, mirror, &alpha) != 0) {
        FreeBaseImagePixels(&picture);
        return -1;
    }
    bool keyed = transparency && settings.transEnabled;
    int result = PrepareImage(&picture, haveAlpha ? &alpha : nullptr, keyed, settings, &argb);
    FreeBaseImagePixels(&picture);
    if (haveAlpha) FreeBaseImagePixels(&alpha);
    if (result != 0) return -1;
    return MakeWhole(argb, GRAPH_SOURCE_MEMORY, nullptr, keyed, settings);
}

int RefillGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int graph) {
    const PublicCall call("RefillGraphFromBaseImage");
    if (!AllowOnlyOnEngineThread()) return -1;
    return RefillFrom(color, alpha, graph);
}

int RefillGraphFromImageMemory(const void* data, size_t size, int graph, const void* alphaData, size_t alphaSize,
                               int transparency, int mirror) {
    const PublicCall call("RefillGraphFromImageMemory");
    if (!AllowOnlyOnEngineThread()) return -1;
    GRAPH* g = GetGraphForCall(graph);
    if (!g) return -1;
    BASEIMAGE picture, alpha, argb;
    if (ReadPicture(nullptr, data, size, 1, mirror, &picture) != 0) return -1;
    bool haveAlpha = alphaData && alphaSize > 0;
    if (haveAlpha && ReadPicture(nullptr, alphaData, alphaSize, 1, mirror, &alpha) != 0) {
        FreeBaseImagePixels(&picture);
        return -1;
    }
    int result = -1;
    if (picture.width != g->width || picture.height != g->height) {
        Refuse("the picture is %dx%d, the graph %dx%d", picture.width, picture.height, g->width, g->height);
    } else if (const GraphSettings settings = CurrentSettings();
               PrepareImage(&picture, haveAlpha ? &alpha : nullptr, transparency && settings.transEnabled, settings,
                            &argb) == 0) {
        result = Refill(g, argb);
        FreeBaseImagePixels(&argb);
    }
    FreeBaseImagePixels(&picture);
    if (haveAlpha) FreeBaseImagePixels(&alpha);
    return result;
}

// The handle goes at once; the record with the engine's thread, at once
// when called there.
int DeleteGraphHandle(int graph, int) {
    LoaderCall call("DeleteGraphHandle");
    if (!call.admitted()) return -1;
    void* g = nullptr;
    {
        ResourceLockGuard resources(ResourceLock());
        g = TakeHandleEntry(&GraphState().table, graph);
    }
    if (!g) return RefuseGraph(graph);
    RunOnEngineThread(FreeGraph, g);
    return 0;
}

int DeleteAllGraphs() {
    const PublicCall call("DeleteAllGraphs");
    if (!AllowOnlyOnEngineThread()) return -1;
    ResourceLockGuard resources(ResourceLock());
    ForEachGraph([](GRAPH* g) { DeleteGraphHandle(g->handle, 0); });
    TerminateHandleTable(&GraphState().table);
    return 0;
}

namespace {

// Another thread reads under the table's lock, so that the engine's thread
// cannot free the record meanwhile; kept apart from the engine's thread's
// quick road.
[[gnu::noinline]] int GetGraphDimensionsLocked(int graph, int* width, int* height) {
    int w = 0, h = 0;
    const bool found = ReadHandleEntry(&GraphState().table, graph, [&](const void* record) {
        w = static_cast<const GRAPH*>(record)->width;
        h = static_cast<const GRAPH*>(record)->height;
    });
    if (!found) return RefuseGraph(graph);
    if (width) *width = w;
    if (height) *height = h;
    return 0;
}

}  // namespace

// The engine's thread reads the record without the table's lock, as it
// frees records alone.
int GetGraphDimensions(int graph, int* width, int* height) {
    const AnyThreadCall call("GetGraphDimensions");
    if (!call.onEngineThread()) return GetGraphDimensionsLocked(graph, width, height);
    const GRAPH* g = Lookup(graph);
    if (!g) return RefuseGraph(graph);
    if (width) *width = g->width;
    if (height) *height = g->height;
    return 0;
}

namespace morpotta {

GRAPH* GetGraphRecord(int graph) { return Lookup(graph); }

GRAPH* GetGraphForCall(int graph) {
    GRAPH* g = Lookup(graph);
    if (!g) RefuseGraph(graph);
    return g;
}

void SetGraphMovieHooks(const GraphMovieHooks* hooks) { GraphState().movies = hooks; }

int BindGraphMovie(int graph, int movie) {
    GRAPH* g = Lookup(graph);
    if (!g) return -1;
    g->movieHandle = movie;
    return 0;
}

void UpdateGraphMovieFrame(const GRAPH* graph) {
    if (graph && graph->movieHandle != -1 && GraphState().movies && GraphState().movies->updateFrame)
        GraphState().movies->updateFrame(graph->movieHandle);
}

}  // namespace morpotta

int CountGraphs() { return CountHandleEntries(&GraphState().table); }

namespace morpotta {

DeviceTexture* GetGraphTexture(int graph) {
    GRAPH* g = Lookup(graph);
    return g ? g->shared->texture : nullptr;
}

}  // namespace morpotta

// The settings of the pictures made next serve every thread: a load reads
// them whole when it begins, and never sees half of a change.
int SetGraphMipLevels(int enable, int levels) {
    ChangeSettings(kMipEnabledBit | kMipLevelsBits, (enable ? kMipEnabledBit : 0) | PackMipLevels(enable ? levels : 1));
    return 0;
}

int SetTransColorEnabled(int flag) {
    ChangeSettings(kTransEnabledBit, flag ? kTransEnabledBit : 0);
    return 0;
}

int GetTransColorEnabled() { return SettingsWord() & kTransEnabledBit ? 1 : 0; }

int SetTransparentColorRGB(int red, int green, int blue) {
    auto clamp = [](int v) { return uint64_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    ChangeSettings(kTransColourBits, clamp(red) << 16 | clamp(green) << 8 | clamp(blue));
    return 0;
}

int GetTransparentColorRGB(int* red, int* green, int* blue) {
    const GraphSettings settings = CurrentSettings();
    if (red) *red = settings.transRed;
    if (green) *green = settings.transGreen;
    if (blue) *blue = settings.transBlue;
    return 0;
}

namespace morpotta {

int ReleaseGraphTextures() {
    ForEachGraph([](GRAPH* g) {
        if (g->shared->texture) {
            ReleaseDeviceTexture(g->shared->texture);
            g->shared->texture = nullptr;
        }
    });
    return 0;
}

int RestoreGraphTextures() {
    int result = 0;
    ForEachGraph([&](GRAPH* g) {
        if (!g->shared->texture && MakeTexture(g->shared) != 0) result = -1;
    });
    return result;
}

}  // namespace morpotta
