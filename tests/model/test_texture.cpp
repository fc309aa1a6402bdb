#include <algorithm>
#include <string>
#include <vector>

#include "fake_files.h"
#include "fake_graphics.h"
#include "model/base/model_texture.h"
#include "model/draw/model_texture_restore.h"
#include "model/instance/model_instance.h"
#include "model/read/model_readers.h"
#include "model_load_support.h"
#include "model_test_support.h"
#include "x_samples.h"

using namespace morpotta;

namespace {

class TextureTest : public ModelSystemTest {
protected:
    void TearDown() override {
        EXPECT_EQ(gfx.liveImages, 0) << "base images leaked";
        ModelSystemTest::TearDown();
    }
    ModelTextureRequest Request(const char16_t* colour, const char16_t* alpha = nullptr) {
        ModelTextureRequest r{};
        r.colourPath = colour;
        r.alphaPath = alpha;
        r.folder = u"C:\\game\\model";
        r.keepNames = 1;
        return r;
    }
    FakeFiles files;
    FakeGraphics gfx;
};

TEST_F(TextureTest, BuiltinImagesHaveTheirSizesAndDecodeToWhiteAndFourGreys) {
    size_t size = 0;
    const uint8_t* white = GetModelWhiteTga(&size);
    ASSERT_EQ(size, 84u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(white) + 66, 17), "TRUEVISION-XFILE.");
    BASEIMAGE colour, alpha;
    ASSERT_EQ(BuildModelTextureImages(&colour, &alpha, white, size, nullptr, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(colour.width, 8);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<uint32_t*>(colour.pixels)[i], 0xFFFFFFFFu);
    GetModelGraphicsServices()->FreeBaseImagePixels(&colour);
    const uint8_t* toon = GetModelToonTga(&size);
    ASSERT_EQ(size, 172u);
    ASSERT_EQ(BuildModelTextureImages(&colour, &alpha, toon, size, nullptr, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(colour.width, 256);
    auto* p = static_cast<uint32_t*>(colour.pixels);
    EXPECT_EQ(p[0] & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(p[64] & 0xFFFFFF, 0x555555u);
    EXPECT_EQ(p[128 + 256 * 7] & 0xFFFFFF, 0xAAAAAAu);
    EXPECT_EQ(p[255] & 0xFFFFFF, 0xFFFFFFu);
    GetModelGraphicsServices()->FreeBaseImagePixels(&colour);
}

TEST_F(TextureTest, ColourWithCompanionAndWithout) {
    files.Add("C:\\game\\model\\wood.png", FakeGraphics::RawImage(100, 60, 0xFF102030));
    files.Add("C:\\game\\model\\wood_a.png", FakeGraphics::RawImage(50, 30, 0xFF808080));
    files.Add("C:\\game\\model\\stone.png", FakeGraphics::RawImage(16, 16, 0xFF445566));
    ModelTextureImage image{};
    ModelTextureRequest r = Request(u"C:\\game\\model\\wood.png");
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    ASSERT_TRUE(gfx.graphs.count(image.graph));
    EXPECT_EQ(gfx.graphs[image.graph].width, 128);  // 100 x 60 -> 128 x 64
    EXPECT_EQ(gfx.graphs[image.graph].height, 64);
    EXPECT_TRUE(gfx.graphs[image.graph].withAlpha);  // companion of another size scaled to fit
    EXPECT_EQ(image.semiTransparent, 1);
    EXPECT_STREQ(image.colourFileName, "wood.png");
    ReleaseModelTextureImage(&image);
    EXPECT_TRUE(gfx.graphs.empty());

    r = Request(u"C:\\game\\model\\stone.png");
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    EXPECT_FALSE(gfx.graphs[image.graph].withAlpha);
    EXPECT_EQ(image.alphaData, nullptr);
    EXPECT_EQ(image.semiTransparent, 0);  // every alpha 255
    ReleaseModelTextureImage(&image);
}

TEST_F(TextureTest, DeviceLimitHalvesTheRoundedSize) {
    gfx.maxTexture = 128;
    files.Add("wood.png", FakeGraphics::RawImage(100, 60, 0xFF000000));
    ModelTextureImage image{};
    ModelTextureRequest r = Request(u"wood.png");
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    EXPECT_EQ(gfx.graphs[image.graph].width, 64);
    EXPECT_EQ(gfx.graphs[image.graph].height, 64);
    ReleaseModelTextureImage(&image);
}

TEST_F(TextureTest, UnreadableFilesGetTheWhiteSubstitute) {
    ModelTextureImage image{};
    ModelTextureRequest r = Request(u"missing.png", u"missing_alpha.png");
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    EXPECT_EQ(image.colourDataSize, 84);
    EXPECT_EQ(image.alphaDataSize, 84);
    EXPECT_EQ(gfx.graphs[image.graph].width, 8);
    ReleaseModelTextureImage(&image);
}

TEST_F(TextureTest, AlphaOnlyTextureIsWhiteAtTheAlphaSize) {
    files.Add("mask.png", FakeGraphics::RawImage(10, 6, 0x80000000));
    ModelTextureImage image{};
    ModelTextureRequest r = Request(nullptr, u"mask.png");
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    EXPECT_EQ(gfx.graphs[image.graph].width, 10);  // not rounded without colour data
    EXPECT_EQ(gfx.lastColour[0] & 0xFFFFFF, 0xFFFFFFu);
    ReleaseModelTextureImage(&image);
}

TEST_F(TextureTest, UniformBumpMapPointsStraightOut) {
    files.Add("bump.png", std::string());
    std::string raw = "RAW1";
    uint32_t w = 4, h = 4, px = 0xFF808080;
    raw.append(reinterpret_cast<char*>(&w), 4).append(reinterpret_cast<char*>(&h), 4);
    for (int i = 0; i < 16; ++i) raw.append(reinterpret_cast<char*>(&px), 4);
    BASEIMAGE colour, alpha;
    ASSERT_EQ(BuildModelTextureImages(&colour, &alpha, raw.data(), raw.size(), nullptr, 0, 1, 0.5f, 0, 0), 0);
    EXPECT_EQ(static_cast<uint32_t*>(colour.pixels)[5], 0x007F7FFFu);
    GetModelGraphicsServices()->FreeBaseImagePixels(&colour);
}

TEST_F(TextureTest, HookDataAreCopiedAndReleased) {
    static std::string bytes = FakeGraphics::RawImage(4, 4, 0xFF000000);
    static int released = 0;
    ModelTextureFileHook hook{};
    hook.read = [](const char* name, void** data, int* size, void*) {
        if (std::string(name) != "hooked.png") return -1;
        *data = bytes.data();
        *size = int(bytes.size());
        return 0;
    };
    hook.release = [](void*, void*) { ++released; };
    ModelTextureImage image{};
    ModelTextureRequest r = Request(u"hooked.png");
    r.hook = &hook;
    ASSERT_EQ(LoadModelTexture(&image, &r, 0), 0);
    EXPECT_EQ(released, 1);
    EXPECT_NE(image.colourData, static_cast<void*>(bytes.data()));
    ReleaseModelTextureImage(&image);
}

// A caller that supplies the files itself: the text readers hand its
// options to the conversion, so their textures come through its hook.
TEST_F(TextureTest, TextReadersHandTheirOptionsToTheConversion) {
    struct Asked {
        std::vector<std::string> names;
    } asked;
    ModelTextureFileHook hook{};
    hook.user = &asked;
    hook.read = [](const char* name, void** data, int* size, void* user) {
        static std::string bytes = FakeGraphics::RawImage(2, 2, 0xFF00FF00);
        static_cast<Asked*>(user)->names.push_back(name);
        *data = bytes.data();
        *size = int(bytes.size());
        return 0;
    };
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].texture = "skin.png";
    std::string mqo = WriteMqo(doc) + '\0', x = std::string(kSampleXText) + '\0';
    const struct {
        const std::string* file;
        ModelReader reader;
    } readers[] = {{&mqo, LoadMqoFile}, {&x, LoadXFile}};
    for (const auto& r : readers) {
        asked.names.clear();
        ModelLoadParams params{r.file->data(), r.file->size() - 1, "model", "model", nullptr, &hook, nullptr};
        int base = r.reader(&params);
        ASSERT_GE(base, 0);
        EXPECT_TRUE(std::find(asked.names.begin(), asked.names.end(), r.file == &mqo ? "skin.png" : "red.png") !=
                    asked.names.end());
        FreeModelBaseRecord(base);
    }
}

TEST_F(TextureTest, FailuresFreeWhatTheCallMade) {
    files.Add("wood.png", FakeGraphics::RawImage(4, 4, 0xFF000000));
    ModelTextureImage image{};
    ModelTextureRequest r = Request(u"wood.png");
    gfx.failGraphs = true;
    EXPECT_EQ(LoadModelTexture(&image, &r, 0), -1);
    EXPECT_EQ(image.colourData, nullptr);
    EXPECT_EQ(image.graph, -1);
    gfx.failGraphs = false;
    for (uint64_t n = 1; n < 8; ++n) {
        SetModelAllocFailureAt(n);
        int result = LoadModelTexture(&image, &r, 0);
        SetModelAllocFailureAt(0);
        if (result == 0) ReleaseModelTextureImage(&image);
        else EXPECT_EQ(image.colourData, nullptr);
    }
}

TEST_F(TextureTest, RestoreRefillsEveryTextureAndTheBuiltins) {
    files.Add("wood.png", FakeGraphics::RawImage(4, 4, 0xFF000000));
    int handle = ReserveModelBaseHandle();
    auto* base = static_cast<ModelBase*>(AllocModelMemory(sizeof(ModelBase)));
    ASSERT_EQ(StoreModelBase(handle, base), 0);
    base->textures = static_cast<ModelBaseTexture*>(AllocChainedMemory(sizeof(ModelBaseTexture), &base->memoryChain));
    base->textureCount = 1;
    ModelTextureRequest r = Request(u"wood.png");
    ASSERT_EQ(LoadModelTexture(&base->textures[0].image, &r, 0), 0);
    int graph = base->textures[0].image.graph;
    // An instance holding an image of its own in place of the base's.
    files.Add("oak.png", FakeGraphics::RawImage(8, 8, 0xFF102030));
    int model = ReserveModelInstanceHandle();
    ASSERT_EQ(SetupModelInstance(model, handle), 0);
    ModelTextureImage& own = base->firstInstance->textures[0].own;
    EXPECT_EQ(own.graph, -1);
    ModelTextureRequest oak = Request(u"oak.png");
    ASSERT_EQ(LoadModelTexture(&own, &oak, 0), 0);
    SetModelBuiltinTextureGraphs(7, 8);
    EXPECT_EQ(RestoreModelTextures(), 0);
    EXPECT_EQ(gfx.graphs[graph].refills, 1);
    EXPECT_EQ(gfx.graphs[own.graph].refills, 1);
    EXPECT_EQ(gfx.graphs[own.graph].width, 8);
    EXPECT_EQ(gfx.builtinRefills[7], 1);
    EXPECT_EQ(gfx.builtinRefills[8], 1);
    SetModelBuiltinTextureGraphs(-1, -1);
    // The instance's image goes with it, the base with its last instance.
    const int ownGraph = own.graph;
    EXPECT_EQ(ReleaseModelInstance(GetModelInstanceHandleOfSlot(int(uint32_t(model) & kModelInstanceSlotMask))), 0);
    EXPECT_EQ(gfx.graphs.count(ownGraph), 0u);
    EXPECT_EQ(GetModelBase(handle), nullptr);
    EXPECT_TRUE(gfx.graphs.empty());
}

TEST(TextureNoServicesTest, FailsCleanlyWithoutAGraphicsLayer) {
    ModelTextureImage image{};
    ModelTextureRequest r{};
    r.colourPath = u"x.png";
    size_t before = GetMemoryTotals().liveBlocks;
    EXPECT_EQ(LoadModelTexture(&image, &r, 0), -1);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before);
}

}  // namespace
