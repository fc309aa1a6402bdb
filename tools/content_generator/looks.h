// Colours and features shared by pictures and models, so that a cat's face
// and its model, or a world's background and its blocks, belong together.
#pragma once
#include "image.h"

enum class Ears { Cat, Round, Horns, Long };

struct CatLook {
    Rgba fur;
    Rgba belly;
    Rgba accent;  // collar, ribbon or eyes of the mysterious cat
    Ears ears;
    bool stripes;
    bool spots;
    bool ribbon;
    bool glowingEyes;
};

// Kind 1..13; kind 7 (no cat) gives a neutral grey.
CatLook LookOfCat(int kind);

struct WorldLook {
    Rgba skyTop, skyBottom;
    Rgba far, near;          // background hills or dunes
    Rgba block, blockEdge;   // block body and its trim
    Rgba cap;                // the top face of ground blocks (grass, sand, snow, ...)
};

// World 0..4 and 5 for the shared EX look.
WorldLook LookOfWorld(int world);
