// Raw BGRA reader. The engine's own uncompressed picture: the four bytes
// "BGRA", width and height as little-endian 32-bit numbers, then
// width x height pixels of blue, green, red and alpha bytes, top row first.
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "foundation/public_call.h"

using namespace morpotta;

int ReadRawBgraImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadRawBgraImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char h[12];
    if (!ReadImageBytes(s, h, sizeof h) || std::memcmp(h, "BGRA", 4) != 0) return DeclineImage("raw BGRA");
    int64_t width = ImageU32(h + 4), height = ImageU32(h + 8);
    if (!ImageSizeAcceptable(width, height)) return Refuse("Raw BGRA: picture size out of range");
    int64_t remaining = RemainingImageBytes(s);
    if (remaining >= 0 && remaining < width * height * 4) return Refuse("Raw BGRA: truncated pixels");
    PixelFormatDesc format;
    SetPixelFormatArgb32(&format);
    if (CreateBaseImageWithFormat(int(width), int(height), &format, image) != 0) return -1;
    for (int y = 0; y < int(height); ++y)
        if (!ReadImageBytes(s, ImageRow(image, y), size_t(width) * 4)) {
            FreeBaseImagePixels(image);
            return Refuse("Raw BGRA: truncated pixels");
        }
    return 0;
}
