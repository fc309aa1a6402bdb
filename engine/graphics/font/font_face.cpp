// Glyphs through FreeType: the one library instance, a face per font at
// its pixel size, and the coverage of each glyph with its edge form. A face
// a program names is looked up among the installed ones by fontconfig.
#include "engine/font.h"
#include "engine/log.h"
#include "engine/text.h"
#include "foundation/public_call.h"
#include "graphics/font/font_internal.h"
#include "platform/lasting_state.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>

namespace morpotta {

namespace {

constexpr const char* kDefaultFontFamily = "IPAGothic";

struct FontFaceModule {
    FT_Library library = nullptr;
    // The installed faces, read on the first named face and let go with
    // all the fonts (DeleteAllFonts, as at shut-down).
    FcConfig* fontconfig = nullptr;
    // The functions and texts already said not to be code page 932, the
    // latest last.
    std::deque<std::string> saidNotCp932;
    // Where the default face is, looked for on the first text and kept with
    // the list of installed faces; the file is kDefaultFontFile unless a
    // test says otherwise.
    std::string defaultFile = kDefaultFontFile;
    std::string defaultFamily = kDefaultFontFamily;
    bool defaultLookedFor = false;
    bool defaultFound = false;
    std::string defaultFoundFile;
    int defaultFoundIndex = 0;
};

constexpr size_t kSaidNotCp932Max = 64;

FontFaceModule& FontFaceState() {
    return platform::LastingState<FontFaceModule>();
}

bool EnsureLibrary() {
    if (FontFaceState().library) return true;
    if (FT_Init_FreeType(&FontFaceState().library) != 0) {
        FontFaceState().library = nullptr;
        Refuse("FreeType could not be started");
        return false;
    }
    return true;
}

// The file and face index of the installed face whose family is name (code
// page 932), compared as fontconfig compares families: case and blanks
// aside. False when no face of that family is installed: fontconfig's best
// match for a name it does not know is another family, which is no answer.
bool FindInstalledFace(const char* name, std::string* file, int* index) {
    std::string family;
    if (!ConvertCp932ToUtf8(name, &family)) return false;
    if (!FontFaceState().fontconfig) FontFaceState().fontconfig = FcInitLoadConfigAndFonts();
    if (!FontFaceState().fontconfig) {
        WriteLogText("fontconfig could not be started");
        return false;
    }
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(FontFaceState().fontconfig, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(FontFaceState().fontconfig, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    const auto withoutBlanks = [](std::string text) {
        std::erase(text, ' ');
        return text;
    };
    const std::string wanted = withoutBlanks(family);
    bool found = false;
    FcChar8* matched = nullptr;
    for (int i = 0; !found && FcPatternGetString(match, FC_FAMILY, i, &matched) == FcResultMatch; ++i) {
        const std::string candidate = withoutBlanks(reinterpret_cast<const char*>(matched));
        found = FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(candidate.c_str()),
                                   reinterpret_cast<const FcChar8*>(wanted.c_str())) == 0;
    }
    FcChar8* path = nullptr;
    found = found && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
    if (found) {
        *file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
    }
    FcPatternDestroy(match);
    return found;
}

// Whether FreeType reads a face from the file.
bool FaceReadable(const std::string& file, int index) {
    FT_Face face = nullptr;
    if (FT_New_Face(FontFaceState().library, file.c_str(), FT_Long(index), &face) != 0) return false;
    FT_Done_Face(face);
    return true;
}

// The default face: its file, or where fontconfig finds its family when the
// file is missing or unreadable; looked for once, and said once when it
// cannot be had.
bool FindDefaultFace(std::string* file, int* index) {
    FontFaceModule& s = FontFaceState();
    if (!s.defaultLookedFor) {
        s.defaultLookedFor = true;
        s.defaultFoundFile = s.defaultFile;
        s.defaultFoundIndex = 0;
        s.defaultFound = FaceReadable(s.defaultFoundFile, 0) ||
                         (FindInstalledFace(s.defaultFamily.c_str(), &s.defaultFoundFile, &s.defaultFoundIndex) &&
                          FaceReadable(s.defaultFoundFile, s.defaultFoundIndex));
        if (!s.defaultFound)
            WriteLogFormat("No default face can be had: %s cannot be read and no installed face has the family %s; "
                           "text in the default face is not drawn",
                           s.defaultFile.c_str(), s.defaultFamily.c_str());
    }
    *file = s.defaultFoundFile;
    *index = s.defaultFoundIndex;
    return s.defaultFound;
}

// Grows coverage by radius pixels in every direction (a round brush).
void Dilate(const GlyphImage& in, int radius, GlyphImage* out) {
    out->width = in.width + 2 * radius;
    out->height = in.height + 2 * radius;
    out->left = in.left - radius;
    out->top = in.top + radius;
    out->advance = in.advance;
    out->coverage.assign(size_t(out->width) * size_t(out->height), 0);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const uint8_t c = in.coverage[size_t(y) * size_t(in.width) + size_t(x)];
            if (!c) continue;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > radius * radius + radius) continue;
                    uint8_t& o = out->coverage[size_t(y + radius + dy) * size_t(out->width) + size_t(x + radius + dx)];
                    o = std::max(o, c);
                }
        }
}

// The text's first bytes in hexadecimal, as a line can show them.
std::string FirstBytesInHex(const std::string& bytes) {
    std::string hex;
    for (size_t i = 0; i < bytes.size() && i < 16; ++i) {
        char two[4];
        std::snprintf(two, sizeof two, i ? " %02X" : "%02X", unsigned(static_cast<unsigned char>(bytes[i])));
        hex += two;
    }
    return bytes.size() > 16 ? hex + " ..." : hex;
}

void SayNotCp932Once(const std::string& bytes) {
    std::deque<std::string>& said = FontFaceState().saidNotCp932;
    const char* call = CurrentPublicCall();
    const std::string key = std::string(call ? call : "") + '\0' + bytes;
    if (std::find(said.begin(), said.end(), key) != said.end()) return;
    if (said.size() == kSaidNotCp932Max) said.pop_front();
    said.push_back(key);
    Refuse("the text is not in code page 932 (bytes %s); said once for this text", FirstBytesInHex(bytes).c_str());
}

}  // namespace

bool OpenFontFace(FontRecord* font, const char* faceName) {
    if (!EnsureLibrary()) return false;
    std::string file;
    int index = 0;
    const bool named = faceName && *faceName;
    if (named && !FindInstalledFace(faceName, &file, &index))
        WriteLogFormat("The font face \"%s\" is not installed: the default face is used", faceName);
    if (file.empty() && !FindDefaultFace(&file, &index)) return false;  // said once, as the header promises
    FT_Face face = nullptr;
    if (FT_New_Face(FontFaceState().library, file.c_str(), FT_Long(index), &face) != 0) {
        Refuse("the font face \"%s\" cannot be read", file.c_str());
        return false;
    }
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(font->size)) != 0) {
        FT_Done_Face(face);
        Refuse("the font face cannot be set to %d pixels", font->size);
        return false;
    }
    font->face = face;
    font->ascender = int((face->size->metrics.ascender + 63) >> 6);
    font->lineHeight = int((face->size->metrics.height + 63) >> 6);
    return true;
}

void ReleaseInstalledFaces() {
    if (FontFaceState().fontconfig) FcConfigDestroy(FontFaceState().fontconfig);
    FontFaceState().fontconfig = nullptr;
    FontFaceState().defaultLookedFor = false;
}

void SetDefaultFaceForTesting(const char* file, const char* family) {
    FontFaceState().defaultFile = file ? file : kDefaultFontFile;
    FontFaceState().defaultFamily = family ? family : kDefaultFontFamily;
    FontFaceState().defaultLookedFor = false;
}

void CloseFontFace(FontRecord* font) {
    if (font->face) FT_Done_Face(font->face);
    font->face = nullptr;
}

bool RenderGlyph(FontRecord* font, uint32_t codePoint, bool edge, GlyphImage* out) {
    FT_Face face = font->face;
    const bool smooth = (font->fontType & kFontTypeAntialias) != 0;
    if (!face || FT_Load_Char(face, codePoint, smooth ? FT_LOAD_DEFAULT : FT_LOAD_TARGET_MONO) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (font->thickness >= 7 && slot->format == FT_GLYPH_FORMAT_OUTLINE)
        FT_Outline_Embolden(&slot->outline, FT_Pos(font->size * 4));  // 1/16 of the size
    if (FT_Render_Glyph(slot, smooth ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) return false;
    const FT_Bitmap& b = slot->bitmap;
    GlyphImage g;
    g.width = int(b.width);
    g.height = int(b.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = int((slot->advance.x + 32) >> 6);
    g.coverage.resize(size_t(g.width) * size_t(g.height));
    for (int y = 0; y < g.height; ++y) {
        const unsigned char* row = b.buffer + ptrdiff_t(y) * b.pitch;
        for (int x = 0; x < g.width; ++x) {
            const uint8_t c = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0)
                                                                  : row[x];
            g.coverage[size_t(y) * size_t(g.width) + size_t(x)] = c;
        }
    }
    if (edge) Dilate(g, std::max(font->edgeSize, 1), out);
    else *out = std::move(g);
    return true;
}

bool DecodeFontText(const char* text, int length, std::vector<uint32_t>* out) {
    out->clear();
    if (!text) return false;
    std::string bytes = length < 0 ? std::string(text) : std::string(text, strnlen(text, size_t(length)));
    std::u16string wide;
    if (!ConvertCp932ToUtf16(bytes, &wide)) {
        SayNotCp932Once(bytes);
        return false;
    }
    for (char16_t c : wide) out->push_back(c);
    return true;
}

}  // namespace morpotta
