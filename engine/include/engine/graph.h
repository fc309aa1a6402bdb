// Graph handles: pictures held as device textures (and as 32-bit images in
// memory, which the software path and a device rebuild read). Pieces of a
// divided picture share one texture.
#pragma once
#include <cstddef>

#include "engine/baseimage.h"

// Each returns the new handle, or -1 (with a log line), also while the
// engine is not running (before start-up, after shut-down): a picture made
// then could never be drawn. The table holds 32768 pictures (a divided
// picture's pieces count one each): one more is refused so, and the
// program goes on; a picture deleted makes room for the next.
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
int CountGraphs();

// Settings for the graphs created afterwards.
int SetGraphMipLevels(int enable, int levels);  // levels -1: the full chain
int SetTransColorEnabled(int flag);
int GetTransColorEnabled();
int SetTransparentColorRGB(int red, int green, int blue);
int GetTransparentColorRGB(int* red, int* green, int* blue);
