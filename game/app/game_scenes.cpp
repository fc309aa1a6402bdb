// The game's scenes, as GameApp makes them. Until the title menus and the
// play session are in, the title is the logo alone and no session is made.
#include "game/app/logo_title.h"
#include "game/app/scenes.h"
#include "game/ending/ending_scene.h"
#include "game/input/input_manager.h"

namespace scene {

Factory GameScenes() {
    Factory factory;
    factory.makeTitle = [](const Context& context) { return std::make_unique<LogoTitle>(context); };
    factory.makeEnding = [](const Context& context, const EndingSetup& setup) {
        return std::make_unique<EndingScene>(setup.kind, setup.entries, context.input ? context.input->devices : nullptr,
                                             context.data);
    };
    return factory;
}

}  // namespace scene
