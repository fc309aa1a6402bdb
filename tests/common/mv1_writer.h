// Writes model base data as a binary model file, for the reader's tests,
// its fuzz target and the load benchmark. Every packing the reader accepts
// can be chosen through the options; the layout is written out here on
// its own (not through the reader's constants), so a round trip checks the
// reader against a second statement of the format.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/files.h"
#include "model/base/model_records.h"

using namespace morpotta;

struct Mv1WriteOptions {
    // Frames.
    bool quantisePositions = false;  // six floats of box, then u16 / 60000
    bool storeWeights = true;        // false: frames with weights store none
    bool wideBoneIndex = false;      // u16 bone slots (0xFFFF ends)
    bool wideWeight = false;         // u16 / 65535 weights
    int normalEncoding = 3;          // 0 none, 1 s8 / 127, 2 s16 / 32767, 3 floats
    bool normalsNotStored = false;   // the reader computes them
    // Meshes.
    int meshIndexWidth = -1;         // -1: the smallest that fits; 0 none, 1 u8, 2 u16, 3 u32
    bool uv16 = false;               // u16 / 65535 texture coordinates
    bool shareColours = false;       // one colour pair for all, when all agree
    bool outlineBits = false;        // no-outline bits even when no vertex has the flag
    bool materialExtension = true;   // false: materials without extension (its values defaulted)
    // Triangle lists.
    int listNumberWidth = -1;        // -1: smallest; 0 u8, 1 u16, 2 u32
    int listIndexWidth = -1;         // -1: smallest; 0 u8, 1 u16
    // Key sets.
    int keyCountWidth = 0;           // 0 u32, 1 u8, 2 u16
    bool rangeCodedTimes = false;    // explicit times as a range code and u16
    int startEncoding = 0;           // sets without times: 0 float, 1 u16, 2 zero (when it is)
    bool stepU16 = false;
    int valueEncoding = 0;           // 0 floats, 1 range code, 2 angle from -pi, 3 angle from 0 (rotations)
    bool singleKeyFlag = true;       // one key at time 0, step 1: no count, no times
    // Record sizes.
    uint32_t frameAnimStride = 0x1C;
    uint32_t shapeVertexStride = 28;
    uint32_t keySetStride = 20;
    // Skin bones in the file in the reverse of their base order (the
    // reader takes any order).
    bool skinBonesReversed = false;
};

class Mv1Writer {
public:
    explicit Mv1Writer(const Mv1WriteOptions& options) : o_(options) {}

    // The whole file: magic and the compressed image.
    std::string Write(const ModelBase* base) {
        std::vector<uint8_t> image = Image(base);
        std::string file = "MV11";
        std::vector<uint8_t> block(CompressBlockBound(image.size() - 4));
        int64_t size = CompressBlock(image.data() + 4, image.size() - 4, block.data(), block.size());
        if (size < 0) throw std::runtime_error("compression failed");
        file.append(reinterpret_cast<const char*>(block.data()), size_t(size));
        return file;
    }

    // The expanded image, magic included (the reader's offsets index it).
    std::vector<uint8_t> Image(const ModelBase* base) {
        b_ = base;
        img_.assign(0x100, 0);
        strings_.assign(1, '\0');  // offset 0 names nothing for file names
        std::memcpy(img_.data(), "MV11", 4);
        Lay();
        Blocks();
        Frames();
        Skin();
        Surfaces();
        Meshes();
        Shapes();
        Physics();
        Animations();
        uint32_t table = Append(uint32_t(strings_.size()));
        std::memcpy(img_.data() + table, strings_.data(), strings_.size());
        Put32(0xAC, uint32_t(strings_.size()));
        Put32(0xB0, table);
        PutF(0xA4, b_->meshDrawFloat);
        Put32(0x08, b_->headerWord);
        Put32(0xA8, b_->meshDrawWord);
        return img_;
    }

private:
    // --- bytes ---
    uint32_t Append(uint32_t bytes) {
        while (img_.size() % 4) img_.push_back(0);
        uint32_t at = uint32_t(img_.size());
        img_.resize(img_.size() + bytes, 0);
        return at;
    }
    void Put8(uint32_t at, uint32_t v) { img_[at] = uint8_t(v); }
    void Put16(uint32_t at, uint32_t v) {
        img_[at] = uint8_t(v);
        img_[at + 1] = uint8_t(v >> 8);
    }
    void Put32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) img_[at + uint32_t(i)] = uint8_t(v >> (8 * i));
    }
    void PutF(uint32_t at, float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        Put32(at, v);
    }
    uint32_t Str(const char* text) {
        if (!text) return 0;
        uint32_t at = uint32_t(strings_.size());
        strings_.append(text);
        strings_.push_back('\0');
        return at;
    }
    // Packed data is built in a byte string, then appended.
    struct Bytes {
        std::vector<uint8_t> v;
        void U8(uint32_t x) { v.push_back(uint8_t(x)); }
        void U16(uint32_t x) {
            U8(x);
            U8(x >> 8);
        }
        void U32(uint32_t x) {
            U16(x);
            U16(x >> 16);
        }
        void F(float f) {
            uint32_t x;
            std::memcpy(&x, &f, 4);
            U32(x);
        }
        void Unsigned(uint32_t x, int bytes) {
            for (int i = 0; i < bytes; ++i) U8(x >> (8 * i));
        }
    };
    uint32_t Emit(const Bytes& bytes) {
        if (bytes.v.empty()) return 0;
        uint32_t at = Append(uint32_t(bytes.v.size()));
        std::memcpy(img_.data() + at, bytes.v.data(), bytes.v.size());
        return at;
    }
    // Records of one list, chained through +0x04 with their position.
    std::vector<uint32_t> Chain(int count, uint32_t bytes, int positionField) {
        std::vector<uint32_t> at;
        for (int i = 0; i < count; ++i) at.push_back(Append(bytes));
        for (int i = 0; i < count; ++i) {
            if (i + 1 < count) Put32(at[size_t(i)] + 4, at[size_t(i) + 1]);
            if (positionField >= 0) Put32(at[size_t(i)] + uint32_t(positionField), uint32_t(i));
        }
        return at;
    }
    static uint32_t At(const std::vector<uint32_t>& records, long index) {
        return index < 0 ? 0 : records[size_t(index)];
    }

    // --- layout: every record first, so references can be written ---
    void Lay() {
        frames_ = Chain(b_->frameCount, 0xDC, 0x0C);
        records_ = Chain(b_->frameRecordCount, 0x64, -1);
        materials_ = Chain(b_->materialCount, 0x2CC, 0x0C);
        textures_ = Chain(b_->textureCount, 0x38, -1);
        meshes_ = Chain(b_->meshCount, 0x4C, 0x08);
        lists_ = Chain(b_->triangleListCount, 0x1C, 0x08);
        skinBones_ = b_->skinBoneCount ? Append(uint32_t(b_->skinBoneCount) * 0x54) : 0;
        int users = 0;
        for (int k = 0; k < b_->skinBoneCount; ++k) users += b_->skinBones[k].userCount;
        users_ = users ? Append(uint32_t(users) * 8) : 0;
        boneRefs_ = b_->boneRefCount ? Append(uint32_t(b_->boneRefCount) * 4) : 0;
        Put32(0x20, uint32_t(b_->frameCount));
        Put32(0x24, At(frames_, 0));
        Put32(0x3C, uint32_t(b_->materialCount));
        Put32(0x40, b_->materialCount ? materials_[0] : 0);
        Put32(0x44, uint32_t(b_->textureCount));
        Put32(0x48, b_->textureCount ? textures_[0] : 0);
        Put32(0x4C, uint32_t(b_->meshCount));
        Put32(0x50, b_->meshCount ? meshes_[0] : 0);
        Put32(0x54, uint32_t(b_->frameRecordCount));
        Put32(0x58, At(records_, b_->frameRecordCount ? 0 : -1));
        Put32(0x6C, uint32_t(b_->triangleListCount));
        Put32(0x70, b_->triangleListCount ? lists_[0] : 0);
        Put32(0x34, uint32_t(b_->boneRefCount));
        Put32(0x38, boneRefs_);
        Put32(0x5C, uint32_t(b_->skinBoneCount));
        Put32(0x60, skinBones_);
        Put32(0x64, uint32_t(users));
        Put32(0x68, users_);
    }

    long FrameOf(const ModelBaseFrame* f) const { return f ? long(f - b_->frames) : -1; }

    // Data blocks A and B as they stand, and the frame-attached records.
    void Blocks() {
        for (int b = 0; b < 2; ++b) {
            const ModelBaseDataBlock& block = b_->dataBlocks[b];
            blockAt_[b] = block.size ? Append(block.size) : 0;
            if (block.size) std::memcpy(img_.data() + blockAt_[b], block.bytes, block.size);
            Put32(0x10 + 4 * uint32_t(b), block.size);
            Put32(0x18 + 4 * uint32_t(b), blockAt_[b]);
        }
        for (int i = 0; i < b_->frameRecordCount; ++i) {
            const ModelBaseFrameRecord& r = b_->frameRecords[i];
            Put32(records_[size_t(i)] + 0x08, Str(r.name));
            for (int w = 0; w < kModelFrameRecordWords; ++w) Put32(records_[size_t(i)] + 0x0C + 4 * uint32_t(w), r.words[w]);
        }
    }
    uint32_t BlockPlace(int b, const uint8_t* place) const {
        return place ? blockAt_[b] + uint32_t(place - b_->dataBlocks[b].bytes) : 0;
    }
    // The file position of skin bone k of the base.
    uint32_t SkinBoneAt(long k) const {
        const long slot = o_.skinBonesReversed ? b_->skinBoneCount - 1 - k : k;
        return skinBones_ + 0x54 * uint32_t(slot);
    }

    void Frames() {
        Put32(0x28, uint32_t(b_->topFrameCount));
        Put32(0x2C, b_->topFrameCount ? frames_[size_t(FrameOf(b_->topFrames[0]))] : 0);
        Put32(0x30, b_->topFrameCount ? frames_[size_t(FrameOf(b_->topFrames[b_->topFrameCount - 1]))] : 0);
        for (int i = 0; i < b_->frameCount; ++i) {
            const ModelBaseFrame& f = b_->frames[i];
            uint32_t at = frames_[size_t(i)];
            Put32(at + 0x08, Str(f.name));
            Put32(at + 0x14, BlockPlace(0, f.dataA));
            Put32(at + 0x24, BlockPlace(1, f.dataB));
            Put32(at + 0xA0, f.skinBone ? SkinBoneAt(f.skinBone - b_->skinBones) : 0);
            Put32(at + 0xAC, f.attachedRecord ? records_[size_t(f.attachedRecord - b_->frameRecords)] : 0);
            Put32(at + 0x30, uint32_t(f.subtreeMeshCount));
            Put32(at + 0x34, uint32_t(f.descendantCount));
            Put32(at + 0x38, At(frames_, FrameOf(f.parent)));
            Put32(at + 0x3C, At(frames_, FrameOf(f.firstChild)));
            const ModelBaseFrame* last = f.firstChild;
            while (last && last->nextSibling) last = last->nextSibling;
            Put32(at + 0x40, At(frames_, FrameOf(last)));
            Put32(at + 0x44, At(frames_, FrameOf(f.nextSibling)));
            PutVector(at + 0x4C, f.translation);
            PutVector(at + 0x58, f.scale);
            PutVector(at + 0x64, f.rotation);
            Put32(at + 0x70, uint32_t(f.rotationOrder));
            for (int q = 0; q < 4; ++q) PutF(at + 0x74 + 4 * uint32_t(q), f.quaternion[q]);
            Put32(at + 0x84, f.flags);
            Put32(at + 0x88, f.userWord);
            Put32(at + 0x8C, uint32_t(f.useFrameSmoothingAngles));
            Put32(at + 0x94, uint32_t(f.meshCount));
            Put32(at + 0x98, f.meshCount ? meshes_[size_t(f.firstMesh - b_->meshes)] : 0);
            Put32(at + 0xA4, uint32_t(f.boneRefCount));
            Put32(at + 0xA8, f.boneRefCount ? boneRefs_ + 4 * uint32_t(f.boneRefs - b_->boneRefs) : 0);
            PutF(at + 0xB4, f.smoothingAngle);
            Put32(at + 0xB8, o_.normalsNotStored ? 1 : 0);
            Put32(at + 0xBC, uint32_t(f.positionCount));
            Put32(at + 0xC0, uint32_t(f.normalCount));
            FrameVertices(f, at);
        }
    }

    void PutVector(uint32_t at, const Vector3& v) {
        PutF(at, v.x);
        PutF(at + 4, v.y);
        PutF(at + 8, v.z);
    }

    void FrameVertices(const ModelBaseFrame& f, uint32_t at) {
        const bool weights = o_.storeWeights && f.maxWeightsPerVertex > 0;
        uint32_t flags = uint32_t(o_.normalEncoding) | (o_.quantisePositions ? 4u : 0u) | (weights ? 0u : 8u) |
                         (o_.wideBoneIndex ? 0x10u : 0u) | (o_.wideWeight ? 0x20u : 0u);
        Put16(at + 0xB0, flags);
        Put16(at + 0xB2, uint32_t(f.maxWeightsPerVertex));
        Bytes out;
        if (o_.quantisePositions) {
            float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
            for (int p = 0; p < f.positionCount; ++p)
                for (int a = 0; a < 3; ++a) {
                    float v = Axis(f.positions[p].position, a);
                    lo[a] = p == 0 ? v : std::min(lo[a], v);
                    hi[a] = p == 0 ? v : std::max(hi[a], v);
                }
            for (int a = 0; a < 3; ++a) {
                out.F(lo[a]);
                out.F(hi[a] - lo[a]);
            }
            for (int p = 0; p < f.positionCount; ++p)
                for (int a = 0; a < 3; ++a) {
                    float range = hi[a] - lo[a];
                    double u = range > 0 ? std::round(double(Axis(f.positions[p].position, a) - lo[a]) * 60000.0 / range) : 0;
                    out.U16(uint32_t(std::clamp(u, 0.0, 65535.0)));
                }
        } else {
            for (int p = 0; p < f.positionCount; ++p)
                for (int a = 0; a < 3; ++a) out.F(Axis(f.positions[p].position, a));
        }
        const int indexBytes = o_.wideBoneIndex ? 2 : 1;
        const uint32_t end = o_.wideBoneIndex ? 0xFFFF : 0xFF;
        for (int p = 0; weights && p < f.positionCount; ++p) {
            const ModelBasePosition& pos = f.positions[p];
            for (int w = 0; w < f.maxWeightsPerVertex; ++w) {
                if (!pos.weightBones || pos.weightBones[w] == -1) {
                    out.Unsigned(end, indexBytes);
                    break;
                }
                out.Unsigned(uint32_t(pos.weightBones[w]), indexBytes);
                double scale = o_.wideWeight ? 65535.0 : 255.0;
                out.Unsigned(uint32_t(std::lround(double(pos.weightValues[w]) * scale)), o_.wideWeight ? 2 : 1);
            }
        }
        for (int n = 0; o_.normalEncoding != 0 && n < f.normalCount; ++n)
            for (int a = 0; a < 3; ++a) {
                float v = Axis(f.normals[n].normal, a);
                if (o_.normalEncoding == 1) out.U8(uint32_t(int8_t(std::lround(v * 127.0f))));
                else if (o_.normalEncoding == 2) out.U16(uint32_t(int16_t(std::lround(v * 32767.0f))));
                else out.F(v);
            }
        Put32(at + 0xC4, Emit(out));
    }

    static float Axis(const Vector3& v, int a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; }

    void Skin() {
        uint32_t user = 0;
        for (int k = 0; k < b_->skinBoneCount; ++k) {
            const ModelBaseSkinBone& bone = b_->skinBones[k];
            uint32_t at = SkinBoneAt(k);
            Put32(at + 0x0C, uint32_t(bone.boneFrame));
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c) PutF(at + 0x10 + 4 * uint32_t(r * 3 + c), bone.offset.m[r][c]);
            Put32(at + 0x40, uint32_t(bone.translationOnly));
            Put32(at + 0x44, uint32_t(bone.userCount));
            Put32(at + 0x48, bone.userCount ? users_ + 8 * user : 0);
            for (int u = 0; u < bone.userCount; ++u, ++user) {
                Put32(users_ + 8 * user, uint32_t(bone.users[u].frame));
                Put32(users_ + 8 * user + 4, uint32_t(bone.users[u].slot));
            }
        }
        for (int r = 0; r < b_->boneRefCount; ++r)
            Put32(boneRefs_ + 4 * uint32_t(r), SkinBoneAt(b_->boneRefs[r] - b_->skinBones));
    }

    void Surfaces() {
        for (int i = 0; i < b_->textureCount; ++i) {
            const ModelBaseTexture& t = b_->textures[i];
            uint32_t at = textures_[size_t(i)];
            Put32(at + 0x08, Str(t.name));
            Put32(at + 0x10, Str(t.image.colourFileName));
            Put32(at + 0x14, Str(t.image.alphaFileName));
            Put32(at + 0x18, t.bumpFlag);
            PutF(at + 0x1C, t.bumpHeight);
            Put32(at + 0x20, uint32_t(t.addressU));
            Put32(at + 0x24, uint32_t(t.addressV));
            Put32(at + 0x28, uint32_t(t.filter));
            Put32(at + 0x34, uint32_t((t.reverse ? 1 : 0) | (t.bmp32Alpha ? 2 : 0)));
        }
        for (int i = 0; i < b_->materialCount; ++i) {
            const ModelBaseMaterial& m = b_->materials[i];
            uint32_t at = materials_[size_t(i)];
            Put32(at + 0x08, Str(m.name));
            const float* groups[4] = {m.diffuse, m.ambient, m.specular, m.emissive};
            for (int g = 0; g < 4; ++g)
                for (int c = 0; c < 4; ++c) PutF(at + 0x10 + 4 * uint32_t(g * 4 + c), groups[g][c]);
            PutF(at + 0x50, m.power);
            const uint32_t layerAt[3] = {0x58, 0x11C, 0x1E0};
            for (int l = 0; l < 3; ++l) {
                Put32(at + layerAt[l], uint32_t(m.layers[l].count));
                for (int e = 0; e < m.layers[l].count; ++e) {
                    Put32(at + layerAt[l] + 4 + 24 * uint32_t(e), uint32_t(m.layers[l].textures[e]));
                    Put32(at + layerAt[l] + 8 + 24 * uint32_t(e), m.layers[l].words[e]);
                }
            }
            Put32(at + 0x2A4, uint32_t(m.flagWord));
            Put32(at + 0x2A8, uint32_t(m.alpha));
            Put32(at + 0x2AC, m.modeWords[6]);
            PutF(at + 0x2B0, m.outline[0]);
            PutF(at + 0x2B4, m.outline[1]);
            if (!o_.materialExtension) continue;
            uint32_t ext = Append(0x2C);
            Put32(at + 0x2C8, ext);
            Put32(ext, uint32_t(m.drawType));
            Put32(ext + 0x04, uint32_t(m.extraTexture1));
            Put32(ext + 0x08, uint32_t(m.extraTexture2));
            Put32(ext + 0x0C, m.modeWords[0]);
            Put32(ext + 0x10, m.modeWords[1]);
            Put32(ext + 0x14, m.modeWords[2]);
            for (int c = 0; c < 4; ++c) PutF(ext + 0x18 + 4 * uint32_t(c), m.outlineColour[c]);
            Put32(ext + 0x28, m.modeWords[3]);
        }
    }

    static int WidthCode(uint32_t most) { return most < 0x100 ? 1 : most < 0x10000 ? 2 : 3; }

    void Meshes() {
        for (int i = 0; i < b_->meshCount; ++i) {
            const ModelBaseMesh& m = b_->meshes[i];
            uint32_t at = meshes_[size_t(i)];
            Put32(at + 0x0C, frames_[size_t(FrameOf(m.frame))]);
            Put32(at + 0x10, m.material >= 0 ? materials_[size_t(m.material)] : 0);
            Put32(at + 0x24, m.translucent);
            Put32(at + 0x28, m.needsInstanceVertices);
            Put8(at + 0x2C, m.visible);
            Put8(at + 0x2D, m.cullMode);
            Put32(at + 0x30, uint32_t(m.triangleListCount));
            Put32(at + 0x34, m.triangleListCount ? lists_[size_t(m.firstTriangleList - b_->triangleLists)] : 0);
            Put8(at + 0x38, m.vertexColours);
            Put8(at + 0x39, m.vertexSpecular);
            Put8(at + 0x3A, uint32_t(m.uvChannelCount));
            Put8(at + 0x3B, 2);
            Put32(at + 0x40, uint32_t(m.vertexCount));
            Put32(at + 0x44, uint32_t(m.triangleCount));
            MeshVertices(m, at);
        }
        for (int i = 0; i < b_->triangleListCount; ++i) ListData(b_->triangleLists[i], lists_[size_t(i)]);
    }

    static uint32_t Colour(const uint8_t c[4]) {
        return uint32_t(c[3]) << 24 | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
    }

    void MeshVertices(const ModelBaseMesh& m, uint32_t at) {
        uint32_t mostPosition = 0, mostNormal = 0;
        bool sameColours = true, anyNoOutline = false;
        for (int v = 0; v < m.vertexCount; ++v) {
            const ModelBaseMeshVertex& x = m.vertices[v];
            mostPosition = std::max(mostPosition, uint32_t(x.position));
            mostNormal = std::max(mostNormal, uint32_t(x.normal));
            sameColours = sameColours && Colour(x.diffuse) == Colour(m.vertices[0].diffuse) &&
                          Colour(x.specular) == Colour(m.vertices[0].specular);
            anyNoOutline = anyNoOutline || x.noOutline;
        }
        int pw = o_.meshIndexWidth >= 0 ? o_.meshIndexWidth : WidthCode(mostPosition);
        int nw = o_.meshIndexWidth >= 0 ? o_.meshIndexWidth : WidthCode(mostNormal);
        bool shared = o_.shareColours && sameColours && m.vertexCount > 0;
        bool bits = anyNoOutline || o_.outlineBits;
        uint32_t flags = uint32_t(pw) | uint32_t(nw) << 2 | (o_.uv16 ? 0x10u : 0u) | (shared ? 0x20u : 0u) |
                         (bits ? 0x40u : 0u);
        Put32(at + 0x3C, flags);
        static const int kBytes[4] = {0, 1, 2, 4};
        Bytes out;
        if (shared) {
            out.U32(Colour(m.vertices[0].diffuse));
            out.U32(Colour(m.vertices[0].specular));
        }
        for (int v = 0; v < m.vertexCount; ++v) out.Unsigned(uint32_t(m.vertices[v].position), kBytes[pw]);
        for (int v = 0; v < m.vertexCount; ++v) out.Unsigned(uint32_t(m.vertices[v].normal), kBytes[nw]);
        for (int v = 0; !shared && v < m.vertexCount; ++v) {
            out.U32(Colour(m.vertices[v].diffuse));
            out.U32(Colour(m.vertices[v].specular));
        }
        for (int v = 0; v < m.vertexCount; ++v)
            for (int s = 0; s < m.uvChannelCount; ++s)
                for (int c = 0; c < 2; ++c) {
                    float f = m.vertices[v].uv[s][c];
                    if (o_.uv16) out.U16(uint32_t(std::lround(std::clamp(f, 0.0f, 1.0f) * 65535.0f)));
                    else out.F(f);
                }
        if (bits)
            for (int v = 0; v < m.vertexCount; v += 8) {
                uint32_t byte = 0;
                for (int k = 0; k < 8 && v + k < m.vertexCount; ++k)
                    if (m.vertices[v + k].noOutline) byte |= 0x80u >> k;
                out.U8(byte);
            }
        Put32(at + 0x48, Emit(out));
    }

    void ListData(const ModelBaseTriangleList& l, uint32_t at) {
        Put32(at + 0x0C, meshes_[size_t(l.mesh - b_->meshes)]);
        Put16(at + 0x10, l.vertexKind);
        Put16(at + 0x14, uint32_t(l.vertexCount));
        Put16(at + 0x16, uint32_t(l.indexCount));
        uint32_t mostNumber = 0;
        for (int v = 0; v < l.vertexCount; ++v) mostNumber = std::max(mostNumber, uint32_t(l.meshVertices[v]));
        int number = o_.listNumberWidth >= 0 ? o_.listNumberWidth : WidthCode(mostNumber) - 1;
        int index = o_.listIndexWidth >= 0 ? o_.listIndexWidth : l.vertexCount > 0x100 ? 1 : 0;
        Put8(at + 0x12, uint32_t(number | index << 2));
        Bytes out;
        if (l.vertexKind == 1 || l.vertexKind == 2) {
            out.U16(uint32_t(l.boneCount));
            for (int b = 0; b < l.boneCount; ++b) out.U16(uint32_t(l.bones[b]));
        } else if (l.vertexKind == 3) {
            out.U16(uint32_t(l.maxWeights));
        }
        static const int kNumberBytes[3] = {1, 2, 4};
        for (int v = 0; v < l.vertexCount; ++v) out.Unsigned(uint32_t(l.meshVertices[v]), kNumberBytes[number]);
        for (int i = 0; index < 2 && i < l.indexCount; ++i) out.Unsigned(l.indices[i], index ? 2 : 1);
        Put32(at + 0x18, Emit(out));
    }

    // Shape targets of a frame that share a shape number form one shape.
    void Shapes() {
        struct Shape {
            int frame;
            const char* name;
            std::vector<int> targets;
        };
        std::vector<Shape> shapes;
        for (int i = 0; i < b_->frameCount; ++i) {
            const ModelBaseFrame& f = b_->frames[i];
            for (int number = 0; number < f.shapeCount; ++number) {
                Shape shape{i, "", {}};
                for (int s = 0; s < f.shapeTargetCount; ++s) {
                    const ModelBaseShapeTarget& t = f.firstShapeTarget[s];
                    if (t.shape != number) continue;
                    if (shape.targets.empty()) shape.name = t.name;
                    shape.targets.push_back(int(&t - b_->shapeTargets));
                }
                shapes.push_back(shape);
            }
        }
        if (shapes.empty()) return;
        int meshCount = 0;
        for (const Shape& s : shapes) meshCount += int(s.targets.size());
        uint32_t header = Append(0x40);
        Put32(0xF0, header);
        std::vector<uint32_t> shapeAt = Chain(int(shapes.size()), 0x1C, 0x0C);
        std::vector<uint32_t> meshAt = Chain(meshCount, 0x1C, 0x08);
        Put32(header + 0x08, uint32_t(shapes.size()));
        Put32(header + 0x0C, shapeAt[0]);
        Put32(header + 0x10, uint32_t(meshCount));
        Put32(header + 0x14, meshAt.empty() ? 0 : meshAt[0]);
        Put32(header + 0x2C, o_.shapeVertexStride);
        size_t shapeMesh = 0;
        for (size_t s = 0; s < shapes.size(); ++s) {
            Put32(shapeAt[s] + 0x08, Str(shapes[s].name));
            Put32(shapeAt[s] + 0x10, frames_[size_t(shapes[s].frame)]);
            Put32(shapeAt[s] + 0x14, uint32_t(shapes[s].targets.size()));
            Put32(shapeAt[s] + 0x18, shapes[s].targets.empty() ? 0 : meshAt[shapeMesh]);
            if (s == 0 || shapes[s - 1].frame != shapes[s].frame) {
                size_t count = 0;
                while (s + count < shapes.size() && shapes[s + count].frame == shapes[s].frame) ++count;
                // The frame's shape entry: count and first shape.
                uint32_t entry = Append(8);
                Put32(entry, uint32_t(count));
                Put32(entry + 4, shapeAt[s]);
                Put32(frames_[size_t(shapes[s].frame)] + 0xD8, entry);
            }
            for (int target : shapes[s].targets) {
                const ModelBaseShapeTarget& t = b_->shapeTargets[target];
                uint32_t at = meshAt[shapeMesh++];
                Put32(at + 0x0C, meshes_[size_t(t.mesh - b_->meshes)]);
                Put32(at + 0x14, uint32_t(t.vertexCount));
                uint32_t vertices = t.vertexCount ? Append(o_.shapeVertexStride * uint32_t(t.vertexCount)) : 0;
                Put32(at + 0x18, vertices);
                for (int v = 0; v < t.vertexCount; ++v) {
                    uint32_t w = vertices + o_.shapeVertexStride * uint32_t(v);
                    Put32(w, uint32_t(t.vertices[v].meshVertex));
                    PutVector(w + 4, t.vertices[v].position);
                    PutVector(w + 16, t.vertices[v].normal);
                }
            }
        }
    }

    void Physics() {
        if (b_->rigidBodyCount == 0 && b_->jointCount == 0) return;
        uint32_t header = Append(0x14);
        Put32(0xF4, header);
        std::vector<uint32_t> bodies = Chain(b_->rigidBodyCount, 0x60, 0x0C);
        std::vector<uint32_t> joints = Chain(b_->jointCount, 0x78, 0x0C);
        PutF(header, b_->gravity);
        Put32(header + 0x04, uint32_t(b_->rigidBodyCount));
        Put32(header + 0x08, At(bodies, b_->rigidBodyCount ? 0 : -1));
        Put32(header + 0x0C, uint32_t(b_->jointCount));
        Put32(header + 0x10, At(joints, b_->jointCount ? 0 : -1));
        for (int i = 0; i < b_->rigidBodyCount; ++i) {
            const ModelBaseRigidBody& body = b_->rigidBodies[i];
            Put32(bodies[size_t(i)] + 0x08, Str(body.name));
            Put32(bodies[size_t(i)] + 0x10, frames_[body.params[0]]);
            for (int w = 0; w < 19; ++w) Put32(bodies[size_t(i)] + 0x14 + 4 * uint32_t(w), body.params[1 + w]);
        }
        for (int i = 0; i < b_->jointCount; ++i) {
            const ModelBaseJoint& joint = b_->joints[i];
            Put32(joints[size_t(i)] + 0x08, Str(joint.name));
            Put32(joints[size_t(i)] + 0x10, bodies[joint.params[0]]);
            Put32(joints[size_t(i)] + 0x14, bodies[joint.params[1]]);
            for (int w = 0; w < 24; ++w) Put32(joints[size_t(i)] + 0x18 + 4 * uint32_t(w), joint.params[2 + w]);
        }
    }

    // --- animations ---
    struct Range {
        uint8_t first, second;
        float scale, offset;
    };
    static float Pow10(int e) {
        float v = 1.0f;
        for (int i = 0; i < e; ++i) v *= 10.0f;
        return v;
    }
    // The smallest scale (s x 10^k) and an offset of 0 or -10^e that bring
    // every value into 0..65535.
    static Range RangeFor(const float* values, size_t count) {
        float lo = 0, hi = 0;
        for (size_t i = 0; i < count; ++i) {
            lo = i ? std::min(lo, values[i]) : values[i];
            hi = i ? std::max(hi, values[i]) : values[i];
        }
        Range r{0x80, 0x01, 1.0f, 0.0f};
        if (lo < 0) {
            int e = 0;
            while (Pow10(e) < -lo) ++e;
            r.first = uint8_t(0x40 | e);
            r.offset = -Pow10(e);
        }
        float best = 0;
        for (int k = -7; k <= 7; ++k)
            for (int s = 1; s <= 15; ++s) {
                float scale = k < 0 ? float(s) / Pow10(-k) : float(s) * Pow10(k);
                if ((hi - r.offset) > 65535.0f * scale || (best > 0 && scale >= best)) continue;
                best = scale;
                r.second = uint8_t(s | (k < 0 ? -k : k) << 4 | (k < 0 ? 0x80 : 0));
            }
        r.scale = best;
        return r;
    }
    static uint32_t Quantise(float v, const Range& r) {
        return uint32_t(std::clamp(std::lround((v - r.offset) / r.scale), 0L, 65535L));
    }
    static int Width(int valueType) {
        return valueType == 0 || valueType == 7 ? 4 : valueType == 1 ? 3 : valueType == 5 ? 1 : 0;
    }

    uint32_t KeyData(const ModelBaseAnimKeySet& ks, uint32_t* flagsOut) {
        Bytes out;
        uint32_t flags = 0;
        if (ks.keyKind == 18) out.U16(uint32_t(ks.shapeIndex));
        const bool single = o_.singleKeyFlag && ks.keyCount == 1 && !ks.explicitTimes && ks.startTime == 0.0f &&
                            ks.timeStep == 1.0f;
        if (single) {
            flags |= 1;
        } else {
            if (o_.keyCountWidth == 1) flags |= 2, out.U8(uint32_t(ks.keyCount));
            else if (o_.keyCountWidth == 2) flags |= 4, out.U16(uint32_t(ks.keyCount));
            else out.U32(uint32_t(ks.keyCount));
            if (!ks.explicitTimes) {
                flags |= 8;
                if (o_.startEncoding == 1) flags |= 0x10, out.U16(uint32_t(ks.startTime));
                else if (o_.startEncoding == 2 && ks.startTime == 0.0f) flags |= 0x20;
                else out.F(ks.startTime);
                if (o_.stepU16) flags |= 0x40, out.U16(uint32_t(ks.timeStep));
                else out.F(ks.timeStep);
            } else if (o_.rangeCodedTimes) {
                flags |= 0x80;
                Range r = RangeFor(ks.times, size_t(ks.keyCount));
                out.U8(r.first);
                out.U8(r.second);
                for (int k = 0; k < ks.keyCount; ++k) out.U16(Quantise(ks.times[k], r));
            } else {
                for (int k = 0; k < ks.keyCount; ++k) out.F(ks.times[k]);
            }
        }
        const int width = Width(ks.valueType);
        const size_t n = size_t(ks.keyCount) * size_t(width);
        int encoding = o_.valueEncoding;
        // Four components always carry a range code; angles suit rotations.
        if (encoding >= 2 && (width == 4 || ks.keyKind > 3)) encoding = 1;
        if (width > 0 && encoding == 0) {
            for (size_t c = 0; c < n; ++c) out.F(ks.values[c]);
        } else if (width > 0 && encoding == 1) {
            flags |= 0x100;
            Range r = RangeFor(ks.values, n);
            out.U8(r.first);
            out.U8(r.second);
            for (size_t c = 0; c < n; ++c) out.U16(Quantise(ks.values[c], r));
        } else if (width > 0) {
            const double pi = 3.14159265358979;
            flags |= 0x100 | (encoding == 2 ? 0x200 : 0x400);
            for (size_t c = 0; c < n; ++c) {
                double from = encoding == 2 ? double(ks.values[c]) + pi : double(ks.values[c]);
                out.U16(uint32_t(std::clamp(std::lround(from * 65535.0 / (2 * pi)), 0L, 65535L)));
            }
        }
        *flagsOut = flags;
        return Emit(out);
    }

    void Animations() {
        std::vector<const ModelBaseAnimKeySet*> keySets;
        std::vector<const ModelBaseAnim*> anims;
        for (int s = 0; s < b_->animSetCount; ++s)
            for (int a = 0; a < b_->animSets[s].animCount; ++a) {
                anims.push_back(&b_->animSets[s].anims[a]);
                for (int k = 0; k < b_->animSets[s].anims[a].keySetCount; ++k)
                    keySets.push_back(&b_->animSets[s].anims[a].keySets[k]);
            }
        std::vector<uint32_t> sets = Chain(b_->animSetCount, 0x30, 0x0C);
        uint32_t keyAt = keySets.empty() ? 0 : Append(o_.keySetStride * uint32_t(keySets.size()));
        uint32_t animAt = anims.empty() ? 0 : Append(o_.frameAnimStride * uint32_t(anims.size()));
        Put32(0xC0, uint32_t(keySets.size()));
        Put32(0xC4, o_.keySetStride);
        Put32(0xC8, keyAt);
        Put32(0xCC, uint32_t(anims.size()));
        Put32(0xD0, o_.frameAnimStride);
        Put32(0xD4, animAt);
        Put32(0xD8, uint32_t(b_->animSetCount));
        Put32(0xDC, At(sets, b_->animSetCount ? 0 : -1));
        for (size_t k = 0; k < keySets.size(); ++k) {
            uint32_t at = keyAt + o_.keySetStride * uint32_t(k), flags = 0;
            uint32_t data = KeyData(*keySets[k], &flags);
            Put8(at, keySets[k]->valueType);
            Put8(at + 1, keySets[k]->keyKind);
            Put16(at + 2, flags);
            Put32(at + 4, data);
        }
        uint32_t anim = 0, keySet = 0;
        for (int s = 0; s < b_->animSetCount; ++s) {
            const ModelBaseAnimSet& set = b_->animSets[s];
            Put32(sets[size_t(s)] + 0x08, Str(set.name));
            PutF(sets[size_t(s)] + 0x10, set.endTime);
            Put32(sets[size_t(s)] + 0x14, uint32_t(set.animCount));
            Put32(sets[size_t(s)] + 0x18, set.animCount ? animAt + o_.frameAnimStride * anim : 0);
            Put32(sets[size_t(s)] + 0x2C, (set.words[0] ? 1u : 0u) | (set.words[1] ? 2u : 0u));
            for (int a = 0; a < set.animCount; ++a, ++anim) {
                const ModelBaseAnim& fa = set.anims[a];
                uint32_t at = animAt + o_.frameAnimStride * anim;
                Put32(at, anim);
                Put32(at + 0x04, sets[size_t(s)]);
                Put32(at + 0x08, uint32_t(fa.frameIndex));
                PutF(at + 0x0C, fa.value);
                Put32(at + 0x10, fa.word);
                Put32(at + 0x14, uint32_t(fa.keySetCount));
                Put32(at + 0x18, fa.keySetCount ? keyAt + o_.keySetStride * keySet : 0);
                keySet += uint32_t(fa.keySetCount);
            }
        }
    }

    Mv1WriteOptions o_;
    const ModelBase* b_ = nullptr;
    std::vector<uint8_t> img_;
    std::string strings_;
    std::vector<uint32_t> frames_, materials_, textures_, meshes_, lists_, records_;
    uint32_t skinBones_ = 0, users_ = 0, boneRefs_ = 0;
    uint32_t blockAt_[2] = {0, 0};
};

inline std::string WriteMv1(const ModelBase* base, const Mv1WriteOptions& options = {}) {
    return Mv1Writer(options).Write(base);
}
