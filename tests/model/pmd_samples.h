// PMD models for the tests and the fuzz seed, built with the PMD writer.
#pragma once
#include <cmath>

#include "pmd_writer.h"

inline PmdVertexSpec PmdVertex(float x, float y, float z, uint16_t bone0, uint16_t bone1, uint8_t weight0,
                               uint8_t edge = 1) {
    PmdVertexSpec v;
    v.position[0] = x, v.position[1] = y, v.position[2] = z;
    v.uv[0] = x, v.uv[1] = y;
    v.bone0 = bone0, v.bone1 = bone1, v.weight0 = weight0, v.edge = edge;
    return v;
}

inline PmdBoneSpec PmdBoneAt(const char* name, uint16_t parent, float x, float y, float z) {
    PmdBoneSpec b;
    b.name = name;
    b.parent = parent;
    b.head[0] = x, b.head[1] = y, b.head[2] = z;
    return b;
}

// One triangle on one bone, with one outlined material.
inline PmdDocument PmdTriangle() {
    PmdDocument d;
    d.vertices = {PmdVertex(0, 0, 0, 0, 0, 100), PmdVertex(0, 1, 0, 0, 0, 100), PmdVertex(1, 0, 0, 0, 0, 100)};
    d.indices = {0, 1, 2};
    PmdMaterialSpec m;
    m.indexCount = 3;
    m.edge = 1;
    d.materials = {m};
    d.bones = {PmdBoneAt("センター", 0xFFFF, 0, 0, 0)};
    return d;
}

// Bones of a leg: centre, thigh, knee, ankle, and the IK target beside
// the ankle, with one IK entry (ankle to target over knee and thigh).
enum PmdLegBone { kLegCentre, kLegThigh, kLegKnee, kLegAnkle, kLegTarget };

inline void AddPmdLeg(PmdDocument* d) {
    d->bones = {PmdBoneAt("センター", 0xFFFF, 0, 10, 0), PmdBoneAt("左足", kLegCentre, 1, 9, 0),
                PmdBoneAt("左ひざ", kLegThigh, 1, 5, 0), PmdBoneAt("左足首", kLegKnee, 1, 1, 0),
                PmdBoneAt("左足ＩＫ", kLegCentre, 1, 1, 0)};
    PmdIkSpec ik;
    ik.target = kLegTarget, ik.effector = kLegAnkle, ik.iterations = 40, ik.limit = 0.5f;
    ik.links = {kLegKnee, kLegThigh};
    d->iks = {ik};
}

// A strip down the leg: the top pair hangs on the thigh alone, the middle
// pair half on thigh and knee, the bottom pair 30% knee and 70% ankle; two
// materials over two faces each (the first toon 0 with an edge and a
// texture with a sphere map, the second no toon) and an empty third one.
inline PmdDocument PmdLegStrip() {
    PmdDocument d;
    AddPmdLeg(&d);
    d.vertices = {PmdVertex(0.5f, 9, 0, kLegThigh, kLegThigh, 100), PmdVertex(1.5f, 9, 0, kLegThigh, kLegThigh, 0),
                  PmdVertex(0.5f, 5, 0, kLegThigh, kLegKnee, 50),   PmdVertex(1.5f, 5, 0, kLegThigh, kLegKnee, 50),
                  PmdVertex(0.5f, 1, 0, kLegKnee, kLegAnkle, 30),   PmdVertex(1.5f, 1, 0, kLegKnee, kLegAnkle, 30)};
    d.indices = {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4};
    PmdMaterialSpec skin;
    skin.diffuse[0] = 1.0f, skin.diffuse[1] = 0.8f, skin.diffuse[2] = 0.6f, skin.diffuse[3] = 1.0f;
    skin.toon = 0, skin.edge = 1, skin.indexCount = 6, skin.texture = "skin.bmp*skin.sph";
    PmdMaterialSpec cloth;
    cloth.diffuse[0] = 0.2f, cloth.diffuse[1] = 0.3f, cloth.diffuse[2] = 0.9f, cloth.diffuse[3] = 1.0f;
    cloth.indexCount = 6;
    PmdMaterialSpec empty;
    empty.toon = 1;
    d.materials = {skin, cloth, empty};
    return d;
}

// The strip with a base morph of the bottom pair and two morphs.
inline PmdDocument PmdLegWithMorphs() {
    PmdDocument d = PmdLegStrip();
    PmdMorphSpec base;
    base.name = "base";
    base.vertices = {{4, {0.5f, 1, 0}}, {5, {1.5f, 1, 0}}};
    PmdMorphSpec forward;
    forward.name = "つま先";
    forward.vertices = {{0, {0, 0, 1}}, {1, {0, 0, 1}}};
    PmdMorphSpec wide;
    wide.name = "wide";
    wide.vertices = {{1, {0.5f, 0, 0}}};
    d.morphs = {base, forward, wide};
    d.morphDisplay = {1, 2};
    d.boneGroups = {"legs"};
    d.boneDisplay = {{kLegThigh, 1}, {kLegKnee, 1}};
    return d;
}

// Everything a file may hold: morphs, English names, toon names and a
// kinematic and a simulated rigid body with a joint between them.
inline PmdDocument PmdFullSample() {
    PmdDocument d = PmdLegWithMorphs();
    d.englishFlag = d.englishNames = true;
    d.toonNames = true;
    for (int i = 0; i < 10; ++i) d.toon[size_t(i)] = "toon" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1) + ".bmp";
    d.toon[1] = "ramp.bmp*unused";
    d.physics = true;
    PmdBodySpec kinematic;
    kinematic.name = "hip";
    kinematic.bone = kLegThigh, kinematic.group = 1, kinematic.mask = 0xFFFD, kinematic.shape = 2;
    kinematic.mass = 5, kinematic.type = 0;
    PmdBodySpec simulated;
    simulated.name = "skirt";
    simulated.bone = 0xFFFF, simulated.group = 2, simulated.shape = 1, simulated.type = 1;
    simulated.position[1] = 8;
    d.bodies = {kinematic, simulated};
    PmdJointSpec joint;
    joint.name = "hip-skirt";
    joint.bodyA = 0, joint.bodyB = 1;
    for (int i = 0; i < 24; ++i) joint.values[i] = float(i) * 0.25f;
    joint.values[21] = 180.0f;  // angular spring, degrees
    d.joints = {joint};
    return d;
}
