// The reader order of LoadModelFile. The binary, X, PMD and VMD readers
// are not built yet: they refuse every file silently, so the MQO reader
// behind the first of them is still reached.
#include "model/read/model_readers.h"

int LoadModelMV1(const ModelLoadParams*) { return -1; }
int LoadXFile(const ModelLoadParams*) { return -1; }
int LoadPmdFile(const ModelLoadParams*) { return -1; }
int LoadVmdFile(const ModelLoadParams*) { return -1; }

const ModelReader* GetModelReaders(int* countOut) {
    static const ModelReader kReaders[] = {LoadModelMV1, LoadMqoFile, LoadXFile, LoadPmdFile, LoadVmdFile};
    if (countOut) *countOut = int(sizeof(kReaders) / sizeof(kReaders[0]));
    return kReaders;
}
