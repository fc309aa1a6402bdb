// The object tree of an X file. A reference (an object's name in braces)
// is a child of its own kind, so children and references keep their order.
// Objects, names and data arrays come from the context's memory chain
// (small ones carved out of shared blocks): the tree is freed in one call.
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "engine/text.h"
#include "model/read/x_file.h"

namespace morpotta {

namespace {

constexpr size_t kArenaBlock = 16384;
constexpr size_t kArenaLargest = 1024;  // bigger requests get a block of their own

const char* const kTemplateNames[X_KIND_COUNT] = {
    nullptr, nullptr, "Coords2d", "Matrix4x4", "ColorRGBA", "ColorRGB", "Material", "TextureFilename",
    "MeshFace", "MeshTextureCoords", "MeshNormals", "MeshMaterialList", "IndexedColor", "MeshVertexColors",
    "Mesh", "FrameTransformMatrix", "Frame", "FloatKeys", "TimedFloatKeys", "AnimationKey", "AnimationOption",
    "Animation", "AnimationSet", "XSkinMeshHeader", "SkinWeights", nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

// Name lookups of the build pass: per kind, the first object of each name
// in file order. Built on first use.
struct XNameIndex {
    std::unordered_map<std::string_view, XObject*> byKind[X_KIND_COUNT];
};

namespace {

XNameIndex& IndexOf(XFileContext* context) {
    if (context->names) return *context->names;
    context->names = new XNameIndex;
    for (XObject* o = context->first; o; o = o->nextInFile)
        if (o->kind > 0 && o->kind < X_KIND_COUNT && o->name[0]) context->names->byKind[o->kind].emplace(o->name, o);
    return *context->names;
}

}  // namespace

int FindXTemplate(const char* name) {
    for (int kind = 0; kind < X_KIND_COUNT; ++kind)
        if (kTemplateNames[kind] && CompareTextIgnoreCase(kTemplateNames[kind], name) == 0) return kind;
    return X_KIND_NONE;
}

const char* XTemplateName(int kind) {
    return kind >= 0 && kind < X_KIND_COUNT && kTemplateNames[kind] ? kTemplateNames[kind] : "";
}

void* AllocXMemory(XFileContext* context, size_t size) {
    size = (size + 15) & ~size_t(15);
    if (size > kArenaLargest) return AllocChainedMemory(size, &context->chain);
    if (size > context->arenaLeft) {
        auto* block = static_cast<unsigned char*>(AllocChainedMemory(kArenaBlock, &context->chain));
        if (!block) return nullptr;
        context->arena = block;
        context->arenaLeft = kArenaBlock;
    }
    void* p = context->arena;
    context->arena += size;
    context->arenaLeft -= size;
    return p;
}

const char* CopyXString(XFileContext* context, const char* text) {
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(AllocXMemory(context, length + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length + 1);
    context->stringBytes += uint32_t((length + 4) & ~size_t(3));
    return copy;
}

XObject* AddXObject(XFileContext* context, XObject* parent, int kind, const char* name) {
    auto* o = static_cast<XObject*>(AllocXMemory(context, sizeof(XObject)));
    if (!o) return nullptr;
    o->kind = kind;
    o->number = -1;
    o->name = CopyXString(context, name ? name : "");
    if (!o->name) return nullptr;
    o->parent = parent;
    if (parent) {
        if (parent->lastChild) parent->lastChild->nextSibling = o;
        else parent->firstChild = o;
        parent->lastChild = o;
    }
    if (context->last) context->last->nextInFile = o;
    else context->first = o;
    context->last = o;
    switch (kind) {
    case X_KIND_FRAME: ++context->frameCount; break;
    case X_KIND_MESH: ++context->meshCount; break;
    case X_KIND_MATERIAL: ++context->materialCount; break;
    case X_KIND_SKIN_WEIGHTS: ++context->skinWeightsCount; break;
    default: break;
    }
    return o;
}

int AddXReference(XFileContext* context, XObject* object, const char* name) {
    return AddXObject(context, object, X_KIND_REFERENCE, name) ? 0 : -1;
}

XObject* FindXObjectByName(XFileContext* context, int kind, const char* name) {
    if (kind <= 0 || kind >= X_KIND_COUNT || !name || !name[0]) return nullptr;
    const auto& byName = IndexOf(context).byKind[kind];
    auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second;
}

namespace {

// The object a child stands for: itself, or the object its reference names.
XObject* Resolve(XFileContext* context, XObject* child, int kind) {
    if (child->kind == X_KIND_REFERENCE) return FindXObjectByName(context, kind, child->name);
    return child->kind == kind ? child : nullptr;
}

}  // namespace

XObject* FindXChildObject(XFileContext* context, const XObject* object, int kind) {
    for (XObject* c = object->firstChild; c; c = c->nextSibling)
        if (XObject* o = Resolve(context, c, kind)) return o;
    return nullptr;
}

int ListXChildObjects(XFileContext* context, const XObject* object, int kind, XObject** out, int capacity) {
    int found = 0;
    for (XObject* c = object->firstChild; c; c = c->nextSibling) {
        XObject* o = Resolve(context, c, kind);
        if (!o) continue;
        if (found < capacity) out[found] = o;
        ++found;
    }
    return found;
}

void FreeXObjectTree(XFileContext* context) {
    delete context->names;
    context->names = nullptr;
    FreeMemoryChain(&context->chain);
    context->first = context->last = nullptr;
    context->arena = nullptr;
    context->arenaLeft = 0;
}

}  // namespace morpotta
