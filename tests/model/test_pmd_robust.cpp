// Broken PMD files: every index and count is checked against what exists,
// every cut and mutation of a good file is read safely, every allocation
// failure is reported, and nothing leaks.
#include <functional>
#include <random>
#include <set>

#include "pmd_test_support.h"

namespace {

struct Fault {
    const char* name;
    std::function<void(PmdDocument*)> change;
    const char* log;  // what the log line says
};

class PmdFault : public PmdLoadTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(PmdFault, IsRefusedWithALogLine) {
    PmdDocument d = PmdFullSample();
    GetParam().change(&d);
    EXPECT_EQ(LoadPmd(d), -1);
    const std::string log = Log();
    EXPECT_NE(log.find(std::string("PMD Load Error : ") + GetParam().log), std::string::npos) << log;
}

const Fault kFaults[] = {
    {"vertex bone 0", [](PmdDocument* d) { d->vertices[3].bone0 = 5; }, "a vertex names a bone"},
    {"vertex bone 1", [](PmdDocument* d) { d->vertices[0].bone1 = 0xFFFF; }, "a vertex names a bone"},
    {"face index", [](PmdDocument* d) { d->indices[7] = 6; }, "a face names a vertex"},
    {"material face totals", [](PmdDocument* d) { d->materials[1].indexCount = 7; },
     "the materials take more faces than the model has"},
    {"toon index", [](PmdDocument* d) { d->materials[2].toon = 10; }, "a material names a toon texture"},
    {"IK target", [](PmdDocument* d) { d->iks[0].target = 5; }, "an IK entry names a bone"},
    {"IK effector", [](PmdDocument* d) { d->iks[0].effector = 600; }, "an IK entry names a bone"},
    {"IK link", [](PmdDocument* d) { d->iks[0].links[1] = 9; }, "an IK entry names a bone"},
    {"IK limit", [](PmdDocument* d) { d->iks[0].limit = std::nanf(""); }, "an IK entry's angle limit is no number"},
    {"base morph vertex", [](PmdDocument* d) { d->morphs[0].vertices[1].index = 6; }, "a morph names a vertex"},
    {"morph vertex", [](PmdDocument* d) { d->morphs[2].vertices[0].index = 2; }, "a morph names a vertex"},
    {"body bone", [](PmdDocument* d) { d->bodies[0].bone = 7; }, "a rigid body names a bone"},
    {"body group", [](PmdDocument* d) { d->bodies[1].group = 16; }, "a rigid body's collision group is not one of the 16"},
    {"body shape", [](PmdDocument* d) { d->bodies[1].shape = 3; }, "a rigid body's shape is not a sphere, a box or a capsule"},
    {"joint body", [](PmdDocument* d) { d->joints[0].bodyB = 2; }, "a joint names a rigid body"},
    {"bone parent loop", [](PmdDocument* d) { d->bones[kLegCentre].parent = kLegTarget; },
     "the bone parents form a loop"},
    {"bone its own parent", [](PmdDocument* d) { d->bones[kLegKnee].parent = kLegKnee; },
     "the bone parents form a loop"},
    {"more bones than fit",
     [](PmdDocument* d) {
         while (d->bones.size() < 1025) d->bones.push_back(PmdBoneAt("b", 0, 0, 0, 0));
     },
     "the model has more bones than can be read"},
    {"more materials than a mesh holds",
     [](PmdDocument* d) {
         d->indices.assign(257 * 3, 0);
         PmdMaterialSpec m;
         m.indexCount = 3;
         d->materials.assign(257, m);
         d->morphs.clear();
     },
     "more materials take faces than a mesh can hold"},
};

INSTANTIATE_TEST_SUITE_P(Faults, PmdFault, ::testing::ValuesIn(kFaults));

TEST_F(PmdLoadTest, OptionalPartsCutShortAreRefused) {
    PmdDocument d = PmdFullSample();
    d.toonNames = d.physics = false;
    std::string file = WritePmd(d);
    EXPECT_EQ(Load("english.pmd", file.substr(0, file.size() - 1)), -1);
    EXPECT_NE(Log().find("PMD Load Error : the English names run past the end of the file"), std::string::npos);
    d.physics = true;
    file = WritePmd(d);
    EXPECT_EQ(Load("joints.pmd", file.substr(0, file.size() - 124 - 4)), -1);  // no joint count
    EXPECT_NE(Log().find("PMD Load Error : the joint count lies past the end of the file"), std::string::npos);
}

TEST_F(PmdLoadTest, ModelWithoutBonesButWithVerticesIsRefused) {
    PmdDocument d = PmdTriangle();
    d.bones.clear();
    EXPECT_EQ(LoadPmd(d), -1);
    EXPECT_NE(Log().find("a vertex names a bone"), std::string::npos);
}

TEST_F(PmdLoadTest, RigidBodyWithoutACentreBoneFollowsTheFirstBone) {
    PmdDocument d = PmdFullSample();
    d.bones[kLegCentre].name = "root";
    std::string file = WritePmd(d);
    PmdRead r(file);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.load.physics.bodies[1].boneIndex, 0u);
    EXPECT_EQ(r.load.physics.bodies[1].follow, 0);
}

TEST_F(PmdLoadTest, EmptyMaterialsAndFacesLeftOverStillLoad) {
    PmdDocument d = PmdLegStrip();
    d.materials[1].indexCount = 0;  // the last two faces take the mesh's first material
    int model = LoadPmd(d);
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(BaseOf(model)->materialCount, 3);
    DeleteModel(model);
}

// The lengths at which a cut of the full sample is still a whole file (its
// English flag is set: cut right behind it, the names are missing).
std::set<size_t> WholeLengths() {
    std::set<size_t> lengths;
    PmdDocument d = PmdFullSample();
    d.englishFlag = d.englishNames = d.toonNames = d.physics = false;
    lengths.insert(WritePmd(d).size());
    d.englishFlag = d.englishNames = true;
    lengths.insert(WritePmd(d).size());
    d.toonNames = true;
    lengths.insert(WritePmd(d).size());
    return lengths;
}

TEST_F(PmdLoadTest, EveryCutOfAFileIsReadSafely) {
    const std::string file = WritePmd(PmdFullSample());
    const std::set<size_t> whole = WholeLengths();
    for (size_t length = 0; length <= file.size(); ++length) {
        int model = Load("cut.pmd", file.substr(0, length));
        if (model >= 0) DeleteModel(model);
        bool expected = length == file.size() || whole.count(length);
        EXPECT_EQ(model >= 0, expected) << "cut at " << length << " of " << file.size();
    }
}

TEST_F(PmdLoadTest, MutatedFilesAreReadSafely) {
    SetLogOutput(0);
    const std::string file = WritePmd(PmdFullSample());
    std::mt19937 random(37);
    int loaded = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = file;
        int changes = 1 + int(random() % 4);
        for (int c = 0; c < changes; ++c) {
            size_t at = 3 + random() % (bytes.size() - 3);
            bytes[at] = char(random() % 3 == 0 ? 0xFF : random());
        }
        int model = Load("mutant.pmd", bytes);
        if (model >= 0) {
            ++loaded;
            float lo[3], hi[3];
            GetModelBoundingBox(model, lo, hi);
            DeleteModel(model);
        }
    }
    EXPECT_GT(loaded, 0);  // the harmless changes still load
}

TEST_F(PmdLoadTest, EveryAllocationFailureIsReportedWithoutLeaks) {
    const std::string file = WritePmd(PmdFullSample());
    SetModelAllocFailureAt(0);
    int model = Load("whole.pmd", file);
    ASSERT_GE(model, 0) << Log();
    DeleteModel(model);
    SetModelAllocFailureAt(0);
    model = Load("whole.pmd", file);
    const uint64_t allocations = SetModelAllocFailureAt(0);
    ASSERT_GE(model, 0);
    DeleteModel(model);
    ASSERT_GT(allocations, 10u);
    int loaded = 0;
    for (uint64_t n = 1; n <= allocations; ++n) {
        SetModelAllocFailureAt(n);
        model = Load("whole.pmd", file);
        SetModelAllocFailureAt(0);
        if (model < 0) continue;
        // Only the skin-bone optimisation (two allocations) may fail
        // without failing the load.
        ++loaded;
        DeleteModel(model);
    }
    EXPECT_LE(loaded, 2);
}

}  // namespace
