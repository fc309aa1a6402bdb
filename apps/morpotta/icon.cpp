// The window icon, drawn once from a few shapes rather than stored as a
// file, so the program carries it without any resource data.
#include "icon.h"

namespace {

unsigned int pixels[kIconSize * kIconSize];

bool InEllipse(int x, int y, float cx, float cy, float rx, float ry) {
    float dx = (x + 0.5f - cx) / rx, dy = (y + 0.5f - cy) / ry;
    return dx * dx + dy * dy <= 1.0f;
}

bool InTriangle(int x, int y, float ax, float ay, float bx, float by, float cx, float cy) {
    float px = x + 0.5f, py = y + 0.5f;
    auto side = [&](float x0, float y0, float x1, float y1) { return (px - x1) * (y0 - y1) - (x0 - x1) * (py - y1); };
    float d1 = side(ax, ay, bx, by), d2 = side(bx, by, cx, cy), d3 = side(cx, cy, ax, ay);
    bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

void Draw() {
    const unsigned int fur = 0xFFF0A040u, ear = 0xFFE07830u, eye = 0xFF202020u, nose = 0xFFE05070u;
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            unsigned int c = 0;
            if (InTriangle(x, y, 4, 2, 4, 16, 14, 9) || InTriangle(x, y, 28, 2, 28, 16, 18, 9)) c = ear;
            if (InEllipse(x, y, 16, 18, 13, 11)) c = fur;
            if (InEllipse(x, y, 11, 16, 1.8f, 2.6f) || InEllipse(x, y, 21, 16, 1.8f, 2.6f)) c = eye;
            if (InTriangle(x, y, 14.5f, 20, 17.5f, 20, 16, 22)) c = nose;
            pixels[y * kIconSize + x] = c;
        }
    }
}

}  // namespace

const unsigned int* ProgramIconPixels() {
    if (!pixels[16 * kIconSize + 16]) Draw();
    return pixels;
}
