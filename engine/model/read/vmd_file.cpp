// Reading the sections of a VMD motion file (layout in vmd_file.h) into
// keys gathered by name. Counts come from the file: every section is
// measured against the bytes left before it is trusted.
#include "model/read/vmd_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "engine/log.h"
#include "model/read/pmd_file.h"

namespace morpotta {

namespace {

const char kVmdSignature[] = "Vocaloid Motion Data 0002";  // compared with its zero: 26 bytes

int LogVmdLoadError(const char* what) { return WriteLogFormat("VMD Load Error : %s", what); }

struct VmdCursor {
    const unsigned char* data;
    size_t size;
    size_t at;

    bool AtEnd() const { return at == size; }
    const unsigned char* Take(uint64_t bytes) {
        if (bytes > size - at) return nullptr;
        const unsigned char* p = data + at;
        at += size_t(bytes);
        return p;
    }
};

// A section: its count and records. A file that ends before the count has
// none of it; one that ends inside it is broken.
int TakeSection(VmdCursor* c, size_t recordBytes, uint32_t* count, const unsigned char** records, const char* what) {
    *count = 0;
    *records = nullptr;
    if (c->AtEnd()) return 0;
    const unsigned char* p = c->Take(4);
    if (!p || !(*records = c->Take(uint64_t(PmdU32(p)) * recordBytes))) return LogVmdLoadError(what);
    *count = PmdU32(p);
    return 0;
}

float CurveControlValue(int8_t b) { return float(b) / 127.0f * 3.0f; }

VmdCurve Curve(int8_t x1, int8_t y1, int8_t x2, int8_t y2) {
    VmdCurve c{{CurveControlValue(x1), CurveControlValue(y1), CurveControlValue(x2), CurveControlValue(y2)}, x1 == y1 && x2 == y2};
    return c;
}

int CheckKeyFrame(uint32_t frame) {
    return frame <= kVmdMaxFrame ? 0 : LogVmdLoadError("a key stands at a frame beyond the longest motion");
}

// Keys by name: a new name takes the next track, up to the table's room.
template <typename Key>
class NameTable {
public:
    explicit NameTable(std::vector<VmdTrack<Key>>* tracks) : tracks_(tracks) {}
    VmdTrack<Key>* Find(const unsigned char* field) {
        char name[kVmdNameBytes + 1] = {};
        std::memcpy(name, field, kVmdNameBytes);
        auto found = index_.find(name);
        if (found != index_.end()) return &(*tracks_)[found->second];
        if (int(tracks_->size()) >= kVmdMaxNames) return nullptr;
        index_.emplace(name, tracks_->size());
        tracks_->emplace_back();
        std::memcpy(tracks_->back().name, name, sizeof(name));
        return &tracks_->back();
    }

private:
    std::vector<VmdTrack<Key>>* tracks_;
    std::unordered_map<std::string, size_t> index_;
};

template <typename Key>
void SortByFrame(std::vector<Key>* keys) {
    std::stable_sort(keys->begin(), keys->end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
}

int ReadBoneKeys(const unsigned char* records, uint32_t count, VmdMotion* motion) {
    NameTable<VmdBoneKey> table(&motion->bones);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = records + size_t(i) * kVmdBoneKeyBytes;
        VmdBoneKey key;
        key.frame = PmdU32(r + 15);
        if (CheckKeyFrame(key.frame) != 0) return -1;
        for (int a = 0; a < 3; ++a) key.translation[a] = PmdF32(r + 19 + 4 * a);
        for (int a = 0; a < 4; ++a) key.rotation[a] = PmdF32(r + 31 + 4 * a);
        const auto* block = reinterpret_cast<const int8_t*>(r + 47);
        for (int c = 0; c < 4; ++c)
            key.curves[c] = Curve(block[16 * c], block[16 * c + 4], block[16 * c + 8], block[16 * c + 12]);
        VmdTrack<VmdBoneKey>* track = table.Find(r);
        if (!track) return LogVmdLoadError("a motion names more bones than it can hold");
        track->keys.push_back(key);
    }
    for (auto& track : motion->bones) SortByFrame(&track.keys);
    return 0;
}

int ReadMorphKeys(const unsigned char* records, uint32_t count, VmdMotion* motion) {
    NameTable<VmdMorphKey> table(&motion->morphs);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = records + size_t(i) * kVmdMorphKeyBytes;
        VmdMorphKey key{PmdU32(r + 15), PmdF32(r + 19)};
        if (CheckKeyFrame(key.frame) != 0) return -1;
        VmdTrack<VmdMorphKey>* track = table.Find(r);
        if (!track) return LogVmdLoadError("a motion names more morphs than it can hold");
        track->keys.push_back(key);
    }
    for (auto& track : motion->morphs) SortByFrame(&track.keys);
    return 0;
}

int ReadCameraKeys(const unsigned char* records, uint32_t count, VmdMotion* motion) {
    motion->camera.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = records + size_t(i) * kVmdCameraKeyBytes;
        VmdCameraKey key;
        key.frame = PmdU32(r);
        if (CheckKeyFrame(key.frame) != 0) return -1;
        key.distance = PmdF32(r + 4);
        for (int a = 0; a < 3; ++a) key.position[a] = PmdF32(r + 8 + 4 * a);
        for (int a = 0; a < 3; ++a) key.rotation[a] = PmdF32(r + 20 + 4 * a);
        const auto* block = reinterpret_cast<const int8_t*>(r + 32);
        for (int c = 0; c < 6; ++c)  // x1, x2, y1, y2 in the file
            key.curves[c] = Curve(block[4 * c], block[4 * c + 2], block[4 * c + 1], block[4 * c + 3]);
        key.viewAngle = PmdU32(r + 56);
        key.perspective = r[60];
        motion->camera.push_back(key);
    }
    SortByFrame(&motion->camera);
    return 0;
}

}  // namespace

int ReadVmdMotionFile(const unsigned char* data, size_t size, VmdMotion* motion) {
    *motion = VmdMotion{};
    if (!data || size < kVmdSignatureBytes || std::memcmp(data, kVmdSignature, sizeof(kVmdSignature)) != 0)
        return LogVmdLoadError("対応していない VMD バージョンです");
    VmdCursor c{data, size, 0};
    if (!c.Take(kVmdHeaderBytes)) return LogVmdLoadError("the header runs past the end of the file");
    uint32_t boneCount, morphCount, cameraCount;
    const unsigned char *bones, *morphs, *cameras;
    if (TakeSection(&c, kVmdBoneKeyBytes, &boneCount, &bones, "the bone keys run past the end of the file") != 0 ||
        TakeSection(&c, kVmdMorphKeyBytes, &morphCount, &morphs, "the morph keys run past the end of the file") != 0 ||
        TakeSection(&c, kVmdCameraKeyBytes, &cameraCount, &cameras, "the camera keys run past the end of the file") != 0)
        return -1;
    if (ReadBoneKeys(bones, boneCount, motion) != 0 || ReadMorphKeys(morphs, morphCount, motion) != 0 ||
        ReadCameraKeys(cameras, cameraCount, motion) != 0)
        return -1;
    uint32_t last = 0;
    for (const auto& t : motion->bones) last = std::max(last, t.LastFrame());
    for (const auto& t : motion->morphs) last = std::max(last, t.LastFrame());
    if (!motion->camera.empty()) last = std::max(last, motion->camera.back().frame);
    motion->lastFrame = last;
    return 0;
}

}  // namespace morpotta
