// Loading and releasing every resource the game keeps: pictures, divided
// pictures, models, sounds and fonts, all from "tpa\" in the working
// directory (or its archive), in one fixed order.
#include "game/data/game_data.h"

#include "engine/camera.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/model.h"
#include "engine/sound.h"
#include "game/data/game_files.h"

#include <set>
#include <string>

namespace {

// A resource that did not load is said once, and the game goes on without it.
int Checked(int handle, const std::string& path, const char* what, const char* instead) {
    if (handle == -1) ReportUnusableContent(path.c_str(), what, instead);
    return handle;
}

constexpr const char* kNotDrawn = "the game goes on without drawing it";

int Picture(const std::string& path) { return Checked(OpenGraphFile(path.c_str(), 0), path, "a picture", kNotDrawn); }

int LoadedModel(const std::string& path) { return Checked(LoadModelFile(path.c_str()), path, "a model", kNotDrawn); }

int Model(const std::string& path) {
    int model = LoadedModel(path);
    GameData::SetItemMaterials(model);
    return model;
}

int Sound(const std::string& path) {
    const int sound = LoadSoundFile(path.c_str(), 3, -1);
    // Without a sound device every sound fails alike; that is said once, at
    // start-up, rather than for each file.
    if (sound != -1 || !IsSoundSystemOpen()) return sound;
    return Checked(sound, path, "a sound", "the game plays on without it");
}

void DividedPicture(const char* path, int count, int across, int down, int width, int height, int* handles) {
    if (OpenDivGraphFile(path, count, across, down, width, height, handles, 0) < 0) {
        ReportUnusableContent(path, "a picture", kNotDrawn);
        for (int i = 0; i < count; ++i) handles[i] = -1;
    }
}

constexpr const char* kCatModelStems[GameData::kCatKinds] = {
    "neko3", "neko2v", "nekog", "nekox", "nekom", "nekok", nullptr,
    "bigfour_ne", "bigfour_usi", "bigfour_tora", "bigfour_uu", "bigfour_cat", "bigfour_catb"};
constexpr const char* kCatPoseSuffixes[GameData::kCatPoses] = {"_0", "_1", "_2", "_ju"};
constexpr const char* kCatFaces[GameData::kCatKinds] = {
    "jiro", "rem", "hitoshi", "x", "chuu", "momo", nullptr,
    "bigfour_ne", "bigfour_usi", "bigfour_tora", "bigfour_uu", "bigfour_cat", "bigfour_catb"};

}  // namespace

void GameData::SetItemMaterials(int model) {
    if (model <= 0) return;
    const int materials = GetModelMaterialCount(model);
    for (int m = 0; m < materials; ++m) {
        if (GetModelMaterialType(model, m) == 0) SetModelMaterialType(model, m, 1);
        SetModelMaterialSpecularColor(model, m, 0.1f, 0.1f, 0.1f, 1.0f);
        SetModelMaterialOutlineWidth(model, m, 3.0f);
    }
}

void GameData::ForEachHandle(const std::function<void(int& handle, ResourceKind kind)>& visit) {
    auto each = [&visit](ResourceKind kind, auto&... arrays) {
        auto one = [&](auto& array) {
            for (int& h : array) visit(h, kind);
        };
        (one(arrays), ...);
    };
    for (int* h : {&titleLogo, &endLogo, &bootPicture, &captureGraph, &workGraph, &transitionMask, &turnRightPic,
                   &turnUpDownPic, &turnLeftPic, &jewelPic, &textReady, &textFinal, &textGo, &textClear,
                   &textTimeAttack, &textFailure, &textGameSet, &textSuddenDeath, &textNewRecord, &magicRingPic,
                   &magicRingGuidePic, &chargeGuide2Pic, &chargeGuide1Pic})
        visit(*h, ResourceKind::kGraph);
    each(ResourceKind::kGraph, sceneBackgrounds, normalThumbs, vsThumbs, flashPics, doorPics, catFaces, chargeAnim,
         chargeRedAnim);
    for (int* h : {&spikeModel, &appleModel, &jewelRedModel, &jewelYellowModel}) visit(*h, ResourceKind::kModel);
    for (auto& world : blockModels) each(ResourceKind::kModel, world);
    for (auto& kind : catModels) each(ResourceKind::kModel, kind);
    each(ResourceKind::kModel, pedestalModels, clearBlockModels);
    for (int* h : {&loopSound, &seCursorMove, &seCursorCancel, &seCursorDecide, &seMind, &sePower1, &seMetalHit,
                   &seDeath0, &seDeath1, &seSlash, &seKitty, &seCounter, &seShoot, &seSlash2, &seScratch, &sePower0})
        visit(*h, ResourceKind::kSound);
    each(ResourceKind::kFont, fonts);
}

void GameData::ReleaseAll() {
    // Fields may share a handle (the worlds sharing a background): each live
    // handle is deleted once. Handles of different kinds never compare equal.
    std::set<int> deleted;
    ForEachHandle([&deleted](int& h, ResourceKind kind) {
        if (h > 0 && deleted.insert(h).second) {
            switch (kind) {
            case ResourceKind::kGraph: DeleteGraphHandle(h, 0); break;
            case ResourceKind::kModel: DeleteModel(h); break;
            case ResourceKind::kSound: DeleteSoundHandle(h, 0); break;
            case ResourceKind::kFont: DeleteFontHandle(h); break;
            }
        }
        h = 0;
    });
    ready = 0;
}

void GameData::LoadAll() {
    LoadStageLists();
    ReleaseAll();
    captureGraph = MakeBlankGraph(640, 480, 0);
    workGraph = MakeBlankGraph(640, 480, 0);
    for (int i = 0; i < kFontCount; ++i) fonts[i] = CreateFontToHandle(nullptr, 16 + 2 * i, 3, 3, -1, -1, 0, 0, 0);
    titleLogo = Picture("tpa\\titleLogo.png");
    endLogo = Picture("tpa\\endLogo.png");
    for (int i = 0; i < 4; ++i) pedestalModels[i] = Model("tpa\\item\\dai" + std::to_string(i + 1) + ".mqo");
    for (int i = 0; i < 12; ++i) normalThumbs[i] = Picture("tpa\\mapSamn\\normal_samn" + std::to_string(i) + ".png");
    for (int i = 0; i < 5; ++i) vsThumbs[i] = Picture("tpa\\mapSamn\\vs_samn" + std::to_string(i) + ".png");
    spikeModel = Model("tpa\\mapblock3D\\map_toge.mqo");
    appleModel = Model("tpa\\mapblock3D\\map_ringo.mqo");
    seCursorMove = Sound("tpa\\SE\\cursor_move.wav");
    seCursorCancel = Sound("tpa\\SE\\cursor_cancel.wav");
    seCursorDecide = Sound("tpa\\SE\\cursor_decide.wav");
    seMind = Sound("tpa\\SE\\tm2_mind000.wav");
    bootPicture = Picture("tpa\\mapScene\\nc6700.png");
    turnRightPic = Picture("tpa\\item\\turnblock_migi.png");
    turnLeftPic = Picture("tpa\\item\\turnblock_hidari.png");
    turnUpDownPic = Picture("tpa\\item\\turnblock_updown.png");
    clearBlockModels[0] = Model("tpa\\mapblock3D\\map_koumei0.mqo");
    clearBlockModels[1] = Model("tpa\\mapblock3D\\map_koumei1.mqo");
    textReady = Picture("tpa\\text\\text_ready.png");
    textFinal = Picture("tpa\\text\\text_final.png");
    textTimeAttack = Picture("tpa\\text\\text_timeattack.png");
    textGo = Picture("tpa\\text\\text_go.png");
    jewelRedModel = Model("tpa\\item\\jewelry_red.mqo");
    jewelYellowModel = Model("tpa\\item\\jewelry_yellow.mqo");
    jewelPic = Picture("tpa\\item\\jewelry2.png");
    textClear = Picture("tpa\\text\\text_clear.png");
    textFailure = Picture("tpa\\text\\text_failure.png");
    textGameSet = Picture("tpa\\text\\text_GAMESET.png");
    textSuddenDeath = Picture("tpa\\text\\text_suddendeath.png");
    textNewRecord = Picture("tpa\\text\\text_newrecord.png");
    doorPics[0] = Picture("tpa\\item\\door0.png");
    doorPics[1] = Picture("tpa\\item\\door1.png");
    DividedPicture("tpa\\item\\flash.png", 3, 3, 1, 24, 32, flashPics);
    seMetalHit = Sound("tpa\\SE\\tm2_metalhit000.wav");
    seDeath0 = Sound("tpa\\SE\\tm2_death000.wav");
    seDeath1 = Sound("tpa\\SE\\tm2_death001.wav");
    sePower1 = Sound("tpa\\SE\\tm2_power001.wav");
    seSlash = Sound("tpa\\SE\\tm2_slash000.wav");
    seKitty = Sound("tpa\\SE\\kitty01.wav");
    sePower0 = Sound("tpa\\SE\\tm2_power000.wav");
    seCounter = Sound("tpa\\SE\\tm2_counter000.wav");
    for (int w = 0; w < 5; ++w) {
        for (int k = 0; k < kBlockKinds; ++k) {
            blockModels[w][k] =
                Model("tpa\\mapBlock3D\\map_block" + std::to_string(w) + "_" + std::to_string(k) + ".mqo");
        }
        sceneBackgrounds[w] = Picture("tpa\\mapScene\\map_scene" + std::to_string(w) + ".png");
    }
    const int sharedBackground = Picture("tpa\\mapScene\\map_sceneEX.png");
    for (int w = 5; w < kWorldCount; ++w) {
        for (int k = 0; k < kBlockKinds; ++k) {
            blockModels[w][k] = Model("tpa\\mapBlock3D\\map_blockEX_" + std::to_string(k) + ".mqo");
        }
        sceneBackgrounds[w] = sharedBackground;
    }
    const std::string maskPath = "tpa\\Transition\\trans0.png";
    transitionMask = Checked(OpenGraphFileWithAlpha(maskPath.c_str()), maskPath, "a picture",
                             "screens change without their dissolve");
    loopSound = Sound("tpa\\Music\\01.wav");
    for (int kind = 0; kind < kCatKinds; ++kind) {
        if (!kCatModelStems[kind]) continue;  // kind 7 has no model
        for (int pose = 0; pose < kCatPoses; ++pose) {
            catModels[kind][pose] =
                LoadedModel(std::string("tpa\\neko3D\\") + kCatModelStems[kind] + kCatPoseSuffixes[pose] + ".mqo");
        }
    }
    for (auto& kind : catModels)
        for (int model : kind) SetItemMaterials(model);
    DividedPicture("tpa\\item\\animation_charge001.png", 15, 5, 3, 192, 192, chargeAnim);
    DividedPicture("tpa\\item\\animation_chargered001.png", 15, 5, 3, 192, 192, chargeRedAnim);
    chargeGuide2Pic = Picture("tpa\\item\\charge_guide2.png");
    chargeGuide1Pic = Picture("tpa\\item\\charge_guide1.png");
    magicRingPic = Picture("tpa\\item\\magicRing.png");
    magicRingGuidePic = Picture("tpa\\item\\magicRing_guide1.png");
    seShoot = Sound("tpa\\SE\\tm2_shoot003.wav");
    seSlash2 = Sound("tpa\\SE\\tm2_slash000.wav");
    seScratch = Sound("tpa\\SE\\tm2_scratch000.wav");
    for (int kind = 0; kind < kCatKinds; ++kind) {
        if (kCatFaces[kind]) catFaces[kind] = Picture(std::string("tpa\\item\\") + kCatFaces[kind] + ".png");
    }
    CopyViewMatrix(cameraMatrix);
    ready = 1;
    SetLightDirection();
}
