// Fuzz target for the VMD motion reader and the motion bake. Each input is
// tried as a motion file on its own (through LoadModelFile), and as the
// motion beside the tests' full PMD sample (IK chain, a bone-following and
// a simulated body on a joint), given whole and as a mask laid over a
// sample motion (byte i of the input XOR-ed into byte 30 + i, bytes past
// the end appended). Motions longer than a few thousand frames are only
// parsed: their bake is work, not risk, and the benchmark measures it.
#include <cstdint>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_graphics.h"
#include "model/base/model_texture.h"
#include "model/instance/model_system.h"
#include "model/read/model_readers.h"
#include "model/read/vmd_file.h"
#include "model_fuzz_file.h"
#include "pmd_samples.h"
#include "vmd_writer.h"

using namespace morpotta;

namespace {

constexpr uint32_t kLongestBakedMotion = 1000;

std::string g_model;   // the PMD sample with its terminating zero
std::string g_motion;  // a sample motion for the mask
const std::string* g_current = nullptr;

// Only "model000.vmd" exists beside the model; its textures are missing.
int ReadBeside(const char* name, void** data, int* size, void*) {
    if (std::string(name) != "model000.vmd" || !g_current) return -1;
    *data = const_cast<char*>(g_current->data());
    *size = int(g_current->size());
    return 0;
}
void ReleaseBeside(void*, void*) {}

bool ShortEnoughToBake(const std::string& motion) {
    VmdMotion parsed;
    return ReadVmdMotionFile(reinterpret_cast<const unsigned char*>(motion.data()), motion.size(), &parsed) != 0 ||
           parsed.lastFrame <= kLongestBakedMotion;
}

void BakeBeside(const std::string& motion) {
    if (!ShortEnoughToBake(motion)) return;
    g_current = &motion;
    ModelTextureFileHook hook{};
    hook.read = ReadBeside;
    hook.release = ReleaseBeside;
    ModelLoadParams params{g_model.data(), g_model.size() - 1, "model.pmd", "model", nullptr, &hook, nullptr};
    int base = LoadPmdFile(&params);
    if (base != -1) ReleaseModelBaseData(base);
    g_current = nullptr;
}

void LoadAlone(const std::string& motion) {
    if (!ShortEnoughToBake(motion)) return;
    model_fuzz::SetFile(motion);
    int model = LoadModelFile("fuzz.vmd");
    if (model != -1) DeleteModel(model);
}

VmdDocument SampleMotion() {
    VmdDocument m;
    m.bones = {::VmdBoneKey("左足ＩＫ", 0, 0, 0, 0), ::VmdBoneKey("左足ＩＫ", 6, 0, 2, -1), ::VmdBoneKey("センター", 3, 0, 1, 0),
               ::VmdBoneKey("左ひざ", 2, 0, 0, 0)};
    m.bones[1].curves[0] = VmdCurveBytes{100, 10, 60, 127};
    m.morphs = {{"つま先", 0, 0}, {"つま先", 4, 1}, {"wide", 2, 0.5f}};
    VmdCameraKeySpec a, b;
    b.frame = 5, b.position[0] = 4;
    m.cameras = {a, b};
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    model_fuzz::Install("fuzz.vmd");
    new FakeGraphics();
    InitializeModelSystem();
    g_model = WritePmd(PmdFullSample()) + '\0';
    g_motion = WriteVmd(SampleMotion());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    LoadAlone(input);
    BakeBeside(input);
    std::string masked = g_motion;
    for (size_t i = 0; i < size; ++i) {
        if (30 + i < masked.size()) masked[30 + i] = char(masked[30 + i] ^ data[i]);
        else masked.push_back(char(data[i]));
    }
    BakeBeside(masked);
    return 0;
}
