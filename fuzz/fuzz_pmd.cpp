// Fuzz target for the PMD reader. Each input is tried three ways through
// LoadModelFile from an in-memory file: as a whole file; behind a valid
// header (so the fuzzer starts at the vertex count); and as a mask laid
// over the tests' full sample model (byte i of the input is XOR-ed into
// byte 7 + i, bytes past the end are appended), so that an empty input
// already reaches every section and each mutation is a damaged but
// plausible file. Only the model file exists: its motions and textures
// are missing. The physics mode follows the input's length, so every
// mode meets every shape of file.
#include <cstdint>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "model/convert/convert.h"
#include "model/instance/model_system.h"
#include "fake_graphics.h"
#include "model_fuzz_file.h"
#include "pmd_samples.h"

using namespace morpotta;

namespace {

std::string g_seed;  // the full sample, written once

void LoadOnce(std::string file) {
    model_fuzz::SetFile(std::move(file));
    int model = LoadModelFile("fuzz.pmd");
    if (model == -1) return;
    float lo[3], hi[3];
    GetModelBoundingBox(model, lo, hi);
    SetModelFrameOpacity(model, 1, 0.5f);
    DeleteModel(model);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    // The toon textures beside the model are missing: white stands in,
    // made into graphs by a graphics layer of the tests.
    model_fuzz::Install("fuzz.pmd");
    new FakeGraphics();
    InitializeModelSystem();
    g_seed = WritePmd(PmdFullSample());
    // The mask only helps while the sample itself loads.
    model_fuzz::SetFile(g_seed);
    int model = LoadModelFile("fuzz.pmd");
    if (model == -1) __builtin_trap();
    DeleteModel(model);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetModelLoadPhysicsMode(int(size % 3));
    const std::string input(reinterpret_cast<const char*>(data), size);
    LoadOnce(input);
    LoadOnce(g_seed.substr(0, 283) + input);
    std::string masked = g_seed;
    for (size_t i = 0; i < size; ++i) {
        if (7 + i < masked.size()) masked[7 + i] = char(masked[7 + i] ^ data[i]);
        else masked.push_back(char(data[i]));
    }
    LoadOnce(masked);
    return 0;
}
