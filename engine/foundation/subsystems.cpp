// The registered tables of the subsystems above the foundation.
#include "foundation/subsystems.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

struct SubsystemRegistry {
    const EngineSubsystem* tables[kMaxEngineSubsystems] = {};
    int count = 0;
};

struct SubsystemModule {
    SubsystemRegistry registry;
};

SubsystemModule& Subsystems() {
    return platform::LastingState<SubsystemModule>();
}

}  // namespace

int RegisterEngineSubsystem(const EngineSubsystem* subsystem) {
    if (!subsystem) return -1;
    for (int i = 0; i < Subsystems().registry.count; ++i)
        if (Subsystems().registry.tables[i] == subsystem) return 0;
    if (Subsystems().registry.count == kMaxEngineSubsystems) return -1;
    Subsystems().registry.tables[Subsystems().registry.count++] = subsystem;
    return 0;
}

void ClearEngineSubsystems() { Subsystems().registry = SubsystemRegistry{}; }

void CallEngineSubsystems(void (*EngineSubsystem::*entry)()) {
    for (int i = 0; i < Subsystems().registry.count; ++i)
        if (auto call = Subsystems().registry.tables[i]->*entry) call();
}

bool EngineSubsystemsWantGlWindow() {
    for (int i = 0; i < Subsystems().registry.count; ++i)
        if (auto wants = Subsystems().registry.tables[i]->wantsGlWindow) return wants();
    return true;
}

int StartEngineGraphics() {
    for (int i = 0; i < Subsystems().registry.count; ++i)
        if (auto start = Subsystems().registry.tables[i]->startGraphics; start && start() != 0) return -1;
    return 0;
}

void PostToEngineSubsystems(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (int i = 0; i < Subsystems().registry.count; ++i)
        if (auto handle = Subsystems().registry.tables[i]->handlePostedMessage) handle(message, wParam, lParam);
}

}  // namespace morpotta
