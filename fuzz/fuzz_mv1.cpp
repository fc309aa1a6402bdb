// Fuzz target for the binary model reader. Each input is tried three ways
// through LoadModelFile from an in-memory file: as a whole file; as an
// expanded image (compressed here, so the fuzzer works on the records and
// not on the codec); and as a mask laid over the image of a sample model
// (byte i of the input is XOR-ed into byte 4 + i, bytes past the end are
// appended), so that an empty input already reaches every record and each
// mutation is a damaged but plausible file. A model that loads is drawn
// once on the recording device: what the reader lets through must also
// draw.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/files.h"
#include "engine/log.h"
#include "engine/model.h"
#include "model/instance/model_system.h"
#include "model_fuzz_file.h"
#include "mv1_sample.h"
#include "mv1_writer.h"

using namespace morpotta;

namespace {

std::vector<uint8_t> g_seed;  // the sample model's image

void LoadOnce(std::string file) {
    model_fuzz::SetFile(std::move(file));
    int model = LoadModelFile("fuzz.mv1");
    if (model == -1) return;
    float lo[3], hi[3];
    GetModelBoundingBox(model, lo, hi);
    SetModelFrameOpacity(model, 0, 0.5f);
    model_fuzz::Draw(model);
    DeleteModel(model);
}

std::string Packed(const std::vector<uint8_t>& image) {
    if (image.size() < 4) return std::string();
    std::vector<uint8_t> block(CompressBlockBound(image.size() - 4));
    int64_t size = CompressBlock(image.data() + 4, image.size() - 4, block.data(), block.size());
    std::string file = "MV11";
    if (size > 0) file.append(reinterpret_cast<const char*>(block.data()), size_t(size));
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    model_fuzz::Install();
    model_fuzz::StartDrawing();
    InitializeModelSystem();
    ModelBase* sample = BuildMv1Sample(nullptr);
    Mv1WriteOptions options;
    options.quantisePositions = true;
    options.rangeCodedTimes = true;
    options.valueEncoding = 1;
    g_seed = Mv1Writer(options).Image(sample);
    TerminateModelSystem();
    InitializeModelSystem();
    // The mask only helps while the sample itself loads.
    model_fuzz::SetFile(Packed(g_seed));
    int model = LoadModelFile("fuzz.mv1");
    if (model == -1) __builtin_trap();
    DeleteModel(model);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadOnce(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<uint8_t> image = {'M', 'V', '1', '1'};
    image.insert(image.end(), data, data + size);
    LoadOnce(Packed(image));
    image = g_seed;
    for (size_t i = 0; i < size; ++i) {
        if (4 + i < image.size()) image[4 + i] ^= data[i];
        else image.push_back(data[i]);
    }
    LoadOnce(Packed(image));
    return 0;
}
