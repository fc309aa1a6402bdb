// Built-in graphs of model drawing, through the model system's table of
// graphics functions.
#include "model/draw/model_builtin_graphs.h"

#include <cstdint>
#include <cstring>

#include "engine/log.h"
#include "model/base/graphics_services.h"
#include "model/base/model_texture.h"
#include "model/draw/model_texture_restore.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

struct BuiltinGraphModule {
    int white = -1;
    int banded = -1;
    int ramp = -1;
};

BuiltinGraphModule& BuiltinGraphState() {
    return platform::LastingState<BuiltinGraphModule>();
}

bool StillValid(int graph) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    int w = 0, h = 0;
    return graph != -1 && gfx->GetGraphDimensions && gfx->GetGraphDimensions(graph, &w, &h) == 0;
}

// With no transparent colour: the built-in images have none.
int FromTga(const uint8_t* data, size_t size) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    return gfx->MakeGraphFromImageMemory ? gfx->MakeGraphFromImageMemory(data, size, 0, 0, 0, 0) : -1;
}

bool MakeRampImage(BASEIMAGE* image) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    if (!gfx->CreateBaseImageXrgb32 || gfx->CreateBaseImageXrgb32(256, 8, image) != 0) return false;
    for (int y = 0; y < 8; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(image->pixels) + y * image->pitch);
        for (uint32_t x = 0; x < 256; ++x) row[x] = 0xFF000000u | x << 16 | x << 8 | x;
    }
    return true;
}

void RegisterForRestore() { SetModelBuiltinTextureGraphs(BuiltinGraphState().white, BuiltinGraphState().banded); }

}  // namespace

int GetModelWhiteGraph() {
    if (!StillValid(BuiltinGraphState().white)) {
        size_t size = 0;
        const uint8_t* tga = GetModelWhiteTga(&size);
        BuiltinGraphState().white = FromTga(tga, size);
        RegisterForRestore();
    }
    return BuiltinGraphState().white;
}

int GetDefaultToonGraph(int index) {
    if (index == -1) {
        if (!StillValid(BuiltinGraphState().banded)) {
            size_t size = 0;
            const uint8_t* tga = GetModelToonTga(&size);
            BuiltinGraphState().banded = FromTga(tga, size);
            RegisterForRestore();
        }
        return BuiltinGraphState().banded;
    }
    if (index == -2) {
        if (!StillValid(BuiltinGraphState().ramp)) BuiltinGraphState().ramp = CreateToonRampGraph();
        return BuiltinGraphState().ramp;
    }
    return -1;
}

int CreateToonRampGraph() {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    BASEIMAGE image;
    std::memset(&image, 0, sizeof(image));
    if (!gfx->MakeGraphFromBaseImage || !MakeRampImage(&image)) {
        WriteLogText("Model : the toon ramp image could not be made");
        return -1;
    }
    int graph = gfx->MakeGraphFromBaseImage(&image, nullptr, 0);
    if (gfx->FreeBaseImagePixels) gfx->FreeBaseImagePixels(&image);
    return graph;
}

int RefillToonRampGraph(int graph) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    BASEIMAGE image;
    std::memset(&image, 0, sizeof(image));
    if (!gfx->RefillGraphFromBaseImage || !MakeRampImage(&image)) return -1;
    int result = gfx->RefillGraphFromBaseImage(&image, nullptr, graph);
    if (gfx->FreeBaseImagePixels) gfx->FreeBaseImagePixels(&image);
    return result;
}

void RefillModelToonRamp() {
    if (BuiltinGraphState().ramp != -1) RefillToonRampGraph(BuiltinGraphState().ramp);
}

void ForgetModelBuiltinGraphs() {
    BuiltinGraphState().white = BuiltinGraphState().banded = BuiltinGraphState().ramp = -1;
    RegisterForRestore();
}

}  // namespace morpotta
