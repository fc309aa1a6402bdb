// The layout of a PMD file, found and checked before anything is built:
// every section within the file and every index within what it names.
// Fixed-width names need no terminator: one that fills its field is used
// whole (CopyPmdName).
//
// Little-endian, packed; offsets from the start of the file:
//   0 "Pmd", 3 version (float, 1.0), 7 model name (20), 27 comment (256),
//   283 vertex count (u32) and vertices of 38 bytes: position, normal
//   (3 floats each), u, v, bone 0, bone 1 (u16), bone-0 weight (u8,
//   0-100), edge flag (u8);
//   index count (u32) and u16 vertex indices, three a triangle;
//   material count (u32) and materials of 70 bytes: diffuse (4 floats),
//   specular power, specular (3), ambient (3), toon index (u8, 255 none),
//   edge flag (u8), index count (u32), texture name (20; "*" starts a
//   sphere map name);
//   bone count (u16) and bones of 39 bytes: name (20), parent (u16, 65535
//   none), tail (u16), type (u8), IK parent (u16), head (3 floats);
//   IK count (u16) and entries of 11 bytes and their links: target,
//   effector (u16), link count (u8), iterations (u16), angle limit (float,
//   in units of pi), link bones (u16 each);
//   morph count (u16) and morphs of 25 bytes and their vertices: name (20),
//   vertex count (u32), type (u8), vertices of 16 bytes (u32 index and a
//   position; the first morph is the base: model vertices and absolute
//   positions; the others index the base morph and give offsets);
//   morph display list (u8 count, u16 each), bone group names (u8 count,
//   50 bytes each), bone display list (u32 count, 3 bytes each).
// What follows is optional, each part whole or not at all: an English-name
// flag (u8) with, when set, 276 + 20 x bones + 20 x (morphs - 1) + 50 x
// groups bytes of names; ten toon texture names of 100 bytes; rigid bodies
// (u32 count, 83 bytes each) and joints (u32 count, 124 bytes each).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/log.h"

namespace morpotta {

constexpr size_t kPmdHeaderBytes = 283;
constexpr size_t kPmdVertexBytes = 38;
constexpr size_t kPmdMaterialBytes = 70;
constexpr size_t kPmdBoneBytes = 39;
constexpr size_t kPmdIkBytes = 11;
constexpr size_t kPmdMorphBytes = 25;
constexpr size_t kPmdMorphVertexBytes = 16;
constexpr size_t kPmdBodyBytes = 83;
constexpr size_t kPmdJointBytes = 124;
constexpr int kPmdToonNames = 10;
constexpr size_t kPmdToonNameBytes = 100;
constexpr size_t kPmdNameBytes = 20;
constexpr uint16_t kPmdNoBone = 0xFFFF;
constexpr uint8_t kPmdNoToon = 0xFF;

struct PmdFile {
    const unsigned char* data;
    size_t size;
    uint32_t vertexCount;
    const unsigned char* vertices;
    uint32_t faceCount;  // index count / 3
    const unsigned char* indices;
    uint32_t materialCount;
    const unsigned char* materials;
    uint32_t boneCount;
    const unsigned char* bones;
    std::vector<const unsigned char*> iks;
    std::vector<const unsigned char*> morphs;
    const unsigned char* toonNames;  // null when the file has none
    bool hasPhysics;
    uint32_t bodyCount;
    const unsigned char* bodies;
    uint32_t jointCount;
    const unsigned char* joints;
};

// Logs a PMD load failure; -1.
inline int LogPmdLoadError(const char* what) { return WriteLogFormat("PMD Load Error : %s", what); }

// Little-endian fields of the file.
uint16_t PmdU16(const unsigned char* p);
uint32_t PmdU32(const unsigned char* p);
float PmdF32(const unsigned char* p);

// 0 with the layout in file, or -1 with the fault logged. The physics
// records are looked at only when readPhysics is set.
int ParsePmdFile(const unsigned char* data, size_t size, bool readPhysics, PmdFile* file);

// A fixed-width name copied into out (width + 1 bytes, zeroed first), so a
// name that fills its field is kept whole and terminated.
void CopyPmdName(char* out, const unsigned char* field, size_t width);

}  // namespace morpotta
