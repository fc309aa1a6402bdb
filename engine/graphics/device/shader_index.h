// The indices of the built-in shader table of mesh drawing, and what each
// bit of them means. A vertex-shader index is the layer's base (lighting
// and fog) plus the mesh's offsets plus the skinning offset; an outline
// index stands apart from 0xC000 on. A pixel-shader index is the layer's
// base (0) plus the material's offsets. Indices with bits outside these
// meanings name no shader.
#pragma once
#include <cstdint>

namespace morpotta {

// Vertex-shader offsets.
constexpr int kVsSpecular = 1;
constexpr int kVsVertexSpecular = 2;  // specular colour from the vertices (or lighting off)
constexpr int kVsVertexDiffuse = 4;   // diffuse colour from the vertices (or lighting off)
constexpr int kVsLighting = 8;        // base: the layer's lighting is on
constexpr int kVsFogShift = 9;        // base: fog mode x 512 while fog is on
constexpr int kVsNormalMap = 2048;  // the vertices carry tangent data (outline too)
constexpr int kVsSkin4 = 0x2000;      // up to 4 bone weights
constexpr int kVsSkin8 = 0x4000;      // up to 8 bone weights
constexpr int kVsOutline = 96 * 512;  // outline: (fog mode + 96) x 512 + skinning offset

// Pixel-shader offsets.
constexpr int kPsSpecular = 1;
constexpr int kPsVertexSpecular = 2;
constexpr int kPsVertexDiffuse = 4;
constexpr int kPsNormalMap = 216;
constexpr int kPsSecondLayer = 864;
constexpr int kPsSecondToonAdd = 3456;  // type 1: second toon mode 1 with specular
constexpr int kPsToonModulate = 6912;   // type 1: toon mode 2
constexpr int kPsToon1 = 13824;
constexpr int kPsToon2 = 27648;

// Vertex-shader constant registers.
constexpr int kVsRegOutlineWidth = 42;
constexpr int kVsRegRenormalise = 43;  // x: skinned normals are made unit length
constexpr int kVsRegTexTransform = 88;  // two registers
constexpr int kVsRegMatrices = 94;      // world matrix, or 3 registers per palette bone
constexpr int kVsRegisterCount = 256;
constexpr int kVsPaletteBones = (kVsRegisterCount - kVsRegMatrices) / 3;
// Pixel-shader constant registers.
constexpr int kPsRegOutlineColour = 6;
constexpr int kPsRegOutlineWidth = 7;
constexpr int kPsRegMinusOne = 8;
constexpr int kPsRegModes = 9;  // x: blend mode 11, y: toon mode 2 (type 2), z: second toon mode 1
constexpr int kPsRegisterCount = 32;

struct VertexShaderBits {
    bool outline;
    int skin;  // 0 rigid, 1 four weights, 2 eight weights
    int fogMode;
    bool lighting, vertexDiffuse, vertexSpecular, specular;
    bool normalMap;  // tangent and binormal follow each vertex's normal data
};

struct PixelShaderBits {
    int drawType;  // 0, 1 or 2
    bool toonModulate, secondToonAdd, secondLayer, normalMap;
    bool vertexDiffuse, vertexSpecular, specular;
};

// False for an index that names no shader.
inline bool DecodeVertexShaderIndex(int index, VertexShaderBits* out) {
    VertexShaderBits b{};
    if (index < 0) return false;
    int rest = index;
    if (rest >= kVsOutline) {
        b.outline = true;
        rest -= kVsOutline;
    }
    b.skin = rest >> 13;
    rest &= 0x1FFF;
    if (b.skin > 2) return false;
    b.fogMode = (rest >> kVsFogShift) & 3;
    b.normalMap = rest & kVsNormalMap;
    if (b.outline) {
        if (rest & ~((3 << kVsFogShift) | kVsNormalMap)) return false;
    } else {
        if (rest & ~(kVsSpecular | kVsVertexSpecular | kVsVertexDiffuse | kVsLighting | (3 << kVsFogShift) | kVsNormalMap))
            return false;
        b.lighting = rest & kVsLighting;
        b.vertexDiffuse = rest & kVsVertexDiffuse;
        b.vertexSpecular = rest & kVsVertexSpecular;
        b.specular = rest & kVsSpecular;
    }
    *out = b;
    return true;
}

inline bool DecodePixelShaderIndex(int index, PixelShaderBits* out) {
    PixelShaderBits b{};
    if (index < 0 || index >= 2 * kPsToon2) return false;
    int rest = index;
    if (rest >= kPsToon2) {
        b.drawType = 2;
        rest -= kPsToon2;
        if (rest >= kPsSecondToonAdd) return false;  // type 2 has no toon-mode offsets
    } else if (rest >= kPsToon1) {
        b.drawType = 1;
        rest -= kPsToon1;
        if (rest >= kPsToonModulate) {
            b.toonModulate = true;
            rest -= kPsToonModulate;
        }
        if (rest >= kPsSecondToonAdd) {
            b.secondToonAdd = true;
            rest -= kPsSecondToonAdd;
        }
    }
    if (rest >= kPsSecondToonAdd) return false;
    if (rest >= kPsSecondLayer) {
        if (rest >= 2 * kPsSecondLayer) return false;
        b.secondLayer = true;
        rest -= kPsSecondLayer;
    }
    if (rest >= kPsNormalMap) {
        if (rest >= 2 * kPsNormalMap) return false;
        b.normalMap = true;
        rest -= kPsNormalMap;
    }
    if (rest >= 8) return false;
    b.specular = rest & kPsSpecular;
    b.vertexSpecular = rest & kPsVertexSpecular;
    b.vertexDiffuse = rest & kPsVertexDiffuse;
    *out = b;
    return true;
}

// Bytes a vertex of the shader's layout needs before its texture
// coordinates: rigid position, normal, diffuse, specular; skinned the
// source layout of its kind followed by diffuse and specular; with tangent
// data (rigid after the position, skinned after the source vertex) 24 more.
inline int ShaderVertexBytes(int skin, bool tangents) {
    return (skin == 0 ? 32 : skin == 1 ? 56 : 72) + (tangents ? 24 : 0);
}

}  // namespace morpotta
