// The model readers LoadModelFile offers a file to, in order, and the
// record each of them gets.
#pragma once
#include <cstddef>

namespace morpotta {

struct ModelTextureFileHook;

struct ModelLoadParams {
    const char* data;  // the whole file, followed by one 0 byte
    size_t size;       // without the 0 byte
    const char* path;  // as the caller gave it
    const char* name;  // file name without folder, cut at its first '.'
    const char* folder;  // absolute folder of the file
    // Null on the file road; else the files beside the model (motions,
    // textures) are read through it and folder is null.
    const ModelTextureFileHook* options;
    // The loader's own copy of the file (null when the caller keeps the
    // bytes): a reader that has taken all it needs from the data frees it
    // early with ReleaseModelLoadData, which also ends the offer to the
    // readers after it.
    char** ownedData;
};

void ReleaseModelLoadData(const ModelLoadParams* params);

// A reader returns a base-data handle, or -1: quickly and silently for a
// file that is not its own, with a log line for a broken one.
using ModelReader = int (*)(const ModelLoadParams* params);

int LoadModelMV1(const ModelLoadParams* params);
int LoadMqoFile(const ModelLoadParams* params);
int LoadXFile(const ModelLoadParams* params);
int LoadPmdFile(const ModelLoadParams* params);
int LoadVmdFile(const ModelLoadParams* params);

// The readers in the order they are tried; count in countOut.
const ModelReader* GetModelReaders(int* countOut);

}  // namespace morpotta
