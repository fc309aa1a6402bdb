// State shared by the parts of the MQO reader.
#pragma once
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "model/read/mqo_lexer.h"
#include "model/read/read_model.h"

namespace morpotta {

constexpr int kMqoMaxDepth = 1024;
constexpr int kMqoMaxFileMaterials = 1024;
constexpr int kMqoNameMax = 512;

struct MqoReader {
    MqoText text;
    ReadModel model;
    ReadModelFrame* frameAtDepth[kMqoMaxDepth];
    int fileMaterialCount;           // without "NoMaterial"
    ReadModelMaterial* noMaterial;
    std::vector<uint8_t> materialUsed;  // per file material
};

// What one Object chunk collects while it is read.
struct MqoObject {
    MqoReader* r;
    const char* name;
    ReadModelFrame* frame;
    ReadModelMesh* mesh;  // null once removed
    bool facesRead;
    int mirrorType;
    int mirrorAxis;
    Vector3 scale;
    Vector3 rotation;  // heading, pitch, bank in degrees
    Vector3 translation;
    // File material index -> local index + 1 (0: not named yet).
    std::vector<int> localOfFile;
    std::vector<ReadModelMaterial*> localMaterials;
};

inline bool MqoTokenIs(const char* token, const char* word) { return std::strcmp(token, word) == 0; }
// Logs the format with the object's name in it; -1.
inline int FailMqoObject(const MqoObject* o, const char* format) { return WriteLogFormat(format, o->name); }

// The text just behind the header line pair.
constexpr size_t kMqoBodyStart = 43;

// 0, or -1 with the failure logged; the read model is the caller's to free.
int ReadMqoMaterials(MqoReader* r);
int ReadMqoObjects(MqoReader* r);
// One Object chunk, its name token read already.
int ReadMqoObject(MqoReader* r, const char* name);
// The face chunk of an object, from its count to its closing brace.
int ReadMqoFaces(MqoObject* o);
// Copies an object's mesh for its mirror axes.
int MirrorMqoMesh(MqoReader* r, ReadModelMesh* mesh, int axisBits, const char* name);

}  // namespace morpotta
