// The draw settings an instance material takes from its base material: the
// extra textures are the toon and second toon textures, mode words 0 and 1
// the toon modes, the flag word the blend mode and alpha the blend
// parameter, with the outline colour of binary files; and the mesh's
// vertex-specular flag. Checked on binary files loaded by name, through
// the device state their meshes set up. An MQO material's normal map keeps
// out of the toon slots; a mesh without a material draws with the default.
#include <cstring>

#include "device_fixture.h"
#include "graphics/device/recording/recording.h"
#include "mesh_builder.h"
#include "model/convert/convert.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_draw_state.h"
#include "model/instance/model_instance.h"
#include "model/instance/model_refresh.h"
#include "picture_writers.h"

using namespace morpotta;

namespace {

struct MaterialWords {
    int drawType, toon, secondToon, toonMode, secondToonMode, blendMode, alpha;
    float outlineColour[4];
};

// Toon: the smooth ramp for the toon, none named for the second (the smooth
// one too), both modes 0, added at half strength, an orange outline.
// Toon: both modes on, multiplied.
// Plain: alpha blended.  Plain: no blending, specular from the vertices.
const MaterialWords kMaterials[4] = {{1, -2, -1, 0, 0, 2, 128, {1.0f, 0.5f, 0.0f, 1.0f}},
                                     {1, -1, -2, 2, 1, 4, 255, {0, 0, 0, 1}},
                                     {0, -1, -1, 2, 1, 1, 255, {0, 0, 0, 1}},
                                     {0, -1, -1, 2, 1, 0, 255, {0, 0, 0, 1}}};

class ModelDrawSettingsTest : public ModelOnDeviceTest {
protected:
    // Four cubes, one per material of kMaterials, written as a binary file.
    int LoadFourMaterials() {
        ReadModel model;
        InitReadModel(&model);
        ReadModelFrame* root = AddReadModelFrame(&model, "root", nullptr);
        for (int i = 0; i < 4; ++i) {
            ReadModelMesh* cube = AddTestCube(&model, AddReadModelFrame(&model, "cube", root));
            cube->materials[0] = AddReadModelMaterial(&model, "m");
            cube->materialCount = 1;
        }
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        if (handle < 0) return -1;
        ModelBase* base = GetModelBase(handle);
        for (int i = 0; i < 4; ++i) {
            const MaterialWords& w = kMaterials[i];
            ModelBaseMaterial& m = base->materials[i];
            m.drawType = w.drawType;
            m.extraTexture1 = w.toon;
            m.extraTexture2 = w.secondToon;
            m.modeWords[0] = uint32_t(w.toonMode);
            m.modeWords[1] = uint32_t(w.secondToonMode);
            m.flagWord = w.blendMode;
            m.alpha = w.alpha;
            std::memcpy(m.outlineColour, w.outlineColour, sizeof(m.outlineColour));
            std::memset(m.specular, 0, sizeof(m.specular));
        }
        base->meshes[3].vertexSpecular = 1;
        return LoadAsBinary(handle, "materials.mv1");
    }
};

TEST_F(ModelDrawSettingsTest, MaterialWordsGiveTheToonBlendAndOutlineSettings) {
    int model = LoadFourMaterials();
    ASSERT_GE(model, 0) << Log();
    ModelInstance* in = InstanceOf(model);
    GetDeviceStateCache()->hasTempRegister = 0;
    for (int i = 0; i < 4; ++i) {
        const ModelMaterial& m = in->materials[i];
        const MaterialWords& w = kMaterials[i];
        EXPECT_EQ(m.toonTexture, w.toon) << i;
        EXPECT_EQ(m.secondToonTexture, w.secondToon >= 0 ? w.secondToon : -2) << i;  // none: the smooth ramp
        EXPECT_EQ(m.toonMode, w.toonMode) << i;
        EXPECT_EQ(m.secondToonMode, w.secondToonMode) << i;
        EXPECT_EQ(m.blendMode, w.blendMode) << i;
        EXPECT_EQ(m.blendParameter, w.alpha) << i;
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.outlineColour[c], w.outlineColour[c]) << i;
    }
    RefreshDrawnValues(in);  // as drawing does first
    DeviceDrawStateBlock block[4] = {};
    int specular[4] = {};
    auto stage = [&](int mesh, int s) { return block[mesh].stages[s]; };
    for (int i = 0; i < 4; ++i) {
        SetupMeshMaterialState(&block[i], &in->meshes[i], &specular[i]);
        SetupMeshTextureStages(&in->meshes[i], &block[i], specular[i]);
    }
    // Added at half strength, the toon stages blended by the ramps' alpha.
    EXPECT_EQ(block[0].blendEnable, 1);
    EXPECT_EQ(block[0].sourceBlend, DEVICE_BLEND_SRCALPHA);
    EXPECT_EQ(block[0].destinationBlend, DEVICE_BLEND_ONE);
    EXPECT_EQ(block[0].factorColor, 0x80FFFFFFu);
    EXPECT_EQ(stage(0, 1).graph, GetDefaultToonGraph(-2));
    EXPECT_EQ(stage(0, 1).colorOp, DEVICE_TOP_BLENDTEXTUREALPHA);
    EXPECT_EQ(stage(0, 2).graph, GetDefaultToonGraph(-2));
    EXPECT_EQ(stage(0, 2).colorOp, DEVICE_TOP_BLENDTEXTUREALPHA);
    EXPECT_EQ(stage(0, 3).alphaOp, DEVICE_TOP_MODULATE);  // the half strength
    // Multiplied at full strength, the toon ramp modulates, the specular ramp adds.
    EXPECT_EQ(block[1].sourceBlend, DEVICE_BLEND_ZERO);
    EXPECT_EQ(block[1].destinationBlend, DEVICE_BLEND_SRCCOLOR);
    EXPECT_EQ(block[1].factorColor, 0xFFFFFFFFu);
    EXPECT_EQ(stage(1, 1).graph, GetDefaultToonGraph(-1));
    EXPECT_EQ(stage(1, 1).colorOp, DEVICE_TOP_MODULATE);
    EXPECT_EQ(stage(1, 2).graph, GetDefaultToonGraph(-2));
    EXPECT_EQ(stage(1, 2).colorOp, DEVICE_TOP_ADD);
    // Alpha blending; no blending at all.
    EXPECT_EQ(block[2].sourceBlend, DEVICE_BLEND_SRCALPHA);
    EXPECT_EQ(block[2].destinationBlend, DEVICE_BLEND_INVSRCALPHA);
    EXPECT_EQ(block[3].blendEnable, 0);
    // Only alpha blending at full strength draws in the opaque pass.
    const int translucent[4] = {1, 1, 0, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(IsModelMeshTranslucent(model, i), translucent[i]) << i;
    // No specular colour in the materials: only the mesh that takes its
    // specular from its vertices switches specular on, with that source.
    EXPECT_EQ(specular[2], 0);
    EXPECT_EQ(specular[3], 1);
    SetupMeshMaterialState(&block[3], &in->meshes[3], &specular[3]);
    EXPECT_EQ(GetDeviceStateCache()->renderStates[DEVICE_RS_SPECULARMATERIALSOURCE], uint32_t(DEVICE_MCS_COLOR2));
    // The outline is drawn in the material's outline colour.
    SetupOutlineDrawState(&block[0], &in->meshes[0], 0.1f);
    const DeviceMaterial& outline = GetDeviceStateCache()->material;
    EXPECT_EQ(outline.diffuse.r, 1.0f);
    EXPECT_EQ(outline.diffuse.g, 0.5f);
    EXPECT_EQ(outline.diffuse.b, 0.0f);
}

TEST_F(ModelDrawSettingsTest, ReadModelsDrawWithTheSettingsTheyWereMadeWith) {
    // A material as the text readers make it: toon modes 2 and 1, no extra
    // textures (the banded ramp for the toon, the smooth one for the
    // second), alpha blending at full strength, a black outline whose width
    // and minimum come from mode words 2 and 3.
    ReadModel model;
    InitReadModel(&model);
    ReadModelMesh* cube = AddTestCube(&model, AddReadModelFrame(&model, "root", nullptr));
    cube->materials[0] = AddReadModelMaterial(&model, "m");
    cube->materialCount = 1;
    const float outline[2] = {0.01f, 1.1f};
    std::memcpy(&cube->materials[0]->modeWords[2], outline, sizeof(outline));
    int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
    FreeReadModel(&model);
    ASSERT_GE(handle, 0);
    int reserved = ReserveModelInstanceHandle();
    ASSERT_EQ(SetupModelInstance(reserved, handle), 0);
    const ModelMaterial& m = GetModelBase(handle)->firstInstance->materials[0];
    EXPECT_EQ(m.toonTexture, -1);
    EXPECT_EQ(m.secondToonTexture, -2);
    EXPECT_EQ(m.toonMode, 2);
    EXPECT_EQ(m.secondToonMode, 1);
    EXPECT_EQ(m.blendMode, 1);
    EXPECT_EQ(m.blendParameter, 255);
    EXPECT_EQ(m.outline[0], 0.01f);
    EXPECT_EQ(m.outline[1], 1.1f);
    const float black[4] = {0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(m.outlineColour, black, sizeof(black)), 0);
}

TEST_F(ModelDrawSettingsTest, AnMqoNormalMapStaysOutOfTheToonSlots) {
    // A 2x2 height map: uncompressed 32-bit TGA, grey.
    std::vector<uint8_t> tga = picturewriters::TgaHeader(2, 32, 2, 2, true, false);
    for (int i = 0; i < 4; ++i) tga.insert(tga.end(), {0x80, 0x80, 0x80, 0xFF});
    files_.Add("C:\\game/maps\\height.tga", std::string(tga.begin(), tga.end()));
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].bump = "maps\\height.tga";
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    const ModelBaseMaterial& bm = base->materials[0];
    // The bump file became the material's one normal map (third layer),
    // loaded as a normal map; the toon slots name nothing.
    ASSERT_EQ(bm.layers[2].count, 1);
    const int normalMap = bm.layers[2].textures[0];
    ASSERT_GE(normalMap, 0);
    ASSERT_LT(normalMap, base->textureCount);
    EXPECT_EQ(base->textures[normalMap].bumpFlag, 1u);
    EXPECT_EQ(base->textures[normalMap].image.colourDataSize, int(tga.size()));  // the file itself
    EXPECT_EQ(bm.layers[0].count, 0);
    EXPECT_EQ(bm.extraTexture1, -1);
    EXPECT_EQ(bm.extraTexture2, -1);

    // Drawn as a toon, the material takes the built-in ramps, never the
    // normal map's graph.
    ASSERT_EQ(SetModelMaterialType(model, 0, 1), 0);
    ModelInstance* in = InstanceOf(model);
    EXPECT_EQ(in->materials[0].toonTexture, -1);
    EXPECT_EQ(in->materials[0].secondToonTexture, -2);
    RefreshDrawnValues(in);
    GetDeviceStateCache()->hasTempRegister = 0;
    DeviceDrawStateBlock block = {};
    int specular = 0;
    SetupMeshMaterialState(&block, &in->meshes[0], &specular);
    SetupMeshTextureStages(&in->meshes[0], &block, specular);
    const int normalGraph = base->textures[normalMap].image.graph;
    ASSERT_NE(normalGraph, -1);
    EXPECT_EQ(block.stages[1].graph, GetDefaultToonGraph(-1));
    EXPECT_EQ(block.stages[2].graph, GetDefaultToonGraph(-2));
    for (int s = 0; s < block.stageCount; ++s) EXPECT_NE(block.stages[s].graph, normalGraph) << s;
}

TEST_F(ModelDrawSettingsTest, AMeshWithoutAMaterialDrawsWithTheDefaultOne) {
    // A binary file stores a mesh without a material with reference 0, and
    // an X mesh whose material list is empty has none either.
    ReadModel model;
    InitReadModel(&model);
    ASSERT_NE(AddTestCube(&model, AddReadModelFrame(&model, "root", nullptr)), nullptr);
    const int binary = LoadAsBinary(ConvertReadModelToModelBase(&model, nullptr, nullptr), "bare.mv1");
    FreeReadModel(&model);
    const int x = Load("bare.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;"
                                 " MeshMaterialList { 0; 0;; } }\n");
    for (int loaded : {binary, x}) {
        ASSERT_GE(loaded, 0) << Log();
        ASSERT_EQ(BaseOf(loaded)->meshes[0].material, -1);
        // Opaque white and alpha blended, as a material a reader adds on
        // its own; the API knows no material it could change.
        const ModelMaterial* m = InstanceOf(loaded)->meshes[0].material;
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->blendMode, 1);
        EXPECT_EQ(m->blendParameter, 255);
        EXPECT_EQ(IsModelMeshTranslucent(loaded, 0), 0);
        EXPECT_EQ(GetModelMaterialCount(loaded), BaseOf(loaded)->materialCount);
        ClearRecordedDeviceCalls();
        EXPECT_EQ(DrawModel(loaded), 0);
        EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_DRAW), 1);
        const DeviceColorValue& diffuse = GetDeviceStateCache()->material.diffuse;
        EXPECT_TRUE(diffuse.r == 1.0f && diffuse.g == 1.0f && diffuse.b == 1.0f && diffuse.a == 1.0f);
    }
}

}  // namespace
