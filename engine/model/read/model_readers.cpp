// The reader order of LoadModelFile.
#include "model/read/model_readers.h"

#include "engine/memory.h"

namespace morpotta {

const ModelReader* GetModelReaders(int* countOut) {
    static const ModelReader kReaders[] = {LoadModelMV1, LoadMqoFile, LoadXFile, LoadPmdFile, LoadVmdFile};
    if (countOut) *countOut = int(sizeof(kReaders) / sizeof(kReaders[0]));
    return kReaders;
}

void ReleaseModelLoadData(const ModelLoadParams* params) {
    if (!params || !params->ownedData || !*params->ownedData) return;
    FreeMemory(*params->ownedData);
    *params->ownedData = nullptr;
}

}  // namespace morpotta
