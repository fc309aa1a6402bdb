#include "fake_files.h"
#include "model/convert/skin_bones.h"
#include "model/base/whole_file.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

using SkinBoneTest = ModelSystemTest;

TEST_F(SkinBoneTest, EqualBonesMergeAndSortByBoneFrame) {
    ModelBase base{};
    ModelBaseFrame frames[3]{};
    ModelBaseSkinBone bones[3]{};
    ModelBaseSkinBone* refs[3];
    ModelBaseSkinBoneUser users[3] = {{0, 0}, {0, 1}, {0, 2}};
    base.frames = frames;
    base.frameCount = 3;
    base.skinBones = bones;
    base.skinBoneCount = 3;
    frames[0].boneRefs = refs;
    frames[0].boneRefCount = 3;
    for (int i = 0; i < 3; ++i) {
        bones[i].offset = MakeIdentityMatrix();
        bones[i].userCount = 1;
        bones[i].users = &users[i];
        refs[i] = &bones[i];
    }
    bones[0].boneFrame = 2;
    bones[1].boneFrame = 1;
    bones[2].boneFrame = 2;  // same frame and offset as bone 0
    ASSERT_TRUE(OptimizeModelBaseSkinBones(&base));
    ASSERT_EQ(base.skinBoneCount, 2);
    EXPECT_EQ(bones[0].boneFrame, 1);
    EXPECT_EQ(bones[1].boneFrame, 2);
    EXPECT_EQ(bones[1].userCount, 2);
    EXPECT_EQ(refs[0], &bones[1]);
    EXPECT_EQ(refs[1], &bones[0]);
    EXPECT_EQ(refs[2], &bones[1]);
    EXPECT_EQ(frames[2].ownSkinBoneCount, 1);
    EXPECT_EQ(frames[2].firstOwnSkinBone, &bones[1]);
    EXPECT_EQ(frames[0].ownSkinBoneCount, 0);
    FreeMemoryChain(&base.memoryChain);
}

TEST_F(SkinBoneTest, FailsCleanlyWhenItsBufferCannotBeHad) {
    ModelBase base{};
    ModelBaseSkinBone bone{};
    base.skinBones = &bone;
    base.skinBoneCount = 1;
    SetModelAllocFailureAt(1);
    EXPECT_FALSE(OptimizeModelBaseSkinBones(&base));
    EXPECT_EQ(base.skinBoneCount, 1);
    FreeMemoryChain(&base.memoryChain);
}

using WholeFileTest = ModelSystemTest;

TEST_F(WholeFileTest, ReadsByPathOrByNameAlone) {
    FakeFiles files;
    files.Add("tex\\wood.png", "0123456789");
    files.Add("stone.png", "abc");
    void* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(LoadWholeFileW(u"tex\\wood.png", &data, &size), 0);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string(static_cast<char*>(data), size), "0123456789");
    FreeMemory(data);
    ASSERT_EQ(LoadWholeFileW(u"far\\away/stone.png", &data, &size), 0);
    EXPECT_EQ(size, 3u);
    FreeMemory(data);
    EXPECT_EQ(LoadWholeFileW(u"missing.png", &data, &size), -1);
    SetModelAllocFailureAt(1);
    EXPECT_EQ(LoadWholeFileW(u"stone.png", &data, &size), -1);
}

TEST(WholeFileNoTableTest, FailsWithoutFileFunctions) {
    SetModelFileAccessTable(nullptr);
    void* data = nullptr;
    EXPECT_EQ(LoadWholeFileW(u"a.png", &data, nullptr), -1);
    EXPECT_EQ(data, nullptr);
}

}  // namespace
