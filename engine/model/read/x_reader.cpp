// LoadXFile: X model files in text and binary form. The file is parsed
// into a tree of data objects, the tree is turned into a read model, and
// the read model is converted into model base data.
#include <memory>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/convert/convert.h"
#include "model/read/model_readers.h"
#include "model/read/read_model.h"
#include "model/read/x_file.h"

namespace morpotta {

int LoadXFile(const ModelLoadParams* params) {
    if (!params || !params->data || params->size < 16 || CompareByteSpan(params->data, "xof ", 4) != 0) return -1;
    auto model = std::make_unique<ReadModel>();
    InitReadModel(model.get());
    XFileContext context{};
    int result = -1;
    if (!AddXObject(&context, nullptr, X_KIND_FRAME, "XTopFrame"))
        WriteLogText("Load XFile : オブジェクトのメモリ領域の確保に失敗しました");
    else if (ParseXFile(params->data, params->size, &context) == 0) {
        ReleaseModelLoadData(params);  // the tree holds copies of all it needs
        if (BuildReadModelFromXObjects(&context, model.get()) == 0)
            result = ConvertReadModelToModelBase(model.get(), params->folder, params->options);
    }
    FreeReadModel(model.get());
    FreeXObjectTree(&context);
    return result;
}

}  // namespace morpotta
