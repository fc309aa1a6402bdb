// What model textures need of the graphics layer and the file layer, as a
// table of functions the owning layers install (SetModelGraphicsServices,
// SetModelFileAccessTable). Until graphics installs its table every entry
// is null and a texture load fails cleanly with a log line; files default to
// the engine's current file table. Tests install fakes.
#pragma once
#include <cstddef>

#include "engine/baseimage.h"
#include "engine/files.h"

struct ModelGraphicsServices {
    int (*ReadImageToBaseImage)(const char* fileName, const void* data, size_t size, int fromMemory, BASEIMAGE* out,
                                int option);
    int (*CreateBaseImageWithFormat)(int width, int height, const PixelFormatDesc* format, BASEIMAGE* out);
    int (*CreateBaseImageXrgb32)(int width, int height, BASEIMAGE* out);
    int (*FreeBaseImagePixels)(BASEIMAGE* image);
    int (*GetBaseImageAlphaKind)(const BASEIMAGE* image);
    int (*GetBaseImagePixel)(const BASEIMAGE* image, int x, int y, int* red, int* green, int* blue, int* alpha);
    // Rectangles are left, top, right, bottom.
    int (*BlitBaseImageScaled)(const int sourceRect[4], const BASEIMAGE* source, const int destRect[4],
                               BASEIMAGE* dest, int filter);
    int (*RotateBaseImage180)(BASEIMAGE* image);
    int (*MakeGraphFromBaseImage)(const BASEIMAGE* colour, const BASEIMAGE* alpha, int transparency);
    int (*RefillGraphFromBaseImage)(const BASEIMAGE* colour, const BASEIMAGE* alpha, int graph);
    int (*MakeGraphFromImageMemory)(const void* data, size_t size, int, int, int transparency, int);
    int (*RefillGraphFromImageMemory)(const void* data, size_t size, int graph, const void* alphaData,
                                      size_t alphaSize, int transparency, int mirror);
    int (*DeleteGraphHandle)(int graph, int);
    int (*GetGraphDimensions)(int graph, int* width, int* height);
    int (*SetBmp32AlphaUse)(int flag);
    int (*SetGraphMipLevels)(int enable, int levels);
    int (*SetTransColorEnabled)(int flag);
    int (*GetTransColorEnabled)();
    // The device's largest texture; 0 outputs mean no limit.
    int (*GetDeviceMaxTextureSize)(int* width, int* height);
    // Mesh drawing's smooth toon ramp refill after a device loss.
    int (*RefillToonRampGraph)();
};

void SetModelGraphicsServices(const ModelGraphicsServices* services);  // null: none
const ModelGraphicsServices* GetModelGraphicsServices();               // never null

// The file functions model loading reads through; null: none.
void SetModelFileAccessTable(const FileAccessTable* table);
const FileAccessTable* GetModelFileAccessTable();
