// LoadModelMV1: the engine's binary model files, read straight into model
// base data.
//
// File: the magic "MV11", then one block of the engine's block codec whose
// expanded bytes are the image from offset 4 on; every offset below counts
// from the magic, and an offset of 0 names nothing. Integers are
// little-endian.
//
// Header (u32 words): 0x08 a word kept as it stands; 0x10/0x14 the sizes
// and 0x18/0x1C the offsets of data blocks A and B (kept as they stand;
// frames point into them); 0x20 frame count, 0x24 first frame; 0x34/0x38
// the bone-reference array (u32 skin-bone offsets); 0x3C/0x40 materials;
// 0x44/0x48 textures; 0x4C/0x50 meshes; 0x54/0x58 frame-attached records;
// 0x5C/0x60 skin bones (0x54 bytes apart, in any frame order);
// 0x64/0x68 skin-bone users (8 bytes: frame, slot); 0x6C/0x70 triangle
// lists; 0xA4 the mesh-drawing float, 0xA8 a word kept beside it;
// 0xAC/0xB0 string table size and offset (names are offsets into it);
// 0xC0/0xC4/0xC8 key sets (count, record size which must be 20, first);
// 0xCC/0xD0/0xD4 frame animations (count, record size, first); 0xD8/0xDC
// animation sets; 0xF0 shape header; 0xF4 physics header. Chained records
// hold the next record at +0x04 and their own list position at +0x0C
// (frames, materials, animation sets, shapes, rigid bodies, joints) or
// +0x08 (meshes, triangle lists, shape meshes); a reference is the offset
// of the record named. The totals at 0x7C-0xB4 and the words 0x04, 0x0C,
// 0x28-0x30 serve readers that size one block up front; this reader
// counts for itself.
//
// Frame-attached record (0x64 bytes): +0x08 name, +0x0C twenty-two words.
//
// Frame (0xDC bytes read): +0x08 name, +0x14 a place in data block A,
// +0x24 a place in data block B (offsets, 0 for none), +0x30/+0x34 meshes
// below and frames below, +0x38 parent (parents come first; children and
// siblings follow the list order), +0x4C translation, +0x58 scale, +0x64
// rotation (3 floats each), +0x70 rotation order 0-5, +0x74 quaternion,
// +0x84 flags (bit 0 visible, bit 1 placed by the model matrix even under
// a parent), +0x88 user word, +0x8C the use-frame-smoothing-angles word,
// +0x94/+0x98 meshes (count, first; consecutive), +0xA0 the frame's skin
// bone (offset of its record, 0 for none), +0xA4/+0xA8 bone references
// (count, first entry), +0xAC its frame-attached record (0 for none),
// +0xB0 u16 vertex flags, +0xB2 u16 most weights per position, +0xB4
// smoothing angle, +0xB8 non-zero: compute the normals, +0xBC positions,
// +0xC0 normals, +0xC4 packed vertex data, +0xD8 the offset of the frame's
// shape entry (0 for none): u32 shape count, u32 first shape (consecutive).
// Packed frame data: positions (flag bit 2: six floats of minimum and
// range per axis, then u16 per coordinate = u x range / 60000 + minimum;
// else three floats); unless bit 3, per position up to the most pairs of
// bone slot (u8, or u16 with bit 4; all ones ends the list) and weight
// (u8 / 255, or u16 / 65535 with bit 5); normals by bits 0-1: none, s8 /
// 127, s16 / 32767, floats.
//
// Skin bone: +0x0C bone frame, +0x10 twelve floats (rows 0-3 of the offset
// matrix, three columns each), +0x40 translation-only word, +0x44/+0x48
// users (count, first entry). Base data keeps them in frame order (the
// file's order among the bones of one frame). Material (0x2CC bytes): +0x08 name, +0x10
// diffuse, ambient, specular, emissive and power (17 floats), three layer
// groups at +0x58, +0x11C, +0x1E0 (count up to 8, then 24-byte entries of
// texture index and layer word), +0x2A4 flag word, +0x2A8 alpha, +0x2AC
// mode word 6, +0x2B0/+0x2B4 the outline floats, +0x2C8 extension (+0x00
// draw type, +0x04/+0x08 extra textures, +0x0C/+0x10 mode words 0 and 1,
// +0x14 mode word 2, +0x18 the outline colour (RGBA floats), +0x28 mode
// word 3).
// Texture (0x38 bytes): +0x08 name, +0x10/+0x14 colour and alpha file
// names, +0x18 bump flag, +0x1C bump height, +0x20/+0x24/+0x28 address
// modes and filter, +0x34 bit 0 reverse, bit 1 32-bit BMP alpha.
// Mesh (0x4C bytes): +0x0C frame, +0x10 material (0 for none: the mesh
// draws with the instance's default material), +0x24 translucent, +0x28
// needs instance vertices, +0x2C visible, +0x2D cull mode, +0x30/+0x34
// triangle lists (count, first; consecutive), +0x38 vertex diffuse
// colours, +0x39 vertex specular colours (in place of the material's), +0x3A texture-coordinate sets, +0x3C vertex flags, +0x40
// vertex count, +0x48 packed vertices: with flag bit 5 one diffuse and one
// specular colour (u32 0xAARRGGBB) for all; position then normal indices
// (widths by bits 0-1 and 2-3: none, u8, u16, u32); else the colours per
// vertex; u, v per set (floats, or u16 / 65535 with bit 4; a mesh keeps
// its first eight sets); with bit 6 one no-outline bit per vertex, high
// bit first.
// Triangle list (0x1C bytes): +0x0C mesh, +0x10 u16 kind (0 rigid, 1 up
// to 4 weights, 2 up to 8, 3 any), +0x12 u8 widths, +0x14 u16 vertices,
// +0x16 u16 indices, +0x18 packed data: kinds 1 and 2 a u16 bone count (at
// most 54) and u16 bone slots, kind 3 a u16 weight count; mesh-vertex
// numbers (bits 0-1: u8, u16, u32); indices (bits 2-3: u8, u16; other
// widths store none). A vertex takes the first 4 or 8 weights of its
// position (kinds 1, 2) or the list's weight count (kind 3); a bone
// missing from the palette takes the slot past its end.
// Key set (20 bytes): u8 value type, u8 key kind, u16 flags, +0x04 key
// data, read by mv1_animation.cpp; frame animation: +0x00 position, +0x04
// set, +0x08 frame, +0x0C value, +0x10 word, +0x14/+0x18 key sets (count,
// first); animation set: +0x08 name, +0x10 end time, +0x14/+0x18 frame
// animations (count, first), +0x2C flags. Shapes, physics: see
// mv1_shapes.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "model/base/model_handles.h"
#include "model/base/model_math.h"
#include "model/convert/base_routines.h"
#include "model/convert/convert.h"
#include "model/convert/vertex_passes.h"
#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

const uint8_t kMagic[4] = {'M', 'V', '1', '1'};

// A block may expand this many times over, and at most to this size:
// enough for any real model, and what keeps a few crafted bytes from
// asking for gigabytes.
constexpr uint64_t kMaxExpansion = 256;
constexpr uint64_t kMaxImageBytes = uint64_t(1) << 30;
// Base data may take this much beyond a multiple of the image.
constexpr uint64_t kBudgetPerImageByte = 32;
constexpr uint64_t kBudgetBase = uint64_t(64) << 20;

// Normals of a frame that stores none: the unit face normals of every
// triangle summed at its corners' normal records, then normalised.
void ComputeFrameNormals(ModelBaseFrame* frame) {
    for (int m = 0; m < frame->meshCount; ++m) {
        const ModelBaseMesh& mesh = frame->firstMesh[m];
        for (int l = 0; l < mesh.triangleListCount; ++l) {
            const ModelBaseTriangleList& list = mesh.firstTriangleList[l];
            for (int i = 0; i + 2 < list.indexCount; i += 3) {
                const ModelBaseMeshVertex* v[3];
                for (int c = 0; c < 3; ++c) v[c] = &mesh.vertices[list.meshVertices[list.indices[i + c]]];
                Vector3 n = UnitFaceNormal(frame->positions[v[0]->position].position,
                                           frame->positions[v[1]->position].position,
                                           frame->positions[v[2]->position].position);
                for (int k = 0; k < 3; ++k) {
                    Vector3& out = frame->normals[v[k]->normal].normal;
                    out = Vector3{out.x + n.x, out.y + n.y, out.z + n.z};
                }
            }
        }
    }
    for (int i = 0; i < frame->normalCount; ++i) frame->normals[i].normal = NormalisedOrZero(frame->normals[i].normal);
}


// Everything the file leaves out: normals, tangents, frame matrices, the
// load-time passes and the triangle lists' vertex arrays.
bool Finish(Mv1Load* load, const uint32_t* computeNormals) {
    ModelBase* base = load->base;
    for (int i = 0; i < base->frameCount; ++i)
        if (computeNormals[i]) ComputeFrameNormals(&base->frames[i]);
    for (int i = 0; i < base->meshCount; ++i)
        if (BuildMeshTangents(&base->meshes[i]) != 0) return false;
    ComputeBaseFrameMatrices(base);
    for (int i = 0; i < base->frameCount; ++i) {
        const ModelBaseFrame& f = base->frames[i];
        if (!IsFiniteMatrix34(f.localMatrix) || !IsFiniteMatrix34(f.worldMatrix))
            return load->Fail("a frame's transform does not give a finite matrix");
    }
    for (int i = 0; GetModelLoadVertexOptimize() && i < base->frameCount; ++i)
        if (OptimizeFrameVertices(&base->frames[i]) != 0) return false;
    for (int i = 0; GetModelLoadNormalRecalc() && i < base->frameCount; ++i)
        if (RecalculateFrameNormals(&base->frames[i], kModelDefaultAngle) < 0) return false;
    for (int i = 0; i < base->triangleListCount; ++i) {
        FillTriangleListVertices(&base->triangleLists[i]);
        FilterTriangleListIndices(&base->triangleLists[i]);
    }
    return true;
}

bool ReadStrings(Mv1Load* load) {
    uint32_t size = load->Header(0xAC), offset = load->Header(0xB0);
    if (size > 0 && !load->image.Has(offset, size)) return load->Fail("the string table lies outside the file");
    auto* copy = load->Take<char>(uint64_t(size) + 1);  // a 0 behind the last string
    if (!copy) return false;
    if (size > 0) std::memcpy(copy, load->image.bytes + offset, size);
    load->strings = copy;
    load->stringBytes = size;
    return true;
}

// The two data blocks, copied whole.
bool ReadDataBlocks(Mv1Load* load) {
    for (int b = 0; b < 2; ++b) {
        const uint32_t size = load->Header(0x10 + 4 * uint32_t(b)), at = load->Header(0x18 + 4 * uint32_t(b));
        load->blockAt[b] = at;
        if (size == 0) continue;
        if (!load->image.Has(at, size)) return load->Fail("a data block lies outside the file");
        auto* copy = load->Take<uint8_t>(size);
        if (!copy) return false;
        std::memcpy(copy, load->image.bytes + at, size);
        load->base->dataBlocks[b] = ModelBaseDataBlock{size, copy};
    }
    return true;
}

bool ReadFrameRecords(Mv1Load* load) {
    ModelBase* base = load->base;
    const uint32_t count = load->Header(kMv1FrameRecordCount);
    if (!load->Walk(load->Header(kMv1FrameRecords), count, kMv1FrameRecordBytes, kMv1NoPosition,
                    &load->frameRecords, "the frame-attached records are broken"))
        return false;
    base->frameRecords = load->Take<ModelBaseFrameRecord>(count);
    if (!base->frameRecords) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = load->frameRecords[i];
        ModelBaseFrameRecord& r = base->frameRecords[i];
        if (!(r.name = load->Name(load->image.U32(at + 0x08)))) return false;
        for (int w = 0; w < kModelFrameRecordWords; ++w) r.words[w] = load->image.U32(at + 0x0C + 4 * uint32_t(w));
    }
    base->frameRecordCount = int(count);
    for (uint32_t i = 0; i < count; ++i) load->frameRecordOrder.emplace_back(load->frameRecords[i], int(i));
    std::sort(load->frameRecordOrder.begin(), load->frameRecordOrder.end());
    return true;
}

bool ReadBase(Mv1Load* load, std::vector<uint32_t>* computeNormals) {
    ModelBase* base = load->base;
    std::memcpy(&base->meshDrawFloat, load->image.bytes + 0xA4, 4);
    base->headerWord = load->Header(0x08);
    base->meshDrawWord = load->Header(0xA8);
    base->gravity = GetModelLoadGravity();
    if (load->params->folder) {
        std::string folder = load->params->folder;
        if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '/';
        auto* copy = load->Take<char>(folder.size() + 1);
        if (!copy) return false;
        std::memcpy(copy, folder.c_str(), folder.size());
        base->folder = copy;
    }
    if (!ReadStrings(load) || !ReadDataBlocks(load) || !ReadFrameRecords(load) || !ReadMv1Frames(load) || !ReadMv1Textures(load) || !ReadMv1Meshes(load) ||
        !ReadMv1FrameVertices(load) || !ReadMv1MeshVertices(load) || !ReadMv1Shapes(load) ||
        !ReadMv1Physics(load) || !ReadMv1Animations(load))
        return false;
    base->frameBitWords = (base->frameCount + base->meshCount + 32) / 32;
    computeNormals->resize(size_t(base->frameCount));
    for (int i = 0; i < base->frameCount; ++i) (*computeNormals)[size_t(i)] = load->image.U32(load->frames[size_t(i)] + 0xB8);
    return true;
}

// The expanded image, or null: -1 from the codec or a size beyond what
// the block can honestly hold.
uint8_t* Expand(const ModelLoadParams* params, size_t* sizeOut) {
    const char* block = params->data + 4;
    size_t blockSize = params->size - 4;
    int64_t expanded = DecompressBlock(block, blockSize, nullptr, 0);
    if (expanded < 0) {
        WriteLogFormat("MV1 LoadModel Error : the compressed data are damaged");
        return nullptr;
    }
    uint64_t limit = std::min<uint64_t>(kMaxImageBytes, uint64_t(blockSize) * kMaxExpansion + 65536);
    if (uint64_t(expanded) + 4 < kMv1HeaderEnd || uint64_t(expanded) > limit) {
        WriteLogFormat("MV1 LoadModel Error : the compressed data give an impossible size");
        return nullptr;
    }
    auto* image = static_cast<uint8_t*>(AllocModelMemory(size_t(expanded) + 4));
    if (!image) {
        WriteLogFormat("MV1 LoadModel Error : 圧縮データを解凍するためのメモリ領域の確保に失敗しました");
        return nullptr;
    }
    if (DecompressBlock(block, blockSize, image + 4, size_t(expanded)) != expanded) {
        FreeMemory(image);
        WriteLogFormat("MV1 LoadModel Error : the compressed data are damaged");
        return nullptr;
    }
    *sizeOut = size_t(expanded) + 4;
    return image;
}

}  // namespace

float Mv1Image::F32(size_t at) const {
    uint32_t bits = U32(at);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

bool Mv1Cursor::Need(uint64_t count, uint64_t width) {
    uint64_t left = ok_ ? image_->size - at_ : 0;
    if (!ok_ || (width > 0 && count > left / width)) ok_ = false;
    return ok_;
}

Mv1Range DecodeMv1RangeCode(uint8_t first, uint8_t second) {
    static const float kPow10[32] = {1e0f,  1e1f,  1e2f,  1e3f,  1e4f,  1e5f,  1e6f,  1e7f,  1e8f,  1e9f,  1e10f,
                                     1e11f, 1e12f, 1e13f, 1e14f, 1e15f, 1e16f, 1e17f, 1e18f, 1e19f, 1e20f, 1e21f,
                                     1e22f, 1e23f, 1e24f, 1e25f, 1e26f, 1e27f, 1e28f, 1e29f, 1e30f, 1e31f};
    Mv1Range r{};
    if (!(first & 0x80)) {
        float magnitude = (first & 0x20) ? 1.0f / kPow10[first & 0x1F] : kPow10[first & 0x1F];
        r.offset = (first & 0x40) ? -magnitude : magnitude;
    }
    int k = (second >> 4) & 7;
    float digit = float(second & 0x0F);
    r.scale = (second & 0x80) ? digit / kPow10[k] : digit * kPow10[k];
    return r;
}

bool Mv1Load::Fail(const char* what) const {
    WriteLogFormat("MV1 LoadModel Error : %s", what);
    return false;
}

void* Mv1Load::TakeBytes(uint64_t bytes) {
    if (bytes > budget) {
        Fail("the file asks for more memory than its size can justify");
        return nullptr;
    }
    budget -= bytes;
    return AllocChainedMemory(size_t(bytes), &base->memoryChain);
}

const char* Mv1Load::Name(uint32_t offset) const {
    if (offset >= stringBytes && !(offset == 0 && stringBytes == 0)) {
        Fail("a name lies outside the string table");
        return nullptr;
    }
    return strings + offset;
}

bool Mv1Load::Walk(uint32_t first, uint32_t count, uint32_t recordBytes, uint32_t positionField,
                   std::vector<uint32_t>* out, const char* what) const {
    out->clear();
    if (count > image.size / recordBytes) return Fail(what);
    out->reserve(count);
    uint32_t at = first;
    for (uint32_t i = 0; i < count; ++i) {
        if (at == 0 || !image.Has(at, recordBytes)) return Fail(what);
        if (positionField != kMv1NoPosition && image.U32(at + positionField) != i) return Fail(what);
        out->push_back(at);
        at = image.U32(at + 4);
    }
    return true;
}

int Mv1Load::Ref(uint32_t offset, const std::vector<uint32_t>& list, uint32_t positionField, bool allowNone,
                 const char* what) const {
    if (offset == 0 && allowNone) return -2;
    if (offset == 0 || !image.Has(offset, uint64_t(positionField) + 4)) return Fail(what), -1;
    uint32_t position = image.U32(offset + positionField);
    // The position must name this very record, so one record never
    // stands for another.
    if (position >= list.size() || list[position] != offset) return Fail(what), -1;
    return int(position);
}

int Mv1Load::FrameRecordAt(uint32_t offset) const {
    if (offset == 0) return -2;
    // These records carry no position of their own: look the offset up.
    auto it = std::lower_bound(frameRecordOrder.begin(), frameRecordOrder.end(), std::make_pair(offset, 0));
    if (it == frameRecordOrder.end() || it->first != offset) return Fail("a frame names no frame-attached record"), -1;
    return it->second;
}

const uint8_t* Mv1Load::BlockPlace(int block, uint32_t offset, const char* what) const {
    if (offset == 0) return nullptr;
    const ModelBaseDataBlock& b = base->dataBlocks[block];
    if (!b.bytes || offset < blockAt[block] || offset - blockAt[block] >= b.size) {
        Fail(what);
        return kMv1BadPlace;
    }
    return b.bytes + (offset - blockAt[block]);
}

int Mv1Load::Index(uint32_t offset, uint32_t first, uint32_t stride, uint32_t count, const char* what) const {
    if (offset < first || (offset - first) % stride != 0 || (offset - first) / stride >= count) return Fail(what), -1;
    return int((offset - first) / stride);
}

int LoadModelMV1(const ModelLoadParams* params) {
    if (!params || !params->data || params->size < 4 || std::memcmp(params->data, kMagic, 4) != 0) return -1;
    size_t imageSize = 0;
    uint8_t* image = Expand(params, &imageSize);
    if (!image) return -1;
    int handle = ReserveModelBaseHandle();
    auto* base = handle == -1 ? nullptr : static_cast<ModelBase*>(AllocModelMemory(sizeof(ModelBase)));
    if (!base) {
        if (handle != -1) ClearModelBaseSlot(handle);
        FreeMemory(image);
        return -1;
    }
    StoreModelBase(handle, base);
    Mv1Load load;
    load.image = Mv1Image{image, imageSize};
    load.params = params;
    load.base = base;
    load.budget = kBudgetBase + kBudgetPerImageByte * imageSize;
    std::vector<uint32_t> computeNormals;
    bool ok = ReadBase(&load, &computeNormals) && Finish(&load, computeNormals.data());
    FreeMemory(image);
    if (!ok) {
        FreeModelBaseRecord(handle);
        return -1;
    }
    return handle;
}

}  // namespace morpotta
