// The graphics functions the model system's textures use, installed in its
// table (model/base/graphics_services.h) at start-up.
#pragma once

namespace morpotta {

void InstallModelGraphicsServices();

}  // namespace morpotta
