// Seeds for the game's text files and models, taken from what the content
// generator writes: the smallest stage files, map sets and scenarios, the
// head of the time table, and a one-box MQO model.
#include "game/replay/replay_format.h"
#include "generator.h"
#include "mqo.h"
#include "seeds.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    return Bytes(text.begin(), text.end());
}

// The count smallest files of the folder with the extension.
std::vector<fs::path> Smallest(const fs::path& folder, const std::string& extension, size_t count) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == extension) files.push_back(e.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        auto sa = fs::file_size(a), sb = fs::file_size(b);
        return sa != sb ? sa < sb : a < b;
    });
    if (files.size() > count) files.resize(count);
    return files;
}

void AddSmallest(Seeds& seeds, const char* target, const fs::path& folder, const char* extension, size_t count,
                 const Bytes& prefix = {}) {
    for (const fs::path& file : Smallest(folder, extension, count)) {
        Bytes bytes = prefix;
        Bytes body = ReadAll(file);
        bytes.insert(bytes.end(), body.begin(), body.end());
        seeds.Add(target, file.filename().string(), bytes);
    }
}

Bytes BoxModel() {
    MqoModel model;
    int red = model.AddMaterial({"red", 0.9f, 0.2f, 0.2f, 1.0f});
    int glass = model.AddMaterial({"glass", 0.6f, 0.8f, 1.0f, 0.5f});
    MqoObject& box = model.AddObject("box");
    AddBox(box, {-40, 0, -40}, {40, 80, 40}, red);
    MqoObject& gem = model.AddObject("gem");
    AddGem(gem, {0, 120, 0}, 20, glass, 4);
    std::string text = model.Write();
    return Bytes(text.begin(), text.end());
}

// A replay target input: the player's device kind, the six stream texts
// and the meta text, separated by zero bytes.
Bytes ReplayInput(uint8_t kind, const replay::PlayerStreams& streams, const std::vector<int32_t>& types) {
    Bytes input = {kind};
    for (int k = 0; k < replay::kStreamCount; ++k) {
        std::string text = replay::StoredText(streams, replay::Stream(k));
        input.insert(input.end(), text.begin(), text.end());
        input.push_back(0);
    }
    std::string meta = replay::MetaText(types);
    input.insert(input.end(), meta.begin(), meta.end());
    return input;
}

void AddReplaySeeds(Seeds& seeds) {
    replay::PlayerStreams pad;
    pad.buttons = {{3, 0, 20}, {30, 4, 5}, {31, 1, 60}};
    pad.actions = {{10, 0}, {45, 2}};
    pad.slopes = {{0, {0.0f, 0.0f, 1.0f}}, {50, {0.25f, -0.5f, 0.75f}}};
    pad.analogs = {{{1200, 0, 0, -300, 40, 1}, 30}};
    pad.mice = {{0, 320, 240, 10}, {12, -5, 16, 3}};
    pad.keys = {{5, 0, 7}};
    seeds.Add("fuzz_replay", "pad", ReplayInput(2, pad, {2, 1}));
    replay::PlayerStreams buttonsOnly;
    for (int k = 0; k < replay::kStreamCount; ++k) buttonsOnly.absent[k] = true;
    buttonsOnly.absent[int(replay::Stream(0))] = false;
    buttonsOnly.buttons = {{0, 2, 100}};
    seeds.Add("fuzz_replay", "absent_streams", ReplayInput(1, buttonsOnly, {1}));
}

}  // namespace

void AddGameSeeds(Seeds& seeds) {
    char pattern[] = "/tmp/fuzz-seeds-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) return;
    const fs::path root = made;
    OutputTree out(root.string());
    GenerateStages(out);
    GenerateSetsAndLists(out);
    GenerateScenarios(out);
    GenerateTimeTable(out);
    const fs::path tpa = root / "tpa";
    AddSmallest(seeds, "fuzz_stage", tpa / "stage", ".stg", 3);
    AddSmallest(seeds, "fuzz_mapset", tpa / "mapset", ".set", 3);
    // The scenario target takes the player's cat and a button pattern first.
    AddSmallest(seeds, "fuzz_scenario", tpa / "scenario", ".scn", 2, {1, 0x21});
    // The time table's first lines, cut at a line end.
    Bytes table = ReadAll(tpa / "limitTimeTable.csv");
    size_t cut = std::min<size_t>(table.size(), 1200);
    while (cut > 0 && table[cut - 1] != '\n') --cut;
    seeds.Add("fuzz_timetable", "head.csv", Bytes(table.begin(), table.begin() + long(cut)));
    std::error_code ec;
    fs::remove_all(root, ec);

    seeds.Add("fuzz_mqo", "box_and_gem.mqo", BoxModel());
    // The binary model target lays its input over a sample model as a mask.
    Bytes flips(24, 0);
    flips[20] = 0x01;
    seeds.Add("fuzz_mv1", "one_flip", flips);
    seeds.Add("fuzz_mv1", "tail", Bytes(40, 0x80));
    // The X target takes its input whole, and as a mask over its text (first
    // byte 0), 32-bit (1) or 64-bit binary (2) sample.
    seeds.Add("fuzz_x", "quad.x",
              "xof 0303txt 0032\nFrame F { Mesh { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;; } }\n");
    // A mesh whose material list is empty: it has no material, and is drawn.
    seeds.Add("fuzz_x", "bare.x",
              "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 0; 0;; } }\n");
    for (uint8_t form = 0; form < 3; ++form) {
        Bytes mask(48, 0);
        mask[0] = form;
        mask[40] = 0x04;
        seeds.Add("fuzz_x", "mask" + std::to_string(form), mask);
    }
    // The PMD target does the same with its sample; the input's length picks
    // the physics mode (0, 1, 2 for these three).
    seeds.Add("fuzz_pmd", "one_flip", flips);
    Bytes vertexCount(277, 0);
    vertexCount[276] = 0x01;  // the low bit of the vertex count
    seeds.Add("fuzz_pmd", "vertex_count", vertexCount);
    seeds.Add("fuzz_pmd", "tail", Bytes(20, 0x80));
    // The VMD target lays its input over a sample motion too: one frame
    // number and one curve byte changed.
    Bytes motionFlips(40, 0);
    motionFlips[39] = 0x03;  // the first bone key's frame (byte 69 of the motion)
    seeds.Add("fuzz_vmd", "frame_flip", motionFlips);
    seeds.Add("fuzz_vmd", "tail", Bytes(8, 0x7F));
    AddReplaySeeds(seeds);
}
