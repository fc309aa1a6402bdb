// LoadMqoFile: the MQO text model reader. A material pass reads the
// Material chunk wherever it stands, an object pass reads every Object into
// one frame with one mesh; the read model is then converted.
#include <cstring>
#include <memory>

#include "engine/log.h"
#include "model/convert/convert.h"
#include "model/read/model_readers.h"
#include "model/read/mqo_reader.h"

namespace morpotta {

namespace {

const char kMqoSignature[] = "Metasequoia Document\r\n";
const char kSignatureLineFeedOnly[] = "Metasequoia Document\n";

bool StartsWith(const ModelLoadParams* params, const char* text, size_t length) {
    return params->size >= length && std::memcmp(params->data, text, length) == 0;
}

// Materials no face names keep no textures, so their files are never read;
// the textures left without a user leave the model.
void DropUnusedTextures(MqoReader* r) {
    int index = 0;
    for (ReadModelMaterial* m = r->model.materials.first; m && index < r->fileMaterialCount; m = m->next, ++index) {
        if (r->materialUsed[size_t(index)]) continue;
        for (ReadModelTextureLayer& layer : m->layers) layer.count = 0;
    }
    ReadModelList<ReadModelTexture>& list = r->model.textures;
    ReadModelTexture* t = list.first;
    list = ReadModelList<ReadModelTexture>{};
    while (t) {
        ReadModelTexture* next = t->next;
        bool used = false;
        for (ReadModelMaterial* m = r->model.materials.first; m && !used; m = m->next) {
            for (int l = 0; l < 3 && !used; ++l)
                for (int i = 0; i < m->layers[l].count && !used; ++i) used = m->layers[l].textures[i] == t;
            used = used || m->extraTexture1 == t || m->extraTexture2 == t;
        }
        if (used) {
            t->index = uint32_t(list.count++);
            t->prev = list.last;
            t->next = nullptr;
            if (list.last) list.last->next = t;
            else list.first = t;
            list.last = t;
        }
        t = next;
    }
}

int ConvertMqoModel(MqoReader* r, const ModelLoadParams* params) {
    DropUnusedTextures(r);
    return ConvertReadModelToModelBase(&r->model, params->folder, params->options);
}

}  // namespace

int LoadMqoFile(const ModelLoadParams* params) {
    if (!params || !params->data) return -1;
    // An MQO file whose lines end in LF alone is refused like any other file
    // that is not the reader's, but no other reader takes it either: the
    // load would fail without a word.
    if (StartsWith(params, kSignatureLineFeedOnly, sizeof(kSignatureLineFeedOnly) - 1))
        return WriteLogText("MQO Load Error : 行末が LF だけです (CR LF で保存してください)");
    if (!StartsWith(params, kMqoSignature, sizeof(kMqoSignature) - 1)) return -1;
    auto r = std::make_unique<MqoReader>();
    r->text.data = params->data;
    r->text.size = params->size;
    InitReadModel(&r->model);
    r->model.useFrameSmoothingAngles = 1;
    int result = -1;
    if (ReadMqoMaterials(r.get()) == 0 && ReadMqoObjects(r.get()) == 0) {
        // Everything the conversion needs is in the read model now.
        r->text = MqoText{};
        ReleaseModelLoadData(params);
        result = ConvertMqoModel(r.get(), params);
    }
    FreeReadModel(&r->model);
    return result;
}

}  // namespace morpotta
