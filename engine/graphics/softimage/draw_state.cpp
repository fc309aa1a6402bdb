// The software draw state and its setters. The kernels read it once per
// call; the setters keep it in the ranges the kernels rely on (parameter
// and tint bytes 0..255, a proper draw area inside the target).
#include "graphics/softimage/drawstate.h"

#include <algorithm>

#include "foundation/engine_thread.h"
#include "graphics/softimage/memimg.h"

using namespace morpotta;

namespace morpotta {

int BlendMode = BlendCopy;
int BlendParam = 255;
uint32_t DrawTint = 0xFFFFFF;
int DrawArea[4] = {0, 0, 0, 0};
MEMIMG* DrawTargetMemImg = nullptr;
const MEMIMG* BlendGraphMemImg = nullptr;

}  // namespace morpotta

int SetBlendModeParam(int mode, int param) {
    const EngineThreadCall call("SetBlendModeParam");
    if (!call.allowed()) return -1;
    BlendMode = mode;
    BlendParam = std::clamp(param, 0, 255);
    return 0;
}

int SetDrawTint(int red, int green, int blue) {
    const EngineThreadCall call("SetDrawTint");
    if (!call.allowed()) return -1;
    const uint32_t r = static_cast<uint32_t>(std::clamp(red, 0, 255));
    const uint32_t g = static_cast<uint32_t>(std::clamp(green, 0, 255));
    const uint32_t b = static_cast<uint32_t>(std::clamp(blue, 0, 255));
    DrawTint = (r << 16) | (g << 8) | b;
    return 0;
}

int SetDrawTintPacked(uint32_t rgb) {
    const EngineThreadCall call("SetDrawTintPacked");
    if (!call.allowed()) return -1;
    DrawTint = rgb & 0xFFFFFF;
    return 0;
}

namespace morpotta {

int SetSoftwareDrawTarget(MEMIMG* target) {
    DrawTargetMemImg = CheckMemImg(target) == 0 ? target : nullptr;
    return SetSoftwareDrawArea(0, 0, DrawTargetMemImg ? DrawTargetMemImg->width : 0,
                               DrawTargetMemImg ? DrawTargetMemImg->height : 0);
}

int SetSoftwareDrawArea(int left, int top, int right, int bottom) {
    const int width = DrawTargetMemImg ? DrawTargetMemImg->width : 0;
    const int height = DrawTargetMemImg ? DrawTargetMemImg->height : 0;
    DrawArea[0] = std::clamp(std::min(left, right), 0, width);
    DrawArea[2] = std::clamp(std::max(left, right), 0, width);
    DrawArea[1] = std::clamp(std::min(top, bottom), 0, height);
    DrawArea[3] = std::clamp(std::max(top, bottom), 0, height);
    return 0;
}

int SetDrawBlendMemImg(const MEMIMG* blendImage, int threshold, int edgeWidth) {
    BlendGraphMemImg = blendImage;
    return BuildBlendLevelTable(threshold, edgeWidth);
}

int ResetSoftwareDrawState() {
    SetBlendModeParam(BlendCopy, 255);
    SetDrawTint(255, 255, 255);
    BlendGraphMemImg = nullptr;
    return SetSoftwareDrawTarget(DrawTargetMemImg);
}

}  // namespace morpotta
