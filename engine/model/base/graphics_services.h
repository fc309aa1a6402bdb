// What model textures need of the graphics layer and the file layer, as a
// table of functions the owning layers install (SetModelGraphicsServices,
// SetModelFileAccessTable). Until graphics installs its table every entry
// is null and a texture load fails cleanly with a log line; files default to
// the engine's current file table. Tests install fakes.
#pragma once
#include <cstddef>

#include "engine/baseimage.h"
#include "engine/files.h"

namespace morpotta {

struct ModelGraphicsServices {
    // Decodes a picture in memory; bmp32Alpha 1 takes the fourth byte of
    // 32-bit BMP pixels as alpha, for this read alone.
    int (*ReadImageFromMemory)(const void* data, size_t size, int bmp32Alpha, BASEIMAGE* out);
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
    // A texture's graph: every mip level, no transparent colour, whatever
    // the settings of other pictures say (they are left alone, as a load
    // on another thread may be reading them).
    int (*MakeTextureGraph)(const BASEIMAGE* colour, const BASEIMAGE* alpha);
    int (*RefillGraphFromBaseImage)(const BASEIMAGE* colour, const BASEIMAGE* alpha, int graph);
    int (*MakeGraphFromImageMemory)(const void* data, size_t size, int, int, int transparency, int);
    int (*RefillGraphFromImageMemory)(const void* data, size_t size, int graph, const void* alphaData,
                                      size_t alphaSize, int transparency, int mirror);
    int (*DeleteGraphHandle)(int graph, int);
    int (*GetGraphDimensions)(int graph, int* width, int* height);
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

}  // namespace morpotta
