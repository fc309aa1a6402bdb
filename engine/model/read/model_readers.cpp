// The reader order of LoadModelFile. The X and VMD readers are not built
// yet: they refuse every file silently, and so does the motion reader the
// PMD reader hands the motions beside a model to.
#include "model/read/model_readers.h"

#include "model/read/vmd_motion.h"

int LoadXFile(const ModelLoadParams*) { return -1; }
int LoadVmdFile(const ModelLoadParams*) { return -1; }
int LoadVmdMotion(const void*, size_t, int, ReadModel*, const char*, PmdSkeleton*, PmdPhysicsBake*, int) { return -1; }

const ModelReader* GetModelReaders(int* countOut) {
    static const ModelReader kReaders[] = {LoadModelMV1, LoadMqoFile, LoadXFile, LoadPmdFile, LoadVmdFile};
    if (countOut) *countOut = int(sizeof(kReaders) / sizeof(kReaders[0]));
    return kReaders;
}
