// Models drawn on the GL device off screen: a toon cube with its outline,
// a lit cube, a translucent one, a skinned one and a culled one, checked
// at probe pixels with a tolerance and saved as PNG for a look. Each scene
// is drawn on the fixed-function road and through the shaders, and the two
// pictures must agree.
#include "draw_gl_fixture.h"
#include "model/draw/model_cull.h"
#include "model/read/model_readers.h"
#include "mv1_writer.h"

using namespace morpotta;

namespace {

TEST_F(DrawModelGlTest, ToonCubeWithOutline) {
    Cube(root, Material(0.9f, 0.6f, 0.2f, 1.0f, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->rotation = {0.4f, 0.6f, 0.0f};
    in->materials[0].outline[0] = 0.05f;
    in->materials[0].outline[1] = 3.0f;
    auto frame = DrawOnBothPaths("toon_outline");
    uint32_t centre = At(frame, 320, 240);
    EXPECT_FALSE(ColorNear(centre, kBackground, 8)) << "the cube covers the centre";
    EXPECT_GT(ChannelOf(centre, 16), ChannelOf(centre, 0)) << "orange, not grey";
    // Walking right from the centre, the last pixel before the background
    // belongs to the black outline.
    int x = 320;
    while (x < 639 && !ColorNear(At(frame, x + 1, 240), kBackground, 4)) ++x;
    ASSERT_LT(x, 639);
    EXPECT_TRUE(ColorNear(At(frame, x, 240), 0xFF000000u, 40));
    EXPECT_TRUE(ColorNear(At(frame, x - 1, 240), 0xFF000000u, 40));
}

TEST_F(DrawModelGlTest, LitCubeFacingTheLight) {
    Cube(root, Material(0.8f, 0.8f, 0.8f, 1.0f, 0));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    auto frame = DrawOnBothPaths("lit");
    // The face toward the eye has N.L = 1: diffuse 0.8 of a white light.
    EXPECT_TRUE(ColorNear(At(frame, 320, 240), 0xFFCCCCCCu, 8));
    EXPECT_TRUE(ColorNear(At(frame, 20, 20), kBackground, 2));
}

TEST_F(DrawModelGlTest, TranslucentCubeBlendsOverTheBackground) {
    Cube(root, Material(1.0f, 0.0f, 0.0f, 0.5f, 0));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    auto frame = DrawOnBothPaths("translucent");
    const uint32_t expected = PackArgb(255, (255 + 0x40) / 2, 0x50 / 2, 0x70 / 2);
    EXPECT_TRUE(ColorNear(At(frame, 320, 240), expected, 8));
}

TEST_F(DrawModelGlTest, SkinnedCubeFollowsItsBones) {
    ReadModelFrame* b0 = AddReadModelFrame(&model, "b0", root);
    ReadModelFrame* b1 = AddReadModelFrame(&model, "b1", root);
    ReadModelMesh* mesh = Cube(root, Material(0.2f, 0.9f, 0.3f, 1.0f, 1));
    std::vector<std::pair<int, float>> half;
    for (int v = 0; v < 8; ++v) half.push_back({v, 0.5f});
    for (ReadModelFrame* b : {b0, b1}) {
        ReadModelSkinWeight* sw = AddSkinWeight(&model, mesh, int(b->index), half);
        ASSERT_NE(sw, nullptr);
        sw->offsetMatrix.m[3][0] = 0.0f;
    }
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    // Bones at x = 3 and x = 1: the half-and-half vertices sit at x + 2.
    const float shift[2] = {3.0f, 1.0f};
    for (int i = 0; i < in->base->frameCount; ++i) {
        ModelFrame& f = in->frames[i];
        int which = std::strcmp(f.baseFrame->name, "b0") == 0 ? 0 : std::strcmp(f.baseFrame->name, "b1") == 0 ? 1 : -1;
        if (which < 0) continue;
        f.localMatrix = Matrix44{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {shift[which], 0, 0, 1}}};
        f.localMatrixSet = 1;
    }
    auto frame = DrawOnBothPaths("skinned");
    const ModelDrawView* view = GetModelDrawView();
    const float moved[3] = {2, 0, 0};
    float s[3];
    ProjectToScreen(view->toScreen, moved, s);
    EXPECT_FALSE(ColorNear(At(frame, int(s[0]), int(s[1])), kBackground, 8)) << "the cube moved with its bones";
    EXPECT_TRUE(ColorNear(At(frame, 320 - 60, 240), kBackground, 2)) << "nothing left at the old place";
}

// Six bones per vertex make a list of eight-weight vertices; each bone
// turns the cube a little about its own axis.
TEST_F(DrawModelGlTest, SixBoneCubeBlendsItsBones) {
    std::vector<ReadModelFrame*> bones;
    const char* const names[6] = {"b0", "b1", "b2", "b3", "b4", "b5"};
    for (const char* name : names) bones.push_back(AddReadModelFrame(&model, name, root));
    ReadModelMesh* mesh = Cube(root, Material(0.9f, 0.3f, 0.6f, 1.0f, 1));
    std::vector<std::pair<int, float>> sixth;
    for (int v = 0; v < 8; ++v) sixth.push_back({v, 1.0f / 6.0f});
    for (ReadModelFrame* b : bones) ASSERT_NE(AddSkinWeight(&model, mesh, int(b->index), sixth), nullptr);
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(in->base->triangleLists[0].vertexKind, 2);
    for (int i = 0; i < in->base->frameCount; ++i) {
        ModelFrame& f = in->frames[i];
        if (f.baseFrame->name[0] != 'b') continue;
        const float a = 0.15f * float(f.baseFrame->name[1] - '0');
        Matrix44 turn;
        BuildEulerXYZMatrix(&turn, a, 2.0f * a, 0.0f);
        f.localMatrix = turn;
        f.localMatrixSet = 1;
    }
    in->materials[0].outline[0] = 0.04f;
    auto frame = DrawOnBothPaths("six_bones");
    const auto covered = std::count_if(frame.begin(), frame.end(), [](uint32_t p) { return !ColorNear(p, kBackground, 8); });
    EXPECT_GT(covered, 5000) << "the cube is drawn";
}

TEST_F(DrawModelGlTest, CulledCubeLeavesTheTargetUntouched) {
    Cube(root, Material(1, 1, 1, 1, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->translation = {40, 0, 0};
    auto frame = DrawOnBothPaths("culled", false);
    for (size_t i = 0; i < frame.size(); i += 97) ASSERT_TRUE(ColorNear(frame[i], kBackground, 0)) << i;
}

// A lost device takes the shader programs and the device buffers with it;
// after the rebuild the same toon cube draws through new programs from new
// buffers, to the same picture.
TEST_F(DrawModelGlTest, ADeviceLossRebuildsTheProgramsAndBuffers) {
    ReadModelFrame* bone = AddReadModelFrame(&model, "bone", root);
    std::vector<std::pair<int, float>> all;
    for (int v = 0; v < 8; ++v) all.push_back({v, 1.0f});
    ReadModelMesh* mesh = Cube(root, Material(0.3f, 0.8f, 0.5f, 1.0f, 1));
    ASSERT_NE(AddSkinWeight(&model, mesh, int(bone->index), all), nullptr);
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->rotation = {0.3f, 0.9f, 0.0f};
    in->materials[0].outline[0] = 0.05f;
    const std::vector<uint32_t> before = DrawOnBothPaths("device_loss_before");
    const ModelBase* base = in->base;
    ASSERT_NE(base->triangleLists[0].deviceBlock, nullptr) << "the skinned list has device buffers";

    EXPECT_EQ(ReleaseModelVertexBuffers(), 0);
    DeleteAllGraphs();
    ForgetModelBuiltinGraphs();
    ReleaseGraphicsDevice();
    EXPECT_EQ(CountGlShaderPrograms(), 0);
    OpenDevice();
    EXPECT_EQ(RecreateModelVertexBuffers(), 0);
    EXPECT_EQ(base->devicePools.built, 1);
    ASSERT_EQ(DrawModel(instance->handle), 0);
    EXPECT_GT(CountGlShaderPrograms(), 0);
    EXPECT_TRUE(Frame("device_loss_after") == before) << "the rebuilt device draws differently";
}

// A box with the test cube's winding, centred at c with half sizes h.
ReadModelMesh* AddBox(ReadModel* model, ReadModelFrame* frame, Vector3 c, Vector3 h, ReadModelMaterial* material) {
    std::vector<Vector3> p;
    for (int i = 0; i < 8; ++i) {
        const float x = (i == 1 || i == 2 || i == 5 || i == 6) ? 1.0f : -1.0f;
        const float y = (i == 2 || i == 3 || i == 6 || i == 7) ? 1.0f : -1.0f;
        const float z = i >= 4 ? 1.0f : -1.0f;
        p.push_back({c.x + x * h.x, c.y + y * h.y, c.z + z * h.z});
    }
    std::vector<std::vector<int>> quads = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                           {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    std::vector<std::vector<int>> tris;
    for (const auto& q : quads) {
        tris.push_back({q[0], q[1], q[2]});
        tris.push_back({q[0], q[2], q[3]});
    }
    ReadModelMesh* mesh = AddTestMesh(model, frame, p, tris);
    mesh->materials[0] = material;
    mesh->materialCount = 1;
    return mesh;
}

// A generated cat (body, head, ears, legs, tail, eyes) standing on a row of
// toon blocks, all drawn as the game draws them: type 1 with outlines.
TEST_F(DrawModelGlTest, CatOnBlocksScene) {
    ReadModelMaterial* fur = Material(1.0f, 0.62f, 0.25f, 1.0f, 1);
    ReadModelMaterial* dark = Material(0.1f, 0.1f, 0.12f, 1.0f, 1);
    ReadModelMaterial* pink = Material(1.0f, 0.6f, 0.7f, 1.0f, 1);
    AddBox(&model, root, {0, 0, 0}, {1.2f, 0.6f, 0.6f}, fur);         // body
    AddBox(&model, root, {-1.5f, 0.7f, 0}, {0.6f, 0.55f, 0.55f}, fur); // head
    AddBox(&model, root, {-1.85f, 1.35f, 0}, {0.15f, 0.2f, 0.15f}, fur);
    AddBox(&model, root, {-1.15f, 1.35f, 0}, {0.15f, 0.2f, 0.15f}, fur);
    AddBox(&model, root, {-1.75f, 0.85f, -0.56f}, {0.08f, 0.12f, 0.02f}, dark);  // eyes
    AddBox(&model, root, {-1.25f, 0.85f, -0.56f}, {0.08f, 0.12f, 0.02f}, dark);
    AddBox(&model, root, {-1.5f, 0.6f, -0.56f}, {0.07f, 0.05f, 0.02f}, pink);    // nose
    for (float x : {-0.9f, 0.9f})
        for (float z : {-0.4f, 0.4f}) AddBox(&model, root, {x, -0.9f, z}, {0.18f, 0.35f, 0.18f}, fur);
    AddBox(&model, root, {1.5f, 0.6f, 0}, {0.15f, 0.7f, 0.15f}, fur);  // tail
    ModelInstance* cat = Build();
    ASSERT_NE(cat, nullptr);
    for (int i = 0; i < cat->base->materialCount; ++i) {
        cat->materials[i].outline[0] = 0.03f;
        cat->materials[i].outline[1] = 2.0f;
        cat->materials[i].specular[0] = cat->materials[i].specular[1] = cat->materials[i].specular[2] = 0.1f;
    }
    cat->translation = {0, 0.6f, 0};
    cat->rotation = {0.25f, 0.5f, 0};

    // Blocks: a second base of one box, one instance per cell.
    ReadModel blockModel;
    InitReadModel(&blockModel);
    ReadModelMaterial* stone = AddReadModelMaterial(&blockModel, "block");
    const float stoneColour[4] = {0.55f, 0.75f, 0.95f, 1.0f};
    std::memcpy(stone->diffuse, stoneColour, sizeof(stoneColour));
    stone->drawType = 1;
    AddBox(&blockModel, AddReadModelFrame(&blockModel, "block", nullptr), {0, 0, 0}, {1, 1, 1}, stone);
    int blockBase = ConvertReadModelToModelBase(&blockModel, nullptr, nullptr);
    FreeReadModel(&blockModel);
    ASSERT_NE(blockBase, -1);
    std::vector<std::unique_ptr<TestInstance>> blocks;
    for (int c = -3; c <= 3; ++c) {
        blocks.push_back(MakeTestInstance(blockBase));
        ASSERT_NE(blocks.back(), nullptr);
        blocks.back()->in.translation = {float(c) * 2.0f, -3.0f, 1.0f};
        blocks.back()->in.rotation = {0.25f, 0.0f, 0.0f};
        blocks.back()->materials[0].outline[0] = 0.03f;
    }
    auto frame = DrawOnBothPaths("cat_and_blocks", {baseHandle, blockBase}, [&] {
        for (auto& b : blocks) EXPECT_EQ(DrawModel(b->handle), 0);
        EXPECT_EQ(DrawModel(instance->handle), 0);
    });
    EXPECT_FALSE(ColorNear(At(frame, 320, 240), kBackground, 8)) << "the cat's body covers the centre";
    blocks.clear();
    FreeModelBaseRecord(blockBase);
}

// The same skinned toon cube drawn from converted base data and from the
// binary file written from it (packed as tightly as the format allows):
// the pictures are the same to the bit.
TEST_F(DrawModelGlTest, BinaryModelDrawsLikeItsSource) {
    ReadModelFrame* bone = AddReadModelFrame(&model, "bone", root);
    ReadModelMesh* mesh = Cube(root, Material(0.3f, 0.5f, 0.9f, 1.0f, 1));
    std::vector<std::pair<int, float>> all;
    for (int v = 0; v < 8; ++v) all.push_back({v, 1.0f});
    ASSERT_NE(AddSkinWeight(&model, mesh, int(bone->index), all), nullptr);
    auto draw = [&](ModelInstance* in, const char* name) {
        in->rotation = {0.5f, 0.7f, 0.1f};
        in->materials[0].outline[0] = 0.04f;
        in->materials[0].outline[1] = 2.0f;
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, kBackground, 1.0f);
        EXPECT_EQ(DrawModel(instance->handle), 0);
        return Frame(name);
    };
    ModelInstance* source = Build();
    ASSERT_NE(source, nullptr);
    const std::vector<uint32_t> expected = draw(source, "source");
    Mv1WriteOptions packed;
    packed.quantisePositions = true;
    packed.normalEncoding = 1;
    std::string file = WriteMv1(source->base, packed);
    file.push_back('\0');
    ModelLoadParams params{file.data(), file.size() - 1, "cube.mv1", "cube", nullptr, nullptr, nullptr};
    int binary = LoadModelMV1(&params);
    ASSERT_GE(binary, 0);
    instance.reset();
    FreeModelBaseRecord(baseHandle);
    baseHandle = binary;
    instance = MakeTestInstance(binary);
    ASSERT_NE(instance, nullptr);
    const std::vector<uint32_t> drawn = draw(&instance->in, "binary");
    EXPECT_FALSE(ColorNear(At(drawn, 320, 240), kBackground, 8)) << "the cube covers the centre";
    EXPECT_TRUE(drawn == expected) << "the binary model draws differently";
}

}  // namespace
