// The model system's two built-in TGA images, written out by hand in
// run-length coded true colour (image type 10) with the TGA 2.0 footer.
#include <array>

#include "model/base/model_texture.h"

namespace morpotta {

namespace {

constexpr uint8_t kFooter[26] = {0, 0, 0, 0, 0, 0, 0, 0, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O',
                                 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

template <size_t N>
struct Tga {
    std::array<uint8_t, N> bytes{};
    size_t at = 0;
    void Put(uint8_t b) { bytes[at++] = b; }
    void Put16(int v) {
        Put(uint8_t(v & 0xFF));
        Put(uint8_t(v >> 8));
    }
    void Header(int width, int height, int bits, int descriptor) {
        Put(0);   // no id
        Put(0);   // no colour map
        Put(10);  // run-length true colour
        for (int i = 0; i < 5; ++i) Put(0);
        Put16(0);
        Put16(0);
        Put16(width);
        Put16(height);
        Put(uint8_t(bits));
        Put(uint8_t(descriptor));
    }
    void Footer() {
        for (uint8_t b : kFooter) Put(b);
    }
};

// 8 x 8, 32 bits with 8 alpha bits: one run of eight white pixels per row.
Tga<84> MakeWhite() {
    Tga<84> t;
    t.Header(8, 8, 32, 8);
    for (int row = 0; row < 8; ++row) {
        t.Put(0x80 | 7);
        for (int i = 0; i < 4; ++i) t.Put(0xFF);
    }
    t.Footer();
    return t;
}

// 256 x 8, 24 bits: per row four runs of 64 pixels, 0x00, 0x55, 0xAA, 0xFF.
Tga<172> MakeToon() {
    Tga<172> t;
    t.Header(256, 8, 24, 0);
    for (int row = 0; row < 8; ++row)
        for (uint8_t grey : {uint8_t(0x00), uint8_t(0x55), uint8_t(0xAA), uint8_t(0xFF)}) {
            t.Put(0x80 | 63);
            for (int i = 0; i < 3; ++i) t.Put(grey);
        }
    t.Footer();
    return t;
}

const Tga<84> kWhite = MakeWhite();
const Tga<172> kToon = MakeToon();

}  // namespace

const uint8_t* GetModelWhiteTga(size_t* size) {
    if (size) *size = kWhite.bytes.size();
    return kWhite.bytes.data();
}

const uint8_t* GetModelToonTga(size_t* size) {
    if (size) *size = kToon.bytes.size();
    return kToon.bytes.data();
}

}  // namespace morpotta
