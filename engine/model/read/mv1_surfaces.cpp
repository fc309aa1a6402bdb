// Binary model textures and materials. Each texture's image is loaded as
// its record is read, with its file names relative to the model's folder.
#include <cstring>

#include "engine/log.h"
#include "model/convert/convert_copy.h"
#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

constexpr uint32_t kTextureBytes = 0x38;
constexpr uint32_t kMaterialBytes = 0x2CC;
constexpr uint32_t kExtensionBytes = 0x2C;
constexpr int kLayerEntries = 8;

bool ReadTexture(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    uint32_t at = load->textures[size_t(i)];
    ModelBaseTexture& t = load->base->textures[i];
    t.image.graph = -1;
    if (!(t.name = load->Name(image.U32(at + 0x08)))) return false;
    const char* colour = nullptr;
    const char* alpha = nullptr;
    if (image.U32(at + 0x10) && !(colour = load->Name(image.U32(at + 0x10)))) return false;
    if (image.U32(at + 0x14) && !(alpha = load->Name(image.U32(at + 0x14)))) return false;
    t.bumpFlag = t.param = image.U32(at + 0x18);
    t.bumpHeight = t.paramFloat = image.F32(at + 0x1C);
    t.addressU = int(image.U32(at + 0x20));
    t.addressV = int(image.U32(at + 0x24));
    t.filter = int(image.U32(at + 0x28));
    uint32_t flags = image.U32(at + 0x34);
    t.reverse = int(t.flag1 = flags & 1);
    t.bmp32Alpha = int(t.flag2 = (flags >> 1) & 1);
    ++load->base->textureCount;  // from here the image is released with the base
    if (LoadBaseTextureImage(&t, colour, alpha, load->base->folder, nullptr) != 0) {
        WriteLogFormat("MV1 LoadModel Error : テクスチャ %s の読み込みに失敗しました", t.name);
        return false;
    }
    return true;
}

bool ReadLayer(Mv1Load* load, uint32_t at, ModelBaseTextureLayer* layer) {
    const Mv1Image& image = load->image;
    uint32_t count = image.U32(at);
    if (count > kLayerEntries) return load->Fail("a material has too many textures in one layer");
    layer->count = int(count);
    layer->textures = load->Take<int>(count);
    layer->words = load->Take<uint32_t>(count);
    if (!layer->textures || !layer->words) return false;
    for (uint32_t e = 0; e < count; ++e) {
        uint32_t entry = at + 4 + 24 * e;
        layer->textures[e] = int(image.U32(entry));
        layer->words[e] = image.U32(entry + 4);
        if (layer->textures[e] < 0 || layer->textures[e] >= load->base->textureCount)
            return load->Fail("a material names a texture the model does not have");
    }
    return true;
}

bool ReadMaterial(Mv1Load* load, int i) {
    const Mv1Image& image = load->image;
    uint32_t at = load->materials[size_t(i)];
    ModelBaseMaterial& m = load->base->materials[i];
    if (!(m.name = load->Name(image.U32(at + 0x08)))) return false;
    float values[17];
    for (int v = 0; v < 17; ++v) values[v] = image.F32(at + 0x10 + 4 * uint32_t(v));
    std::memcpy(m.diffuse, values, sizeof(m.diffuse));
    std::memcpy(m.ambient, values + 4, sizeof(m.ambient));
    std::memcpy(m.specular, values + 8, sizeof(m.specular));
    std::memcpy(m.emissive, values + 12, sizeof(m.emissive));
    m.power = values[16];
    static const uint32_t kLayers[3] = {0x58, 0x11C, 0x1E0};
    for (int l = 0; l < 3; ++l)
        if (!ReadLayer(load, at + kLayers[l], &m.layers[l])) return false;
    m.flagWord = int(image.U32(at + 0x2A4));
    m.alpha = int(image.U32(at + 0x2A8));
    m.modeWords[6] = image.U32(at + 0x2AC);
    m.outline[0] = image.F32(at + 0x2B0);
    m.outline[1] = image.F32(at + 0x2B4);
    uint32_t extension = image.U32(at + 0x2C8);
    if (extension == 0) {
        m.drawType = 0;
        m.extraTexture1 = m.extraTexture2 = -1;
        m.modeWords[0] = 2;
        m.modeWords[1] = 1;
        m.outlineColour[3] = 1.0f;  // black
        return true;
    }
    if (!image.Has(extension, kExtensionBytes)) return load->Fail("a material's extension lies outside the file");
    m.drawType = int(image.U32(extension));
    m.extraTexture1 = int(image.U32(extension + 0x04));
    m.extraTexture2 = int(image.U32(extension + 0x08));
    m.modeWords[0] = image.U32(extension + 0x0C);
    m.modeWords[1] = image.U32(extension + 0x10);
    m.modeWords[2] = image.U32(extension + 0x14);
    for (int c = 0; c < 4; ++c) m.outlineColour[c] = image.F32(extension + 0x18 + 4 * uint32_t(c));
    m.modeWords[3] = image.U32(extension + 0x28);
    // A negative extra texture names a built-in toon ramp (-1 banded, -2 smooth).
    for (int extra : {m.extraTexture1, m.extraTexture2})
        if (extra >= load->base->textureCount)
            return load->Fail("a material names a texture the model does not have");
    return true;
}

}  // namespace

bool ReadMv1Textures(Mv1Load* load) {
    ModelBase* base = load->base;
    uint32_t textures = load->Header(0x44), materials = load->Header(0x3C);
    if (!load->Walk(load->Header(0x48), textures, kTextureBytes, kMv1NoPosition, &load->textures, "the texture list is broken") ||
        !load->Walk(load->Header(0x40), materials, kMaterialBytes, 0x0C, &load->materials,
                    "the material list is broken"))
        return false;
    base->textures = load->Take<ModelBaseTexture>(textures);
    base->materials = load->Take<ModelBaseMaterial>(materials);
    if (!base->textures || !base->materials) return false;
    base->texturesOwned = 1;
    for (int i = 0; i < int(textures); ++i)
        if (!ReadTexture(load, i)) return false;
    base->materialCount = int(materials);
    for (int i = 0; i < int(materials); ++i)
        if (!ReadMaterial(load, i)) return false;
    return true;
}

}  // namespace morpotta
