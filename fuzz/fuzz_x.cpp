// Fuzz target for the X file reader. Each input is tried through
// LoadModelFile from an in-memory file as a whole file, and as a mask laid
// over one of the tests' sample models (its first byte picks the text, the
// 32-bit or the 64-bit binary form; the rest is XOR-ed into the sample
// past its header, bytes past the end are appended), so that every
// mutation is a damaged but plausible file. The samples' texture is
// renamed to an unknown template: the fuzz run has no graphics to load it.
// A model that loads is drawn once on the recording device.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "model/instance/model_system.h"
#include "model_fuzz_file.h"
#include "x_samples.h"

using namespace morpotta;

namespace {

std::string g_samples[3];

void LoadOnce(std::string file) {
    model_fuzz::SetFile(std::move(file));
    int model = LoadModelFile("fuzz.x");
    if (model == -1) return;
    float lo[3], hi[3];
    GetModelBoundingBox(model, lo, hi);
    SetModelFrameOpacity(model, 0, 0.5f);
    model_fuzz::Draw(model);
    DeleteModel(model);
}

std::string WithoutTexture(std::string sample) {
    size_t at = sample.find("TextureFilename");
    if (at != std::string::npos) sample[at + 14] = 'X';
    return sample;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    model_fuzz::Install();
    model_fuzz::StartDrawing();
    InitializeModelSystem();
    g_samples[0] = WithoutTexture(kSampleXText);
    g_samples[1] = WithoutTexture(SampleXBinary(XWriter::kBinary32));
    g_samples[2] = WithoutTexture(SampleXBinary(XWriter::kBinary64));
    // The masks only help while the samples themselves load.
    for (const std::string& sample : g_samples) {
        model_fuzz::SetFile(sample);
        int model = LoadModelFile("fuzz.x");
        if (model == -1) __builtin_trap();
        DeleteModel(model);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadOnce(std::string(reinterpret_cast<const char*>(data), size));
    if (size == 0) return 0;
    std::string file = g_samples[data[0] % 3];
    for (size_t i = 1; i < size; ++i) {
        if (15 + i < file.size()) file[15 + i] = char(file[15 + i] ^ data[i]);
        else file.push_back(char(data[i]));
    }
    LoadOnce(std::move(file));
    return 0;
}
