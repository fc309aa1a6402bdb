// Textures of the read model: paths are resolved against the current
// directory and the file layer (archives count as existing), and equal
// texture files may share one record.
#include <cstring>

#include "engine/text.h"
#include "foundation/log_internal.h"
#include "model/base/graphics_services.h"
#include "model/read/read_model.h"

namespace morpotta {

namespace {

// A probe: a path that does not open is an answer here, not a fault, and
// is left out of the log.
bool FileOpens(const char* path) {
    InnerAttempt probe;
    const FileAccessTable* files = GetModelFileAccessTable();
    if (!files || !files->open) return false;
    FileHandle file = files->open(path, 0, 1, 0);
    if (!file) return false;
    files->close(file);
    return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The path relative to the current directory when it lies inside it.
void RelativeToCurrent(const char* path, char* out, size_t capacity) {
    char current[kMaxPathBytes] = {};
    const FileAccessTable* files = GetModelFileAccessTable();
    size_t length = 0;
    if (files && files->getDirectory && files->getDirectory(current, sizeof(current)) == 0) {
        length = std::strlen(current);
        while (length > 0 && IsSeparator(current[length - 1])) --length;
    }
    const char* rest = path;
    if (length > 0 && std::strncmp(path, current, length) == 0 && IsSeparator(path[length])) rest = path + length + 1;
    std::strncpy(out, rest, capacity - 1);
    out[capacity - 1] = 0;
}

void ResolveTexturePath(const char* path, char* out, size_t capacity) {
    RelativeToCurrent(path, out, capacity);
    if (FileOpens(out)) return;
    const char* bare = ReadModelFileName(out);
    if (bare != out && FileOpens(bare)) std::memmove(out, bare, std::strlen(bare) + 1);
}

bool SamePath(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

}  // namespace

const char* ReadModelFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (IsMultiByteLeadByte(p)) {
            if (p[1]) ++p;  // a trail byte 0x5C is no separator
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

ReadModelTexture* AddReadModelTexture(ReadModel* model, const char* name, const char* colourPath,
                                      const char* alphaPath, uint32_t param, float paramFloat, int reuse,
                                      int flag1, int flag2) {
    char colour[kMaxPathBytes] = {};
    char alpha[kMaxPathBytes] = {};
    if (colourPath) ResolveTexturePath(colourPath, colour, sizeof(colour));
    if (alphaPath) ResolveTexturePath(alphaPath, alpha, sizeof(alpha));
    const char* c = colourPath ? colour : nullptr;
    const char* a = alphaPath ? alpha : nullptr;
    if (reuse) {
        for (ReadModelTexture* t = model->textures.first; t; t = t->next)
            if (SamePath(t->colourFilePath, c) && SamePath(t->alphaFilePath, a)) return t;
    }
    auto* texture = static_cast<ReadModelTexture*>(AllocChainedMemory(sizeof(ReadModelTexture), &model->chain));
    if (!texture) return nullptr;
    texture->index = uint32_t(model->textures.count);
    texture->prev = model->textures.last;
    if (model->textures.last) model->textures.last->next = texture;
    else model->textures.first = texture;
    model->textures.last = texture;
    ++model->textures.count;
    texture->name = AddReadModelString(model, name ? name : "");
    texture->colourFilePath = c ? AddReadModelString(model, c) : nullptr;
    texture->alphaFilePath = a ? AddReadModelString(model, a) : nullptr;
    if (!texture->name || (c && !texture->colourFilePath) || (a && !texture->alphaFilePath)) return nullptr;
    texture->addressU = texture->addressV = 1;
    texture->filter = 2;
    texture->param = param;
    texture->paramFloat = paramFloat;
    texture->flag1 = flag1 ? 1 : 0;
    texture->flag2 = flag2 ? 1 : 0;
    return texture;
}

}  // namespace morpotta
