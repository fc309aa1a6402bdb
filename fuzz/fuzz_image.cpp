// Fuzz target for the picture readers: every input goes through the whole
// reader chain from memory, and a picture that is accepted is also read
// pixel by pixel, converted, turned and measured.
#include "engine/baseimage.h"
#include "engine/log.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (SetLogOutput(0), true);
    (void)quiet;
    BASEIMAGE image;
    if (ReadImageToBaseImage(nullptr, data, size, 1, &image, int(size & 1)) != 0) return 0;
    GetBaseImageAlphaKind(&image);
    BASEIMAGE argb;
    if (ConvertBaseImageToArgb32(&image, &argb) == 0) FreeBaseImagePixels(&argb);
    RotateBaseImage180(&image);
    int r, g, b, a;
    GetBaseImagePixel(&image, image.width - 1, image.height - 1, &r, &g, &b, &a);
    FreeBaseImagePixels(&image);
    return 0;
}
