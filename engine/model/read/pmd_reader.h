// State shared by the parts of the PMD model reader, for one load.
#pragma once
#include <vector>

#include "model/read/model_readers.h"
#include "model/read/pmd_bones.h"
#include "model/read/pmd_file.h"
#include "model/read/read_model.h"

namespace morpotta {

// Physics modes of the model system: what a PMD load does with the rigid
// bodies and joints of the file.
enum PmdPhysicsMode {
    PMD_PHYSICS_BAKE = 0,      // baked into the motions (the default)
    PMD_PHYSICS_NONE = 1,      // not read
    PMD_PHYSICS_REALTIME = 2,  // kept in the model for simulation
};

struct PmdLoad {
    const ModelLoadParams* params;
    int physicsMode;
    PmdFile file;
    ReadModel model;
    ReadModelFrame* meshFrame;
    ReadModelMesh* mesh;
    PmdSkeleton skeleton;  // bones and order from the tracked allocator
    PmdIkEntry* iks;       // likewise, with their link tables
    PmdBone** ikLinks;
    std::vector<int> skinBone;  // the file bone of each skin weight of the mesh
    PmdPhysicsBake physics;     // bodies and joints from the tracked allocator
    bool physicsRead;
};

// The read model of a PMD file whose signature and version were checked:
// params and physicsMode set, the model initialised. 0, or -1 (logged);
// the caller frees the model and the load whatever the result.
int ReadPmdModel(PmdLoad* load);

// The steps of a load, in order; each 0, or -1 with its failure logged.
int BuildPmdFrames(PmdLoad* load);
int BuildPmdMesh(PmdLoad* load);
int BuildPmdIkList(PmdLoad* load);
int ReadPmdPhysics(PmdLoad* load);
int BuildPmdMaterials(PmdLoad* load);
int BuildPmdMorphs(PmdLoad* load);
// Reads the motions beside the model; the search ends quietly.
void ReadPmdMotions(PmdLoad* load);
// What a failure of each array of a PMD mesh logs (behind the prefix).
struct PmdMeshMessages {
    const char* faces;
    const char* positions;
    const char* normals;
    const char* uvs;
};
// Faces of three corners and the per-vertex arrays (position, edge flag,
// normal, UV) of a mesh; 0, or -1 with the failing array's message logged.
int ReservePmdMeshArrays(ReadModel* model, ReadModelMesh* mesh, uint32_t faces, uint32_t vertices,
                         const PmdMeshMessages& messages);
// The weight a vertex gives a bone of the file; negative for a bone it
// does not name.
float PmdVertexWeight(const PmdFile& file, uint32_t vertex, int bone);
// Frees what the load keeps outside the read model.
void FreePmdLoad(PmdLoad* load);

}  // namespace morpotta
