// LoadPmdFile: the PMD model reader. The file is checked whole first (see
// pmd_file.h), then turned into a read model: a "Mesh" frame with the
// bones' frames beside it, one skinned mesh, toon materials, the morphs as
// shapes of a second mesh, the physics records, the motions found beside
// the model, and converted.
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/convert/convert.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

const char kPmdSignature[] = {'P', 'm', 'd'};
constexpr size_t kVersionEnd = 7;

int ConvertPmdModel(PmdLoad* load) {
    return ConvertReadModelToModelBase(&load->model, load->params->folder, load->params->options);
}

}  // namespace

int ReadPmdModel(PmdLoad* load) {
    const ModelLoadParams* params = load->params;
    if (ParsePmdFile(reinterpret_cast<const unsigned char*>(params->data), params->size,
                     load->physicsMode != PMD_PHYSICS_NONE, &load->file) != 0)
        return -1;
    if (BuildPmdFrames(load) != 0 || BuildPmdMesh(load) != 0 || BuildPmdIkList(load) != 0 ||
        ReadPmdPhysics(load) != 0 || BuildPmdMaterials(load) != 0 || BuildPmdMorphs(load) != 0)
        return -1;
    ReadPmdMotions(load);
    return 0;
}

void FreePmdLoad(PmdLoad* load) {
    FreeMemory(load->skeleton.bones);
    FreeMemory(load->skeleton.order);
    FreeMemory(load->iks);
    FreeMemory(load->ikLinks);
    FreeMemory(load->physics.bodies);
    FreeMemory(load->physics.joints);
    load->skeleton = PmdSkeleton{};
    load->iks = nullptr;
    load->ikLinks = nullptr;
    load->physics = PmdPhysicsBake{};
}

int LoadPmdFile(const ModelLoadParams* params) {
    if (!params || !params->data || params->size < sizeof(kPmdSignature) ||
        std::memcmp(params->data, kPmdSignature, sizeof(kPmdSignature)) != 0)
        return -1;
    const auto* data = reinterpret_cast<const unsigned char*>(params->data);
    if (params->size < kVersionEnd || PmdF32(data + 3) != 1.0f)
        return WriteLogFormat("PMD Load Error : バージョン１．０以外は読み込めません");
    PmdLoad load{};
    load.params = params;
    load.physicsMode = GetModelLoadPhysicsMode();
    InitReadModel(&load.model);
    int result = ReadPmdModel(&load) == 0 ? ConvertPmdModel(&load) : -1;
    FreeReadModel(&load.model);
    FreePmdLoad(&load);
    return result;
}

}  // namespace morpotta
