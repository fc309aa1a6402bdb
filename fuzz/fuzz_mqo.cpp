// Fuzz target for the MQO reader: each input goes through LoadModelFile
// from an in-memory file, once as it stands and once behind a valid
// header line pair, so the fuzzer starts past the signature.
#include <cstdint>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "model/instance/model_system.h"
#include "model_fuzz_file.h"

using namespace morpotta;

namespace {

void LoadOnce(const std::string& text) {
    model_fuzz::SetFile(text);
    int model = LoadModelFile("fuzz.mqo");
    if (model != -1) {
        float lo[3], hi[3];
        GetModelBoundingBox(model, lo, hi);
        SetModelFrameOpacity(model, 0, 0.5f);
        SetModelMaterialSpecularColor(model, 0, 1, 1, 1, 1);
        DeleteModel(model);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    model_fuzz::Install();
    InitializeModelSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    LoadOnce(text);
    LoadOnce("Metasequoia Document\r\nFormat Text Ver 1.0\r\n" + text);
    return 0;
}
