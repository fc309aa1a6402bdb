// The binary model reader's shared parts: a bounds-checked view of the
// expanded file image, the range code of quantised values, and the state
// of one load. The file layout is described at the top of mv1_reader.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "model/base/model_records.h"
#include "model/read/model_readers.h"

namespace morpotta {

// The expanded image. Byte 0 is the first byte of the magic, so the file's
// offsets index it directly; the four magic bytes themselves are not kept.
struct Mv1Image {
    const uint8_t* bytes = nullptr;
    size_t size = 0;

    bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    // The caller has checked the four bytes with Has.
    uint32_t U32(size_t at) const {
        const uint8_t* p = bytes + at;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    float F32(size_t at) const;
};

// Sequential reads of packed data. A read past the end of the image gives 0
// and makes ok() false for good, so a record is read whole and checked once.
class Mv1Cursor {
public:
    Mv1Cursor(const Mv1Image& image, uint64_t offset) : image_(&image), at_(offset), ok_(offset <= image.size) {}
    bool ok() const { return ok_; }
    // False (and not ok) unless count items of width bytes remain.
    bool Need(uint64_t count, uint64_t width);
    uint8_t U8() { return uint8_t(Unsigned(1)); }
    uint16_t U16() { return uint16_t(Unsigned(2)); }
    uint32_t U32() { return Unsigned(4); }
    float F32() {
        uint32_t bits = Unsigned(4);
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    // An unsigned little-endian value of 0 to 4 bytes.
    uint32_t Unsigned(int bytes) {
        if (!ok_ || uint64_t(bytes) > image_->size - at_) {
            ok_ = false;
            return 0;
        }
        const uint8_t* p = image_->bytes + at_;
        at_ += uint64_t(bytes);
        switch (bytes) {
        case 1: return p[0];
        case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
        case 4: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        default: {
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
            return v;
        }
        }
    }

private:
    const Mv1Image* image_;
    uint64_t at_;
    bool ok_;
};

// Quantised values: value = u16 x scale + offset, both from a two-byte
// range code.
struct Mv1Range {
    float scale;
    float offset;
};
Mv1Range DecodeMv1RangeCode(uint8_t first, uint8_t second);

// Header word offsets the parts of the reader share.
enum Mv1Header : uint32_t {
    kMv1FrameRecordCount = 0x54,
    kMv1FrameRecords = 0x58,
    kMv1BoneRefCount = 0x34,
    kMv1BoneRefs = 0x38,
    kMv1SkinBones = 0x60,
    kMv1SkinBoneUserCount = 0x64,
    kMv1SkinBoneUsers = 0x68,
    kMv1KeySetCount = 0xC0,
    kMv1KeySetStride = 0xC4,
    kMv1KeySets = 0xC8,
    kMv1FrameAnimCount = 0xCC,
    kMv1FrameAnimStride = 0xD0,
    kMv1FrameAnims = 0xD4,
    kMv1AnimSetCount = 0xD8,
    kMv1AnimSets = 0xDC,
    kMv1ShapeHeader = 0xF0,
    kMv1PhysicsHeader = 0xF4,
    kMv1HeaderEnd = 0xF8,
};

constexpr uint32_t kMv1SkinBoneStride = 0x54;
constexpr uint32_t kMv1FrameRecordBytes = 0x64;
// What BlockPlace gives for an offset outside its block (never a real place).
inline const uint8_t* const kMv1BadPlace = reinterpret_cast<const uint8_t*>(uintptr_t(1));
constexpr uint32_t kMv1NoPosition = 0xFFFFFFFFu;  // a list whose records carry no position
constexpr uint32_t kMv1KeySetStrideRequired = 20;

// One load: the image, the base data being filled and the record offsets
// of the chained lists by their position.
struct Mv1Load {
    Mv1Image image;
    const ModelLoadParams* params = nullptr;
    ModelBase* base = nullptr;
    uint64_t budget = 0;  // bytes the base data may still take
    const char* strings = nullptr;
    uint32_t stringBytes = 0;
    std::vector<uint32_t> frames, materials, textures, meshes, lists, animSets, shapes, shapeMeshes, bodies, joints,
        frameRecords;
    std::vector<std::pair<uint32_t, int>> frameRecordOrder;  // (offset, position), by offset
    uint32_t blockAt[2] = {0, 0};       // file offsets of data blocks A and B
    std::vector<int> skinBoneSlot;      // per skin bone in file order, its place in base data

    uint32_t Header(uint32_t at) const { return image.U32(at); }
    // Logs "MV1 LoadModel Error : what" and gives false.
    bool Fail(const char* what) const;
    // Zero-filled memory from the base's chain, within the budget; null
    // (logged) when short.
    void* TakeBytes(uint64_t bytes);
    template <typename T>
    T* Take(uint64_t count) {
        if (count > (uint64_t(1) << 40) / sizeof(T)) return nullptr;
        return static_cast<T*>(TakeBytes(sizeof(T) * (count ? count : 1)));
    }
    // The string at a name offset, or null (logged) when it lies outside
    // the string table.
    const char* Name(uint32_t offset) const;
    // Offsets of count records chained through +0x04, starting at first; a
    // record of recordBytes whose own position stands at positionField
    // (kMv1NoPosition: records that carry none).
    bool Walk(uint32_t first, uint32_t count, uint32_t recordBytes, uint32_t positionField,
              std::vector<uint32_t>* out, const char* what) const;
    // Position of the record a reference names in a walked list, or -1
    // (logged). A zero reference gives -2 when allowed.
    int Ref(uint32_t offset, const std::vector<uint32_t>& list, uint32_t positionField, bool allowNone,
            const char* what) const;
    // Position of the frame-attached record at offset; -2 for offset 0, -1
    // (logged) for an offset that starts no such record.
    int FrameRecordAt(uint32_t offset) const;
    // The place in the base's copy of data block 0 (A) or 1 (B) that a
    // file offset names; null for offset 0, kMv1BadPlace (logged) for an
    // offset outside the block.
    const uint8_t* BlockPlace(int block, uint32_t offset, const char* what) const;
    // Position in a contiguous array of stride-byte records at first, or
    // -1 (logged).
    int Index(uint32_t offset, uint32_t first, uint32_t stride, uint32_t count, const char* what) const;
};

// The parts of a load, in the order the reader calls them; each gives
// false after logging what was wrong.
bool ReadMv1Frames(Mv1Load* load);          // frames, tree, bone references, skin bones
bool ReadMv1Textures(Mv1Load* load);        // textures (their images loaded) and materials
bool ReadMv1Meshes(Mv1Load* load);          // meshes and triangle-list records
bool ReadMv1FrameVertices(Mv1Load* load);   // positions, weights and normals of every frame
bool ReadMv1MeshVertices(Mv1Load* load);    // mesh vertices and triangle-list data
bool ReadMv1Shapes(Mv1Load* load);
bool ReadMv1Physics(Mv1Load* load);
bool ReadMv1Animations(Mv1Load* load);

}  // namespace morpotta
