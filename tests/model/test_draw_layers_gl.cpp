// Normal maps and second texture layers on the GL device: a mesh whose
// material has a normal map takes the second vertex layout (tangent data
// in its device vertices) and is lit from the map through the shaders; a
// second layer lies over the first texture. Each is drawn beside the same
// material without the map or the layer (pictures saved as PNG).
#include <map>

#include "draw_gl_fixture.h"
#include "model/draw/model_cull.h"
#include "model/read/model_readers.h"
#include "mqo_writer.h"
#include "picture_writers.h"

using namespace morpotta;

namespace {

// Pictures handed to the conversion through its file hook, by file name.
struct TexturePictures {
    std::map<std::string, std::string> files;
    ModelTextureFileHook hook{};

    TexturePictures() {
        hook.user = this;
        hook.read = [](const char* name, void** data, int* size, void* user) {
            auto& files = static_cast<TexturePictures*>(user)->files;
            auto it = files.find(name);
            if (it == files.end()) return -1;
            *data = it->second.data();
            *size = int(it->second.size());
            return 0;
        };
    }
    // A 16 x 16 32-bit TGA, top row first, from a pixel function (x, y) ->
    // 0xAARRGGBB.
    template <typename Pixel>
    void Add(const std::string& name, Pixel pixel) {
        std::vector<uint8_t> tga = picturewriters::TgaHeader(2, 32, 16, 16, true, false);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint32_t p = pixel(x, y);
                tga.insert(tga.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)});
            }
        files[name] = std::string(tga.begin(), tga.end());
    }
};

class DrawLayersGlTest : public DrawModelGlTest {
protected:
    // Draws the current instance through the shaders alone.
    std::vector<uint32_t> DrawShaded(const char* name) {
        EXPECT_EQ(BuildBaseDeviceBuffers(GetModelBase(baseHandle)), 0);
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, kBackground, 1.0f);
        EXPECT_EQ(DrawModel(instance->handle), 0);
        return Frame(name);
    }
    // Replaces the model under test by the one a loader made.
    void Take(int base) {
        instance.reset();
        if (baseHandle != -1) FreeModelBaseRecord(baseHandle);
        baseHandle = base;
        instance = base == -1 ? nullptr : MakeTestInstance(base);
    }
    // The screen point of a model-space point of the untransformed instance.
    static void Screen(float x, float y, int* sx, int* sy) {
        const float p[3] = {x, y, 0.0f};
        float s[3];
        ProjectToScreen(GetModelDrawView()->toScreen, p, s);
        *sx = int(s[0]);
        *sy = int(s[1]);
    }
    static int Brightness(uint32_t argb) { return ChannelOf(argb, 0) + ChannelOf(argb, 8) + ChannelOf(argb, 16); }
    TexturePictures pictures;
};

// A 4 x 4 quad facing the eye (texture u from left to right), one material,
// bump map named when given, read through the MQO reader with the pictures'
// hook as its options.
int LoadQuadMqo(const ModelTextureFileHook* hook, const std::string& bump) {
    MqoDocument doc;
    MqoMaterialSpec m;
    m.name = "lit";
    m.colour[0] = 0.9f, m.colour[1] = 0.8f, m.colour[2] = 0.7f;
    m.diffuse = 1.0f;
    m.ambient = 0.0f;
    m.bump = bump;
    doc.materials.push_back(m);
    MqoObjectSpec o;
    o.name = "quad";
    o.vertices = {{-2, -2, 0}, {-2, 2, 0}, {2, 2, 0}, {2, -2, 0}};
    MqoFaceSpec f;
    f.corners = {0, 1, 2, 3};
    f.material = 0;
    f.uvs = {0, 1, 0, 0, 1, 0, 1, 1};
    o.faces = {f};
    doc.objects.push_back(o);
    std::string file = WriteMqo(doc) + '\0';
    ModelLoadParams params{file.data(), file.size() - 1, "quad.mqo", "quad", nullptr, hook, nullptr};
    return LoadMqoFile(&params);
}

// The MQO bump file is a height map: flat on the left half, a steep ramp
// on the right. Lit straight on, the right half turns darker through the
// normal map, the left stays as without it; the fixed-function road, which
// has no stage for normal maps, draws both materials alike.
TEST_F(DrawLayersGlTest, ANormalMapTiltsTheLightWhereItsHeightsSlope) {
    pictures.Add("height.tga", [](int x, int) {
        const uint32_t h = x < 8 ? 0u : uint32_t(x - 8) * 32u;
        return 0xFF000000u | h << 16 | h << 8 | h;
    });
    Take(LoadQuadMqo(&pictures.hook, "height.tga"));
    ASSERT_NE(instance, nullptr);
    const ModelBase* base = GetModelBase(baseHandle);
    ASSERT_EQ(base->materials[0].layers[2].count, 1);

    // The device vertices of the quad's list: position, tangent, binormal,
    // normal, colours and one texture set; without shaders no buffers.
    SetProgrammableShaderUse(0);
    ASSERT_EQ(BuildBaseDeviceBuffers(GetModelBase(baseHandle)), 0);
    const ModelBaseTriangleList& list = base->triangleLists[0];
    EXPECT_EQ(list.deviceBlock, nullptr) << "the second layout needs shaders";
    ReleaseBaseDeviceBuffers(GetModelBase(baseHandle));
    SetProgrammableShaderUse(1);
    ASSERT_EQ(BuildBaseDeviceBuffers(GetModelBase(baseHandle)), 0);
    ASSERT_NE(list.deviceBlock, nullptr);
    ASSERT_EQ(list.deviceBlock->stride, 56 + 16 * list.mesh->uvChannelCount);
    EXPECT_EQ(list.deviceBlock->fvf, 0u);
    for (int v = 0; v < list.vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = list.mesh->vertices[list.meshVertices[v]];
        const ModelBaseNormal& n = list.mesh->frame->normals[mv.normal];
        float got[12];
        std::memcpy(got, list.deviceBlock->vertexBuffer->bytes + (list.firstVertex + v) * list.deviceBlock->stride,
                    sizeof(got));
        const Vector3& p = list.mesh->frame->positions[mv.position].position;
        const float want[12] = {p.x, p.y, p.z, n.tangent.x, n.tangent.y, n.tangent.z,
                                n.binormal.x, n.binormal.y, n.binormal.z, n.normal.x, n.normal.y, n.normal.z};
        for (int c = 0; c < 12; ++c) EXPECT_EQ(got[c], want[c]) << "vertex " << v << " float " << c;
        EXPECT_GT(n.tangent.x, 0.99f) << "u runs along x";
    }

    const std::vector<uint32_t> mapped = DrawShaded("normal_map");
    SetProgrammableShaderUse(0);
    const std::vector<uint32_t> mappedFixed = DrawShaded("normal_map_fixed");
    SetProgrammableShaderUse(1);
    Take(LoadQuadMqo(&pictures.hook, ""));
    ASSERT_NE(instance, nullptr);
    const std::vector<uint32_t> plain = DrawShaded("normal_map_none");
    SetProgrammableShaderUse(0);
    const std::vector<uint32_t> plainFixed = DrawShaded("normal_map_none_fixed");
    SetProgrammableShaderUse(1);

    int lx, rx, y;
    Screen(-1.0f, 0.0f, &lx, &y);
    Screen(1.0f, 0.0f, &rx, &y);
    ASSERT_FALSE(ColorNear(At(plain, lx, y), kBackground, 8)) << "the quad is drawn";
    EXPECT_TRUE(ColorNear(At(mapped, lx, y), At(plain, lx, y), 3)) << "flat heights light as without a map";
    EXPECT_LT(Brightness(At(mapped, rx, y)), Brightness(At(plain, rx, y)) * 3 / 4) << "the slope turns away";
    EXPECT_TRUE(ColorNear(At(plain, rx, y), At(plain, lx, y), 3)) << "without a map the quad is even";
    EXPECT_TRUE(mappedFixed == plainFixed) << "the fixed-function road draws no normal map";
}

// A 4 x 4 quad facing the eye in the read model, textured on layer 0 and
// (when named) with a second layer and a normal map (a height map turned
// into one, as MQO bump maps are); skinned wholly to one bone when asked.
class QuadLayersGlTest : public DrawLayersGlTest {
protected:
    ModelInstance* BuildQuad(const char* first, const char* second, const char* bump, bool skinned) {
        textureFiles = &pictures.hook;
        FreeReadModel(&model);
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
        ReadModelMaterial* m = Material(1, 1, 1, 1, 0);
        auto texture = [this](const char* file, uint32_t bumpFlag) {
            return AddReadModelTexture(&model, file, file, nullptr, bumpFlag, 0.1f, 1, 0, 1);
        };
        const char* files[3] = {first, second, bump};
        for (int l = 0; l < 3; ++l) {
            if (!files[l]) continue;
            m->layers[l].textures[0] = texture(files[l], l == 2 ? 1 : 0);
            m->layers[l].count = 1;
        }
        ReadModelMesh* quad = AddTestMesh(&model, root, {{-2, -2, 0}, {-2, 2, 0}, {2, 2, 0}, {2, -2, 0}}, {{0, 1, 2}, {0, 2, 3}});
        quad->materials[0] = m;
        quad->materialCount = 1;
        quad->uvCount[0] = 4;
        quad->uvs[0] = AllocReadModelArray<float[2]>(&model, 4);
        const float uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
        std::memcpy(quad->uvs[0], uv, sizeof(uv));
        for (int f = 0; f < 2; ++f)
            for (int c = 0; c < 3; ++c) ReadFaceUvs(quad, 0, f)[c] = ReadFacePositions(quad, f)[c];
        if (skinned) {
            ReadModelFrame* bone = AddReadModelFrame(&model, "bone", root);
            ReadModelSkinWeight* w = AddSkinWeight(&model, quad, int(bone->index), {{0, 1.0f}, {1, 1.0f}, {2, 1.0f}, {3, 1.0f}});
            if (!w) return nullptr;
            w->offsetMatrix.m[3][0] = 0.0f;  // the bone at rest leaves the quad where it is
        }
        instance.reset();
        if (baseHandle != -1) FreeModelBaseRecord(baseHandle);
        return Build();
    }
};

// A red texture with a second layer that is clear on the left and opaque
// blue on the right: the blue lies over the right half only; the same
// material without the layer stays red.
TEST_F(QuadLayersGlTest, ASecondLayerLiesOverTheFirstByItsAlpha) {
    pictures.Add("red.tga", [](int, int) { return 0xFFFF0000u; });
    pictures.Add("blue.tga", [](int x, int) { return x < 8 ? 0x00FFFFFFu : 0xFF0000FFu; });
    ASSERT_NE(BuildQuad("red.tga", "blue.tga", nullptr, false), nullptr);
    const std::vector<uint32_t> layered = DrawShaded("second_layer");
    ASSERT_NE(BuildQuad("red.tga", nullptr, nullptr, false), nullptr);
    const std::vector<uint32_t> plain = DrawShaded("second_layer_none");
    int lx, rx, y;
    Screen(-1.0f, 0.0f, &lx, &y);
    Screen(1.0f, 0.0f, &rx, &y);
    for (int x : {lx, rx}) {
        EXPECT_GT(ChannelOf(At(plain, x, y), 16), 200) << "red without the layer";
        EXPECT_LT(ChannelOf(At(plain, x, y), 0), 40);
    }
    EXPECT_TRUE(ColorNear(At(layered, lx, y), At(plain, lx, y), 3)) << "the clear half shows the first texture";
    EXPECT_GT(ChannelOf(At(layered, rx, y), 0), 200) << "the opaque half is blue";
    EXPECT_LT(ChannelOf(At(layered, rx, y), 16), 40);
}

// Skinned vertices carry their tangent data after the source vertex: a
// normal-mapped quad skinned wholly to a bone at rest lights as the rigid
// one does.
TEST_F(QuadLayersGlTest, SkinnedTangentVerticesLightAsRigidOnes) {
    pictures.Add("white.tga", [](int, int) { return 0xFFFFFFFFu; });
    pictures.Add("height.tga", [](int x, int) {
        const uint32_t h = x < 8 ? 0u : uint32_t(x - 8) * 32u;
        return 0xFF000000u | h << 16 | h << 8 | h;
    });
    ASSERT_NE(BuildQuad("white.tga", nullptr, "height.tga", false), nullptr);
    const std::vector<uint32_t> rigid = DrawShaded("normal_map_rigid");
    ModelInstance* in = BuildQuad("white.tga", nullptr, "height.tga", true);
    ASSERT_NE(in, nullptr);
    const ModelBaseTriangleList& list = in->base->triangleLists[0];
    ASSERT_EQ(list.vertexKind, 1);
    const std::vector<uint32_t> skinned = DrawShaded("normal_map_skinned");
    ASSERT_NE(list.deviceBlock, nullptr);
    EXPECT_EQ(list.deviceBlock->stride, 48 + 24 + 8 + 16 * list.mesh->uvChannelCount);
    int lx, rx, y;
    Screen(-1.0f, 0.0f, &lx, &y);
    Screen(1.0f, 0.0f, &rx, &y);
    EXPECT_LT(Brightness(At(rigid, rx, y)), Brightness(At(rigid, lx, y)) * 3 / 4) << "the slope turns away";
    int apart = 0;
    for (size_t i = 0; i < rigid.size(); ++i) apart += ColorNear(rigid[i], skinned[i], 3) ? 0 : 1;
    EXPECT_LE(apart, 64) << "pixels where the skinned quad lights differently";
}

}  // namespace
