// Helpers of the binary model tests: the sample model with its texture
// files, the reader called on written files, images patched by hand.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "fake_files.h"
#include "fake_graphics.h"
#include "model/convert/convert.h"
#include "model/read/model_readers.h"
#include "model_dump.h"
#include "model_generator.h"
#include "model_test_support.h"
#include "mv1_sample.h"
#include "mv1_writer.h"

using namespace morpotta;

constexpr const char* kMv1Folder = "C:/game/model";

// Each key time and value within tolerance of the other base's.
inline void ExpectKeysNear(const ModelBase* a, const ModelBase* b, float tolerance) {
    ASSERT_EQ(a->animSetCount, b->animSetCount);
    for (int s = 0; s < a->animSetCount; ++s)
        for (int n = 0; n < a->animSets[s].animCount; ++n)
            for (int k = 0; k < a->animSets[s].anims[n].keySetCount; ++k) {
                const ModelBaseAnimKeySet& x = a->animSets[s].anims[n].keySets[k];
                const ModelBaseAnimKeySet& y = b->animSets[s].anims[n].keySets[k];
                ASSERT_EQ(x.keyCount, y.keyCount);
                int width = x.valueType == 0 || x.valueType == 7 ? 4 : x.valueType == 1 ? 3 : x.valueType == 5 ? 1 : 0;
                for (int i = 0; x.explicitTimes && i < x.keyCount; ++i)
                    EXPECT_NEAR(x.times[i], y.times[i], tolerance * std::max(1.0f, std::fabs(x.times[i])));
                for (int i = 0; i < x.keyCount * width; ++i)
                    EXPECT_NEAR(x.values[i], y.values[i], tolerance * std::max(1.0f, std::fabs(x.values[i])))
                        << "set " << s << " key set " << k << " value " << i;
            }
}

// The sample with its texture files.
inline ModelBase* BuildMv1RichModel(FakeFiles* files) {
    files->Add(std::string(kMv1Folder) + "/wood.png", FakeGraphics::RawImage(4, 2, 0xFF336699));
    files->Add(std::string(kMv1Folder) + "/wood_a.png", FakeGraphics::RawImage(4, 2, 0x80FFFFFF));
    return BuildMv1Sample(kMv1Folder);
}

// Reads a file through the binary reader alone: the base, or null.
inline ModelBase* ReadMv1(const std::string& file) {
    std::string copy = file;
    copy.push_back('\0');
    ModelLoadParams params{copy.data(), file.size(), "model.mv1", "model", kMv1Folder, nullptr, nullptr};
    int handle = LoadModelMV1(&params);
    return handle < 0 ? nullptr : GetModelBase(handle);
}

// A file from an expanded image (magic included).
inline std::string PackMv1(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> block(CompressBlockBound(image.size() - 4));
    int64_t size = CompressBlock(image.data() + 4, image.size() - 4, block.data(), block.size());
    std::string file = "MV11";
    file.append(reinterpret_cast<const char*>(block.data()), size_t(size));
    return file;
}

inline void ReleaseBase(ModelBase* base) {
    for (int slot = 0; base && slot < GetModelBaseTableSize(); ++slot)
        if (GetModelBase(GetModelBaseHandleOfSlot(slot)) == base) FreeModelBaseRecord(GetModelBaseHandleOfSlot(slot));
}

// Words of an expanded image.
inline uint32_t ImageWord(const std::vector<uint8_t>& image, uint32_t at) {
    uint32_t v;
    std::memcpy(&v, image.data() + at, 4);
    return v;
}
inline void SetImageWord(std::vector<uint8_t>* image, uint32_t at, uint32_t v) { std::memcpy(image->data() + at, &v, 4); }
// The offset of the n-th record of a chained list whose first record the
// header names at headerWord.
inline uint32_t ImageRecord(const std::vector<uint8_t>& image, uint32_t headerWord, int n) {
    uint32_t at = ImageWord(image, headerWord);
    while (n-- > 0) at = ImageWord(image, at + 4);
    return at;
}

class Mv1Test : public ModelSystemTest {
protected:
    ModelBase* BuildRich() { return BuildMv1RichModel(&files_); }

    FakeFiles files_;
    FakeGraphics graphics_;
};
