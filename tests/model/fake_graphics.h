// A headless stand-in for the graphics layer in the model tests. It
// decodes two formats: run-length true-colour TGA (the built-in images) and
// "RAW1" test images (magic, width, height as 32-bit little-endian, then
// ARGB words), keeps graphs as records in a table and counts calls.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "model/base/graphics_services.h"

using namespace morpotta;

struct FakeGraph {
    int width, height;
    bool withAlpha;
    int refills;
};

class FakeGraphics {
public:
    FakeGraphics() {
        Current() = this;
        s_.ReadImageFromMemory = &Read;
        s_.CreateBaseImageWithFormat = [](int w, int h, const PixelFormatDesc* f, BASEIMAGE* out) {
            return Create(w, h, f->alphaWidth > 0, out);
        };
        s_.CreateBaseImageXrgb32 = [](int w, int h, BASEIMAGE* out) { return Create(w, h, false, out); };
        s_.FreeBaseImagePixels = [](BASEIMAGE* image) {
            delete[] static_cast<uint32_t*>(image->pixels);
            std::memset(image, 0, sizeof(*image));
            --Current()->liveImages;
            return 0;
        };
        s_.GetBaseImageAlphaKind = [](const BASEIMAGE* image) {
            if (image->format.alphaWidth == 0) return 0;
            int kind = 1;
            for (int i = 0; i < image->width * image->height; ++i) {
                uint32_t a = static_cast<uint32_t*>(image->pixels)[i] >> 24;
                if (a != 255) kind = (a == 0 && kind < 3) ? 2 : 3;
            }
            return kind;
        };
        s_.GetBaseImagePixel = [](const BASEIMAGE* image, int x, int y, int* r, int* g, int* b, int* a) {
            if (x < 0 || y < 0 || x >= image->width || y >= image->height) return -1;
            uint32_t p = static_cast<uint32_t*>(image->pixels)[y * image->width + x];
            if (r) *r = int(p >> 16 & 0xFF);
            if (g) *g = int(p >> 8 & 0xFF);
            if (b) *b = int(p & 0xFF);
            if (a) *a = int(p >> 24);
            return 0;
        };
        s_.BlitBaseImageScaled = [](const int src[4], const BASEIMAGE* from, const int dst[4], BASEIMAGE* to, int) {
            int sw = src[2] - src[0], sh = src[3] - src[1], dw = dst[2] - dst[0], dh = dst[3] - dst[1];
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x)
                    static_cast<uint32_t*>(to->pixels)[y * to->width + x] =
                        static_cast<uint32_t*>(from->pixels)[(y * sh / dh) * from->width + x * sw / dw];
            return 0;
        };
        s_.RotateBaseImage180 = [](BASEIMAGE* image) {
            auto* p = static_cast<uint32_t*>(image->pixels);
            std::reverse(p, p + image->width * image->height);
            return 0;
        };
        s_.MakeGraphFromBaseImage = [](const BASEIMAGE* colour, const BASEIMAGE* alpha, int) {
            return MakeGraph(colour, alpha);
        };
        s_.MakeTextureGraph = &MakeGraph;
        s_.RefillGraphFromBaseImage = [](const BASEIMAGE* colour, const BASEIMAGE*, int graph) {
            auto it = Current()->graphs.find(graph);
            if (it == Current()->graphs.end() || it->second.width != colour->width) return -1;
            ++it->second.refills;
            return 0;
        };
        s_.RefillGraphFromImageMemory = [](const void*, size_t, int graph, const void*, size_t, int, int) {
            ++Current()->builtinRefills[graph];
            return 0;
        };
        s_.DeleteGraphHandle = [](int graph, int) { return Current()->graphs.erase(graph) ? 0 : -1; };
        s_.GetGraphDimensions = [](int graph, int* w, int* h) {
            auto it = Current()->graphs.find(graph);
            if (it == Current()->graphs.end()) return -1;
            if (w) *w = it->second.width;
            if (h) *h = it->second.height;
            return 0;
        };
        s_.GetDeviceMaxTextureSize = [](int* w, int* h) {
            *w = Current()->maxTexture;
            *h = Current()->maxTexture;
            return 0;
        };
        SetModelGraphicsServices(&s_);
    }
    ~FakeGraphics() {
        SetModelGraphicsServices(nullptr);
        Current() = nullptr;
    }

    static std::string RawImage(int width, int height, uint32_t argb) {
        std::string bytes = "RAW1";
        auto put = [&](uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); };
        put(uint32_t(width));
        put(uint32_t(height));
        for (int i = 0; i < width * height; ++i) put(argb + uint32_t(i % 7));
        return bytes;
    }

    std::map<int, FakeGraph> graphs;
    std::map<int, int> builtinRefills;
    std::vector<uint32_t> lastColour;
    int nextGraph = 100;
    int maxTexture = 4096;
    int liveImages = 0;
    bool failGraphs = false;

private:
    static FakeGraphics*& Current() {
        static FakeGraphics* current = nullptr;
        return current;
    }
    static void Format(bool alpha, PixelFormatDesc* f) {
        std::memset(f, 0, sizeof(*f));
        f->colorBits = 32;
        f->bytesPerPixel = 4;
        f->alphaWidth = alpha ? 8 : 0;
        f->redWidth = f->greenWidth = f->blueWidth = 8;
        f->alphaShift = 24, f->redShift = 16, f->greenShift = 8;
    }
    static int Create(int w, int h, bool alpha, BASEIMAGE* out) {
        std::memset(out, 0, sizeof(*out));
        Format(alpha, &out->format);
        out->width = w;
        out->height = h;
        out->pitch = w * 4;
        out->pixels = new uint32_t[size_t(w) * size_t(h) > 0 ? size_t(w) * size_t(h) : 1]();
        ++Current()->liveImages;
        return 0;
    }
    static uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
    static int MakeGraph(const BASEIMAGE* colour, const BASEIMAGE* alpha) {
        FakeGraphics* g = Current();
        if (g->failGraphs) return -1;
        if (alpha && (alpha->width != colour->width || alpha->height != colour->height)) return -1;
        int handle = g->nextGraph++;
        g->graphs[handle] = FakeGraph{colour->width, colour->height, alpha != nullptr, 0};
        g->lastColour.assign(static_cast<uint32_t*>(colour->pixels),
                             static_cast<uint32_t*>(colour->pixels) + colour->width * colour->height);
        return handle;
    }
    static int Read(const void* data, size_t size, int, BASEIMAGE* out) {
        auto* b = static_cast<const uint8_t*>(data);
        if (size >= 12 && std::memcmp(b, "RAW1", 4) == 0) {
            int w = int(Le32(b + 4)), h = int(Le32(b + 8));
            if (size < 12 + size_t(w) * size_t(h) * 4) return -1;
            Create(w, h, true, out);
            std::memcpy(out->pixels, b + 12, size_t(w) * size_t(h) * 4);
            return 0;
        }
        if (size >= 18 && b[2] == 10) return ReadTga(b, size, out);
        return -1;
    }
    static int ReadTga(const uint8_t* b, size_t size, BASEIMAGE* out) {
        int w = b[12] | b[13] << 8, h = b[14] | b[15] << 8, bytes = b[16] / 8;
        Create(w, h, bytes == 4, out);
        auto* p = static_cast<uint32_t*>(out->pixels);
        size_t at = 18;
        for (int i = 0; i < w * h;) {
            if (at >= size) return -1;
            uint8_t head = b[at++];
            int count = (head & 0x7F) + 1;
            bool run = head & 0x80;
            for (int k = 0; k < count && i < w * h; ++k, ++i) {
                if (at + size_t(bytes) > size) return -1;
                uint32_t v = uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                             (bytes == 4 ? uint32_t(b[at + 3]) << 24 : 0xFF000000u);
                p[i] = v;
                if (!run || k == count - 1) at += size_t(bytes);
            }
        }
        return 0;
    }
    ModelGraphicsServices s_{};
};
