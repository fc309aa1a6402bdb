// The game's scenes, as GameApp makes them.
#include "game/app/scenes.h"
#include "game/ending/ending_scene.h"
#include "game/input/input_manager.h"
#include "game/session/play_session.h"
#include "game/title/title_scene.h"

namespace scene {

Factory GameScenes() {
    Factory factory;
    factory.makeTitle = [](const Context& context) { return std::make_unique<TitleScene>(context); };
    factory.makeSession = [](const Context& context, const SessionSetup& setup) {
        return std::make_unique<PlaySession>(context, setup);
    };
    factory.makeEnding = [](const Context& context, const EndingSetup& setup) {
        return std::make_unique<EndingScene>(setup.kind, setup.entries, context.input ? context.input->devices : nullptr,
                                             context.data);
    };
    return factory;
}

}  // namespace scene
