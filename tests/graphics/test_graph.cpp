// Graph handles: creation from files, memory and base images, divided
// pictures sharing one texture, refills, stale handles, transparency.
#include "foundation/handle.h"
#include "foundation/memory_internal.h"
#include "graphics/graph_internal.h"
#include "graphics_test_util.h"
#include "scoped_temp_dir.h"

#include <png.h>

#include <fstream>

using namespace morpotta;

namespace {

using Bytes = std::vector<unsigned char>;

void WriteFile(const char* name, const Bytes& bytes) {
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// A 8x4 picture: column x has red 30 x; the left half of row 0 is black.
std::vector<uint32_t> Sheet() {
    std::vector<uint32_t> p(32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) p[y * 8 + x] = PackArgb(255, 30 * x, 10 * y, 5);
    for (int x = 0; x < 4; ++x) p[x] = 0xFF000000u;
    return p;
}

uint32_t TexelOf(int graph, int x, int y) {
    GRAPH* g = GetGraphRecord(graph);
    return static_cast<uint32_t*>(g->shared->image.pixels)[(g->y + y) * g->shared->image.width + g->x + x];
}

class GraphTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        SetTransColorEnabled(1);
        SetTransparentColorRGB(0, 0, 0);
        SetGraphMipLevels(0, 1);
        auto p = Sheet();
        WriteFile("sheet.png", EncodePng(p.data(), 8, 4, PNG_COLOR_TYPE_RGB, 8));
    }
    ScopedTempDir dir_;
};

TEST_F(GraphTest, FileGraphsKeyOutTheTransparentColourUnlessAskedNot) {
    int keyed = OpenGraphFile("sheet.png", 0);
    int plain = OpenGraphFile("sheet.png", 1);
    ASSERT_NE(keyed, -1);
    ASSERT_NE(plain, -1);
    EXPECT_EQ(TexelOf(keyed, 0, 0), 0x00000000u);
    EXPECT_EQ(TexelOf(plain, 0, 0), 0xFF000000u);
    EXPECT_EQ(GetGraphRecord(keyed)->hasAlpha, 1);
    EXPECT_EQ(GetGraphRecord(plain)->hasAlpha, 0);
    EXPECT_EQ(GetGraphRecord(keyed)->movieHandle, -1);
    EXPECT_EQ(GetGraphRecord(keyed)->shared->sourceKind, GRAPH_SOURCE_FILE);
    EXPECT_STREQ(GetGraphRecord(keyed)->shared->sourcePath, "sheet.png");
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphDimensions(keyed, &w, &h), 0);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(GetGraphDimensions(keyed, nullptr, nullptr), 0);
    ASSERT_NE(GetGraphTexture(keyed), nullptr);

    SetTransparentColorRGB(30, 10, 5);
    int other = OpenGraphFile("sheet.png", 0);
    EXPECT_EQ(TexelOf(other, 1, 1), PackArgb(0, 30, 10, 5));
    EXPECT_EQ(TexelOf(other, 0, 0), 0xFF000000u);
    int r, g, b;
    GetTransparentColorRGB(&r, &g, &b);
    EXPECT_EQ(r, 30);
    SetTransColorEnabled(0);
    EXPECT_EQ(GetTransColorEnabled(), 0);
    int off = OpenGraphFile("sheet.png", 0);
    EXPECT_EQ(TexelOf(off, 1, 1), PackArgb(255, 30, 10, 5));
    SetLogOutput(0);
    EXPECT_EQ(OpenGraphFile("missing.png", 0), -1);
}

TEST_F(GraphTest, DividedPicturesShareOneTextureInReadingOrder) {
    int handles[6];
    ASSERT_EQ(OpenDivGraphFile("sheet.png", 6, 3, 2, 2, 2, handles, 1), 0);
    GRAPH* first = GetGraphRecord(handles[0]);
    for (int i = 0; i < 6; ++i) {
        GRAPH* g = GetGraphRecord(handles[i]);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->x, (i % 3) * 2);
        EXPECT_EQ(g->y, (i / 3) * 2);
        EXPECT_EQ(g->width, 2);
        EXPECT_EQ(g->shared, first->shared);
        EXPECT_EQ(GetGraphTexture(handles[i]), GetGraphTexture(handles[0]));
    }
    EXPECT_EQ(TexelOf(handles[4], 1, 0), Sheet()[2 * 8 + 3]);
    EXPECT_EQ(first->shared->refCount, 6);
    // Deleting pieces keeps the texture until the last one goes.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(DeleteGraphHandle(handles[i], 0), 0);
    EXPECT_NE(GetGraphTexture(handles[5]), nullptr);
    EXPECT_EQ(DeleteGraphHandle(handles[5], 0), 0);
    EXPECT_EQ(CountGraphs(), 0);

    SetLogOutput(0);
    EXPECT_EQ(OpenDivGraphFile("sheet.png", 6, 3, 2, 3, 2, handles, 1), -1);  // 9 columns of 8
    EXPECT_EQ(OpenDivGraphFile("sheet.png", 7, 3, 2, 2, 2, handles, 1), -1);  // more pieces than cells
    EXPECT_EQ(OpenDivGraphFile("sheet.png", 1, 1, 1, 0, 2, handles, 1), -1);
    EXPECT_EQ(CountGraphs(), 0);
}

TEST_F(GraphTest, StaleAndForeignHandlesAreRefused) {
    int graph = MakeBlankGraph(4, 4, 0);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(HandleKindOf(graph), HANDLE_KIND_GRAPH);
    EXPECT_EQ(DeleteGraphHandle(graph, 0), 0);
    SetLogOutput(0);
    EXPECT_EQ(DeleteGraphHandle(graph, 0), -1);
    EXPECT_EQ(GetGraphRecord(graph), nullptr);
    EXPECT_EQ(GetGraphDimensions(graph, nullptr, nullptr), -1);
    EXPECT_EQ(GetGraphTexture(graph), nullptr);
    int reused = MakeBlankGraph(4, 4, 0);  // the same slot under a new check id
    EXPECT_EQ(HandleSlotOf(reused), HandleSlotOf(graph));
    EXPECT_EQ(GetGraphRecord(graph), nullptr);
    EXPECT_NE(GetGraphRecord(reused), nullptr);
    EXPECT_EQ(GetGraphRecord(MakeHandle(HANDLE_KIND_SOUND, HandleCheckOf(reused), HandleSlotOf(reused))), nullptr);
    EXPECT_EQ(GetGraphRecord(-1), nullptr);
}

TEST_F(GraphTest, RefillsKeepTheSizeAndRefuseAnotherOne) {
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageXrgb32(4, 2, &image), 0);
    for (int x = 0; x < 4; ++x) SetBaseImagePixel(&image, x, 0, 100, 0, 0, 255);
    int graph = MakeGraphFromBaseImageKept(&image);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(TexelOf(graph, 0, 1), 0xFF000000u);  // black kept: no keying for kept graphs
    SetBaseImagePixel(&image, 0, 1, 0, 200, 0, 255);
    ASSERT_EQ(RefillGraphFromBaseImageKept(&image, graph), 0);
    EXPECT_EQ(TexelOf(graph, 0, 1), 0xFF00C800u);
    ASSERT_EQ(RefillGraphFromBaseImage(&image, nullptr, graph), 0);

    BASEIMAGE wrong;
    ASSERT_EQ(CreateBaseImageXrgb32(3, 2, &wrong), 0);
    SetLogOutput(0);
    EXPECT_EQ(RefillGraphFromBaseImage(&wrong, nullptr, graph), -1);
    EXPECT_EQ(RefillGraphFromBaseImageKept(&wrong, graph), -1);
    auto p = Sheet();
    Bytes png = EncodePng(p.data(), 8, 4, PNG_COLOR_TYPE_RGB, 8);
    EXPECT_EQ(RefillGraphFromImageMemory(png.data(), png.size(), graph, nullptr, 0, 0, 0), -1);
    int fromMemory = MakeGraphFromImageMemory(png.data(), png.size(), nullptr, 0, 1, 0);
    ASSERT_NE(fromMemory, -1);
    EXPECT_EQ(RefillGraphFromImageMemory(png.data(), png.size(), fromMemory, nullptr, 0, 0, 1), 0);
    EXPECT_EQ(TexelOf(fromMemory, 0, 1), p[8 + 7]);  // mirrored
    EXPECT_EQ(RefillGraphFromImageMemory(png.data(), png.size() / 2, fromMemory, nullptr, 0, 0, 0), -1);
    DeleteGraphHandle(fromMemory, 0);
    EXPECT_EQ(RefillGraphFromBaseImage(&image, nullptr, fromMemory), -1);
    FreeBaseImagePixels(&image);
    FreeBaseImagePixels(&wrong);
}

TEST_F(GraphTest, AlphaPicturesAndAlphaChannels) {
    BASEIMAGE color, alpha;
    ASSERT_EQ(CreateBaseImageXrgb32(2, 1, &color), 0);
    ASSERT_EQ(CreateBaseImageXrgb32(2, 1, &alpha), 0);
    SetBaseImagePixel(&color, 0, 0, 10, 20, 30, 255);
    SetBaseImagePixel(&alpha, 0, 0, 0, 0, 77, 255);
    int graph = MakeGraphFromBaseImage(&color, &alpha, 1);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(TexelOf(graph, 0, 0), PackArgb(77, 10, 20, 30));
    EXPECT_EQ(TexelOf(graph, 1, 0), 0x00000000u);
    BASEIMAGE small;
    ASSERT_EQ(CreateBaseImageXrgb32(1, 1, &small), 0);
    SetLogOutput(0);
    EXPECT_EQ(MakeGraphFromBaseImage(&color, &small, 1), -1);

    auto p = Sheet();
    for (uint32_t& c : p) c = (c & 0xFFFFFF) | 0x80000000u;
    WriteFile("alpha.png", EncodePng(p.data(), 8, 4, PNG_COLOR_TYPE_RGBA, 8));
    int withAlpha = OpenGraphFileWithAlpha("alpha.png");
    ASSERT_NE(withAlpha, -1);
    EXPECT_EQ(TexelOf(withAlpha, 0, 0), 0x80000000u);  // own alpha, no keying
    FreeBaseImagePixels(&color);
    FreeBaseImagePixels(&alpha);
    FreeBaseImagePixels(&small);
}

TEST_F(GraphTest, MipLevelsTexturesAndADeviceRebuild) {
    SetGraphMipLevels(1, -1);
    int graph = OpenGraphFile("sheet.png", 1);
    SetGraphMipLevels(0, 1);
    int single = OpenGraphFile("sheet.png", 1);
    DeviceTextureDesc d;
    ASSERT_EQ(GetDeviceTextureDesc(GetGraphTexture(graph), 0, &d), 0);
    EXPECT_EQ(d.levels, 4);
    ASSERT_EQ(GetDeviceTextureDesc(GetGraphTexture(graph), 3, &d), 0);
    EXPECT_EQ(d.width, 1);
    ASSERT_EQ(GetDeviceTextureDesc(GetGraphTexture(single), 0, &d), 0);
    EXPECT_EQ(d.levels, 1);
    ASSERT_EQ(ReleaseGraphTextures(), 0);
    EXPECT_EQ(GetGraphTexture(graph), nullptr);
    ASSERT_EQ(RestoreGraphTextures(), 0);
    ASSERT_NE(GetGraphTexture(graph), nullptr);
    void* bits = nullptr;
    int pitch = 0;
    ASSERT_EQ(LockDeviceTexture(GetGraphTexture(graph), 0, &bits, &pitch), 0);
    EXPECT_EQ(static_cast<uint32_t*>(bits)[pitch / 4 + 2], Sheet()[8 + 2]);
    UnlockDeviceTexture(GetGraphTexture(graph), 0);
}

TEST(GraphWithoutDeviceTest, GraphsLiveInMemoryOnTheSoftwarePath) {
    SetLogOutput(0);
    ASSERT_EQ(HardwareRenderingActive(), 0);
    EXPECT_EQ(MakeBlankGraph(16, 8, 0), -1);  // nothing to draw it on yet
    ScopedSoftwareScreen screen;
    int graph = MakeBlankGraph(16, 8, 0);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(GetGraphTexture(graph), nullptr);
    EXPECT_NE(GetGraphRecord(graph)->shared->image.pixels, nullptr);
    EXPECT_EQ(MakeBlankGraph(0, 8, 0), -1);
    DeleteAllGraphs();
    EXPECT_EQ(CountGraphs(), 0);
}

// One picture more than the table holds is refused with a line naming the
// call, and the program goes on: a picture deleted makes room for the next.
TEST(GraphTableTest, AFullTableRefusesOnePictureMoreAndTheProgramGoesOn) {
    ScopedTempDir dir;
    SetLogOutput(1);
    ScopedSoftwareScreen screen;
    std::vector<int> graphs;
    for (int graph; (graph = MakeBlankGraph(1, 1, 0)) != -1 && graphs.size() <= size_t(kGraphTableSize);)
        graphs.push_back(graph);
    EXPECT_EQ(graphs.size(), size_t(kGraphTableSize));
    EXPECT_EQ(MakeBlankGraph(1, 1, 0), -1);
    ASSERT_EQ(DeleteGraphHandle(graphs.back(), 0), 0);
    EXPECT_NE(MakeBlankGraph(1, 1, 0), -1);
    DeleteAllGraphs();
    SetLogOutput(0);
    const std::string log = ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    EXPECT_NE(log.find("MakeBlankGraph refused: the picture table is full (32768 pictures)"), std::string::npos)
        << log;
}

// A table that cannot be made for want of memory is said to be so, never
// full, and the next picture, with memory to spare, makes it.
TEST(GraphTableTest, ATableWithoutMemoryIsSaidSoNotFull) {
    ScopedTempDir dir;
    SetLogOutput(1);
    ScopedSoftwareScreen screen;
    DeleteAllGraphs();  // the table goes with its pictures: the next one makes it
    morpotta::SetMemoryShortForTesting(4096);  // a picture of a pixel, but not a page of the table
    EXPECT_EQ(MakeBlankGraph(1, 1, 0), -1);
    morpotta::SetMemoryShortForTesting(0);
    EXPECT_NE(MakeBlankGraph(1, 1, 0), -1);
    DeleteAllGraphs();
    SetLogOutput(0);
    const std::string log = ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    // One line, for the allocation that failed first.
    const size_t refusal = log.find("MakeBlankGraph refused: out of memory for ");
    EXPECT_NE(refusal, std::string::npos) << log;
    EXPECT_EQ(log.find("refused", log.find('\n', refusal)), std::string::npos) << log;
    EXPECT_EQ(log.find("is full"), std::string::npos) << log;
}

}  // namespace
