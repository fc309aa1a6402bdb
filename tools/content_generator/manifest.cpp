#include "manifest.h"

namespace {

std::vector<PictureSpec> BuildPictures() {
    std::vector<PictureSpec> p = {
        {"tpa\\titleLogo.png", 360, 90},
        {"tpa\\endLogo.png", 200, 90},
        {"tpa\\mapScene\\nc6700.png", 640, 2693 + 480},  // scrolls and wraps every 2693 rows
        {"tpa\\item\\turnblock_migi.png", 64, 64},
        {"tpa\\item\\turnblock_hidari.png", 64, 64},
        {"tpa\\item\\turnblock_updown.png", 64, 64},
        {"tpa\\text\\text_ready.png", 306, 66},
        {"tpa\\text\\text_final.png", 586, 66},
        {"tpa\\text\\text_timeattack.png", 640, 104},
        {"tpa\\text\\text_go.png", 212, 112},
        // Drawn before a player's gem count " %2d" at one spot and in columns
        // 30 pixels apart: small enough to leave the digits clear.
        {"tpa\\item\\jewelry2.png", 16, 16},
        {"tpa\\text\\text_clear.png", 306, 66},
        {"tpa\\text\\text_failure.png", 640, 100},
        {"tpa\\text\\text_GAMESET.png", 640, 100},
        {"tpa\\text\\text_suddendeath.png", 640, 104},
        {"tpa\\text\\text_newrecord.png", 420, 70},
        {"tpa\\item\\door0.png", 64, 64},
        {"tpa\\item\\door1.png", 64, 64},
        {"tpa\\item\\flash.png", 72, 32, 3, 1},
        {"tpa\\Transition\\trans0.png", 640, 480},
        {"tpa\\item\\animation_charge001.png", 960, 576, 5, 3},
        {"tpa\\item\\animation_chargered001.png", 960, 576, 5, 3},
        {"tpa\\item\\charge_guide2.png", 128, 128},
        {"tpa\\item\\charge_guide1.png", 128, 128},
        {"tpa\\item\\magicRing.png", 128, 128},
        {"tpa\\item\\magicRing_guide1.png", 128, 128},
    };
    for (int i = 0; i < 12; ++i) p.push_back({"tpa\\mapSamn\\normal_samn" + std::to_string(i) + ".png", 160, 120});
    for (int i = 0; i < 5; ++i) p.push_back({"tpa\\mapSamn\\vs_samn" + std::to_string(i) + ".png", 160, 120});
    for (int w = 0; w < 5; ++w) p.push_back({"tpa\\mapScene\\map_scene" + std::to_string(w) + ".png", 640, 480});
    p.push_back({"tpa\\mapScene\\map_sceneEX.png", 640, 480});
    for (int kind = 1; kind <= kCatKinds; ++kind) {
        // The score panel draws a face at (540, 5) with " x" from x 570, and
        // the ending two faces 40 pixels apart.
        if (kind != 7) p.push_back({CatFacePath(kind), 30, 30});
    }
    return p;
}

std::vector<std::string> BuildModels() {
    std::vector<std::string> m;
    for (int i = 1; i <= 4; ++i) m.push_back("tpa\\item\\dai" + std::to_string(i) + ".mqo");
    m.push_back("tpa\\mapblock3D\\map_toge.mqo");
    m.push_back("tpa\\mapblock3D\\map_ringo.mqo");
    m.push_back("tpa\\mapblock3D\\map_koumei0.mqo");
    m.push_back("tpa\\mapblock3D\\map_koumei1.mqo");
    m.push_back("tpa\\item\\jewelry_red.mqo");
    m.push_back("tpa\\item\\jewelry_yellow.mqo");
    for (int w = 0; w < 5; ++w) {
        for (int k = 0; k < 5; ++k) {
            m.push_back("tpa\\mapBlock3D\\map_block" + std::to_string(w) + "_" + std::to_string(k) + ".mqo");
        }
    }
    for (int k = 0; k < 5; ++k) m.push_back("tpa\\mapBlock3D\\map_blockEX_" + std::to_string(k) + ".mqo");
    for (int kind = 1; kind <= kCatKinds; ++kind) {
        if (kind == 7) continue;
        for (const char* pose : {"_0", "_1", "_2", "_ju"}) {
            m.push_back("tpa\\neko3D\\" + CatModelStem(kind) + pose + ".mqo");
        }
    }
    return m;
}

}  // namespace

const std::vector<PictureSpec>& Pictures() {
    static const std::vector<PictureSpec> pictures = BuildPictures();
    return pictures;
}

const std::vector<std::string>& ModelPaths() {
    static const std::vector<std::string> models = BuildModels();
    return models;
}

const std::vector<std::string>& SoundPaths() {
    static const std::vector<std::string> sounds = {
        "tpa\\SE\\cursor_move.wav",      "tpa\\SE\\cursor_cancel.wav",   "tpa\\SE\\cursor_decide.wav",
        "tpa\\SE\\tm2_mind000.wav",      "tpa\\SE\\tm2_metalhit000.wav", "tpa\\SE\\tm2_death000.wav",
        "tpa\\SE\\tm2_death001.wav",     "tpa\\SE\\tm2_power001.wav",    "tpa\\SE\\tm2_slash000.wav",
        "tpa\\SE\\kitty01.wav",          "tpa\\SE\\tm2_power000.wav",    "tpa\\SE\\tm2_counter000.wav",
        "tpa\\SE\\tm2_shoot003.wav",     "tpa\\SE\\tm2_scratch000.wav",
    };
    return sounds;
}

const std::vector<MusicSpec>& MusicFiles() {
    static const std::vector<MusicSpec> music = {
        {0, "tpa\\Music\\game_velmoranti_4_field09.mp3"},
        {1, "tpa\\Music\\01.wav"},
        {2, "tpa\\Music\\tovelmi26.mp3"},
        {3, "tpa\\Music\\track020_desert_battle.mp3"},
        {4, "tpa\\Music\\pride.mp3"},
        {5, "tpa\\Music\\wolf.mp3"},
        {6, "tpa\\Music\\track023_warrior_angel.mp3"},
        {7, "tpa\\Music\\game_velmoranti_9_jingle05.mp3"},
        {8, "tpa\\Music\\05.mp3"},
        {9, "tpa\\Music\\theme01f.mp3"},
        {10, "tpa\\Music\\track035_phantom_road.mp3"},
        {11, "tpa\\Music\\whiteregret.mp3"},
        {12, "tpa\\Music\\koharu.mp3"},
        {13, "tpa\\Music\\TearsOfThunder.mp3"},
    };
    return music;
}

std::string CatModelStem(int kind) {
    static const char* const kStems[] = {"neko3",      "neko2v",      "nekog",        "nekox",      "nekom",
                                         "nekok",      "",            "bigfour_ne",   "bigfour_usi", "bigfour_tora",
                                         "bigfour_uu", "bigfour_cat", "bigfour_catb"};
    return kind >= 1 && kind <= kCatKinds ? kStems[kind - 1] : "";
}

std::string CatFacePath(int kind) {
    static const char* const kFaces[] = {"jiro",       "rem",         "hitoshi",      "x",          "chuu",
                                         "momo",       "",            "bigfour_ne",   "bigfour_usi", "bigfour_tora",
                                         "bigfour_uu", "bigfour_cat", "bigfour_catb"};
    if (kind < 1 || kind > kCatKinds || kind == 7) return "";
    return std::string("tpa\\item\\") + kFaces[kind - 1] + ".png";
}

int WorldOfStage(int stage) {
    if (stage <= 4) return 0;
    if (stage <= 24) return 1;
    if (stage <= 39) return 2;
    if (stage <= 54) return 3;
    if (stage <= 71) return 4;
    return 5;
}
