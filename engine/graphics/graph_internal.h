// Graph records: the pieces and the shared picture behind each graph
// handle, for the graphics files that draw, refill or rebuild them.
#pragma once
#include "engine/graph.h"
#include "graphics/device/device.h"

#include <atomic>

namespace morpotta {

constexpr int kGraphTableSize = 32768;

// Where a graph's pixels came from, so it can be refilled after a device loss.
enum GraphSourceKind {
    GRAPH_SOURCE_NONE = 0,   // blank graph
    GRAPH_SOURCE_FILE = 1,
    GRAPH_SOURCE_MEMORY = 2,
    GRAPH_SOURCE_IMAGE = 3,  // from a base image: the kept pixels are the source
};

// The pixels and texture that the pieces of one picture share. Counted by
// its pieces and by the call making them, which holds its own count until
// it has entered the last piece: a loader adds pieces while the engine's
// thread may be deleting those entered, and the picture is freed once,
// by whichever lets go of it last.
struct GraphShared {
    std::atomic<int> refCount;
    int width, height;      // of the whole picture
    BASEIMAGE image;        // 32-bit ARGB copy of the pixels
    DeviceTexture* texture; // null without a device
    int mipLevels;
    int sourceKind;         // GraphSourceKind
    char* sourcePath;       // file graphs
    void* sourceData;       // memory graphs: a copy of the encoded bytes
    size_t sourceSize;
    int transparentKeyed;   // the transparent colour was keyed out at creation
    struct MEMIMG* memImg;  // software image of the picture, made on first software draw
};

struct GRAPH {
    int handle;
    int x, y;               // the piece's corner in the shared picture
    int width, height;      // the piece's size
    int hasAlpha;           // the pixels carry alpha other than 255
    int movieHandle;        // -1 when no movie plays in this graph
    GraphShared* shared;
};

GRAPH* GetGraphRecord(int graph);  // null for a bad handle
// The graph a public call names; null after a line saying why (the engine
// is not running, or the handle names no picture).
GRAPH* GetGraphForCall(int graph);

// A model's texture: as MakeGraphFromBaseImage with no transparent colour
// and every mip level, whatever the settings say (which it leaves alone).
int MakeTextureGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha);

// Movies as graphs, served by the movie code, which installs these entries:
// a file that is no picture opens as a graph showing the movie's current
// frame; the frame is brought up to date before every draw of the graph,
// and the movie closes with the graph.
struct GraphMovieHooks {
    int (*openGraph)(const char* fileName, int noTransparency);  // the new graph's handle, or -1
    int (*updateFrame)(int movie);
    int (*close)(int movie);
};
void SetGraphMovieHooks(const GraphMovieHooks* hooks);  // null: none
// Binds a movie to a graph; the graph closes it when deleted. -1 for a bad handle.
int BindGraphMovie(int graph, int movie);
// Brings the movie a graph shows up to date (nothing for other graphs).
void UpdateGraphMovieFrame(const GRAPH* graph);
// The texture the graph draws with; null for a bad handle or without a device.
DeviceTexture* GetGraphTexture(int graph);
// Around a device loss: drop every texture, then make them again and
// refill them from each graph's kept pixels.
int ReleaseGraphTextures();
int RestoreGraphTextures();
// Drops the software image of a picture (after a refill, or with the picture).
void DropGraphMemImg(GraphShared* shared);

}  // namespace morpotta
