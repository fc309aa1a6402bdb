#include "looks.h"

CatLook LookOfCat(int kind) {
    switch (kind) {
        case 1: return {MakeRgba(240, 150, 60), MakeRgba(255, 236, 210), MakeRgba(220, 40, 40), Ears::Cat, true, false, false, false};
        case 2: return {MakeRgba(245, 245, 250), MakeRgba(255, 255, 255), MakeRgba(60, 140, 230), Ears::Cat, false, false, false, false};
        case 3: return {MakeRgba(140, 145, 155), MakeRgba(215, 218, 225), MakeRgba(250, 200, 40), Ears::Cat, false, false, false, false};
        case 4: return {MakeRgba(55, 58, 64), MakeRgba(120, 125, 130), MakeRgba(90, 200, 60), Ears::Cat, false, false, false, false};
        case 5: return {MakeRgba(150, 100, 60), MakeRgba(225, 195, 160), MakeRgba(60, 170, 160), Ears::Cat, false, false, false, false};
        case 6: return {MakeRgba(250, 170, 190), MakeRgba(255, 230, 236), MakeRgba(200, 60, 140), Ears::Cat, false, false, true, false};
        case 8: return {MakeRgba(130, 140, 170), MakeRgba(200, 205, 220), MakeRgba(240, 120, 150), Ears::Round, false, false, false, false};
        case 9: return {MakeRgba(250, 250, 245), MakeRgba(250, 220, 210), MakeRgba(60, 50, 45), Ears::Horns, false, true, false, false};
        case 10: return {MakeRgba(250, 190, 40), MakeRgba(255, 245, 220), MakeRgba(40, 30, 20), Ears::Cat, true, false, false, false};
        case 11: return {MakeRgba(235, 225, 240), MakeRgba(255, 250, 255), MakeRgba(240, 110, 140), Ears::Long, false, false, false, false};
        case 12: return {MakeRgba(185, 160, 230), MakeRgba(240, 230, 255), MakeRgba(250, 90, 160), Ears::Cat, false, false, true, false};
        case 13: return {MakeRgba(60, 40, 80), MakeRgba(110, 80, 130), MakeRgba(255, 50, 60), Ears::Cat, false, false, false, true};
        default: return {MakeRgba(160, 160, 160), MakeRgba(220, 220, 220), MakeRgba(100, 100, 100), Ears::Cat, false, false, false, false};
    }
}

WorldLook LookOfWorld(int world) {
    switch (world) {
        case 0:  // meadow
            return {MakeRgba(90, 170, 250), MakeRgba(200, 235, 255), MakeRgba(120, 200, 120), MakeRgba(70, 160, 80),
                    MakeRgba(170, 110, 60), MakeRgba(120, 75, 40), MakeRgba(90, 190, 70)};
        case 1:  // sunset run
            return {MakeRgba(250, 120, 70), MakeRgba(255, 215, 140), MakeRgba(170, 80, 90), MakeRgba(90, 50, 70),
                    MakeRgba(210, 90, 60), MakeRgba(140, 50, 40), MakeRgba(250, 170, 60)};
        case 2:  // desert
            return {MakeRgba(120, 190, 240), MakeRgba(255, 230, 170), MakeRgba(230, 190, 110), MakeRgba(210, 160, 80),
                    MakeRgba(220, 180, 110), MakeRgba(170, 130, 70), MakeRgba(245, 215, 140)};
        case 3:  // ice
            return {MakeRgba(120, 160, 220), MakeRgba(225, 240, 255), MakeRgba(190, 215, 240), MakeRgba(150, 185, 225),
                    MakeRgba(130, 200, 240), MakeRgba(70, 130, 190), MakeRgba(245, 250, 255)};
        case 4:  // the last set, at night
            return {MakeRgba(20, 20, 60), MakeRgba(90, 60, 130), MakeRgba(60, 50, 100), MakeRgba(35, 30, 60),
                    MakeRgba(110, 100, 140), MakeRgba(60, 50, 85), MakeRgba(170, 150, 210)};
        default:  // the extra worlds
            return {MakeRgba(40, 0, 60), MakeRgba(150, 40, 140), MakeRgba(110, 30, 120), MakeRgba(60, 10, 80),
                    MakeRgba(200, 80, 200), MakeRgba(110, 30, 120), MakeRgba(255, 170, 250)};
    }
}
