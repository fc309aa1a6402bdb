// Fuzz target for the picture readers: every input goes through the whole
// reader chain from memory, and a picture that is accepted is also read
// pixel by pixel, converted, turned and measured. A few bytes can describe
// a picture of tens of millions of pixels (run-length or arithmetic-coded
// data); such a picture is read, but converted and turned only when small,
// since those passes take the same paths whatever the size and would only
// make the input slow.
#include "engine/baseimage.h"
#include "engine/log.h"

#include <cstddef>
#include <cstdint>

constexpr int64_t kPassPixels = 1 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (SetLogOutput(0), true);
    (void)quiet;
    BASEIMAGE image;
    if (ReadImageToBaseImage(nullptr, data, size, 1, &image, int(size & 1)) != 0) return 0;
    GetBaseImageAlphaKind(&image);
    if (int64_t(image.width) * image.height <= kPassPixels) {
        BASEIMAGE argb;
        if (ConvertBaseImageToArgb32(&image, &argb) == 0) FreeBaseImagePixels(&argb);
        RotateBaseImage180(&image);
    }
    int r, g, b, a;
    GetBaseImagePixel(&image, image.width - 1, image.height - 1, &r, &g, &b, &a);
    FreeBaseImagePixels(&image);
    return 0;
}
