// Fonts and string drawing: CP932 text drawn through FreeType glyphs kept
// in a cache per font, with an optional edge around each glyph.
#pragma once
#include <cstdint>

constexpr int kFontTableSize = 40;
// Font type bits.
constexpr int kFontTypeEdge = 1;       // an edge of edgeSize pixels around every glyph
constexpr int kFontTypeAntialias = 2;  // smooth coverage instead of on/off pixels
constexpr int kDefaultFontSize = 16;
constexpr int kDefaultEdgeSize = 1;
// The default face: the Japanese gothic face the engine ships with, which
// has glyphs for every character of code page 932. Read from its file, or,
// where that is missing, from wherever fontconfig finds its family
// ("IPAGothic"); where neither is, the first text says so in the log once
// and text in the default face is not drawn.
constexpr const char* kDefaultFontFile = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

// face: the family name of an installed face in code page 932 ("DejaVu
// Sans", as fontconfig lists families; case and blanks aside), found
// through fontconfig; null or "": the default face. A name no installed
// face has gives the default face, and a log line naming the face asked
// for. A named face draws the characters it has glyphs for (a Latin face
// has no kana or kanji). size in pixels (-1: the default size), thickness
// 0..9 (-1: 5; 7 and above are bold), edgeSize -1: 1. The handle, or -1
// (with a log line), also while the engine is not running: a font, like a
// picture, is made between start-up and shut-down, which deletes every
// font.
int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reserved1, int reserved2);
int DeleteFontHandle(int font);  // 0 or -1
int DeleteAllFonts();
int CountFonts();

// The default font used by DrawTextAt, DrawFormattedText and GetStringWidth.
int SetDefaultFontSize(int size);
int SetDefaultFontType(int fontType);
// Made on first use; -1 when the face cannot be read or the engine is not running.
int GetDefaultFontHandle();

// Colours are packed 0xFFrrggbb; the edge colour is used by edged fonts.
int DrawTextAt(int x, int y, const char* text, uint32_t color, uint32_t edgeColor);
int DrawTextWithFont(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor, int vertical);
int DrawFormattedText(int x, int y, uint32_t color, const char* format, ...) __attribute__((format(printf, 4, 5)));
int DrawFormattedTextWithFont(int x, int y, uint32_t color, int font, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// Width in pixels of the first length bytes of text in the default font.
int GetStringWidth(const char* text, int length, int vertical);
int GetStringWidthWithFont(const char* text, int length, int font);

