// The layout of a VMD motion file, found and checked before anything is
// built, and its keys gathered by name and sorted by frame.
//
// Little-endian, packed:
//   0 signature (30 bytes; the first 26 are "Vocaloid Motion Data 0002"
//   and its terminating zero), 30 model name (20);
//   50 bone key count (u32) and bone keys of 111 bytes: bone name (15,
//   zero-padded), frame (u32), translation (3 floats), rotation quaternion
//   x, y, z, w (4 floats), interpolation (64 bytes: the curves of
//   translation X, Y, Z and rotation at 0, 16, 32 and 48, each x1 at +0,
//   y1 at +4, x2 at +8, y2 at +12);
//   morph key count (u32) and morph keys of 23 bytes: morph name (15),
//   frame (u32), weight (float);
//   camera key count (u32) and camera keys of 61 bytes: frame (u32),
//   distance (float), position (3 floats), rotation (3 floats),
//   interpolation (24 bytes: the curves of position X, Y, Z, rotation,
//   distance and view angle, four bytes each in the order x1, x2, y1, y2),
//   view angle (u32), perspective flag (u8).
// A file may end after any whole section; the sections it lacks hold no
// keys. Anything after the camera keys is not read.
//
// A curve byte b is the control value b / 127 x 3 (b signed); a curve
// whose x1 equals y1 and x2 equals y2 is a straight line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace morpotta {

constexpr size_t kVmdSignatureBytes = 30;
constexpr size_t kVmdHeaderBytes = 50;
constexpr size_t kVmdBoneKeyBytes = 111;
constexpr size_t kVmdMorphKeyBytes = 23;
constexpr size_t kVmdCameraKeyBytes = 61;
constexpr size_t kVmdNameBytes = 15;
// Distinct bone names and morph names a motion may hold, each.
constexpr int kVmdMaxNames = 2048;
// The last frame a key may stand at: about four and a half hours at 60
// frames a second. Keys are sampled at every half frame up to it.
constexpr uint32_t kVmdMaxFrame = 1u << 20;

// One motion curve: control values x1, y1, x2, y2 and whether it is a line.
struct VmdCurve {
    float points[4];
    int linear;
};

struct VmdBoneKey {
    uint32_t frame;
    float translation[3];
    float rotation[4];
    VmdCurve curves[4];  // translation X, Y, Z, rotation
};

struct VmdMorphKey {
    uint32_t frame;
    float weight;
};

struct VmdCameraKey {
    uint32_t frame;
    float distance;
    float position[3];
    float rotation[3];
    VmdCurve curves[6];  // position X, Y, Z, rotation, distance, view angle
    uint32_t viewAngle;
    uint8_t perspective;
};

// The keys of one name, sorted by frame; keys of one frame keep the order
// of the file.
template <typename Key>
struct VmdTrack {
    char name[kVmdNameBytes + 1];
    std::vector<Key> keys;
    uint32_t FirstFrame() const { return keys.front().frame; }
    uint32_t LastFrame() const { return keys.back().frame; }
};

struct VmdMotion {
    std::vector<VmdTrack<VmdBoneKey>> bones;   // in order of first appearance
    std::vector<VmdTrack<VmdMorphKey>> morphs;  // likewise
    std::vector<VmdCameraKey> camera;           // sorted by frame
    uint32_t lastFrame;                         // of every key
};

// 0 with the motion read, or -1 with the fault logged: another signature,
// a section past the end of the file, a frame beyond kVmdMaxFrame, more
// names than the tables hold.
int ReadVmdMotionFile(const unsigned char* data, size_t size, VmdMotion* motion);

}  // namespace morpotta
