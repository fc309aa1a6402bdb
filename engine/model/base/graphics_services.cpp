// The installed graphics and file services of the model system.
#include "model/base/graphics_services.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

const ModelGraphicsServices kNoServices{};
struct ServicesModule {
    const ModelGraphicsServices* services = &kNoServices;
    const FileAccessTable* files = nullptr;
};

ServicesModule& GraphicsServicesState() {
    return platform::LastingState<ServicesModule>();
}

}  // namespace

void SetModelGraphicsServices(const ModelGraphicsServices* services) {
    GraphicsServicesState().services = services ? services : &kNoServices;
}

const ModelGraphicsServices* GetModelGraphicsServices() { return GraphicsServicesState().services; }

void SetModelFileAccessTable(const FileAccessTable* table) { GraphicsServicesState().files = table; }

// Tests may install their own table; otherwise models read through the
// engine's current file functions, archives included.
const FileAccessTable* GetModelFileAccessTable() { return GraphicsServicesState().files ? GraphicsServicesState().files : GetFileAccessTable(); }

}  // namespace morpotta
