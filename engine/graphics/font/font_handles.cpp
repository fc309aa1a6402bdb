// Font handles: a table of 40 fonts, and the default font that the plain
// string functions use, made again when its size or type changes.
#include "engine/font.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "foundation/handle.h"
#include "graphics/font/font_internal.h"
#include "graphics/graphics_internal.h"
#include "platform/lasting_state.h"

#include <cstdio>
#include <new>

using namespace morpotta;

namespace morpotta {

namespace {

struct FontTableModule {
    HandleTable table;
    int defaultSize = kDefaultFontSize;
    int defaultType = 0;
    int defaultFont = -1;
};

FontTableModule& FontTableState() {
    return platform::LastingState<FontTableModule>();
}

bool EnsureFontTable() { return InitHandleTable(&FontTableState().table, HANDLE_KIND_FONT, kFontTableSize, kFontTableSize, 0) == 0; }

void DestroyFont(FontRecord* font) {
    ReleaseFontAtlas(font);
    ReleaseFontMemImg(font);
    CloseFontFace(font);
    font->~FontRecord();
    FreeMemory(font);
}

}  // namespace

FontRecord* LookupFont(int handle) {
    return static_cast<FontRecord*>(LookupHandleEntry(&FontTableState().table, handle));
}

FontRecord* GetFontForCall(int handle) {
    if (!CheckGraphicsRunning()) return nullptr;
    FontRecord* font = LookupFont(handle);
    if (!font) RefuseHandle(handle, HANDLE_KIND_FONT);
    return font;
}

int GetDefaultFontForCall() {
    return CheckGraphicsRunning() ? GetDefaultFontHandle() : -1;
}

}  // namespace morpotta

int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int, int edgeSize, int, int, int) {
    const PublicCall call("CreateFontToHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!CheckGraphicsRunning()) return -1;
    if (!EnsureFontTable()) return Refuse("the font table cannot be made");
    if (size < 0) size = kDefaultFontSize;
    if (size < 1 || size > 256) return Refuse("font size %d, not 1 to 256", size);
    void* memory = ENGINE_ALLOC_ZERO(sizeof(FontRecord));
    if (!memory) return Refuse("out of memory for a font");
    auto* font = new (memory) FontRecord();
    font->size = size;
    font->thickness = thickness < 0 ? 5 : thickness;
    font->fontType = fontType < 0 ? 0 : fontType;
    font->edgeSize = edgeSize < 1 ? kDefaultEdgeSize : edgeSize > 16 ? 16 : edgeSize;
    if (!OpenFontFace(font, face)) {
        DestroyFont(font);
        return -1;
    }
    font->handle = AddHandleEntry(&FontTableState().table, font);
    if (font->handle == -1) {
        DestroyFont(font);
        char full[48];
        std::snprintf(full, sizeof full, "the font table is full (%d fonts)", kFontTableSize);
        return RefuseHandleEntry(&FontTableState().table, "font table", full);
    }
    return font->handle;
}

int DeleteFontHandle(int handle) {
    const PublicCall call("DeleteFontHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    FontRecord* font = GetFontForCall(handle);
    if (!font) return -1;
    RemoveHandleEntry(&FontTableState().table, handle);
    if (handle == FontTableState().defaultFont) FontTableState().defaultFont = -1;
    DestroyFont(font);
    return 0;
}

// The table goes too (shut-down calls this), as the graphs' does, and so
// does the list of installed faces: nothing stays allocated. The check ids
// go on from where they were, so a handle kept from before names none of
// the fonts made after.
int DeleteAllFonts() {
    const PublicCall call("DeleteAllFonts");
    if (!AllowOnlyOnEngineThread()) return -1;
    ForEachHandle(&FontTableState().table, DeleteFontHandle);
    FontTableState().defaultFont = -1;
    TerminateHandleTable(&FontTableState().table);
    ReleaseInstalledFaces();
    return 0;
}

int CountFonts() {
    const PublicCall call("CountFonts");
    if (!AllowOnlyOnEngineThread()) return -1;
    return CountHandleEntries(&FontTableState().table);
}

int SetDefaultFontSize(int size) {
    const PublicCall call("SetDefaultFontSize");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (size != FontTableState().defaultSize && FontTableState().defaultFont != -1) DeleteFontHandle(FontTableState().defaultFont);
    FontTableState().defaultSize = size < 0 ? kDefaultFontSize : size;
    return 0;
}

int SetDefaultFontType(int fontType) {
    const PublicCall call("SetDefaultFontType");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (fontType != FontTableState().defaultType && FontTableState().defaultFont != -1) DeleteFontHandle(FontTableState().defaultFont);
    FontTableState().defaultType = fontType;
    return 0;
}

int GetDefaultFontHandle() {
    const PublicCall call("GetDefaultFontHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!CheckGraphicsRunning()) return -1;
    if (FontTableState().defaultFont == -1 || !LookupFont(FontTableState().defaultFont))
        FontTableState().defaultFont = CreateFontToHandle(nullptr, FontTableState().defaultSize, -1, FontTableState().defaultType, -1, -1, 0, -1, -1);
    return FontTableState().defaultFont;
}

namespace morpotta {

void ReleaseFontTextures() {
    ForEachHandle(&FontTableState().table, [](int handle) {
        if (FontRecord* font = LookupFont(handle)) ReleaseFontAtlas(font);
    });
}

}  // namespace morpotta
