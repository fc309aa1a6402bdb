#include "game/app/logo_title.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/graph.h"
#include "game/data/game_data.h"

LogoTitle::LogoTitle(const scene::Context& context) : context_(context) {}

void LogoTitle::Init() {
    GameData& data = *context_.data;
    Reset();
    frameCount_ = 0;
    ApplyUserViewMatrix(data.cameraMatrix);
    data.SetLightDirection();
    data.PlayBgm(0);
    data.UpdateUnlocks();
}

void LogoTitle::Reset() {
    for (int32_t& entry : entries_) entry = -1;
}

void LogoTitle::Update(input::ButtonBlock* const*) { ++frameCount_; }

void LogoTitle::Draw() {
    GameData& data = *context_.data;
    int width = 0, height = 0;
    if (GetGraphDimensions(data.titleLogo, &width, &height) == 0) {
        DrawGraphAt((640 - width) / 2, (480 - height) / 2, data.titleLogo, 1);
    }
    data.DrawScreenTransition(-1);
}
