// The parts of a read model that pass into base data largely as they
// stand: animations, materials, textures and physics records.
#include <cstring>
#include <string>

#include "engine/log.h"
#include "engine/text.h"
#include "model/convert/convert_copy.h"
#include "model/base/graphics_services.h"

namespace morpotta {

namespace {


bool CopyFloats(ModelBase* base, float** out, const float* in, size_t count) {
    *out = nullptr;
    if (!in || count == 0) return true;
    *out = TakeBaseArray<float>(base, count);
    if (!*out) return false;
    std::memcpy(*out, in, sizeof(float) * count);
    return true;
}

bool IsAbsolute(const std::u16string& p) {
    return (!p.empty() && (p[0] == u'\\' || p[0] == u'/')) || (p.size() > 1 && p[1] == u':');
}

// The texture path in UTF-16, under the folder when it is relative.
bool WidePath(const char* path932, const std::u16string& folder, std::u16string* out) {
    std::u16string wide;
    if (!ConvertCp932ToUtf16(path932, &wide) || wide.size() > 260) return false;
    *out = (!folder.empty() && !IsAbsolute(wide)) ? folder + wide : wide;
    return true;
}

}  // namespace

const char* CopyBaseString(ModelBase* base, const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    auto* copy = TakeBaseArray<char>(base, length + 1);
    if (copy && length) std::memcpy(copy, text, length);
    return copy;
}

bool CopyAnimations(const ReadModel* model, ModelBase* base) {
    base->animSetCount = model->animSets.count;
    base->animSets = TakeBaseArray<ModelBaseAnimSet>(base, size_t(model->animSets.count));
    if (!base->animSets) return false;
    int s = 0;
    for (const ReadModelAnimSet* set = model->animSets.first; set; set = set->next, ++s) {
        ModelBaseAnimSet& out = base->animSets[s];
        out.name = CopyBaseString(base, set->name);
        out.startTime = set->startTime;
        out.endTime = set->endTime;
        out.words[0] = set->words[0];
        out.words[1] = set->words[1];
        out.animCount = set->anims.count;
        out.anims = TakeBaseArray<ModelBaseAnim>(base, size_t(set->anims.count));
        if (!out.name || !out.anims) return false;
        int a = 0;
        for (const ReadModelAnim* anim = set->anims.first; anim; anim = anim->nextInSet, ++a) {
            ModelBaseAnim& ba = out.anims[a];
            ba.frameIndex = anim->frameIndex >= 0 && anim->frameIndex < base->frameCount ? anim->frameIndex : -1;
            ba.value = anim->value;
            ba.word = anim->word;
            ba.keySetCount = anim->keySets.count;
            ba.keySets = TakeBaseArray<ModelBaseAnimKeySet>(base, size_t(anim->keySets.count));
            if (!ba.keySets) return false;
            int k = 0;
            for (const ReadModelAnimKeySet* ks = anim->keySets.first; ks; ks = ks->nextInAnim, ++k) {
                ModelBaseAnimKeySet& bk = ba.keySets[k];
                bk.valueType = ks->valueType;
                bk.keyKind = ks->keyKind;
                bk.explicitTimes = ks->explicitTimes;
                bk.shapeIndex = ks->shapeIndex;
                bk.keyCount = ks->keyCount > 0 ? ks->keyCount : 0;
                bk.totalTime = ks->totalTime;
                bk.startTime = ks->startTime;
                bk.timeStep = ks->timeStep;
                size_t width = size_t(ReadKeyValueBytes(ks->valueType) / 4);
                if (!CopyFloats(base, &bk.values, ks->values, size_t(bk.keyCount) * width)) return false;
                if (ks->explicitTimes && !CopyFloats(base, &bk.times, ks->times, size_t(bk.keyCount))) return false;
                if (bk.keyCount > 0 && (!bk.values || (bk.explicitTimes && !bk.times))) bk.keyCount = 0;
            }
        }
    }
    return true;
}

bool CopyMaterials(const ReadModel* model, ModelBase* base) {
    base->materialCount = model->materials.count;
    base->materials = TakeBaseArray<ModelBaseMaterial>(base, size_t(model->materials.count));
    if (!base->materials) return false;
    int i = 0;
    for (const ReadModelMaterial* m = model->materials.first; m; m = m->next, ++i) {
        ModelBaseMaterial& out = base->materials[i];
        out.name = CopyBaseString(base, m->name);
        if (!out.name) return false;
        out.drawType = m->drawType;
        std::memcpy(out.diffuse, m->diffuse, sizeof(out.diffuse));
        std::memcpy(out.ambient, m->ambient, sizeof(out.ambient));
        std::memcpy(out.specular, m->specular, sizeof(out.specular));
        std::memcpy(out.emissive, m->emissive, sizeof(out.emissive));
        out.power = m->power;
        for (int l = 0; l < 3; ++l) {
            const ReadModelTextureLayer& layer = m->layers[l];
            int count = layer.count < 0 ? 0 : layer.count > kReadMaterialMaxLayerTextures ? kReadMaterialMaxLayerTextures
                                                                                          : layer.count;
            out.layers[l].textures = TakeBaseArray<int>(base, size_t(count));
            out.layers[l].words = TakeBaseArray<uint32_t>(base, size_t(count));
            if (!out.layers[l].textures || !out.layers[l].words) return false;
            for (int t = 0; t < count; ++t) {
                if (!layer.textures[t]) continue;
                out.layers[l].textures[out.layers[l].count] = int(layer.textures[t]->index);
                out.layers[l].words[out.layers[l].count++] = layer.textures[t]->layerWord;
            }
        }
        out.extraTexture1 = m->extraTexture1 ? int(m->extraTexture1->index) : m->extraTextureIndex1;
        out.extraTexture2 = m->extraTexture2 ? int(m->extraTexture2->index) : m->extraTextureIndex2;
        std::memcpy(out.modeWords, m->modeWords, sizeof(out.modeWords));
        // The third and fourth mode words are the outline's width and
        // minimum width.
        std::memcpy(out.outline, &m->modeWords[2], sizeof(out.outline));
        out.flagWord = m->flagWord;
        out.alpha = m->alpha;
        // Read models carry the outline width and minimum width as the bits
        // of mode words 2 and 3, and no outline colour: it is black.
        std::memcpy(out.outline, &m->modeWords[2], sizeof(out.outline));
        out.outlineColour[3] = 1.0f;
    }
    return true;
}

int LoadBaseTextureImage(ModelBaseTexture* texture, const char* colourPath932, const char* alphaPath932,
                         const char* folder932, const ModelTextureFileHook* hook) {
    std::u16string wideFolder, colour, alpha;
    if (folder932 && (!ConvertCp932ToUtf16(folder932, &wideFolder) || wideFolder.size() > 262)) wideFolder.clear();
    if ((colourPath932 && !WidePath(colourPath932, wideFolder, &colour)) ||
        (alphaPath932 && !WidePath(alphaPath932, wideFolder, &alpha)))
        return -1;
    ModelTextureRequest request{};
    request.colourPath = colourPath932 ? colour.c_str() : nullptr;
    request.alphaPath = alphaPath932 ? alpha.c_str() : nullptr;
    request.folder = wideFolder.empty() ? nullptr : wideFolder.c_str();
    request.bumpFlag = texture->bumpFlag;
    request.bumpHeight = texture->bumpHeight;
    request.reverse = texture->reverse;
    request.bmp32Alpha = texture->bmp32Alpha;
    request.hook = hook;
    request.keepNames = 1;
    if (LoadModelTexture(&texture->image, &request, 0) != 0) return -1;
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    if (gfx->GetGraphDimensions) gfx->GetGraphDimensions(texture->image.graph, &texture->width, &texture->height);
    return 0;
}

int CopyTextures(const ReadModel* model, ModelBase* base, const char* folder, const ModelTextureFileHook* hook) {
    base->textureCount = 0;
    base->textures = TakeBaseArray<ModelBaseTexture>(base, size_t(model->textures.count));
    if (!base->textures) return -1;
    base->texturesOwned = 1;
    for (const ReadModelTexture* t = model->textures.first; t; t = t->next) {
        ModelBaseTexture& out = base->textures[base->textureCount];
        out.image.graph = -1;
        out.name = CopyBaseString(base, t->name);
        if (!out.name) return WriteLogFormat("Read Model Convert Error : テクスチャ %s の読み込みに失敗しました", t->name);
        // The reader's two words and two flags are the texture's bump
        // setting, bump height, half-turn and 32-bit BMP alpha flags.
        out.bumpFlag = t->param;
        out.bumpHeight = t->paramFloat;
        out.reverse = int(t->flag1);
        out.bmp32Alpha = int(t->flag2);
        out.addressU = t->addressU;
        out.addressV = t->addressV;
        out.filter = t->filter;
        out.param = t->param;
        out.paramFloat = t->paramFloat;
        out.flag1 = t->flag1;
        out.flag2 = t->flag2;
        ++base->textureCount;  // from here the record is released with the base
        if (LoadBaseTextureImage(&out, t->colourFilePath, t->alphaFilePath, folder, hook) != 0)
            return WriteLogFormat("Read Model Convert Error : テクスチャ %s の読み込みに失敗しました", t->name);
    }
    return 0;
}

bool CopyPhysics(const ReadModel* model, ModelBase* base) {
    base->rigidBodyCount = model->rigidBodies.count;
    base->rigidBodies = TakeBaseArray<ModelBaseRigidBody>(base, size_t(model->rigidBodies.count));
    base->jointCount = model->joints.count;
    base->joints = TakeBaseArray<ModelBaseJoint>(base, size_t(model->joints.count));
    if (!base->rigidBodies || !base->joints) return false;
    int i = 0;
    for (const ReadModelRigidBody* b = model->rigidBodies.first; b; b = b->next, ++i) {
        base->rigidBodies[i].name = CopyBaseString(base, b->name);
        std::memcpy(base->rigidBodies[i].params, b->params, sizeof(b->params));
        if (!base->rigidBodies[i].name) return false;
    }
    i = 0;
    for (const ReadModelJoint* j = model->joints.first; j; j = j->next, ++i) {
        base->joints[i].name = CopyBaseString(base, j->name);
        std::memcpy(base->joints[i].params, j->params, sizeof(j->params));
        if (!base->joints[i].name) return false;
    }
    return true;
}

}  // namespace morpotta
