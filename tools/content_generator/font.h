// Captions through FreeType in the IPA Gothic font (Japanese glyphs).
#pragma once
#include "image.h"

#include <string>

// Opens the font once; false (with a message) when it cannot be loaded.
bool OpenCaptionFont(const std::string& path);
void CloseCaptionFont();

struct TextStyle {
    int pixelSize = 24;
    Rgba color = MakeRgba(255, 255, 255);
    Rgba colorBottom = MakeRgba(0, 0, 0, 0);  // alpha 0: solid colour; else a top-to-bottom gradient
    float outline = 0;  // outline radius in pixels, 0 none
    Rgba outlineColor = MakeRgba(0, 0, 0);
    float shadow = 0;  // drop-shadow offset, 0 none
};

// Width of a UTF-8 text in pixels at the style's size.
int MeasureText(const std::string& utf8, const TextStyle& style);
// Draws with the baseline at y; returns the advance.
int DrawText(Image& img, float x, float baseline, const std::string& utf8, const TextStyle& style);
// Centred horizontally on cx, vertically on cy (by the font's cap height).
void DrawTextCentred(Image& img, float cx, float cy, const std::string& utf8, const TextStyle& style);
// The largest pixel size (at most style.pixelSize) at which the text fits.
int FitTextSize(const std::string& utf8, TextStyle style, int maxWidth);

// Widths of text as the engine measures it for one of its fonts (the sum of
// the glyph advances at the pixel size, each rounded to a whole pixel), for
// checks of what the game will draw. Holds a face of its own: the caption
// font need not be open.
class EngineTextWidths {
public:
    EngineTextWidths(const std::string& fontPath, int pixelSize);
    ~EngineTextWidths();
    EngineTextWidths(const EngineTextWidths&) = delete;
    EngineTextWidths& operator=(const EngineTextWidths&) = delete;
    bool ok() const { return face_ != nullptr; }
    // The width in pixels of UTF-8 text; 0 when the face could not be read.
    int Measure(const std::string& utf8) const;

private:
    int pixelSize_;
    void* library_ = nullptr;  // FreeType's records, kept out of this header
    void* face_ = nullptr;
};
