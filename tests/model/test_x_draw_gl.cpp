// A skinned X model drawn through the engine's public functions on the GL
// device off screen: a tube bound to two bones whose rest pose in the file
// bends the second bone by 60 degrees, so only skinning puts its far half
// where it is drawn. The text and the binary file draw the same picture,
// saved as PNG under the build tree for a look.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/engine.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "engine_temp_folder_fixture.h"
#include "pixel_channels.h"
#include "test_pictures.h"
#include "x_writer.h"

namespace {

constexpr double kHalfTurn = 3.14159265358979;
constexpr double kBend = kHalfTurn / 3;
constexpr int kRings = 13;  // along x, from 0 to 6
constexpr int kSides = 12;
constexpr double kRadius = 0.6;
constexpr uint32_t kTubeBackground = 0xFF303848u;

std::vector<double> FrameTranslation(double x, double y, double z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

// Lower's rest pose: a turn about z, then the move to the joint at x = 3.
std::vector<double> BentJoint() {
    const double c = std::cos(kBend), s = std::sin(kBend);
    return {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 3, 0, 0, 1};
}

// The upper bone holds the tube up to x = 2, the lower from x = 4; between
// them the weights blend.
double LowerWeight(double x) { return x <= 2 ? 0 : x >= 4 ? 1 : (x - 2) / 2; }

std::string BentTube(XWriter::Encoding encoding) {
    XWriter w(encoding);
    w.Open("Frame", "Upper").Open("FrameTransformMatrix").Floats(FrameTranslation(0, 0, 0)).Close();
    w.Open("Frame", "Lower").Open("FrameTransformMatrix").Floats(BentJoint()).Close().Close();
    w.Open("Mesh", "Tube");
    std::vector<double> positions, normals;
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSides; ++s) {
            double a = 2 * kHalfTurn * s / kSides, y = std::cos(a), z = std::sin(a);
            positions.insert(positions.end(), {6.0 * r / (kRings - 1), kRadius * y, kRadius * z});
            normals.insert(normals.end(), {0, y, z});
        }
    const int vertices = kRings * kSides;
    std::vector<int64_t> faces{(kRings - 1) * kSides}, materials{2, (kRings - 1) * kSides};
    for (int r = 0; r + 1 < kRings; ++r)
        for (int s = 0; s < kSides; ++s) {
            int a = r * kSides + s, b = r * kSides + (s + 1) % kSides;
            // Clockwise seen from outside, as the device keeps front faces.
            faces.insert(faces.end(), {4, a, b, b + kSides, a + kSides});
            materials.push_back(r < (kRings - 1) / 2 ? 0 : 1);
        }
    w.Ints({vertices}).Floats(positions).Ints(faces);
    w.Open("MeshMaterialList").Ints(materials);
    w.Open("Material", "Warm").Floats({1.0, 0.55, 0.2, 1, 8, 0.3, 0.3, 0.3, 0.25, 0.12, 0.05}).Close();
    w.Open("Material", "Cool").Floats({0.25, 0.5, 1.0, 1, 8, 0.3, 0.3, 0.3, 0.05, 0.1, 0.25}).Close();
    w.Close();
    w.Open("MeshNormals").Ints({vertices}).Floats(normals).Ints(faces).Close();
    w.Open("XSkinMeshHeader").Ints({2, 4, 2}).Close();
    for (bool lower : {false, true}) {
        std::vector<int64_t> indices;
        std::vector<double> weights;
        for (int v = 0; v < vertices; ++v) {
            double weight = LowerWeight(positions[size_t(v) * 3]);
            if (!lower) weight = 1 - weight;
            if (weight <= 0) continue;
            indices.push_back(v);
            weights.push_back(weight);
        }
        w.Open("SkinWeights").Str(lower ? "Lower" : "Upper").Ints({int64_t(indices.size())}).Ints(indices).Floats(weights);
        w.Floats(lower ? FrameTranslation(-3, 0, 0) : FrameTranslation(0, 0, 0)).Close();
    }
    w.Close().Close();
    return w.Bytes();
}

class XDrawGl : public EngineInTempFolderTest {
protected:
    std::vector<uint32_t> Draw(const char* file, const char* picture) {
        const int model = LoadModelFile(file);
        EXPECT_GE(model, 0);
        EXPECT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        EXPECT_EQ(DrawRectangle(0, 0, 640, 480, kTubeBackground, 1), 0);
        EXPECT_EQ(DrawModel(model), 0);
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        EXPECT_EQ(SaveDrawScreenToPng(TestPicturePath(picture).c_str()), 0);
        DeleteModel(model);
        return pixels;
    }
};

uint32_t At(const std::vector<uint32_t>& pixels, double x, double y, double z) {
    const float p[3] = {float(x), float(y), float(z)};
    Vector3 s = WorldToScreenPos(p);
    return pixels[size_t(int(s.y)) * 640 + size_t(int(s.x))] & 0xFFFFFF;
}

TEST_F(XDrawGl, SkinnedTubeBendsAtItsJoint) {
    std::ofstream("tube.x", std::ios::binary) << BentTube(XWriter::kText);
    std::ofstream("tube_bin.x", std::ios::binary) << BentTube(XWriter::kBinary32);
    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(HardwareRenderingActive(), 1);
    const float eye[3] = {3, 1.5f, -8}, target[3] = {3, 1.5f, 0}, up[3] = {0, 1, 0};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
    ASSERT_EQ(SetCameraPerspective(1.0f, 1.0f, 100.0f), 0);
    SetDefaultLightDirection(0.3f, -0.5f, 1.0f);

    const std::vector<uint32_t> text = Draw("tube.x", "x_skinned_tube.png");
    // The first half is warm where it lies; the second is cool along the
    // bent bone, and nothing is left where the mesh's own positions are.
    const uint32_t upper = At(text, 1.0, 0, -kRadius);
    const double along = 2.0, c = std::cos(kBend), s = std::sin(kBend);
    const uint32_t lower = At(text, 3 + along * c, along * s, -kRadius);
    const uint32_t unbent = At(text, 5.5, 0, -kRadius);
    EXPECT_GT(R(upper), B(upper) + 60) << std::hex << upper;
    EXPECT_GT(B(lower), R(lower) + 60) << std::hex << lower;
    EXPECT_EQ(unbent, kTubeBackground & 0xFFFFFF) << std::hex << unbent;

    const std::vector<uint32_t> binary = Draw("tube_bin.x", "x_skinned_tube_binary.png");
    EXPECT_TRUE(binary == text) << "the binary file draws differently";
}

}  // namespace
