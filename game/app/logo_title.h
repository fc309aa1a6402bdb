// The title scene's stand-in until the title with its menus is in: the
// title logo on a dark screen, with the title music. It asks for nothing;
// the window's close button ends the game.
#pragma once
#include "game/app/scenes.h"

class LogoTitle : public scene::Title {
public:
    explicit LogoTitle(const scene::Context& context);
    void Init() override;
    void Reset() override;
    void Update(input::ButtonBlock* const* buttons) override;
    void Draw() override;
    bool TakeStartRequest() override { return false; }
    bool TakeQuitRequest() override { return false; }
    int32_t Stage() const override { return -1; }
    int32_t Mode() const override { return 0; }
    const int32_t* Entries() const override { return entries_; }

private:
    scene::Context context_;
    int32_t entries_[4] = {-1, -1, -1, -1};
    int32_t frameCount_ = 0;
};
