// The game's scenes, as GameApp makes them. Until the ending is in, no
// ending is made (a run that reaches it goes back to the title).
#include "game/app/scenes.h"
#include "game/session/play_session.h"
#include "game/title/title_scene.h"

namespace scene {

Factory GameScenes() {
    Factory factory;
    factory.makeTitle = [](const Context& context) { return std::make_unique<TitleScene>(context); };
    factory.makeSession = [](const Context& context, const SessionSetup& setup) {
        return std::make_unique<PlaySession>(context, setup);
    };
    return factory;
}

}  // namespace scene
