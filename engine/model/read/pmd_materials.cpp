// PMD materials: toon-shaded (draw type 2) with a toon ramp texture each,
// an outline when the edge flag is set, and the faces they cover, taken in
// file order.
#include <cstring>

#include "engine/log.h"
#include "engine/text.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

constexpr float kPmdTextureParamFloat = 0.1f;
constexpr int kClampAddress = 3;
constexpr float kOutlineWidth = 0.01f;
constexpr float kOutlineMinWidth = 1.1f;

uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// A file name up to its "*" (what follows names a sphere map).
void CutAtStar(char* name) {
    char* star = const_cast<char*>(FindCharInText(name, '*'));
    if (star) *star = 0;
}

// The toon ramp of a material: the file's name for its index; without the
// name block, the usual file name of that index.
void ToonName(const PmdFile& file, uint8_t toon, char* out, size_t capacity) {
    if (toon == kPmdNoToon) {
        FormatString(out, capacity, "toon0.bmp");
    } else if (file.toonNames) {
        CopyPmdName(out, file.toonNames + toon * kPmdToonNameBytes, kPmdToonNameBytes);
        CutAtStar(out);
    } else {
        FormatString(out, capacity, "toon%02d.bmp", toon + 1);
    }
}

int AddToon(PmdLoad* load, ReadModelMaterial* material, uint8_t toon, int number) {
    char name[kPmdToonNameBytes + 1];
    ToonName(load->file, toon, name, sizeof(name));
    ReadModelTexture* texture =
        AddReadModelTexture(&load->model, name, name, nullptr, 0, kPmdTextureParamFloat, 1, 1, 1);
    if (!texture)
        return WriteLogFormat("PMD Load Error : No.%d の トゥーン用テクスチャオブジェクトの作成に失敗しました", number);
    texture->addressU = texture->addressV = kClampAddress;
    material->extraTexture1 = texture;
    material->extraTextureIndex2 = -1;
    material->modeWords[0] = 2;
    material->modeWords[1] = 1;
    return 0;
}

int AddDiffuseTexture(PmdLoad* load, ReadModelMaterial* material, const unsigned char* field, int number) {
    char name[kPmdNameBytes + 1];
    CopyPmdName(name, field, kPmdNameBytes);
    CutAtStar(name);
    if (name[0] == 0) return 0;
    ReadModelTexture* texture =
        AddReadModelTexture(&load->model, name, name, nullptr, 0, kPmdTextureParamFloat, 1, 0, 1);
    if (!texture) return WriteLogFormat("PMD Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました", number);
    material->layers[0].textures[0] = texture;
    material->layers[0].count = 1;
    return 0;
}

void ReadMaterialColours(ReadModelMaterial* m, const unsigned char* record) {
    for (int c = 0; c < 4; ++c) m->diffuse[c] = PmdF32(record + 4 * c);
    m->power = PmdF32(record + 16);
    for (int c = 0; c < 3; ++c) {
        m->specular[c] = PmdF32(record + 20 + 4 * c);
        m->ambient[c] = PmdF32(record + 32 + 4 * c);
    }
    m->specular[3] = m->ambient[3] = 0.0f;
}

}  // namespace

int BuildPmdMaterials(PmdLoad* load) {
    const PmdFile& file = load->file;
    ReadModelMesh* mesh = load->mesh;
    uint32_t nextFace = 0;
    for (uint32_t i = 0; i < file.materialCount; ++i) {
        const unsigned char* record = file.materials + i * kPmdMaterialBytes;
        const int number = int(i);
        char name[32];
        FormatString(name, sizeof(name), "Mat_%d", number);
        ReadModelMaterial* material = AddReadModelMaterial(&load->model, name);
        if (!material) return WriteLogFormat("PMD Load Error : No.%d の Material オブジェクトの追加に失敗しました", number);
        material->drawType = 2;
        ReadMaterialColours(material, record);
        if (AddToon(load, material, record[44], number) != 0) return -1;
        if (record[45]) {
            material->modeWords[2] = FloatBits(kOutlineWidth);
            material->modeWords[3] = FloatBits(kOutlineMinWidth);
        }
        const uint32_t indices = PmdU32(record + 46);
        if (indices > 0) {
            // The file was checked: these faces exist.
            const uint32_t faces = (indices - 1) / 3 + 1;
            const int local = mesh->materialCount;
            mesh->materials[mesh->materialCount++] = material;
            for (uint32_t f = 0; f < faces; ++f) mesh->faceMaterials[nextFace + f] = local;
            nextFace += faces;
        }
        if (AddDiffuseTexture(load, material, record + 50, number) != 0) return -1;
    }
    return 0;
}

}  // namespace morpotta
