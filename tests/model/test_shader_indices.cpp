// The shader indices of mesh drawing: each material setting adds its
// offset to the vertex- and pixel-shader index as the table says, every
// index so made decodes back to what it means, and the devices without
// programmable shaders refuse every index.
#include <gtest/gtest.h>

#include "graphics/device/devicestate.h"
#include "graphics/device/shader_index.h"
#include "model/draw/model_draw_state.h"

using namespace morpotta;

namespace {

struct MeshUnderTest {
    ModelBaseMaterial baseMaterial{};
    ModelMaterial material{};
    ModelBaseMesh baseMesh{};
    ModelMesh mesh{};
    int textures[1] = {0};
    MeshUnderTest() {
        material.base = &baseMaterial;
        mesh.material = &material;
        mesh.base = &baseMesh;
    }
    ModelShaderIndices Indices(int specular, int lightingOff = 0) {
        return ComputeMeshShaderIndices(&mesh, specular, lightingOff, kVsLighting, 0);
    }
};

TEST(ShaderIndices, EachSettingAddsItsOffset) {
    MeshUnderTest t;
    const ModelShaderIndices plain = t.Indices(0);
    EXPECT_EQ(plain.vertex, kVsLighting);
    EXPECT_EQ(plain.pixel, 0);
    // Specular: +1 on both.
    EXPECT_EQ(t.Indices(1).vertex, kVsLighting + 1);
    EXPECT_EQ(t.Indices(1).pixel, 1);
    // Vertex colours, or the layer's lighting switched off: +4 and +2 on both.
    t.baseMesh.vertexColours = 1;
    EXPECT_EQ(t.Indices(0).vertex, kVsLighting + 4);
    EXPECT_EQ(t.Indices(0).pixel, 4);
    t.baseMesh.vertexColours = 0;
    t.baseMesh.vertexSpecular = 1;
    EXPECT_EQ(t.Indices(0).pixel, 2);
    t.baseMesh.vertexSpecular = 0;
    EXPECT_EQ(t.Indices(0, 1).vertex, kVsLighting + 6);
    EXPECT_EQ(t.Indices(0, 1).pixel, 6);
    // A second texture layer: +864 on the pixel shader alone.
    t.material.layers[1].count = 1;
    t.material.layers[1].textures = t.textures;
    EXPECT_EQ(t.Indices(0).vertex, kVsLighting);
    EXPECT_EQ(t.Indices(0).pixel, 864);
    t.material.layers[1].count = 0;
    // A normal map of the base material: +2048 and +216.
    t.baseMaterial.layers[2].count = 1;
    EXPECT_EQ(t.Indices(1).vertex, kVsLighting + 2048 + 1);
    EXPECT_EQ(t.Indices(1).pixel, 216 + 1);
    t.baseMaterial.layers[2].count = 0;
    // Type 1 with its toon modes; the second toon mode counts with specular only.
    t.baseMaterial.drawType = 1;
    EXPECT_EQ(t.Indices(0).pixel, 13824);
    t.material.toonMode = 2;
    EXPECT_EQ(t.Indices(0).pixel, 13824 + 6912);
    t.material.secondToonMode = 1;
    EXPECT_EQ(t.Indices(0).pixel, 13824 + 6912);
    EXPECT_EQ(t.Indices(1).pixel, 13824 + 6912 + 3456 + 1);
    EXPECT_EQ(t.Indices(1).vertex, kVsLighting + 1);
    // Type 2 has no toon-mode offsets.
    t.baseMaterial.drawType = 2;
    EXPECT_EQ(t.Indices(1).pixel, 27648 + 1);
}

TEST(ShaderIndices, IndicesDecodeToWhatTheyMean) {
    VertexShaderBits v;
    ASSERT_TRUE(DecodeVertexShaderIndex(kVsLighting + (3 << kVsFogShift) + 4 + 1 + kVsSkin8, &v));
    EXPECT_FALSE(v.outline);
    EXPECT_EQ(v.skin, 2);
    EXPECT_EQ(v.fogMode, 3);
    EXPECT_TRUE(v.lighting && v.vertexDiffuse && v.specular);
    EXPECT_FALSE(v.vertexSpecular || v.normalMap);
    ASSERT_TRUE(DecodeVertexShaderIndex((1 + 96) * 512 + kVsSkin4, &v));  // an outline with exp fog
    EXPECT_TRUE(v.outline);
    EXPECT_EQ(v.skin, 1);
    EXPECT_EQ(v.fogMode, 1);
    EXPECT_FALSE(v.normalMap);
    ASSERT_TRUE(DecodeVertexShaderIndex(96 * 512 + kVsNormalMap, &v));  // the outline of a mesh with tangent data
    EXPECT_TRUE(v.outline && v.normalMap);
    EXPECT_FALSE(DecodeVertexShaderIndex(16, &v)) << "no meaning at 16";
    EXPECT_FALSE(DecodeVertexShaderIndex(kVsSkin4 + kVsSkin8, &v)) << "no skinning of kind 3";
    EXPECT_FALSE(DecodeVertexShaderIndex(kVsOutline + 1, &v)) << "outlines take no material offsets";

    PixelShaderBits p;
    ASSERT_TRUE(DecodePixelShaderIndex(13824 + 6912 + 3456 + 864 + 216 + 4 + 1, &p));
    EXPECT_EQ(p.drawType, 1);
    EXPECT_TRUE(p.toonModulate && p.secondToonAdd && p.secondLayer && p.normalMap && p.vertexDiffuse && p.specular);
    EXPECT_FALSE(p.vertexSpecular);
    ASSERT_TRUE(DecodePixelShaderIndex(27648 + 2, &p));
    EXPECT_EQ(p.drawType, 2);
    EXPECT_TRUE(p.vertexSpecular);
    EXPECT_FALSE(DecodePixelShaderIndex(27648 + 6912, &p)) << "type 2 has no toon modes";
    EXPECT_FALSE(DecodePixelShaderIndex(8, &p));
    EXPECT_FALSE(DecodePixelShaderIndex(2 * 27648, &p));
    EXPECT_FALSE(DecodePixelShaderIndex(-1, &p));
}

TEST(ShaderIndices, TheRecordingDeviceAndTheSoftwarePathOfferNoShaders) {
    ResetDeviceStateCache();
    EXPECT_EQ(DeviceShadersAvailable(), 0);
    EXPECT_EQ(SelectVertexShader(kVsLighting), 0) << "no device";
    ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    EXPECT_EQ(DeviceShadersAvailable(), 0);
    EXPECT_EQ(SelectVertexShader(kVsLighting), 0);
    EXPECT_EQ(SelectPixelShader(0), 0);
    EXPECT_EQ(GetDeviceStateCache()->vertexShader, -1);
    ReleaseGraphicsDevice();
    ResetDeviceStateCache();
}

}  // namespace
