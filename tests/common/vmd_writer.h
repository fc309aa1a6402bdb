// Writes VMD motion files from a description, for the tests and the fuzz
// seed. Names are given in UTF-8 and stored in code page 932 in their
// 15-byte fields. Curve bytes are given as the file stores them (0-127);
// a key's curves default to the straight line (20, 20, 107, 107).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pmd_writer.h"

struct VmdCurveBytes {
    int8_t x1 = 20, y1 = 20, x2 = 107, y2 = 107;
};

struct VmdBoneKeySpec {
    std::string bone;
    uint32_t frame = 0;
    float translation[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};
    std::array<VmdCurveBytes, 4> curves{};  // translation X, Y, Z, rotation
};

struct VmdMorphKeySpec {
    std::string morph;
    uint32_t frame = 0;
    float weight = 0;
};

struct VmdCameraKeySpec {
    uint32_t frame = 0;
    float distance = -30;
    float position[3] = {0, 10, 0};
    float rotation[3] = {0, 0, 0};
    std::array<VmdCurveBytes, 6> curves{};  // position X, Y, Z, rotation, distance, view angle
    uint32_t viewAngle = 30;
    uint8_t perspective = 0;
};

struct VmdDocument {
    std::string signature = "Vocaloid Motion Data 0002";
    std::vector<VmdBoneKeySpec> bones;
    std::vector<VmdMorphKeySpec> morphs;
    std::vector<VmdCameraKeySpec> cameras;
    bool withMorphs = true;   // the morph section (and the ones after it) is written
    bool withCameras = true;  // likewise the camera section
};

inline std::string WriteVmd(const VmdDocument& d) {
    PmdBytes b;
    b.bytes = d.signature;
    b.bytes.resize(30, '\0');
    b.Name("model", 20);
    b.U32(uint32_t(d.bones.size()));
    for (const VmdBoneKeySpec& k : d.bones) {
        b.Name(k.bone, 15), b.U32(k.frame), b.Floats(k.translation, 3), b.Floats(k.rotation, 4);
        // 64 bytes: each curve's four values 4 bytes apart, 16 bytes a curve.
        std::string block(64, '\0');
        for (int c = 0; c < 4; ++c) {
            const VmdCurveBytes& v = k.curves[size_t(c)];
            block[size_t(16 * c)] = char(v.x1), block[size_t(16 * c + 4)] = char(v.y1);
            block[size_t(16 * c + 8)] = char(v.x2), block[size_t(16 * c + 12)] = char(v.y2);
        }
        b.bytes += block;
    }
    if (!d.withMorphs) return b.bytes;
    b.U32(uint32_t(d.morphs.size()));
    for (const VmdMorphKeySpec& k : d.morphs) b.Name(k.morph, 15), b.U32(k.frame), b.F(k.weight);
    if (!d.withCameras) return b.bytes;
    b.U32(uint32_t(d.cameras.size()));
    for (const VmdCameraKeySpec& k : d.cameras) {
        b.U32(k.frame), b.F(k.distance), b.Floats(k.position, 3), b.Floats(k.rotation, 3);
        for (const VmdCurveBytes& v : k.curves)  // x1, x2, y1, y2 in the camera's order
            b.U8(uint8_t(v.x1)), b.U8(uint8_t(v.x2)), b.U8(uint8_t(v.y1)), b.U8(uint8_t(v.y2));
        b.U32(k.viewAngle), b.U8(k.perspective);
    }
    return b.bytes;
}

inline VmdBoneKeySpec VmdBoneKey(const char* bone, uint32_t frame, float tx, float ty, float tz,
                                 const float rotation[4] = nullptr) {
    VmdBoneKeySpec k;
    k.bone = bone, k.frame = frame;
    k.translation[0] = tx, k.translation[1] = ty, k.translation[2] = tz;
    if (rotation)
        for (int i = 0; i < 4; ++i) k.rotation[i] = rotation[i];
    return k;
}
