// The reader order of LoadModelFile. The PMD and VMD readers are not
// built yet: they refuse every file silently.
#include "model/read/model_readers.h"

#include "engine/memory.h"

int LoadPmdFile(const ModelLoadParams*) { return -1; }
int LoadVmdFile(const ModelLoadParams*) { return -1; }

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
