// The face chunk of an MQO object. Only faces of 3 or 4 corners are kept;
// others are read, checked and dropped without taking UV or colour slots,
// so the slot arrays (4 per face) can never overflow. Faces and UV slots
// start with room for 3 corners when the first face is a triangle, and
// grow to 4 at the first quad. UV slot 0 is (0, 0) for corners without UV.
// A corner without a colour of its own points at its material's slot (one
// per local material, at the front of the colour array). Until the first
// face with COL comes every corner is such a corner, and the faces hold no
// colour numbers (a corner's is its face's material number); that face
// brings room for colours per corner and the colour numbers.
#include <cstring>

#include "engine/log.h"
#include "model/read/mqo_reader.h"

namespace morpotta {

namespace {

constexpr int kSlotsPerFace = 4;


struct FaceSlots {
    float (*uvs)[2];
    float (*colours)[4];
    int uvNext;
    int colourNext;
    int faceCount;
    int cornersPerFace;  // room in the faces and UV slots: 3 or 4
    bool anyUv;
    bool cornerColours;  // the colour array has room for colours per corner
};

float (*UvSlots(ReadModel* model, int faceCount, int cornersPerFace))[2] {
    return AllocReadModelArray<float[2]>(model, size_t(cornersPerFace) * size_t(faceCount) + 1);
}

// Room for quads in the faces and UV slots; false when memory is short.
bool MakeQuadRoom(MqoObject* o, FaceSlots* slots) {
    ReadModel* model = &o->r->model;
    if (ReserveReadModelFaces(model, o->mesh, slots->faceCount, kSlotsPerFace) != 0) return false;
    auto* grown = UvSlots(model, slots->faceCount, kSlotsPerFace);
    if (!grown) return false;
    std::memcpy(grown, slots->uvs, sizeof(float[2]) * size_t(slots->uvNext));
    FreeChainedBlock(&model->chain, slots->uvs);
    slots->uvs = grown;
    slots->cornersPerFace = kSlotsPerFace;
    return true;
}

constexpr int kMaterialColourSlots = kReadMeshMaxMaterials;

// Makes room for colours per corner behind the material slots, and colour
// numbers for the faces (those before face take their materials'); false
// when memory is short.
bool MakeCornerColourRoom(ReadModel* model, ReadModelMesh* mesh, int face, FaceSlots* slots) {
    if (slots->cornerColours) return true;
    if (!AddReadModelFaceArray(model, mesh, READ_FACE_COLOURS)) return false;
    for (int f = 0; f < face; ++f)
        for (int c = 0; c < mesh->faceCorners[f]; ++c) ReadFaceColours(mesh, f)[c] = mesh->faceMaterials[f];
    auto* grown = AllocReadModelArray<float[4]>(model, size_t(kMaterialColourSlots) + size_t(kSlotsPerFace) * size_t(slots->faceCount));
    if (!grown) return false;
    std::memcpy(grown, slots->colours, sizeof(float[4]) * size_t(kMaterialColourSlots));
    FreeChainedBlock(&model->chain, slots->colours);
    slots->colours = grown;
    slots->cornerColours = true;
    return true;
}

// Local material index of a file material (the file count names
// "NoMaterial"); -1 (logged) past the per-mesh limit.
int MapMaterial(MqoObject* o, int fileIndex) {
    int& local = o->localOfFile[size_t(fileIndex)];
    if (local == 0) {
        if (o->localMaterials.size() >= size_t(kReadMeshMaxMaterials))
            return FailMqoObject(o, "MQO Load Error : Object %s チャンクで使われている Material の数が多すぎます");
        ReadModelMaterial* m = fileIndex < o->r->fileMaterialCount ? GetReadModelMaterial(&o->r->model, fileIndex)
                                                                   : o->r->noMaterial;
        o->localMaterials.push_back(m);
        local = int(o->localMaterials.size());
    }
    if (fileIndex < o->r->fileMaterialCount) o->r->materialUsed[size_t(fileIndex)] = 1;
    return local - 1;
}

int ReadMaterialIndex(MqoObject* o, int* local) {
    MqoText* text = &o->r->text;
    if (PeekMqoLine(text) != 'M') return *local = MapMaterial(o, o->r->fileMaterialCount);
    if (!ExpectMqoToken(text, "M") || !ExpectMqoToken(text, "("))
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の M の ( がありません");
    int index = ReadMqoInt(text);
    if (index < 0 || index >= o->r->fileMaterialCount || index >= kMqoMaxFileMaterials)
        return WriteLogFormat("MQO Load Error : Object %s チャンクの face の M の値( %d )が不正です", o->name, index);
    if (!ExpectMqoToken(text, ")")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の M の ) がありません");
    return *local = MapMaterial(o, index);
}

// face: the kept face's number, -1 for a face that is dropped.
int ReadUvs(MqoObject* o, int n, int face, FaceSlots* slots) {
    MqoText* text = &o->r->text;
    int* corners = face >= 0 ? ReadFaceUvs(o->mesh, 0, face) : nullptr;
    if (!PeekMqoLineWord(text, "UV")) {
        for (int c = 0; corners && c < n; ++c) corners[c] = 0;
        return 0;
    }
    if (!ExpectMqoToken(text, "UV") || !ExpectMqoToken(text, "("))
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の UV の ( がありません");
    for (int c = 0; c < n; ++c) {
        float u = ReadMqoFloat(text);
        float v = ReadMqoFloat(text);
        if (!corners) continue;
        int slot = slots->uvNext++;
        slots->anyUv = true;
        slots->uvs[slot][0] = u;
        slots->uvs[slot][1] = v;
        corners[c] = slot;
    }
    if (!ExpectMqoToken(text, ")")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の UV の ) がありません");
    return 0;
}

int ReadColours(MqoObject* o, int n, int face, int local, FaceSlots* slots) {
    MqoText* text = &o->r->text;
    const float* diffuse = o->localMaterials[size_t(local)]->diffuse;
    if (!PeekMqoLineWord(text, "COL")) {
        // Without COL each corner holds its material's diffuse colour.
        if (face < 0) return 0;
        std::memcpy(slots->colours[local], diffuse, sizeof(float) * 4);
        if (int* corners = ReadFaceColours(o->mesh, face))
            for (int c = 0; c < n; ++c) corners[c] = local;
        return 0;
    }
    if (!ExpectMqoToken(text, "COL") || !ExpectMqoToken(text, "("))
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の COL の ( がありません");
    if (face >= 0 && !MakeCornerColourRoom(&o->r->model, o->mesh, face, slots))
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの 頂点カラーを保存するメモリ領域の確保に失敗しました");
    int* corners = face >= 0 ? ReadFaceColours(o->mesh, face) : nullptr;
    for (int c = 0; c < n; ++c) {
        unsigned int packed = 0xFFFFFFFFu;
        ReadMqoColour(text, &packed);
        if (!corners) continue;
        int slot = slots->colourNext++;
        for (int k = 0; k < 4; ++k) slots->colours[slot][k] = float((packed >> (8 * k)) & 0xFF) / 255.0f * diffuse[k];
        corners[c] = slot;
    }
    if (!ExpectMqoToken(text, ")")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の COL の ) がありません");
    return 0;
}

int ReadFace(MqoObject* o, int* kept, FaceSlots* slots) {
    MqoText* text = &o->r->text;
    ReadModelMesh* mesh = o->mesh;
    int n = ReadMqoInt(text);
    bool keep = n == 3 || n == 4;
    if (keep && n > slots->cornersPerFace && !MakeQuadRoom(o, slots))
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの面情報を保存するメモリ領域の確保に失敗しました");
    const int face = keep ? *kept : -1;
    int* positions = keep ? ReadFacePositions(mesh, face) : nullptr;
    if (!ExpectMqoToken(text, "V")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の頂点数の数の後に V がありません");
    if (!ExpectMqoToken(text, "(")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の V の ( がありません");
    for (int c = 0; c < n; ++c) {
        int index = ReadMqoInt(text);
        if (index < 0 || index >= mesh->positionCount)
            return WriteLogFormat("MQO Load Error : Object %s チャンクの face の %d番目の V の頂点インデックスが不正です",
                                  o->name, c);
        if (positions) positions[c] = index;
    }
    if (!ExpectMqoToken(text, ")")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の V の ) がありません");
    int local = -1;
    if (ReadMaterialIndex(o, &local) < 0) return -1;
    if (ReadUvs(o, n, face, slots) != 0) return -1;
    if (ReadColours(o, n, face, local, slots) != 0) return -1;
    if (keep) {
        mesh->faceCorners[face] = uint8_t(n);
        mesh->faceMaterials[face] = local;
        ++*kept;
    }
    return 0;
}

// Faces and materials are final: the mesh takes the object's materials,
// or goes when nothing of it can be seen.
void FinishMesh(MqoObject* o, int kept, const FaceSlots& slots) {
    ReadModelMesh* mesh = o->mesh;
    mesh->faceCount = kept;
    mesh->colourCount = slots.colourNext;
    mesh->colours = slots.colours;
    mesh->uvCount[0] = slots.anyUv ? slots.uvNext : 0;
    mesh->uvs[0] = slots.uvs;
    mesh->materialCount = int(o->localMaterials.size());
    for (int i = 0; i < mesh->materialCount; ++i) mesh->materials[i] = o->localMaterials[size_t(i)];
    bool invisible = mesh->materialCount == 1 && mesh->materials[0]->diffuse[3] == 0.0f;
    if (kept == 0 || invisible) {
        RemoveReadModelMesh(&o->r->model, o->frame, mesh);
        o->mesh = nullptr;
    }
}

// Looks past the chunk's "{" at the first face's corner count; reads
// nothing.
bool FirstFaceIsTriangle(MqoText* text) {
    MqoText peek = *text;
    return ExpectMqoToken(&peek, "{") && ReadMqoInt(&peek) == 3;
}

}  // namespace

int ReadMqoFaces(MqoObject* o) {
    MqoText* text = &o->r->text;
    ReadModel* model = &o->r->model;
    int count = ReadMqoInt(text);
    // A face takes at least "3 V(0 0 0)".
    if (count < 0 || size_t(count) > (text->size - text->position) / 8)
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の数の取得に失敗しました");
    // Positions and one UV channel (colours come with the first COL, the
    // normals with their generation).
    o->mesh->faceArrays = 1u << READ_FACE_POSITIONS | 1u << READ_FACE_UVS;
    FaceSlots slots{};
    slots.faceCount = count;
    slots.cornersPerFace = FirstFaceIsTriangle(text) ? 3 : kSlotsPerFace;
    if (ReserveReadModelFaces(model, o->mesh, count, slots.cornersPerFace) != 0)
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの面情報を保存するメモリ領域の確保に失敗しました");
    slots.uvNext = 1;
    slots.uvs = UvSlots(model, count, slots.cornersPerFace);
    if (!slots.uvs) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの uv座標を保存するメモリ領域の確保に失敗しました");
    slots.colourNext = kMaterialColourSlots;
    slots.colours = AllocReadModelArray<float[4]>(model, size_t(kMaterialColourSlots));
    if (!slots.colours)
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの 頂点カラーを保存するメモリ領域の確保に失敗しました");
    if (!ExpectMqoToken(text, "{")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face 後に { がありません");
    int kept = 0;
    for (int f = 0; f < count; ++f)
        if (ReadFace(o, &kept, &slots) != 0) return -1;
    if (!ExpectMqoToken(text, "}")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの face の終端に } がありません");
    o->facesRead = true;
    FinishMesh(o, kept, slots);
    return 0;
}

}  // namespace morpotta
