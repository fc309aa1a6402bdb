// Writes PMD model files from a description, for the tests and the fuzz
// seed. Names are given in UTF-8 and stored in code page 932, cut or padded
// to their field; a name of exactly the field's width has no terminator.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/text.h"

struct PmdVertexSpec {
    float position[3] = {0, 0, 0};
    float normal[3] = {0, 0, -1};
    float uv[2] = {0, 0};
    uint16_t bone0 = 0, bone1 = 0;
    uint8_t weight0 = 100;
    uint8_t edge = 0;
};

struct PmdMaterialSpec {
    float diffuse[4] = {1, 1, 1, 1};
    float power = 5;
    float specular[3] = {0, 0, 0};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    uint8_t toon = 0xFF;
    uint8_t edge = 0;
    uint32_t indexCount = 0;
    std::string texture;
};

struct PmdBoneSpec {
    std::string name;
    uint16_t parent = 0xFFFF;
    uint8_t type = 0;
    float head[3] = {0, 0, 0};
};

struct PmdIkSpec {
    uint16_t target = 0, effector = 0;
    uint16_t iterations = 10;
    float limit = 0.5f;  // in units of pi
    std::vector<uint16_t> links;
};

struct PmdMorphVertexSpec {
    uint32_t index;
    float position[3];
};

struct PmdMorphSpec {
    std::string name;
    uint8_t type = 0;
    std::vector<PmdMorphVertexSpec> vertices;
};

struct PmdBodySpec {
    std::string name;
    uint16_t bone = 0;
    uint8_t group = 0;
    uint16_t mask = 0xFFFF;
    uint8_t shape = 0;
    float size[3] = {1, 1, 1};
    float position[3] = {0, 0, 0};
    float rotation[3] = {0, 0, 0};
    float mass = 1, linearDamping = 0.5f, angularDamping = 0.5f, restitution = 0, friction = 0.5f;
    uint8_t type = 0;
};

struct PmdJointSpec {
    std::string name;
    uint32_t bodyA = 0, bodyB = 0;
    float values[24] = {};  // position, rotation, limits (4 x 3), springs (2 x 3, angular in degrees)
};

struct PmdDocument {
    float version = 1.0f;
    std::vector<PmdVertexSpec> vertices;
    std::vector<uint16_t> indices;
    std::vector<PmdMaterialSpec> materials;
    std::vector<PmdBoneSpec> bones;
    std::vector<PmdIkSpec> iks;
    std::vector<PmdMorphSpec> morphs;
    std::vector<uint16_t> morphDisplay;
    std::vector<std::string> boneGroups;
    std::vector<std::pair<uint16_t, uint8_t>> boneDisplay;
    // The optional tail: each part only when the ones before it are written.
    bool englishFlag = false;  // the flag byte (and nothing else unless englishNames)
    bool englishNames = false;
    bool toonNames = false;
    std::array<std::string, 10> toon;
    bool physics = false;
    std::vector<PmdBodySpec> bodies;
    std::vector<PmdJointSpec> joints;
};

class PmdBytes {
public:
    std::string bytes;
    void U8(uint8_t v) { bytes.push_back(char(v)); }
    void U16(uint16_t v) { U8(uint8_t(v)), U8(uint8_t(v >> 8)); }
    void U32(uint32_t v) { U16(uint16_t(v)), U16(uint16_t(v >> 16)); }
    void F(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        U32(bits);
    }
    void Floats(const float* v, int n) {
        for (int i = 0; i < n; ++i) F(v[i]);
    }
    // A UTF-8 name in code page 932, in a field of width bytes.
    void Name(const std::string& utf8, size_t width) {
        std::string cp932;
        if (!ConvertUtf8ToCp932(utf8, &cp932)) cp932 = utf8;
        cp932.resize(width, '\0');
        bytes += cp932;
    }
    void Zeros(size_t n) { bytes.append(n, '\0'); }
};

inline std::string WritePmd(const PmdDocument& d) {
    PmdBytes b;
    b.bytes = "Pmd";
    b.F(d.version);
    b.Name("model", 20);
    b.Name("comment", 256);
    b.U32(uint32_t(d.vertices.size()));
    for (const PmdVertexSpec& v : d.vertices) {
        b.Floats(v.position, 3), b.Floats(v.normal, 3), b.Floats(v.uv, 2);
        b.U16(v.bone0), b.U16(v.bone1), b.U8(v.weight0), b.U8(v.edge);
    }
    b.U32(uint32_t(d.indices.size()));
    for (uint16_t i : d.indices) b.U16(i);
    b.U32(uint32_t(d.materials.size()));
    for (const PmdMaterialSpec& m : d.materials) {
        b.Floats(m.diffuse, 4), b.F(m.power), b.Floats(m.specular, 3), b.Floats(m.ambient, 3);
        b.U8(m.toon), b.U8(m.edge), b.U32(m.indexCount), b.Name(m.texture, 20);
    }
    b.U16(uint16_t(d.bones.size()));
    for (const PmdBoneSpec& bone : d.bones) {
        b.Name(bone.name, 20), b.U16(bone.parent), b.U16(0), b.U8(bone.type), b.U16(0), b.Floats(bone.head, 3);
    }
    b.U16(uint16_t(d.iks.size()));
    for (const PmdIkSpec& ik : d.iks) {
        b.U16(ik.target), b.U16(ik.effector), b.U8(uint8_t(ik.links.size())), b.U16(ik.iterations), b.F(ik.limit);
        for (uint16_t l : ik.links) b.U16(l);
    }
    b.U16(uint16_t(d.morphs.size()));
    for (const PmdMorphSpec& m : d.morphs) {
        b.Name(m.name, 20), b.U32(uint32_t(m.vertices.size())), b.U8(m.type);
        for (const PmdMorphVertexSpec& v : m.vertices) b.U32(v.index), b.Floats(v.position, 3);
    }
    b.U8(uint8_t(d.morphDisplay.size()));
    for (uint16_t m : d.morphDisplay) b.U16(m);
    b.U8(uint8_t(d.boneGroups.size()));
    for (const std::string& g : d.boneGroups) b.Name(g, 50);
    b.U32(uint32_t(d.boneDisplay.size()));
    for (auto [bone, group] : d.boneDisplay) b.U16(bone), b.U8(group);
    if (!d.englishFlag && !d.englishNames && !d.toonNames && !d.physics) return b.bytes;
    b.U8(d.englishNames ? 1 : 0);
    if (d.englishNames) {
        size_t morphNames = d.morphs.empty() ? 0 : d.morphs.size() - 1;
        b.Name("english", 20), b.Name("english comment", 256);
        for (size_t i = 0; i < d.bones.size() + morphNames; ++i) b.Name("en", 20);
        for (size_t i = 0; i < d.boneGroups.size(); ++i) b.Name("group", 50);
    }
    if (!d.toonNames && !d.physics) return b.bytes;
    for (const std::string& t : d.toon) b.Name(t, 100);
    if (!d.physics) return b.bytes;
    b.U32(uint32_t(d.bodies.size()));
    for (const PmdBodySpec& r : d.bodies) {
        b.Name(r.name, 20), b.U16(r.bone), b.U8(r.group), b.U16(r.mask), b.U8(r.shape);
        b.Floats(r.size, 3), b.Floats(r.position, 3), b.Floats(r.rotation, 3);
        b.F(r.mass), b.F(r.linearDamping), b.F(r.angularDamping), b.F(r.restitution), b.F(r.friction), b.U8(r.type);
    }
    b.U32(uint32_t(d.joints.size()));
    for (const PmdJointSpec& j : d.joints) b.Name(j.name, 20), b.U32(j.bodyA), b.U32(j.bodyB), b.Floats(j.values, 24);
    return b.bytes;
}
