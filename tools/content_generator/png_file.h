// PNG files through libpng: writing 8-bit RGBA, and a full decode for the
// checker (which also tells a truncated or corrupt file).
#pragma once
#include "image.h"

#include <string>
#include <vector>

std::vector<uint8_t> EncodePng(const Image& image);
// Decodes the whole file; false with a reason on any damage.
bool DecodePng(const std::vector<uint8_t>& bytes, Image* out, std::string* error);
