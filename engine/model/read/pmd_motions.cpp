// The motions beside a PMD model: "<name>000.vmd", "<name>001.vmd", ...
// in the model's folder (or through the caller's file callbacks), each
// read into the model as one animation set "Anim000", "Anim001", ... The
// first number without a readable file, or whose motion fails, ends the
// search.
#include <string>

#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/log_internal.h"
#include "model/base/model_texture.h"
#include "model/base/whole_file.h"
#include "model/read/pmd_reader.h"
#include "model/read/vmd_motion.h"

namespace morpotta {

namespace {

constexpr int kMaxMotions = 1000;  // the three digits of the file names

// One motion file's bytes and how to give them back.
struct MotionFile {
    void* data = nullptr;
    size_t size = 0;
    const ModelTextureFileHook* hook = nullptr;

    void Release() {
        if (hook) {
            if (hook->release) hook->release(data, hook->user);
        } else {
            FreeMemory(data);
        }
        data = nullptr;
    }
};

// "<name>NNN.vmd" with the motion's number.
std::string MotionFileName(const char* name, int number) {
    char digits[8];
    FormatString(digits, sizeof(digits), "%03d", number);
    return std::string(name) + digits + ".vmd";
}

// A probe: the first number without a file is where the motions end, no
// fault of the model's.
bool ReadMotionFile(const ModelLoadParams* params, int number, MotionFile* out) {
    InnerAttempt probe;
    const std::string name = MotionFileName(params->name, number);
    if (!params->folder) {
        const ModelTextureFileHook* hook = params->options;
        if (!hook || !hook->read) return false;
        int size = 0;
        if (hook->read(name.c_str(), &out->data, &size, hook->user) != 0) return false;
        out->hook = hook;
        if (size < 0) {
            out->Release();
            return false;
        }
        out->size = size_t(size);
        return true;
    }
    const std::string path = std::string(params->folder) + "\\" + name;
    return LoadWholeFile(path.c_str(), &out->data, &out->size, false) == 0;
}

}  // namespace

void ReadPmdMotions(PmdLoad* load) {
    const bool bake = load->physicsRead && load->physicsMode == PMD_PHYSICS_BAKE;
    for (int number = 0; number < kMaxMotions; ++number) {
        MotionFile file;
        if (!ReadMotionFile(load->params, number, &file)) return;
        ResetPmdBonesToRest(&load->skeleton);
        char setName[16];
        FormatString(setName, sizeof(setName), "Anim%03d", number);
        int result = LoadVmdMotion(file.data, file.size, number, &load->model, setName, &load->skeleton,
                                   bake ? &load->physics : nullptr, 0);
        file.Release();
        if (result != 0) return;
    }
}

}  // namespace morpotta
