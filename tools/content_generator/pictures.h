// The painters of every picture in the manifest.
#pragma once
#include "image.h"
#include "manifest.h"

// Paints the picture a manifest entry names, at its size.
Image PaintPicture(const PictureSpec& spec);
// Pieces shared with the contact sheet and other painters.
Image PaintWorldBackground(int world, int width, int height);
void PaintCatFace(Image& img, float cx, float cy, float size, int kind);
