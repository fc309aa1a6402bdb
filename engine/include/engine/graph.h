// Graph handles: pictures held as device textures (and as 32-bit images in
// memory, which the software path and a device rebuild read). Pieces of a
// divided picture share one texture.
#pragma once
#include "engine/baseimage.h"
#include "engine/device.h"

constexpr int kGraphTableSize = 32768;

// Where a graph's pixels came from, so it can be refilled after a device loss.
enum GraphSourceKind {
    GRAPH_SOURCE_NONE = 0,   // blank graph
    GRAPH_SOURCE_FILE = 1,
    GRAPH_SOURCE_MEMORY = 2,
    GRAPH_SOURCE_IMAGE = 3,  // from a base image: the kept pixels are the source
};

// The pixels and texture that the pieces of one picture share.
struct GraphShared {
    int refCount;
    int width, height;      // of the whole picture
    BASEIMAGE image;        // 32-bit ARGB copy of the pixels
    DeviceTexture* texture; // null without a device
    int mipLevels;
    int sourceKind;         // GraphSourceKind
    char* sourcePath;       // file graphs
    void* sourceData;       // memory graphs: a copy of the encoded bytes
    size_t sourceSize;
    int transparentKeyed;   // the transparent colour was keyed out at creation
};

struct GRAPH {
    int handle;
    int x, y;               // the piece's corner in the shared picture
    int width, height;      // the piece's size
    int hasAlpha;           // the pixels carry alpha other than 255
    int movieHandle;        // -1 when no movie plays in this graph
    GraphShared* shared;
};

// Each returns the new handle, or -1 (with a log line).
int OpenGraphFile(const char* fileName, int noTransparency);
int OpenGraphFileWithAlpha(const char* fileName);
int OpenDivGraphFile(const char* fileName, int count, int countAcross, int countDown, int pieceWidth,
                     int pieceHeight, int* handles, int noTransparency);
int MakeBlankGraph(int width, int height, int unused);
int MakeGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int transparency);
int MakeGraphFromBaseImageKept(const BASEIMAGE* image);
int RefillGraphFromBaseImageKept(const BASEIMAGE* image, int graph);
int MakeGraphFromImageMemory(const void* data, size_t size, const void* alphaData, size_t alphaSize,
                             int transparency, int mirror);
int RefillGraphFromBaseImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int graph);
int RefillGraphFromImageMemory(const void* data, size_t size, int graph, const void* alphaData, size_t alphaSize,
                               int transparency, int mirror);
int DeleteGraphHandle(int graph, int flag);
int DeleteAllGraphs();
int GetGraphDimensions(int graph, int* width, int* height);
GRAPH* GetGraphRecord(int graph);  // null for a bad handle
int CountGraphs();
// The texture the graph draws with; null for a bad handle or without a device.
DeviceTexture* GetGraphTexture(int graph);

// Settings for the graphs created afterwards.
int SetGraphMipLevels(int enable, int levels);  // levels -1: the full chain
int SetTransColorEnabled(int flag);
int GetTransColorEnabled();
int SetTransparentColorRGB(int red, int green, int blue);
int GetTransparentColorRGB(int* red, int* green, int* blue);

// Around a device loss: drop every texture, then make them again and
// refill them from each graph's kept pixels.
int ReleaseGraphTextures();
int RestoreGraphTextures();
