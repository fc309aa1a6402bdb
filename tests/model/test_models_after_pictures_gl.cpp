// A model drawn, then pictures drawn from memory (a 2-D box, a picture, a
// billboard), then the same model elsewhere, through the engine's public
// functions on the GL device off screen: both copies must show, on the
// road through the shaders and on the fixed-function road. A transparent
// billboard in front of a model drawn after it hides the model only where
// its texels are opaque. Frames are saved under the build tree for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/engine.h"
#include "engine/graph.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "engine_temp_folder_fixture.h"
#include "mqo_writer.h"
#include "test_pictures.h"

namespace {

constexpr float kLeft = -6.0f, kRight = 6.0f;

struct Vec {
    float x, y, z;
};
Vec Minus(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A green cube of side 4 about the origin; each face wound as the game's
// models are (its first corners turn inward), so the device keeps it.
std::string GreenCube() {
    MqoDocument doc;
    MqoMaterialSpec m;
    m.name = "green";
    m.colour[0] = 0.15f, m.colour[1] = 0.9f, m.colour[2] = 0.2f;
    m.emissive = 0.3f;
    doc.materials.push_back(m);
    MqoObjectSpec o;
    o.name = "cube";
    for (int i = 0; i < 8; ++i) o.vertices.push_back({i & 1 ? 2.0f : -2.0f, i & 2 ? 2.0f : -2.0f, i & 4 ? 2.0f : -2.0f});
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        std::vector<int> corners(f, f + 4);
        auto at = [&](int k) { const auto& v = o.vertices[size_t(corners[size_t(k)])]; return Vec{v[0], v[1], v[2]}; };
        const Vec mid = {(at(0).x + at(2).x) / 2, (at(0).y + at(2).y) / 2, (at(0).z + at(2).z) / 2};
        if (Dot(Cross(Minus(at(1), at(0)), Minus(at(2), at(0))), mid) > 0) corners = {f[3], f[2], f[1], f[0]};
        MqoFaceSpec face;
        face.corners = corners;
        face.material = 0;
        o.faces.push_back(face);
    }
    doc.objects.push_back(o);
    return WriteMqo(doc);
}

bool Green(uint32_t c) {
    const int r = int(c >> 16 & 0xFF), g = int(c >> 8 & 0xFF), b = int(c & 0xFF);
    return g > 80 && g > r + 40 && g > b + 40;
}

class ModelsAfterPicturesGl : public EngineInTempFolderTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        EngineInTempFolderTest::SetUp();
        std::ofstream("cube.mqo", std::ios::binary) << GreenCube();
        ASSERT_NO_FATAL_FAILURE(StartEngineWithCube());
    }
    void StartEngineWithCube() {
        ASSERT_EQ(SetWindowBackend("sdl2"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
        SetProgrammableShaderUse(GetParam() ? 1 : 0);  // before any model loads
        ASSERT_EQ(InitializeEngine(), 0);
        ASSERT_EQ(HardwareRenderingActive(), 1);
        SetDepthTestEnabled(1);
        SetDepthWriteEnabled(1);
        const float eye[3] = {0, 0, -30}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
        ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
        ASSERT_EQ(SetCameraPerspective(1.0f, 1.0f, 100.0f), 0);
        SetDefaultLightDirection(0.3f, -0.5f, 1.0f);
        model = LoadModelFile("cube.mqo");
        ASSERT_GE(model, 0);
        BASEIMAGE image{};
        ASSERT_EQ(CreateBaseImageXrgb32(16, 16, &image), 0);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) SetBaseImagePixel(&image, x, y, 250, 60, 200, 255);
        picture = MakeGraphFromBaseImage(&image, nullptr, 0);
        FreeBaseImagePixels(&image);
        ASSERT_GE(picture, 0);
    }
    void TearDown() override {
        SetProgrammableShaderUse(1);
        EngineInTempFolderTest::TearDown();
    }
    // Green pixels in the box of 90 pixels around where a copy stands.
    static int GreenAround(const std::vector<uint32_t>& pixels, float x) {
        const float p[3] = {x, 0, 0};
        const Vector3 s = WorldToScreenPos(p);
        int n = 0;
        for (int py = int(s.y) - 45; py < int(s.y) + 45; ++py)
            for (int px = int(s.x) - 45; px < int(s.x) + 45; ++px)
                if (px >= 0 && py >= 0 && px < 640 && py < 480) n += Green(pixels[size_t(py) * 640 + size_t(px)]);
        return n;
    }
    int model = -1;
    int picture = -1;
};

TEST_P(ModelsAfterPicturesGl, TheSameModelDrawsAgainAfterEveryDrawFromMemory) {
    const float overhead[3] = {0, 8, 0};
    const struct {
        const char* name;
        std::function<void()> draw;
    } between[] = {
        {"box", [] { EXPECT_EQ(DrawRectangle(600, 0, 640, 40, MakeScreenColor(255, 255, 255), 1), 0); }},
        {"picture", [this] { EXPECT_EQ(DrawGraphAt(10, 10, picture, 0), 0); }},
        {"billboard", [&] { EXPECT_EQ(DrawGraphBillboard3D(overhead, 0.5f, 0.5f, 3.0f, 0.0f, picture, 0, 0), 0); }},
    };
    for (const auto& b : between) {
        ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        ASSERT_EQ(SetModelPosition(model, kLeft, 0, 0), 0);
        ASSERT_EQ(DrawModel(model), 0);
        b.draw();
        ASSERT_EQ(SetModelPosition(model, kRight, 0, 0), 0);
        ASSERT_EQ(DrawModel(model), 0);
        std::vector<uint32_t> pixels(640 * 480);
        ASSERT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        const std::string name = std::string("models_after_") + b.name + (GetParam() ? "_shaders" : "_fixed") + ".png";
        EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath(name).c_str()), 0);
        // The cube covers about 60 x 60 pixels at either place.
        EXPECT_GT(GreenAround(pixels, kLeft), 1500) << "before the " << b.name;
        EXPECT_GT(GreenAround(pixels, kRight), 1500) << "after the " << b.name;
    }
}

// A 16 x 16 picture in three bands: the left clear (alpha 0), the middle
// opaque, the right see-through (alpha 128).
int PictureOfThreeBands() {
    PixelFormatDesc format;
    SetPixelFormatArgb32(&format);
    BASEIMAGE image{};
    if (CreateBaseImageWithFormat(16, 16, &format, &image) != 0) return -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) SetBaseImagePixel(&image, x, y, 250, 60, 200, x < 6 ? 0 : x < 10 ? 255 : 128);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

// Green pixels left of screen column x, and from x on.
std::pair<int, int> GreenEitherSide(const std::vector<uint32_t>& pixels, int x) {
    std::pair<int, int> n{0, 0};
    for (size_t i = 0; i < pixels.size(); ++i)
        if (Green(pixels[i])) ++(int(i % 640) < x ? n.first : n.second);
    return n;
}

TEST_P(ModelsAfterPicturesGl, ATransparentBillboardInFrontHidesAModelDrawnAfterItOnlyWhereOpaque) {
    const int bands = PictureOfThreeBands();
    ASSERT_GE(bands, 0);
    ASSERT_EQ(SetModelPosition(model, 0, 0, 0), 0);
    // Nearer the camera than the cube and twice its width: the opaque band
    // covers the cube's middle, the clear band its left, the see-through
    // band its right.
    const float front[3] = {0, 0, -5};
    auto billboard = [&] { EXPECT_EQ(DrawGraphBillboard3D(front, 0.5f, 0.5f, 8.0f, 0.0f, bands, 1, 0), 0); };
    auto cube = [&] { EXPECT_EQ(DrawModel(model), 0); };
    auto frame = [&](const std::function<void()>& first, const std::function<void()>& second, const char* name) {
        EXPECT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        first();
        second();
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        const std::string file = std::string(name) + (GetParam() ? "_shaders" : "_fixed") + ".png";
        EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath(file).c_str()), 0);
        return pixels;
    };
    const std::vector<uint32_t> cubeFirst = frame(cube, billboard, "bands_after_model");
    const std::vector<uint32_t> cubeAfter = frame(billboard, cube, "bands_before_model");
    const Vector3 middle = WorldToScreenPos(front);
    const auto [leftFirst, rightFirst] = GreenEitherSide(cubeFirst, int(middle.x));
    const auto [leftAfter, rightAfter] = GreenEitherSide(cubeAfter, int(middle.x));
    // Under the clear band the cube shows whichever comes first; under the
    // see-through band it is drawn over the band's colour when it comes
    // after, as it shows on the clear side.
    EXPECT_GT(leftFirst, 300);
    EXPECT_EQ(rightFirst, 0) << "the see-through band lies over the cube";
    EXPECT_GE(leftAfter, leftFirst - 10);
    EXPECT_GE(rightAfter, leftAfter * 9 / 10);
    // Under the opaque band the cube stays hidden in either order.
    const size_t at = size_t(middle.y) * 640 + size_t(middle.x);
    EXPECT_FALSE(Green(cubeAfter[at])) << std::hex << cubeAfter[at];
    EXPECT_EQ(cubeAfter[at], cubeFirst[at]) << std::hex << cubeAfter[at];
    DeleteGraphHandle(bands, 0);
}

// A picture that adds to, takes from or multiplies what lies behind it
// covers nothing: drawn at full strength in front of the cube, depth writes
// on, transparent or not, it leaves every pixel of the cube drawn after it
// as the cube alone shows; a copied one hides it.
TEST_P(ModelsAfterPicturesGl, APictureThatDoesNotCoverHidesNothingDrawnAfterIt) {
    ASSERT_EQ(SetModelPosition(model, 0, 0, 0), 0);
    const float front[3] = {0, 0, -5};
    auto lostAfter = [&](int mode, int transparent, const std::vector<uint32_t>* alone) {
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        SetBlendModeParam(mode, 255);
        if (alone) {
            EXPECT_EQ(DrawGraphBillboard3D(front, 0.5f, 0.5f, 8.0f, 0.0f, picture, transparent, 0), 0);
        }
        SetBlendModeParam(BlendCopy, 255);
        EXPECT_EQ(DrawModel(model), 0);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        int lost = 0;
        for (size_t i = 0; alone && i < pixels.size(); ++i) lost += ((*alone)[i] & 0xFFFFFF) && pixels[i] != (*alone)[i];
        return std::make_pair(lost, pixels);
    };
    const std::vector<uint32_t> alone = lostAfter(BlendCopy, 0, nullptr).second;
    const long cube = std::count_if(alone.begin(), alone.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
    ASSERT_GT(cube, 2000);
    for (int transparent : {1, 0}) {
        EXPECT_GT(lostAfter(BlendCopy, transparent, &alone).first, cube * 9 / 10);
        for (int mode : {BlendAdd, BlendSub, BlendMul, BlendMulAlpha})
            EXPECT_EQ(lostAfter(mode, transparent, &alone).first, 0) << "mode " << mode << ", transparent " << transparent;
    }
}

// Model drawing keeps graphs of its own (a white texture); an engine
// started again hands their old handles to new graphs, here one whose
// corner is clear.
TEST_P(ModelsAfterPicturesGl, AModelDrawsAsBeforeInAnEngineStartedAgain) {
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    ASSERT_EQ(DrawModel(model), 0);
    ASSERT_EQ(ShutdownEngine(), 0);
    ASSERT_NO_FATAL_FAILURE(StartEngineWithCube());
    ASSERT_GE(PictureOfThreeBands(), 0);
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    ASSERT_EQ(DrawModel(model), 0);
    std::vector<uint32_t> pixels(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
    EXPECT_GT(GreenAround(pixels, 0), 1500);
}

INSTANTIATE_TEST_SUITE_P(Roads, ModelsAfterPicturesGl, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Shaders" : "FixedFunction"; });

}  // namespace
