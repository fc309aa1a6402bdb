// Model textures: a graph made from a colour image file and an optional
// alpha image file (given, or the colour file's "_a" companion), with a
// built-in white image standing in for files that cannot be read. The
// encoded file bytes are kept so the graph can be refilled after the
// graphics device was lost (draw/model_texture_restore.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/baseimage.h"
#include "engine/model.h"
#include "model/base/model_records.h"

namespace morpotta {

struct ModelGraphicsServices;

// Reads texture files instead of the file layer when a load asks for it.
struct ModelTextureFileHook {
    // -1 on failure; the data stay the hook's until released.
    int (*read)(const char* fileName932, void** data, int* size, void* user);
    void (*release)(void* data, void* user);  // may be null
    void* user;
};

struct ModelTextureRequest {
    const char16_t* colourPath;  // null: alpha-only texture
    const char16_t* alphaPath;   // null: look for the "_a" companion
    const char16_t* folder;      // names are kept relative to it; may be null
    uint32_t bumpFlag;
    float bumpHeight;
    int reverse;
    int bmp32Alpha;
    const ModelTextureFileHook* hook;
    int keepNames;  // store the file names in the image record
};

// 0 or -1 (logged; everything this call made is freed). With rebuild set no
// file is read: the data already held in image are used again.
int LoadModelTexture(ModelTextureImage* image, const ModelTextureRequest* request, int rebuild);
// Decodes the file bytes into images ready for a graph (bmp32Alpha: the
// fourth byte of 32-bit BMP pixels is alpha); on -1 no image is left
// allocated.
int BuildModelTextureImages(BASEIMAGE* colour, BASEIMAGE* alpha, const void* colourData, size_t colourSize,
                            const void* alphaData, size_t alphaSize, uint32_t bumpFlag, float bumpHeight,
                            int reverse, int bmp32Alpha);
// Deletes the graph and frees the kept blocks.
void ReleaseModelTextureImage(ModelTextureImage* image);
// Frees the pixels of the images BuildModelTextureImages made.
void FreeModelTextureImages(const ModelGraphicsServices* gfx, BASEIMAGE* colour, BASEIMAGE* alpha);

// The two built-in TGA images: 8x8 opaque white, and a 256x8 banded toon
// ramp of four grey steps.
const uint8_t* GetModelWhiteTga(size_t* size);
const uint8_t* GetModelToonTga(size_t* size);

}  // namespace morpotta
