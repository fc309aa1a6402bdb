// The game's scenes, as GameApp makes them. Until the title menus and the
// ending are in, the title is the logo alone and no ending is made.
#include "game/app/logo_title.h"
#include "game/app/scenes.h"
#include "game/session/play_session.h"

namespace scene {

Factory GameScenes() {
    Factory factory;
    factory.makeTitle = [](const Context& context) { return std::make_unique<LogoTitle>(context); };
    factory.makeSession = [](const Context& context, const SessionSetup& setup) {
        return std::make_unique<PlaySession>(context, setup);
    };
    return factory;
}

}  // namespace scene
