// The reader order of LoadModelFile. The X reader is not built yet: it
// refuses every file silently.
#include "model/read/model_readers.h"

int LoadXFile(const ModelLoadParams*) { return -1; }

const ModelReader* GetModelReaders(int* countOut) {
    static const ModelReader kReaders[] = {LoadModelMV1, LoadMqoFile, LoadXFile, LoadPmdFile, LoadVmdFile};
    if (countOut) *countOut = int(sizeof(kReaders) / sizeof(kReaders[0]));
    return kReaders;
}
