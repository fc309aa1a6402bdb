// A PMD model drawn through the engine's public functions on the GL device
// off screen: a body of two toon materials (warm and cool shadows from
// their own toon ramps) and a textured head on a second bone with a morph,
// saved as PNG under the build tree for a look.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/engine.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "pmd_samples.h"
#include "engine_temp_folder_fixture.h"
#include "pixel_channels.h"
#include "test_pictures.h"

namespace {

constexpr uint32_t kBackground = 0xFF8898A8u;

// A 24-bit BMP of width x height from a colour function (x, y from the top).
template <typename Colour>
void WriteBmp(const std::filesystem::path& path, int width, int height, Colour colour) {
    const int row = (width * 3 + 3) & ~3;
    PmdBytes b;
    b.bytes = "BM";
    b.U32(uint32_t(54 + row * height)), b.U32(0), b.U32(54);
    b.U32(40), b.U32(uint32_t(width)), b.U32(uint32_t(height)), b.U16(1), b.U16(24), b.U32(0);
    b.U32(uint32_t(row * height)), b.U32(2835), b.U32(2835), b.U32(0), b.U32(0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            b.U8(uint8_t(c)), b.U8(uint8_t(c >> 8)), b.U8(uint8_t(c >> 16));
        }
        b.Zeros(size_t(row - width * 3));
    }
    std::ofstream(path, std::ios::binary) << b.bytes;
}

// A two-band toon ramp: lit rows white, the lower rows the shadow colour.
void WriteToon(const std::filesystem::path& path, uint32_t shadow) {
    WriteBmp(path, 32, 32, [shadow](int, int y) { return y < 16 ? 0xFFFFFFu : shadow; });
}

// A sphere of one bone, split at its equator between two materials (or
// one): faces of the upper half first. Front faces wind clockwise as the
// device culls.
struct Sphere {
    float centre[3];
    float radius;
    uint16_t bone;
    int rings = 12, segments = 24;
};

void AddSphere(PmdDocument* d, const Sphere& s, std::vector<uint16_t>* upper, std::vector<uint16_t>* lower) {
    const uint16_t first = uint16_t(d->vertices.size());
    for (int r = 0; r <= s.rings; ++r)
        for (int g = 0; g <= s.segments; ++g) {
            float theta = std::numbers::pi_v<float> * float(r) / float(s.rings);
            float phi = 2 * std::numbers::pi_v<float> * float(g) / float(s.segments);
            float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            PmdVertexSpec v = PmdVertex(s.centre[0] + s.radius * n[0], s.centre[1] + s.radius * n[1],
                                        s.centre[2] + s.radius * n[2], s.bone, s.bone, 100, 0);  // edged
            std::copy(n, n + 3, v.normal);
            v.uv[0] = float(g) / float(s.segments) * 4;
            v.uv[1] = float(r) / float(s.rings) * 2;
            d->vertices.push_back(v);
        }
    auto at = [&](int r, int g) { return uint16_t(first + r * (s.segments + 1) + g); };
    auto clockwise = [&](uint16_t a, uint16_t b, uint16_t c, std::vector<uint16_t>* out) {
        const float* pa = d->vertices[a].position;
        const float* pb = d->vertices[b].position;
        const float* pc = d->vertices[c].position;
        float u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]}, w[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        float cross[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        float out_[3] = {pa[0] - s.centre[0], pa[1] - s.centre[1], pa[2] - s.centre[2]};
        if (cross[0] * out_[0] + cross[1] * out_[1] + cross[2] * out_[2] < 0) std::swap(b, c);
        out->insert(out->end(), {a, b, c});
    };
    for (int r = 0; r < s.rings; ++r)
        for (int g = 0; g < s.segments; ++g) {
            std::vector<uint16_t>* out = r < s.rings / 2 ? upper : lower;
            if (r > 0) clockwise(at(r, g), at(r, g + 1), at(r + 1, g), out);
            if (r + 1 < s.rings) clockwise(at(r, g + 1), at(r + 1, g + 1), at(r + 1, g), out);
        }
}

PmdMaterialSpec ToonMaterial(uint8_t toon, uint32_t indices, const char* texture = "") {
    PmdMaterialSpec m;
    m.toon = toon, m.edge = 1, m.indexCount = indices, m.texture = texture;
    m.ambient[0] = m.ambient[1] = m.ambient[2] = 0.3f;
    return m;
}

PmdDocument ToonFigure() {
    PmdDocument d;
    d.bones = {PmdBoneAt("センター", 0xFFFF, 0, 7, 0), PmdBoneAt("頭", 0, 0, 11, 0)};
    std::vector<uint16_t> upper, lower, head, unused;
    AddSphere(&d, Sphere{{0, 7, 0}, 4, 0}, &upper, &lower);
    const uint16_t headFirst = uint16_t(d.vertices.size());
    AddSphere(&d, Sphere{{0, 13.5f, 0}, 2.8f, 1}, &head, &head);
    d.indices = upper;
    d.indices.insert(d.indices.end(), lower.begin(), lower.end());
    d.indices.insert(d.indices.end(), head.begin(), head.end());
    d.materials = {ToonMaterial(0, uint32_t(upper.size())), ToonMaterial(1, uint32_t(lower.size())),
                   ToonMaterial(2, uint32_t(head.size()), "face.bmp*face.sph"), ToonMaterial(0, 0)};
    // The head's top two rings morph upwards.
    PmdMorphSpec base, up;
    base.name = "base";
    up.name = "上";
    for (uint32_t i = 0; i < 2 * 25; ++i) {
        const PmdVertexSpec& v = d.vertices[headFirst + i];
        base.vertices.push_back({headFirst + i, {v.position[0], v.position[1], v.position[2]}});
        up.vertices.push_back({i, {0, 1, 0}});
    }
    d.morphs = {base, up};
    d.toonNames = true;
    d.toon[0] = "toon_warm.bmp";
    d.toon[1] = "toon_cool.bmp";
    d.toon[2] = "toon_skin.bmp";
    return d;
}

uint32_t At(const std::vector<uint32_t>& pixels, const Vector3& screen) {
    int x = int(screen.x), y = int(screen.y);
    return pixels[size_t(y) * 640 + size_t(x)];
}

// The engine started on GL in a folder of its own.
using PmdDrawGl = EngineInTempFolderTest;

TEST_F(PmdDrawGl, ToonFigureDrawsWithItsOwnToonRamps) {
    WriteToon(dir.path() / "toon_warm.bmp", 0xC05040);
    WriteToon(dir.path() / "toon_cool.bmp", 0x4060C0);
    WriteToon(dir.path() / "toon_skin.bmp", 0xD0A080);
    WriteBmp(dir.path() / "face.bmp", 16, 16, [](int x, int y) { return (x / 4 + y / 4) % 2 ? 0xFFE0C0u : 0x80C060u; });
    std::ofstream(dir.path() / "model.pmd", std::ios::binary) << WritePmd(ToonFigure());

    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(HardwareRenderingActive(), 1);

    const int model = LoadModelFile("model.pmd");
    ASSERT_GE(model, 0);
    EXPECT_EQ(GetModelMaterialCount(model), 4);
    EXPECT_EQ(GetModelMaterialType(model, 0), 2);
    const float eye[3] = {0, 10, -22}, target[3] = {0, 9.5f, 0}, up[3] = {0, 1, 0};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
    SetDefaultLightDirection(1.0f, -0.4f, 0.6f);  // from the upper left, in front
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, kBackground, 1), 0);  // so that the black outline shows
    ASSERT_EQ(DrawModel(model), 0);
    std::vector<uint32_t> pixels(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
    EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath("pmd_toon_figure.png").c_str()), 0);

    // Lit sides are light; the shadow sides take each ramp's own colour.
    const float litUpper[3] = {-2.5f, 9, -2.5f}, shadeUpper[3] = {3.2f, 8, -1.5f};
    const float shadeLower[3] = {3.2f, 5.5f, -1.5f}, shadeHead[3] = {2.2f, 13.5f, -1.5f};
    const uint32_t lit = At(pixels, WorldToScreenPos(litUpper));
    const uint32_t warm = At(pixels, WorldToScreenPos(shadeUpper));
    const uint32_t cool = At(pixels, WorldToScreenPos(shadeLower));
    const uint32_t skin = At(pixels, WorldToScreenPos(shadeHead));
    EXPECT_GT(R(lit) + G(lit) + B(lit), R(warm) + G(warm) + B(warm)) << std::hex << lit << " " << warm;
    EXPECT_GT(R(warm), B(warm) + 40) << std::hex << warm;
    EXPECT_GT(B(cool), R(cool) + 40) << std::hex << cool;
    EXPECT_GT(R(skin) + G(skin), 2 * B(skin)) << std::hex << skin;
    // The figure covers a good part of the frame, inside its black outline.
    int covered = 0, outline = 0;
    for (uint32_t p : pixels) {
        covered += (p & 0xFFFFFF) != (kBackground & 0xFFFFFF);
        outline += (p & 0xFFFFFF) == 0;
    }
    EXPECT_GT(covered, 640 * 480 / 12);
    EXPECT_GT(outline, 300);

    DeleteModel(model);
}

}  // namespace
