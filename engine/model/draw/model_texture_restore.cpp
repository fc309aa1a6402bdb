// Refilling model textures after the graphics device was lost and rebuilt:
// the built-in graphs of mesh drawing, every texture of every base, then
// every image an instance holds of its own.
#include "model/base/graphics_services.h"
#include "model/base/model_handles.h"
#include "model/base/model_texture.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_texture_restore.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

struct TextureRestoreModule {
    int whiteGraph = -1;
    int toonGraph = -1;
};

TextureRestoreModule& TextureRestoreState() {
    return platform::LastingState<TextureRestoreModule>();
}

}  // namespace

void SetModelBuiltinTextureGraphs(int whiteGraph, int toonGraph) {
    TextureRestoreState().whiteGraph = whiteGraph;
    TextureRestoreState().toonGraph = toonGraph;
}

namespace {

// With no transparent colour: the built-in images have none.
void RefillBuiltins(const ModelGraphicsServices* gfx) {
    size_t size = 0;
    if (gfx->RefillGraphFromImageMemory) {
        if (TextureRestoreState().whiteGraph != -1) {
            const uint8_t* white = GetModelWhiteTga(&size);
            gfx->RefillGraphFromImageMemory(white, size, TextureRestoreState().whiteGraph, nullptr, 0, 0, 0);
        }
        if (TextureRestoreState().toonGraph != -1) {
            const uint8_t* toon = GetModelToonTga(&size);
            gfx->RefillGraphFromImageMemory(toon, size, TextureRestoreState().toonGraph, nullptr, 0, 0, 0);
        }
    }
    if (gfx->RefillToonRampGraph) gfx->RefillToonRampGraph();
    RefillModelToonRamp();
}

// The graph of `image` made again from its kept file bytes with the look
// of `texture` (bump, half turn, 32-bit BMP alpha) as at load.
void RefillTexture(const ModelGraphicsServices* gfx, const ModelTextureImage& image, const ModelBaseTexture& texture) {
    if (image.graph == -1 || (!image.colourData && !image.alphaData) || !gfx->RefillGraphFromBaseImage) return;
    BASEIMAGE colour{}, alpha{};
    int built = BuildModelTextureImages(&colour, &alpha, image.colourData, size_t(image.colourDataSize),
                                        image.alphaData, size_t(image.alphaDataSize), texture.bumpFlag,
                                        texture.bumpHeight, texture.reverse, texture.bmp32Alpha);
    if (built != 0) return;  // the graph stays as it is
    gfx->RefillGraphFromBaseImage(&colour, image.alphaData ? &alpha : nullptr, image.graph);
    FreeModelTextureImages(gfx, &colour, &alpha);
}

}  // namespace

int RestoreModelTextures() {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    RefillBuiltins(gfx);
    for (int slot = 0; slot < GetModelBaseTableSize(); ++slot) {
        ModelBase* base = GetModelBase(GetModelBaseHandleOfSlot(slot));
        if (!base) continue;
        for (int i = 0; i < base->textureCount; ++i) RefillTexture(gfx, base->textures[i].image, base->textures[i]);
    }
    // Images an instance holds in place of its base's.
    for (int slot = 0; slot < GetModelInstanceTableSize(); ++slot) {
        ModelInstance* in = GetModelInstance(GetModelInstanceHandleOfSlot(slot));
        if (!in) continue;
        for (int i = 0; i < in->base->textureCount; ++i) RefillTexture(gfx, in->textures[i].own, in->base->textures[i]);
    }
    return 0;
}

}  // namespace morpotta
