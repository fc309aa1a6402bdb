// The game's scenes, as GameApp makes them. Until the title menus, the play
// session and the ending are in, the title is the logo alone and no session
// or ending is made.
#include "game/app/logo_title.h"
#include "game/app/scenes.h"

namespace scene {

Factory GameScenes() {
    Factory factory;
    factory.makeTitle = [](const Context& context) { return std::make_unique<LogoTitle>(context); };
    return factory;
}

}  // namespace scene
