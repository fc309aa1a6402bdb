// Every model the game loads: blocks per world, items, and the cats.
#include "generator.h"
#include "looks.h"
#include "manifest.h"
#include "mqo.h"

#include <algorithm>
#include <cmath>

namespace {

MqoMaterial Material(const std::string& name, Rgba c, float alpha = 1.0f, float emissive = 0.0f, float specular = 0.2f,
                     float power = 8.0f) {
    MqoMaterial m;
    m.name = name;
    m.r = c.r / 255.0f;
    m.g = c.g / 255.0f;
    m.b = c.b / 255.0f;
    m.a = alpha;
    m.emi = emissive;
    m.spc = specular;
    m.power = power;
    return m;
}

// Models are built in the frame of their cell's box (x 0..80 rightward and y
// 0..-80 downward from its top-left corner, the grid position) and written
// with their origin at the box's centre: the field places a model at its
// cell's position and turns it about the origin (a cat faces left by a half
// turn about y and crawls a ceiling upside down by a half turn about z), so
// a turned model stays in its cell. Blocks and items move the same way, so
// everything keeps its place on the field.
constexpr Vec3 kBoxCentre{40, -40, 0};

void WriteModel(OutputTree& out, const std::string& path, MqoModel model) {
    model.Translate(Vec3{} - kBoxCentre);
    std::string text = model.Write();
    out.WriteBytes(path, text.data(), text.size());
}

// ---------------------------------------------------------------- blocks
// A block's body fills its cell: x 0..80, y -80..0, z -40..40, so the
// bodies of neighbouring blocks meet without a slot between them. Kinds
// 1..4 are the trims drawn where the right, left, lower and upper neighbour
// is open; the upper one, the cap, may rise above the cell but stays within
// its sides, so neither it nor its outline reaches over a neighbour.

MqoModel BlockModel(int world, int kind) {
    WorldLook look = LookOfWorld(world);
    MqoModel m;
    int body = m.AddMaterial(Material("block", look.block));
    int face = m.AddMaterial(Material("panel", ScaleRgb(look.block, 1.18f)));
    int edge = m.AddMaterial(Material("edge", look.blockEdge));
    int cap = m.AddMaterial(Material("cap", look.cap, 1.0f, world == 3 || world >= 5 ? 0.25f : 0.0f));
    MqoObject& o = m.AddObject("block");
    switch (kind) {
        case 0:
            AddBox(o, {0, -80, -40}, {80, 0, 40}, body);
            AddBox(o, {9, -71, 38}, {71, -9, 42}, face);
            for (float x : {16.0f, 64.0f}) {
                for (float y : {-16.0f, -64.0f}) AddEllipsoid(o, {x, y, 42}, {3, 3, 2}, edge, 6, 4);
            }
            break;
        case 1: AddBox(o, {75, -80, -40}, {81, 0, 41}, edge); break;
        case 2: AddBox(o, {-1, -80, -40}, {5, 0, 41}, edge); break;
        case 3: AddBox(o, {0, -81, -40}, {80, -75, 41}, edge); break;
        default:
            AddBox(o, {0, -7, -42}, {80, 2, 43}, cap);
            for (int i = 0; i < 5; ++i) {
                float x = 8.0f + i * 16.0f;
                AddCylinder(o, {x, -7, 43}, {x + 2, -15, 44}, 4, 0, cap, 4);
            }
            break;
    }
    return m;
}

// ---------------------------------------------------------------- items

MqoModel PedestalModel(int player) {
    static const Rgba kColours[4] = {MakeRgba(230, 60, 60), MakeRgba(60, 110, 235), MakeRgba(60, 190, 80),
                                     MakeRgba(240, 200, 40)};
    MqoModel m;
    int side = m.AddMaterial(Material("side", kColours[player]));
    int top = m.AddMaterial(Material("top", ScaleRgb(kColours[player], 1.3f), 1.0f, 0.1f, 0.5f, 20));
    MqoObject& o = m.AddObject("pedestal");
    AddCylinder(o, {40, -80, 0}, {40, -62, 0}, 38, 34, side, 16);
    AddCylinder(o, {40, -62, 0}, {40, -58, 0}, 34, 32, top, 16);
    return m;
}

MqoModel SpikeModel() {
    MqoModel m;
    int metal = m.AddMaterial(Material("metal", MakeRgba(200, 205, 215), 1.0f, 0.0f, 0.8f, 30));
    int base = m.AddMaterial(Material("base", MakeRgba(90, 90, 100)));
    MqoObject& o = m.AddObject("spikes");
    AddBox(o, {2, -80, -30}, {78, -72, 30}, base);
    for (float x : {14.0f, 40.0f, 66.0f}) {
        for (float z : {-15.0f, 15.0f}) AddCylinder(o, {x, -72, z}, {x, -30, z}, 11, 0, metal, 6);
    }
    return m;
}

MqoModel AppleModel() {
    MqoModel m;
    int skin = m.AddMaterial(Material("apple", MakeRgba(225, 30, 40), 1.0f, 0.0f, 0.6f, 20));
    int stem = m.AddMaterial(Material("stem", MakeRgba(100, 60, 30)));
    int leaf = m.AddMaterial(Material("leaf", MakeRgba(70, 170, 60)));
    MqoObject& o = m.AddObject("apple");
    AddEllipsoid(o, {40, -44, 0}, {24, 22, 24}, skin, 14, 10);
    AddCylinder(o, {40, -24, 0}, {43, -13, 0}, 2, 1.5f, stem, 6);
    AddEllipsoid(o, {50, -18, 0}, {9, 3, 5}, leaf, 8, 5);
    return m;
}

MqoModel ClearBlockModel(int stage) {
    MqoModel m;
    int glass = stage == 0 ? m.AddMaterial(Material("flash", MakeRgba(255, 255, 230), 0.9f, 0.8f, 0.5f, 30))
                           : m.AddMaterial(Material("glass", MakeRgba(190, 230, 255), 0.45f, 0.2f, 0.8f, 40));
    MqoObject& o = m.AddObject("clearblock");
    AddBox(o, {2, -78, -38}, {78, -2, 38}, glass);
    return m;
}

MqoModel JewelModel(Rgba colour) {
    MqoModel m;
    int gem = m.AddMaterial(Material("gem", colour, 1.0f, 0.25f, 1.0f, 50));
    MqoObject& o = m.AddObject("jewel");
    AddGem(o, {40, -40, 0}, 24, gem, 8);
    return m;
}

// ---------------------------------------------------------------- cats
// A cat stands in its cell facing +x: feet at y -67.5 (flush on the block
// below: a standing cat's box reaches 27 of its 32 pixels above the block's
// top), about 70 units long. Written centred, the feet are 27.5 below the
// origin.

struct Pose {
    float frontLeg, backLeg;  // swing in radians, + forward
    float bodyLift;
    float tilt;               // whole-body pitch, + nose up
    float tailLift;
};

Pose PoseOf(int pose) {
    switch (pose) {
        case 1: return {0.45f, -0.45f, 1.5f, 0.0f, 0.2f};
        case 2: return {-0.45f, 0.45f, 1.5f, 0.0f, -0.1f};
        case 3: return {0.9f, -0.9f, 0.0f, 0.22f, 0.7f};  // jump
        default: return {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    }
}

MqoModel CatModel(int kind, int poseIndex) {
    CatLook look = LookOfCat(kind);
    Pose pose = PoseOf(poseIndex);
    MqoModel m;
    int fur = m.AddMaterial(Material("fur", look.fur));
    int belly = m.AddMaterial(Material("belly", look.belly));
    int dark = m.AddMaterial(look.glowingEyes ? Material("eye", look.accent, 1.0f, 1.0f) : Material("eye", MakeRgba(25, 20, 30), 1.0f, 0.0f, 0.9f, 40));
    int pink = m.AddMaterial(Material("nose", MakeRgba(245, 140, 160)));
    int accent = m.AddMaterial(Material("accent", look.accent, 1.0f, 0.1f, 0.4f, 16));
    int marks = m.AddMaterial(Material("marks", look.spots ? MakeRgba(45, 40, 40) : ScaleRgb(look.fur, 0.55f)));
    int horn = m.AddMaterial(Material("horn", MakeRgba(235, 215, 160)));
    MqoObject& o = m.AddObject("cat");

    Vec3 pivot{40, -40, 0};
    float lift = pose.bodyLift;
    PointTransform whole = [pivot, pose, lift](Vec3 p) { return RotateAboutZ({p.x, p.y + lift, p.z}, pivot, pose.tilt); };

    // body and head
    AddEllipsoid(o, {36, -45, 0}, {21, 12.5f, 13}, fur, 14, 9, whole);
    AddEllipsoid(o, {38, -50, 0}, {15, 7.5f, 11.5f}, belly, 12, 7, whole);
    AddEllipsoid(o, {59, -31, 0}, {14, 13, 13.5f}, fur, 14, 10, whole);
    AddEllipsoid(o, {69.5f, -35, 0}, {5, 4.5f, 7.5f}, belly, 10, 6, whole);
    AddEllipsoid(o, {74.5f, -32.5f, 0}, {1.8f, 1.6f, 2.2f}, pink, 6, 4, whole);
    for (float z : {-6.5f, 6.5f}) {
        AddEllipsoid(o, {69.5f, -27, z}, {1.8f, 3.2f, 2.2f}, dark, 8, 5, whole);
        switch (look.ears) {
            case Ears::Round: AddEllipsoid(o, {56, -17, z * 1.45f}, {2.2f, 6.5f, 6.5f}, fur, 10, 6, whole); break;
            case Ears::Long: AddEllipsoid(o, {55, -7, z}, {3.2f, 12, 3.8f}, fur, 10, 6, whole); break;
            case Ears::Horns:
                AddCylinder(o, {57, -21, z * 1.2f}, {55, -10, z * 2.6f}, 2.8f, 0, horn, 8, whole);
                AddEllipsoid(o, {54, -25, z * 2.1f}, {2.5f, 3, 5}, fur, 8, 5, whole);
                break;
            case Ears::Cat: AddCylinder(o, {57, -21, z * 1.1f}, {56, -9, z * 1.3f}, 5.5f, 0, fur, 4, whole); break;
        }
    }
    // collar or ribbon
    if (look.ribbon) {
        for (float z : {-5.0f, 5.0f}) AddCylinder(o, {61, -17, 0}, {61, -16, z * 1.6f}, 4, 0, accent, 6, whole);
    } else {
        AddEllipsoid(o, {49, -37, 0}, {3, 10.5f, 11}, accent, 12, 6, whole);
    }
    if (look.stripes) {
        for (float x : {24.0f, 33.0f, 42.0f}) {
            float dx = (x - 36) / 21;
            float r = 13.0f * std::sqrt(std::max(0.0f, 1 - dx * dx)) + 0.7f;
            AddEllipsoid(o, {x, -45, 0}, {2.2f, r * 0.97f, r}, marks, 12, 7, whole);
        }
    }
    if (look.spots) {
        AddEllipsoid(o, {30, -41, 10.5f}, {6, 5, 3}, marks, 8, 5, whole);
        AddEllipsoid(o, {45, -47, -10}, {5, 4, 3}, marks, 8, 5, whole);
        AddEllipsoid(o, {22, -48, -9}, {4, 4, 3}, marks, 8, 5, whole);
    }

    // legs swing about the hips
    for (int leg = 0; leg < 4; ++leg) {
        bool front = leg < 2;
        float x = front ? 48.0f : 24.0f;
        float z = (leg % 2) ? 7.5f : -7.5f;
        float swing = (front ? pose.frontLeg : pose.backLeg) * ((leg % 2) ? 1.0f : 0.8f);
        Vec3 hip{x, -50, z};
        PointTransform legT = [hip, swing, whole](Vec3 p) { return whole(RotateAboutZ(p, hip, swing)); };
        AddCylinder(o, hip, {x, -64.5f, z}, 4.3f, 3.8f, fur, 8, legT);
        AddEllipsoid(o, {x + 1.5f, -65.5f, z}, {5, 2.8f, 4}, belly, 8, 5, legT);
    }

    // tail: three segments curling up behind
    Vec3 root{16, -42, 0};
    float angle = 2.3f + pose.tailLift;
    Vec3 p = root;
    for (int i = 0; i < 3; ++i) {
        Vec3 next{p.x + 9 * std::cos(angle), p.y + 9 * std::sin(angle), 0};
        AddCylinder(o, p, next, 3.4f - i * 0.4f, 3.0f - i * 0.4f, i == 2 ? marks : fur, 8, whole);
        p = next;
        angle -= 0.45f;
    }
    return m;
}

}  // namespace

void GenerateModels(OutputTree& out) {
    for (int i = 1; i <= 4; ++i) WriteModel(out, "tpa\\item\\dai" + std::to_string(i) + ".mqo", PedestalModel(i - 1));
    WriteModel(out, "tpa\\mapblock3D\\map_toge.mqo", SpikeModel());
    WriteModel(out, "tpa\\mapblock3D\\map_ringo.mqo", AppleModel());
    WriteModel(out, "tpa\\mapblock3D\\map_koumei0.mqo", ClearBlockModel(0));
    WriteModel(out, "tpa\\mapblock3D\\map_koumei1.mqo", ClearBlockModel(1));
    WriteModel(out, "tpa\\item\\jewelry_red.mqo", JewelModel(MakeRgba(235, 30, 60)));
    WriteModel(out, "tpa\\item\\jewelry_yellow.mqo", JewelModel(MakeRgba(250, 210, 40)));
    for (int w = 0; w < 5; ++w) {
        for (int k = 0; k < 5; ++k) {
            WriteModel(out, "tpa\\mapBlock3D\\map_block" + std::to_string(w) + "_" + std::to_string(k) + ".mqo",
                       BlockModel(w, k));
        }
    }
    for (int k = 0; k < 5; ++k) WriteModel(out, "tpa\\mapBlock3D\\map_blockEX_" + std::to_string(k) + ".mqo", BlockModel(5, k));
    static const char* const kPoses[] = {"_0", "_1", "_2", "_ju"};
    for (int kind = 1; kind <= kCatKinds; ++kind) {
        if (kind == 7) continue;
        for (int pose = 0; pose < 4; ++pose) {
            WriteModel(out, "tpa\\neko3D\\" + CatModelStem(kind) + kPoses[pose] + ".mqo", CatModel(kind, pose));
        }
    }
}
