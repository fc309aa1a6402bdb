// The registered tables of the subsystems above the foundation.
#include "foundation/subsystems.h"

namespace morpotta {

namespace {

struct Registry {
    const EngineSubsystem* tables[kMaxEngineSubsystems] = {};
    int count = 0;
};

struct SubsystemModule {
    Registry registry;
};

SubsystemModule& State() {
    static SubsystemModule state;
    return state;
}

}  // namespace

int RegisterEngineSubsystem(const EngineSubsystem* subsystem) {
    if (!subsystem) return -1;
    for (int i = 0; i < State().registry.count; ++i)
        if (State().registry.tables[i] == subsystem) return 0;
    if (State().registry.count == kMaxEngineSubsystems) return -1;
    State().registry.tables[State().registry.count++] = subsystem;
    return 0;
}

void ClearEngineSubsystems() { State().registry = Registry{}; }

void CallEngineSubsystems(void (*EngineSubsystem::*entry)()) {
    for (int i = 0; i < State().registry.count; ++i)
        if (auto call = State().registry.tables[i]->*entry) call();
}

bool EngineSubsystemsWantGlWindow() {
    for (int i = 0; i < State().registry.count; ++i)
        if (auto wants = State().registry.tables[i]->wantsGlWindow) return wants();
    return true;
}

int StartEngineGraphics() {
    for (int i = 0; i < State().registry.count; ++i)
        if (auto start = State().registry.tables[i]->startGraphics; start && start() != 0) return -1;
    return 0;
}

void PostToEngineSubsystems(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (int i = 0; i < State().registry.count; ++i)
        if (auto handle = State().registry.tables[i]->handlePostedMessage) handle(message, wParam, lParam);
}

}  // namespace morpotta
