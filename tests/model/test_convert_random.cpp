#include <algorithm>
#include <random>

#include "model/convert/convert.h"
#include "model_generator.h"
#include "model_test_support.h"

namespace {

using ConvertRandomTest = ModelSystemTest;

// Random polygons (3 to 6 corners) over shared positions, several
// materials, up to twelve bones per position with weights that sum to 1,
// several frames and meshes: the result must always pass the validator and
// keep every triangle.
TEST_F(ConvertRandomTest, GeneratedModelsAlwaysValidate) {
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 30; ++trial) {
        ReadModel model;
        InitReadModel(&model);
        model.reverseWinding = trial % 3 == 0;
        std::vector<ReadModelFrame*> frames{AddReadModelFrame(&model, "root", nullptr)};
        for (int f = 0; f < 1 + trial % 5; ++f)
            frames.push_back(AddReadModelFrame(&model, "f", frames[size_t(random() % frames.size())]));
        int expectedTriangles = 0;
        for (int m = 0; m < 1 + trial % 3; ++m) {
            int positionCount = 4 + int(random() % 40);
            std::vector<Vector3> positions;
            for (int p = 0; p < positionCount; ++p)
                positions.push_back(Vector3{float(random() % 100), float(random() % 100), float(random() % 100)});
            std::vector<std::vector<int>> faces;
            for (int f = 0; f < 10 + int(random() % 60); ++f) {
                int corners = 3 + int(random() % 4);
                std::vector<int> face;
                for (int c = 0; c < corners; ++c) face.push_back(int(random() % uint32_t(positionCount)));
                faces.push_back(face);
                expectedTriangles += corners - 2;
            }
            ReadModelMesh* mesh = AddTestMesh(&model, frames[size_t(random() % frames.size())], positions, faces);
            ASSERT_NE(mesh, nullptr);
            int materials = int(random() % 3);
            for (int i = 0; i < materials; ++i) mesh->materials[i] = AddReadModelMaterial(&model, "m");
            mesh->materialCount = materials;
            for (int f = 0; f < mesh->faceCount; ++f) mesh->faces[f].materialIndex = materials ? int(random() % uint32_t(materials)) : 0;
            if (trial % 4 == 3) continue;  // rigid
            int bones = 1 + int(random() % 70);
            std::vector<std::vector<std::pair<int, float>>> pairs(static_cast<size_t>(bones));
            for (int p = 0; p < positionCount; ++p) {
                int influences = std::min(bones, 1 + int(random() % (trial % 2 ? 12u : 4u)));
                int first = int(random() % uint32_t(bones));
                for (int i = 0; i < influences; ++i)
                    pairs[size_t((first + i) % bones)].push_back({p, 1.0f / float(influences)});
            }
            for (int b = 0; b < bones; ++b)
                AddSkinWeight(&model, mesh, int(frames[size_t(b) % frames.size()]->index), pairs[size_t(b)]);
        }
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        ASSERT_NE(handle, -1) << trial;
        ModelBase* base = GetModelBase(handle);
        char why[256] = {};
        EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << "trial " << trial << ": " << why;
        int triangles = 0;
        for (int l = 0; l < base->triangleListCount; ++l) triangles += base->triangleLists[l].indexCount / 3;
        EXPECT_EQ(triangles, expectedTriangles) << trial;
        FreeModelBaseRecord(handle);
        FreeReadModel(&model);
    }
}

}  // namespace
