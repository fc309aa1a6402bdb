// Shared by the font files: a font's face, its glyph cache and the atlas
// texture the cached glyphs are drawn from; the device rebuild drops the
// glyph textures (ReleaseFontTextures).
#pragma once
#include "graphics/device/device.h"
#include "softblit/softblit.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

// FreeType's face record, kept opaque outside font_face.cpp.
struct FT_FaceRec_;

namespace morpotta {

// One glyph as coverage bytes 0..255, row-major, no padding.
struct GlyphImage {
    int width = 0, height = 0;
    int left = 0, top = 0;  // from the pen position to the top-left pixel (top upward)
    int advance = 0;        // pen step in pixels
    std::vector<uint8_t> coverage;
};

// A glyph's place in the atlas.
struct CachedGlyph {
    int x, y, width, height;
    int left, top, advance;
};

constexpr int kFontAtlasSide = 512;

struct FontRecord {
    int handle;
    int size, thickness, fontType, edgeSize;
    FT_FaceRec_* face;
    int ascender, lineHeight;
    // Key: code point * 2 + 1 for the edge form.
    std::unordered_map<uint32_t, CachedGlyph> glyphs;
    std::vector<uint32_t> atlasPixels;  // white with coverage as alpha
    int shelfX, shelfY, shelfHeight;
    bool atlasDirty;
    int generation;  // counts the times the cache started over
    DeviceTexture* atlas;
    // The atlas as a software image, for drawing without a device.
    MEMIMG atlasMemImg;
    bool atlasMemImgDirty;
};

// The installed face named faceName (code page 932), or the default face for
// null, "" or a name no installed face has (saying so in the log), at the
// record's size; false when it cannot be read.
bool OpenFontFace(FontRecord* font, const char* faceName);
void CloseFontFace(FontRecord* font);
// Lets go of fontconfig's list of installed faces (read again on the next
// named face) and of where the default face was found (looked for again).
void ReleaseInstalledFaces();
// The default face's file and family (null for either: the engine's own),
// for tests on hosts where it is missing.
void SetDefaultFaceForTesting(const char* file, const char* family);
// The glyph of a code point, its edge form grown by edgeSize pixels when edge is set.
bool RenderGlyph(FontRecord* font, uint32_t codePoint, bool edge, GlyphImage* out);

// The cached glyph, rendered and packed on first use; null when it cannot be
// made. May empty the whole cache when the atlas is full, so pointers from
// an earlier call are stale after it.
const CachedGlyph* FindOrCacheGlyph(FontRecord* font, uint32_t codePoint, bool edge);
// Sends the atlas to its texture when glyphs were added; the texture or null.
DeviceTexture* PrepareFontAtlas(FontRecord* font);
void ReleaseFontAtlas(FontRecord* font);
// The atlas as a software image (white, coverage as alpha), brought up to
// date when glyphs were added; null when it cannot be made.
const MEMIMG* PrepareFontMemImg(FontRecord* font);
void ReleaseFontMemImg(FontRecord* font);
void ForgetFontGlyphs(FontRecord* font);

// CP932 text as code points; false for text that is not CP932, said in a
// line naming the function once for each function and text (a game draws
// the same text every frame), as long as it is among the latest said.
bool DecodeFontText(const char* text, int length, std::vector<uint32_t>* out);

// The font behind a handle, or null.
FontRecord* LookupFont(int handle);
// The font a public call names, or the default font; null (or -1) after a
// line saying why (the engine is not running, the handle names no font, no
// face can be read).
FontRecord* GetFontForCall(int handle);
int GetDefaultFontForCall();

// Drops every cached glyph texture (device loss, shut-down); glyphs are
// made again on their next use.
void ReleaseFontTextures();

}  // namespace morpotta
